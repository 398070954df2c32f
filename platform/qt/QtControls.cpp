#include "QtControls.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOption>

#include <cmath>

namespace shoebox {

QString toQString(std::string_view utf8)
{
    // fromUtf8 turns every byte that is not UTF-8 into U+FFFD.
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string toUtf8(const QString& text)
{
    return text.toStdString();
}

std::string LineEditField::stringValue() const
{
    return toUtf8(edit_->text());
}

void LineEditField::setStringValue(std::string_view text)
{
    edit_->setText(toQString(text));
}

std::string ComboBoxField::stringValue() const
{
    return toUtf8(box_->currentText());
}

void ComboBoxField::setStringValue(std::string_view text)
{
    box_->setCurrentText(toQString(text));
}

LabelField::LabelField(QLabel* label, Accessible accessible) : label_(label), accessible_(accessible)
{
    label_->setTextFormat(Qt::PlainText);
}

std::string LabelField::stringValue() const
{
    return toUtf8(label_->text());
}

void LabelField::setStringValue(std::string_view text)
{
    const QString shown = toQString(text);
    label_->setText(shown);
    if (accessible_ == Accessible::NameIsText)
        label_->setAccessibleName(shown);
    else
        label_->setAccessibleDescription(shown);
}

std::string StatusBarField::stringValue() const
{
    return toUtf8(bar_->currentMessage());
}

void StatusBarField::setStringValue(std::string_view text)
{
    bar_->showMessage(toQString(text));
}

std::string ActionMenuItem::title() const
{
    QString shown = action_->text();
    return toUtf8(shown.replace(QStringLiteral("&&"), QStringLiteral("&")));
}

void ActionMenuItem::setTitle(std::string_view title)
{
    action_->setText(toQString(title).replace(QLatin1Char('&'), QStringLiteral("&&")));
}

bool ActionMenuItem::isEnabled() const
{
    return action_->isEnabled();
}

void ActionMenuItem::setEnabled(bool enabled)
{
    action_->setEnabled(enabled);
}

bool ButtonControl::isEnabled() const
{
    return button_->isEnabled();
}

void ButtonControl::setEnabled(bool enabled)
{
    button_->setEnabled(enabled);
}

// QProgressBar counts in whole numbers; the positions it shows are whole.
double ProgressBarControl::minValue() const
{
    return bar_->minimum();
}

double ProgressBarControl::maxValue() const
{
    return bar_->maximum();
}

double ProgressBarControl::doubleValue() const
{
    return bar_->value();
}

void ProgressBarControl::setMinValue(double value)
{
    bar_->setMinimum(static_cast<int>(std::lround(value)));
}

void ProgressBarControl::setMaxValue(double value)
{
    bar_->setMaximum(static_cast<int>(std::lround(value)));
}

void ProgressBarControl::setDoubleValue(double value)
{
    bar_->setValue(static_cast<int>(std::lround(value)));
}

long PopUpMenuControl::indexOfSelectedItem() const
{
    return box_->currentIndex();
}

std::optional<FileURL> FolderPanel::chooseFolder()
{
    const QString folder = QFileDialog::getExistingDirectory(parent_, QObject::tr("Choose a Folder"), QString(),
                                                             QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return std::nullopt;
    const QByteArray path = QFile::encodeName(folder);
    return FileURL::fileURLWithPath(std::string_view(path.constData(), static_cast<std::size_t>(path.size())));
}

void WarningAlert::showWarning(std::string_view messageText, std::string_view informativeText)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Shoebox"), toQString(messageText), QMessageBox::Ok, parent_);
    box.setObjectName(QStringLiteral("warningAlert"));
    box.setInformativeText(toQString(informativeText));
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

QSize ElidedLabel::minimumSizeHint() const
{
    return QSize(0, QLabel::minimumSizeHint().height());
}

void ElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QStyleOption option;
    option.initFrom(this);
    const QRect area = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width());
    style()->drawItemText(&painter, area, static_cast<int>(alignment()), option.palette, isEnabled(), shown,
                          foregroundRole());
    // The whole text as a tooltip only while it is cut short; set only on a
    // change, since every assignment sends an event.
    const QString tip = shown == text() ? QString() : text();
    if (toolTip() != tip)
        setToolTip(tip);
}

} // namespace shoebox
