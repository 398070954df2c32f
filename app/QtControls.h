#pragma once

#include <QLabel>
#include <QString>

#include <string>
#include <string_view>
#include <vector>

#include "sorting/Controls.h"

class QAbstractButton;
class QAction;
class QComboBox;
class QLineEdit;
class QProgressBar;
class QStatusBar;
class QWidget;

namespace shoebox {
class ImageViewWidget;
}

// Qt implementations of the controls the controller drives. Each adapter
// holds a non-owning pointer to a widget of the window. Strings cross the
// boundary as UTF-8; bytes that are not UTF-8 show as U+FFFD.
namespace shoebox {

QString toQString(std::string_view utf8);
std::string toUtf8(const QString& text);

class LineEditField final : public TextField {
public:
    explicit LineEditField(QLineEdit* edit) : edit_(edit) {}
    std::string stringValue() const override;
    void setStringValue(std::string_view text) override;

private:
    QLineEdit* edit_;
};

class ComboBoxField final : public TextField {
public:
    explicit ComboBoxField(QComboBox* box) : box_(box) {}
    std::string stringValue() const override;
    void setStringValue(std::string_view text) override;

private:
    QComboBox* box_;
};

// A label used as a read-only text field. Text is always plain, never rich
// text, so a file called "<b>.jpg" shows as it is named. Screen readers get
// the text as the label's name, or, for a label whose name says what it
// is for ("Destination preview"), as its description.
class LabelField final : public TextField {
public:
    enum class Accessible { NameIsText, DescriptionIsText };
    explicit LabelField(QLabel* label, Accessible accessible = Accessible::NameIsText);
    std::string stringValue() const override;
    void setStringValue(std::string_view text) override;

private:
    QLabel* label_;
    Accessible accessible_;
};

// The window's status bar; a message stays until the next one.
class StatusBarField final : public TextField {
public:
    explicit StatusBarField(QStatusBar* bar) : bar_(bar) {}
    std::string stringValue() const override;
    void setStringValue(std::string_view text) override;

private:
    QStatusBar* bar_;
};

// A menu command. Its title is shown as it is: an "&" in a file name is not
// taken for a mnemonic marker.
class ActionMenuItem final : public MenuItem {
public:
    explicit ActionMenuItem(QAction* action) : action_(action) {}
    void setTitle(std::string_view title) override;
    void setEnabled(bool enabled) override;

private:
    QAction* action_;
};

class ButtonControl final : public Button {
public:
    explicit ButtonControl(QAbstractButton* button) : button_(button) {}
    void setEnabled(bool enabled) override;

private:
    QAbstractButton* button_;
};

class ProgressBarControl final : public ProgressIndicator {
public:
    explicit ProgressBarControl(QProgressBar* bar) : bar_(bar) {}
    void setMinValue(double value) override;
    void setMaxValue(double value) override;
    void setDoubleValue(double value) override;

private:
    QProgressBar* bar_;
};

class PopUpMenuControl final : public PopUpMenu {
public:
    explicit PopUpMenuControl(QComboBox* box) : box_(box) {}
    long indexOfSelectedItem() const override;

private:
    QComboBox* box_;
};

// The window's image view, as the controller sees it.
class ImageViewControl final : public ImageView {
public:
    explicit ImageViewControl(ImageViewWidget* view) : view_(view) {}
    void setImage(const FileURL& url) override;
    void setNeighbours(const std::vector<FileURL>& likelyNext) override;

private:
    ImageViewWidget* view_;
};

class WarningAlert final : public Alert {
public:
    explicit WarningAlert(QWidget* parent) : parent_(parent) {}
    void showWarning(std::string_view messageText, std::string_view informativeText) override;

private:
    QWidget* parent_;
};

} // namespace shoebox
