#pragma once

#include <QKeySequence>
#include <QObject>
#include <QString>
#include <vector>

class QDialog;
class QMainWindow;
class QWidget;

namespace shoebox {

// Where a key works.
enum class KeyScope {
    Anywhere,         // even in a text box, which does not get to edit with it
    OutsideTextBoxes, // only while no text box has focus; in one it edits
    InNameField,      // in the name field only (Return)
    Mnemonic,         // Alt+letter, underlined in the text of `widget`
};

struct KeyBinding {
    QKeySequence key;
    KeyScope scope = KeyScope::Anywhere;
    const char* widget = nullptr; // object name of the label or button, for a mnemonic
    const char* action = nullptr; // object name of the QAction this key alone triggers, for a row of several
};

// One command and every key that runs it.
struct ShortcutRow {
    const char* command;   // as the Keyboard Shortcuts dialog lists it, in English (context "Shortcuts")
    const char* action;    // object name of the QAction the keys trigger; null for a mnemonic that focuses a box,
                           // and for a row whose keys each trigger their own action (Ctrl+1 to Ctrl+9)
    const char* tooltipOn; // object name of the control whose tooltip names the keys, or null
    std::vector<KeyBinding> keys;
};

// Every key of the window, in the order the dialog lists them. The window
// binds its keys from here, the dialog lists them and the tooltips name
// them, so none of the three can drift from the others. A new command is
// one more row.
const std::vector<ShortcutRow>& shortcutTable();

// A key as people read it: "Page Up", "Ctrl+Delete".
QString keyText(const QKeySequence& key);
// Every key of a row in one line: "Alt+Left; Left or Page Up when no text box has focus".
QString keysText(const ShortcutRow& row);

// Binds every key of the table to the window's actions and controls, adds
// the keys to the controls' tooltips, and keeps each text box's editing
// keys to itself. Lives as long as the window, its parent.
class WindowKeys : public QObject {
    Q_OBJECT
public:
    explicit WindowKeys(QMainWindow& window);
    ~WindowKeys() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QList<QKeySequence> anywhereKeys_;
    QList<QKeySequence> plainKeys_;
};

// The Keyboard Shortcuts dialog: the table, as a two-column list.
QDialog* makeShortcutsDialog(QWidget* parent);

} // namespace shoebox
