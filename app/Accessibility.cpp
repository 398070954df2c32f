#include "app/Accessibility.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>

namespace shoebox {

namespace {

// A combo box as QAccessibleComboBox presents it (its list, and for an
// editable box its text field, as children; show-menu and press actions),
// but named by its accessible name. Written out because Qt's class is
// private.
class NamedComboBox final : public QAccessibleWidget {
public:
    explicit NamedComboBox(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    QComboBox* box() const { return static_cast<QComboBox*>(object()); }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return box()->isEditable() ? box()->lineEdit()->text() : box()->currentText();
        return QAccessibleWidget::text(t); // the name: the accessible name
    }
    int childCount() const override { return box()->isEditable() ? 2 : 1; }
    QAccessibleInterface* child(int index) const override
    {
        if (index == 0)
            return QAccessible::queryAccessibleInterface(box()->view());
        if (index == 1 && box()->isEditable())
            return QAccessible::queryAccessibleInterface(box()->lineEdit());
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        if (child && child->object() == box()->view())
            return 0;
        if (child && box()->isEditable() && child->object() == box()->lineEdit())
            return 1;
        return -1;
    }
    QAccessibleInterface* focusChild() const override
    {
        return box()->isEditable() ? child(1) : QAccessibleWidget::focusChild();
    }
    QStringList actionNames() const override
    {
        return {QAccessibleActionInterface::showMenuAction(), QAccessibleActionInterface::pressAction()};
    }
    void doAction(const QString& action) override
    {
        if (action == QAccessibleActionInterface::showMenuAction() ||
            action == QAccessibleActionInterface::pressAction())
            box()->showPopup();
    }
};

// Combo boxes with an accessible name get the interface above; others keep
// Qt's.
QAccessibleInterface* namedComboBox(const QString& className, QObject* object)
{
    auto* box = qobject_cast<QComboBox*>(object);
    if (!box || className != QLatin1String("QComboBox") || box->accessibleName().isEmpty())
        return nullptr;
    return new NamedComboBox(box);
}

} // namespace

void nameComboBox(QComboBox* box, bool list)
{
    static const bool installed = (QAccessible::installFactory(namedComboBox), true);
    (void)installed;
    // Qt made and kept the box's interface when its items were added, before
    // it had its name: dropped, the next one comes from the factory.
    if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(box);
        made && !dynamic_cast<NamedComboBox*>(made))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
    if (box->isEditable())
        box->lineEdit()->setAccessibleName(box->accessibleName());
    if (list)
        nameComboBoxList(box);
}

void nameComboBoxList(QComboBox* box)
{
    box->view()->setAccessibleName(
        QCoreApplication::translate("Accessibility", "%1 choices").arg(box->accessibleName()));
}

} // namespace shoebox
