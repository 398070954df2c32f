#pragma once

#include <QLabel>
#include <QString>
#include <QUrl>
#include <functional>

#include "Controls.h"
#include "Result.h"

class QAbstractButton;
class QAction;
class QComboBox;
class QLineEdit;
class QProgressBar;
class QStatusBar;
class QWidget;

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

// The folder chooser. Qt's dialogs hand back text, which cannot hold a name
// that is not UTF-8; the panel finds the bytes the user meant, or refuses
// the choice with a warning rather than act on a different path.
class FolderPanel final : public OpenPanel {
public:
    // Runs the dialog: the folder chosen, or an empty URL when cancelled.
    using Dialog = std::function<QUrl(QWidget* parent, const QString& title, const QUrl& start)>;

    // Without `dialog`, Qt's folder dialog (the desktop's own where Qt has one).
    explicit FolderPanel(QWidget* parent, Dialog dialog = {});

    // The next run is titled `title` and opens in `startFolder`, or the
    // nearest folder above it that exists and the dialog can show; in the
    // home folder without one.
    void prepare(QString title, std::optional<FileURL> startFolder);

    std::optional<FileURL> chooseFolder() override;

private:
    QWidget* parent_;
    Dialog dialog_;
    QString title_;
    std::optional<FileURL> startFolder_;
};

// The exact location of the folder a dialog answered with. Where the answer
// lost bytes that are not UTF-8 (shown as U+FFFD), they are found again in
// the file system; an answer that matches no name, or more than one, fails.
Result<FileURL> folderFromDialog(const QUrl& url);

class WarningAlert final : public Alert {
public:
    explicit WarningAlert(QWidget* parent) : parent_(parent) {}
    void showWarning(std::string_view messageText, std::string_view informativeText) override;

private:
    QWidget* parent_;
};

// A one-line label that elides the middle of a text too long for it (a deep
// path keeps its file name in view) and shows the whole text as its tooltip.
// Screen readers get the whole text.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget* parent = nullptr);
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace shoebox
