#include "app/QtControls.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QStatusBar>

#include <cmath>

#include "viewer/ImageViewWidget.h"

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

void ActionMenuItem::setTitle(std::string_view title)
{
    action_->setText(toQString(title).replace(QLatin1Char('&'), QStringLiteral("&&")));
}

void ActionMenuItem::setEnabled(bool enabled)
{
    action_->setEnabled(enabled);
}

void ButtonControl::setEnabled(bool enabled)
{
    button_->setEnabled(enabled);
}

// QProgressBar counts in whole numbers; the positions it shows are whole.
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

void ImageViewControl::setImage(const FileURL& url)
{
    view_->setImage(url);
}

void ImageViewControl::setNeighbours(const std::vector<FileURL>& likelyNext)
{
    view_->setNeighbours(likelyNext);
}

void WarningAlert::showWarning(std::string_view messageText, std::string_view informativeText)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Shoebox"), toQString(messageText), QMessageBox::Ok, parent_);
    box.setObjectName(QStringLiteral("warningAlert"));
    box.setInformativeText(toQString(informativeText));
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace shoebox
