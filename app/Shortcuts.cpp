#include "app/Shortcuts.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QTableWidget>
#include <QTextEdit>
#include <QVBoxLayout>

namespace shoebox {

namespace {

using enum KeyScope;

bool isTextBox(const QObject* object)
{
    // An editable combo box keeps the focus itself and passes keys on to its
    // line edit, so it is a text box too.
    if (const auto* combo = qobject_cast<const QComboBox*>(object))
        return combo->isEditable();
    return qobject_cast<const QLineEdit*>(object) || qobject_cast<const QTextEdit*>(object) ||
           qobject_cast<const QPlainTextEdit*>(object) || qobject_cast<const QAbstractSpinBox*>(object);
}

// Whether a list is open over the window: a menu, a combo box's list, or
// the completion under a text box (a popup that keeps the focus in its box).
bool popupOpen(const QObject* focus)
{
    if (QApplication::activePopupWidget())
        return true;
    const QCompleter* completer = nullptr;
    if (const auto* edit = qobject_cast<const QLineEdit*>(focus))
        completer = edit->completer();
    else if (const auto* combo = qobject_cast<const QComboBox*>(focus))
        completer = combo->completer();
    return completer && completer->popup()->isVisible();
}

template <typename T>
T* need(QObject& window, const char* name)
{
    T* child = window.findChild<T*>(QString::fromLatin1(name));
    Q_ASSERT_X(child, "WindowKeys", name);
    return child;
}

// `text` with its mnemonic on the first occurrence of `key`'s character:
// the table decides which letter is underlined, whatever the form says.
QString withMnemonic(QString text, const QKeySequence& key)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&')) {
            if (i + 1 < text.size() && text[i + 1] == QLatin1Char('&'))
                ++i; // a literal ampersand
            else
                text.remove(i--, 1);
        }
    }
    const QString letter = QKeySequence(key[0].key()).toString();
    const qsizetype at = text.indexOf(letter, 0, Qt::CaseInsensitive);
    // A translation may lack the letter: then it follows the text, as
    // languages without Latin letters show every mnemonic ("Verschieben (M)").
    if (at < 0)
        return text + QStringLiteral(" (&") + letter + QLatin1Char(')');
    return text.insert(at, QLatin1Char('&'));
}

// Keys of one row that each trigger their own action: `keys[i]` with
// `modifiers` triggers `actions[i]`. They work anywhere.
std::vector<KeyBinding> keysWithOwnActions(Qt::KeyboardModifiers modifiers, std::vector<Qt::Key> keys,
                                           std::vector<const char*> actions)
{
    std::vector<KeyBinding> bindings;
    for (std::size_t i = 0; i < keys.size(); ++i)
        bindings.push_back({QKeySequence(modifiers | keys[i]), Anywhere, nullptr, actions[i]});
    return bindings;
}

} // namespace

const std::vector<ShortcutRow>& shortcutTable()
{
    static const std::vector<ShortcutRow> table = {
        {QT_TRANSLATE_NOOP("Shortcuts", "Choose source folder"),
         "actionChooseSource",
         "sourceFolderButton",
         {{QKeySequence(Qt::CTRL | Qt::Key_O)}, {QKeySequence(Qt::ALT | Qt::Key_S), Mnemonic, "sourceFolderButton"}}},
        {QT_TRANSLATE_NOOP("Shortcuts", "Choose destination folder"),
         "actionChooseDestination",
         "destinationFolderButton",
         {{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O)},
          {QKeySequence(Qt::ALT | Qt::Key_D), Mnemonic, "destinationFolderButton"}}},
        {QT_TRANSLATE_NOOP("Shortcuts", "Previous file"),
         "actionPrevious",
         "prePhotoButton",
         {{QKeySequence(Qt::ALT | Qt::Key_Left)},
          {QKeySequence(Qt::Key_Left), OutsideTextBoxes},
          {QKeySequence(Qt::Key_PageUp), OutsideTextBoxes}}},
        {QT_TRANSLATE_NOOP("Shortcuts", "Next file"),
         "actionNext",
         "nextPhotoButton",
         {{QKeySequence(Qt::ALT | Qt::Key_Right)},
          {QKeySequence(Qt::Key_Right), OutsideTextBoxes},
          {QKeySequence(Qt::Key_PageDown), OutsideTextBoxes}}},
        {QT_TRANSLATE_NOOP("Shortcuts", "Move and rename"),
         "actionMove",
         "moveAndRenameFileButton",
         {{QKeySequence(Qt::Key_Return), InNameField},
          {QKeySequence(Qt::CTRL | Qt::Key_Return)},
          {QKeySequence(Qt::CTRL | Qt::Key_Enter)},
          {QKeySequence(Qt::ALT | Qt::Key_M), Mnemonic, "moveAndRenameFileButton"}}},
        {QT_TRANSLATE_NOOP("Shortcuts", "Move to Trash"),
         "actionTrash",
         "trashPhotoButton",
         {{QKeySequence(Qt::CTRL | Qt::Key_Delete)},
          {QKeySequence(Qt::Key_Delete), OutsideTextBoxes},
          {QKeySequence(Qt::ALT | Qt::Key_R), Mnemonic, "trashPhotoButton"}}},
        {QT_TRANSLATE_NOOP("Shortcuts", "Cancel the move under way"),
         "actionCancelMove",
         nullptr,
         {{QKeySequence(Qt::Key_Escape)}}},
        {QT_TRANSLATE_NOOP("Shortcuts", "Focus the name field"),
         nullptr,
         "newFileNameTextField",
         {{QKeySequence(Qt::ALT | Qt::Key_N), Mnemonic, "newFileNameLabel"}}},
        {QT_TRANSLATE_NOOP("Shortcuts", "Focus subfolder 1"),
         nullptr,
         "subFolderOneBox",
         {{QKeySequence(Qt::ALT | Qt::Key_1), Mnemonic, "subFolderOneLabel"}}},
        {QT_TRANSLATE_NOOP("Shortcuts", "Focus subfolder 2"),
         nullptr,
         "subSubFolder",
         {{QKeySequence(Qt::ALT | Qt::Key_2), Mnemonic, "subSubFolderLabel"}}},
        {QT_TRANSLATE_NOOP("Shortcuts", "Focus the rename type"),
         nullptr,
         "renameTypeMenu",
         {{QKeySequence(Qt::ALT | Qt::Key_T), Mnemonic, "renameTypeLabel"}}},
        {QT_TRANSLATE_NOOP("Shortcuts", "Fill the subfolders with recent destination 1 to 9"), nullptr, nullptr,
         keysWithOwnActions(
             Qt::ControlModifier,
             {Qt::Key_1, Qt::Key_2, Qt::Key_3, Qt::Key_4, Qt::Key_5, Qt::Key_6, Qt::Key_7, Qt::Key_8, Qt::Key_9},
             {"actionRecentDestination1", "actionRecentDestination2", "actionRecentDestination3",
              "actionRecentDestination4", "actionRecentDestination5", "actionRecentDestination6",
              "actionRecentDestination7", "actionRecentDestination8", "actionRecentDestination9"})},
        {QT_TRANSLATE_NOOP("Shortcuts", "Undo"), "actionUndo", nullptr, {{QKeySequence(Qt::CTRL | Qt::Key_Z)}}},
        {QT_TRANSLATE_NOOP("Shortcuts", "Redo"),
         "actionRedo",
         nullptr,
         {{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)}, {QKeySequence(Qt::CTRL | Qt::Key_Y)}}},
        {QT_TRANSLATE_NOOP("Shortcuts", "Zoom to 1:1, or back to fit"),
         "actionZoomActual",
         nullptr,
         {{QKeySequence(Qt::CTRL | Qt::Key_0)}}},
        {QT_TRANSLATE_NOOP("Shortcuts", "Zoom in"),
         "actionZoomIn",
         nullptr,
         {{QKeySequence(Qt::CTRL | Qt::Key_Equal)}, {QKeySequence(Qt::CTRL | Qt::Key_Plus)}}},
        {QT_TRANSLATE_NOOP("Shortcuts", "Zoom out"),
         "actionZoomOut",
         nullptr,
         {{QKeySequence(Qt::CTRL | Qt::Key_Minus)}}},
        {QT_TRANSLATE_NOOP("Shortcuts", "Pan the zoomed picture"), nullptr, nullptr,
         keysWithOwnActions(Qt::ControlModifier, {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down},
                            {"actionPanLeft", "actionPanRight", "actionPanUp", "actionPanDown"})},
        {QT_TRANSLATE_NOOP("Shortcuts", "Photo information"),
         "actionPhotoInfo",
         nullptr,
         {{QKeySequence(Qt::CTRL | Qt::Key_I)}}},
        {QT_TRANSLATE_NOOP("Shortcuts", "Full screen"), "actionFullScreen", nullptr, {{QKeySequence(Qt::Key_F11)}}},
        {QT_TRANSLATE_NOOP("Shortcuts", "Leave full screen"),
         "actionLeaveFullScreen",
         nullptr,
         {{QKeySequence(Qt::Key_Escape)}}},
        {QT_TRANSLATE_NOOP("Shortcuts", "Keyboard shortcuts"),
         "actionShortcuts",
         nullptr,
         {{QKeySequence(Qt::Key_F1)}}},
        {QT_TRANSLATE_NOOP("Shortcuts", "Quit"), "actionQuit", nullptr, {{QKeySequence(Qt::CTRL | Qt::Key_Q)}}},
    };
    return table;
}

QString keyText(const QKeySequence& key)
{
    QStringList parts = key.toString(QKeySequence::NativeText).split(QLatin1Char('+'));
    for (QString& part : parts) {
        if (part == QLatin1String("PgUp"))
            part = QStringLiteral("Page Up");
        else if (part == QLatin1String("PgDown"))
            part = QStringLiteral("Page Down");
        else if (part == QLatin1String("Del"))
            part = QStringLiteral("Delete");
        else if (part == QLatin1String("Esc"))
            part = QStringLiteral("Escape");
    }
    return parts.join(QLatin1Char('+'));
}

QString keysText(const ShortcutRow& row)
{
    QStringList anywhere, outside, nameField, mnemonics;
    for (const KeyBinding& binding : row.keys) {
        const QString key = keyText(binding.key);
        switch (binding.scope) {
        case Anywhere:
            anywhere << key;
            break;
        case OutsideTextBoxes:
            outside << key;
            break;
        case InNameField:
            nameField << key;
            break;
        case Mnemonic:
            mnemonics << key;
            break;
        }
    }
    //: Between two keys that do the same: "Left or Page Up".
    const QString either = QCoreApplication::translate("Shortcuts", " or ");
    const QString comma = QStringLiteral(", ");
    QStringList groups;
    if (!nameField.isEmpty())
        groups << QCoreApplication::translate("Shortcuts", "%1 in the name field").arg(nameField.join(either));
    if (!anywhere.isEmpty()) {
        groups << (nameField.isEmpty() && outside.isEmpty()
                       ? anywhere.join(comma)
                       : QCoreApplication::translate("Shortcuts", "%1 anywhere").arg(anywhere.join(comma)));
    }
    if (!outside.isEmpty())
        groups << QCoreApplication::translate("Shortcuts", "%1 when no text box has focus").arg(outside.join(either));
    if (!mnemonics.isEmpty())
        groups << mnemonics.join(comma);
    return groups.join(QStringLiteral("; "));
}

WindowKeys::WindowKeys(QMainWindow& window) : QObject(&window)
{
    // An action's keys work only while it is in a visible widget of the
    // window: in the window itself, they outlast a menu bar hidden in full
    // screen, and serve actions that are in no menu.
    auto bind = [&window](QAction* action, const QList<QKeySequence>& keys) {
        action->setShortcuts(keys);
        window.addAction(action);
    };
    for (const ShortcutRow& row : shortcutTable()) {
        QAction* action = row.action ? need<QAction>(window, row.action) : nullptr;
        QList<QKeySequence> actionKeys;
        for (const KeyBinding& binding : row.keys) {
            switch (binding.scope) {
            case Anywhere:
                anywhereKeys_ << binding.key;
                if (binding.action)
                    bind(need<QAction>(window, binding.action), {binding.key});
                else
                    actionKeys << binding.key;
                break;
            case OutsideTextBoxes: {
                plainKeys_ << binding.key;
                auto* shortcut = new QShortcut(binding.key, &window);
                connect(shortcut, &QShortcut::activated, action, [action] {
                    if (!isTextBox(QApplication::focusWidget()))
                        action->trigger();
                });
                break;
            }
            case InNameField:
                Q_ASSERT(binding.key == QKeySequence(Qt::Key_Return));
                // returnPressed comes from Return and keypad Enter alike.
                connect(need<QLineEdit>(window, "newFileNameTextField"), &QLineEdit::returnPressed, action,
                        &QAction::trigger);
                break;
            case Mnemonic:
                if (auto* label = window.findChild<QLabel*>(QString::fromLatin1(binding.widget))) {
                    label->setText(withMnemonic(label->text(), binding.key));
                } else {
                    auto* button = need<QAbstractButton>(window, binding.widget);
                    button->setText(withMnemonic(button->text(), binding.key));
                }
                break;
            }
        }
        if (action)
            bind(action, actionKeys);
        if (row.tooltipOn) {
            auto* control = need<QWidget>(window, row.tooltipOn);
            control->setToolTip(control->toolTip() + QStringLiteral(" (") + keysText(row) + QLatin1Char(')'));
        }
    }
    qApp->installEventFilter(this);
}

WindowKeys::~WindowKeys()
{
    qApp->removeEventFilter(this);
}

bool WindowKeys::eventFilter(QObject* watched, QEvent* event)
{
    // Before a key becomes a shortcut, Qt offers it to the focused widget.
    // A text box keeps its editing keys (arrows, Page Up/Down, Delete); a
    // key meant to work anywhere (Ctrl+Delete rather than the line edit's
    // "delete word") goes to its command.
    if (event->type() != QEvent::ShortcutOverride)
        return QObject::eventFilter(watched, event);
    const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
    // Escape closes an open list, and only that: the list keeps it from
    // the window's Escape (leaving full screen, cancelling a move).
    if (pressed == QKeySequence(Qt::Key_Escape) && popupOpen(watched)) {
        event->accept();
        return true;
    }
    if (isTextBox(watched)) {
        if (plainKeys_.contains(pressed)) {
            event->accept();
            return true;
        }
        if (anywhereKeys_.contains(pressed))
            return true; // left unaccepted: the shortcut runs
    }
    return QObject::eventFilter(watched, event);
}

QDialog* makeShortcutsDialog(QWidget* parent)
{
    auto* dialog = new QDialog(parent);
    dialog->setObjectName(QStringLiteral("shortcutsDialog"));
    dialog->setWindowTitle(QCoreApplication::translate("Shortcuts", "Keyboard Shortcuts"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);

    const auto& table = shortcutTable();
    auto* list = new QTableWidget(static_cast<int>(table.size()), 2, dialog);
    list->setObjectName(QStringLiteral("shortcutTable"));
    list->setAccessibleName(QCoreApplication::translate("Shortcuts", "Keyboard shortcuts"));
    list->setHorizontalHeaderLabels(
        {QCoreApplication::translate("Shortcuts", "Command"), QCoreApplication::translate("Shortcuts", "Keys")});
    list->verticalHeader()->hide();
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSelectionMode(QAbstractItemView::NoSelection);
    list->setFocusPolicy(Qt::NoFocus);
    list->setShowGrid(false);
    list->setWordWrap(false);
    for (int i = 0; i < list->rowCount(); ++i) {
        const ShortcutRow& row = table[static_cast<std::size_t>(i)];
        list->setItem(i, 0, new QTableWidgetItem(QCoreApplication::translate("Shortcuts", row.command)));
        list->setItem(i, 1, new QTableWidgetItem(keysText(row)));
    }
    list->resizeColumnsToContents();
    list->horizontalHeader()->setStretchLastSection(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);

    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(list);
    layout->addWidget(buttons);
    const int width = list->horizontalHeader()->length() + 2 * list->frameWidth() + 40;
    const int height = list->verticalHeader()->length() + list->horizontalHeader()->height() + 90;
    dialog->resize(width, height);
    return dialog;
}

} // namespace shoebox
