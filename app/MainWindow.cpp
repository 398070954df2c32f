#include "MainWindow.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QTextEdit>

#include "LinuxFileManager.h"
#include "StdOutput.h"
#include "ui_MainWindow.h"

namespace shoebox {

namespace {

bool isTextBox(const QObject* object)
{
    // An editable combo box keeps the focus itself and passes keys on to its
    // line edit, so it is a text box too.
    if (const auto* combo = qobject_cast<const QComboBox*>(object))
        return combo->isEditable();
    return qobject_cast<const QLineEdit*>(object) || qobject_cast<const QTextEdit*>(object) ||
           qobject_cast<const QPlainTextEdit*>(object) || qobject_cast<const QAbstractSpinBox*>(object);
}

// Keys that run a command only while no text box has focus: in a text box
// they keep their editing meaning.
const QList<QKeySequence>& plainCommandKeys()
{
    static const QList<QKeySequence> keys = {QKeySequence(Qt::Key_Left), QKeySequence(Qt::Key_Right),
                                             QKeySequence(Qt::Key_PageUp), QKeySequence(Qt::Key_PageDown),
                                             QKeySequence(Qt::Key_Delete)};
    return keys;
}

// --- Keys that run their command from anywhere, text boxes included -------
// A text box would take these for itself (delete word, undo typing). Right
// after a move the focus is still in the name field, and that is exactly
// where a person reaches for the Trash or for undo.
const QKeySequence trashKey(Qt::CTRL | Qt::Key_Delete);
const QKeySequence undoKey(Qt::CTRL | Qt::Key_Z);
const QList<QKeySequence> redoKeys = {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z),
                                      QKeySequence(Qt::CTRL | Qt::Key_Y)};

bool isAnywhereKey(const QKeySequence& pressed)
{
    return pressed == trashKey || pressed == undoKey || redoKeys.contains(pressed);
}
// ---------------------------------------------------------------------------

template <typename T>
T* need(T* widget)
{
    Q_ASSERT(widget);
    return widget;
}

} // namespace

MainWindow::MainWindow(Overrides overrides, QWidget* parent)
    : QMainWindow(parent), ui_(std::make_unique<Ui::MainWindow>())
{
    ui_->setupUi(this);

    if (!overrides.fileManager)
        overrides.fileManager = (fileManager_ = std::make_unique<LinuxFileManager>()).get();
    if (!overrides.output)
        overrides.output = (output_ = std::make_unique<StdOutput>()).get();
    if (!overrides.openPanel)
        overrides.openPanel = (openPanel_ = std::make_unique<FolderPanel>(this)).get();
    if (!overrides.alert)
        overrides.alert = (alert_ = std::make_unique<WarningAlert>(this)).get();

    subSubFolder_ = std::make_unique<ComboBoxField>(need(ui_->subSubFolder));
    trashPhotoButton_ = std::make_unique<ButtonControl>(need(ui_->trashPhotoButton));
    prePhotoButton_ = std::make_unique<ButtonControl>(need(ui_->prePhotoButton));
    nextPhotoButton_ = std::make_unique<ButtonControl>(need(ui_->nextPhotoButton));
    moveAndRenameFileButton_ = std::make_unique<ButtonControl>(need(ui_->moveAndRenameFileButton));
    newFileNamePreviewField_ = std::make_unique<LabelField>(need(ui_->newFileNamePreviewField));
    sourceFolderLabel_ = std::make_unique<LabelField>(need(ui_->sourceFolderLabel));
    destinationFolderLabel_ = std::make_unique<LabelField>(need(ui_->destinationFolderLabel));
    progressBar_ = std::make_unique<ProgressBarControl>(need(ui_->progressBar));
    progressTextField_ = std::make_unique<LabelField>(need(ui_->progressTextField));
    subFolderOneBox_ = std::make_unique<ComboBoxField>(need(ui_->subFolderOneBox));
    newFileNameTextField_ = std::make_unique<LineEditField>(need(ui_->newFileNameTextField));
    renameTypeMenu_ = std::make_unique<PopUpMenuControl>(need(ui_->renameTypeMenu));
    currentFilePathLabel_ = std::make_unique<LabelField>(need(ui_->currentFilePathLabel));
    statusBar_ = std::make_unique<StatusBarField>(need(ui_->statusbar));
    undoMenuItem_ = std::make_unique<ActionMenuItem>(need(ui_->actionUndo));
    redoMenuItem_ = std::make_unique<ActionMenuItem>(need(ui_->actionRedo));
    destinationPreviewField_ =
        std::make_unique<LabelField>(need(ui_->destinationPreviewField), LabelField::Accessible::DescriptionIsText);

    Outlets outlets;
    outlets.subSubFolder = subSubFolder_.get();
    outlets.trashPhotoButton = trashPhotoButton_.get();
    outlets.prePhotoButton = prePhotoButton_.get();
    outlets.nextPhotoButton = nextPhotoButton_.get();
    outlets.moveAndRenameFileButton = moveAndRenameFileButton_.get();
    outlets.newFileNamePreviewField = newFileNamePreviewField_.get();
    outlets.sourceFolderLabel = sourceFolderLabel_.get();
    outlets.destinationFolderLabel = destinationFolderLabel_.get();
    outlets.progressBar = progressBar_.get();
    outlets.progressTextField = progressTextField_.get();
    outlets.subFolderOneBox = subFolderOneBox_.get();
    outlets.newFileNameTextField = newFileNameTextField_.get();
    outlets.renameTypeMenu = renameTypeMenu_.get();
    outlets.currentFilePathLabel = currentFilePathLabel_.get();
    outlets.imageViewer = need(ui_->imageViewer);
    outlets.statusBar = statusBar_.get();
    outlets.undoMenuItem = undoMenuItem_.get();
    outlets.redoMenuItem = redoMenuItem_.get();
    outlets.destinationPreviewField = destinationPreviewField_.get();

    moves_ = std::make_unique<BackgroundMoveFileManager>(*overrides.fileManager, this);
    completion_ = std::make_unique<FolderCompletion>(*overrides.fileManager, ui_->subFolderOneBox, ui_->subSubFolder);
    controller_ = std::make_unique<ViewController>(
        outlets, Services{moves_.get(), overrides.openPanel, overrides.alert, overrides.output});
    connectCommands();
    connectEditing();
    controller_->viewDidLoad();
    ui_->imageViewer->setFocus();
}

MainWindow::~MainWindow()
{
    qApp->removeEventFilter(this);
}

void MainWindow::connectCommands()
{
    auto& c = *controller_;
    connect(ui_->sourceFolderButton, &QPushButton::clicked, this,
            [&c, this] { c.sourceFolderButton(ui_->sourceFolderButton); });
    connect(ui_->destinationFolderButton, &QPushButton::clicked, this, [&c, this] {
        c.destinationFolderButton(ui_->destinationFolderButton);
        completion_->setDestination(c.destinationFolderPath());
    });
    connect(ui_->moveAndRenameFileButton, &QPushButton::clicked, this, [&c, this] {
        const std::size_t done = c.history().undoCount();
        c.moveAndRenameButton(ui_->moveAndRenameFileButton);
        completion_->refresh(c.history().undoCount() > done);
        // Ready for the next name: typing replaces the last one, Return reuses it.
        ui_->newFileNameTextField->selectAll();
    });
    connect(ui_->prePhotoButton, &QPushButton::clicked, this, [&c, this] { c.prevImageButton(ui_->prePhotoButton); });
    connect(ui_->nextPhotoButton, &QPushButton::clicked, this, [&c, this] { c.nextImageButton(ui_->nextPhotoButton); });
    connect(ui_->trashPhotoButton, &QPushButton::clicked, this,
            [&c, this] { c.moveImageToTrash(ui_->trashPhotoButton); });

    // Menu commands click their button, which does nothing while it is disabled.
    connect(ui_->actionChooseSource, &QAction::triggered, ui_->sourceFolderButton, &QPushButton::click);
    connect(ui_->actionChooseDestination, &QAction::triggered, ui_->destinationFolderButton, &QPushButton::click);
    connect(ui_->actionQuit, &QAction::triggered, this, &QWidget::close);
    connect(ui_->actionPrevious, &QAction::triggered, ui_->prePhotoButton, &QPushButton::click);
    connect(ui_->actionNext, &QAction::triggered, ui_->nextPhotoButton, &QPushButton::click);
    connect(ui_->actionMove, &QAction::triggered, ui_->moveAndRenameFileButton, &QPushButton::click);
    connect(ui_->actionTrash, &QAction::triggered, ui_->trashPhotoButton, &QPushButton::click);
    connect(ui_->actionUndo, &QAction::triggered, this, [&c, this] {
        c.undo(ui_->actionUndo);
        completion_->refresh(false);
    });
    connect(ui_->actionRedo, &QAction::triggered, this, [&c, this] {
        c.redo(ui_->actionRedo);
        completion_->refresh(false);
    });
    ui_->actionUndo->setShortcut(undoKey);
    ui_->actionRedo->setShortcuts(redoKeys);
    ui_->actionMove->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    connect(ui_->newFileNameTextField, &QLineEdit::returnPressed, ui_->actionMove, &QAction::trigger);

    // Plain keys for stepping and the Trash, when no text box has focus.
    auto addPlainKey = [this](QKeySequence key, QAction* action) {
        auto* shortcut = new QShortcut(key, this);
        connect(shortcut, &QShortcut::activated, action, [action] {
            if (!isTextBox(QApplication::focusWidget()))
                action->trigger();
        });
    };
    addPlainKey(QKeySequence(Qt::Key_Left), ui_->actionPrevious);
    addPlainKey(QKeySequence(Qt::Key_PageUp), ui_->actionPrevious);
    addPlainKey(QKeySequence(Qt::Key_Right), ui_->actionNext);
    addPlainKey(QKeySequence(Qt::Key_PageDown), ui_->actionNext);
    addPlainKey(QKeySequence(Qt::Key_Delete), ui_->actionTrash);

    qApp->installEventFilter(this);
}

// The destination preview follows every edit that changes where the move
// would put the file; the controller follows its own changes (file on show,
// destination). A move under way spins an event loop: its signals wait.
void MainWindow::connectEditing()
{
    auto update = [this] {
        if (!moves_->isMoving())
            controller_->updateDestinationPreview();
    };
    connect(ui_->newFileNameTextField, &QLineEdit::textChanged, this, update);
    connect(ui_->subFolderOneBox, &QComboBox::editTextChanged, this, update);
    connect(ui_->subSubFolder, &QComboBox::editTextChanged, this, update);
    connect(ui_->renameTypeMenu, &QComboBox::currentIndexChanged, this, update);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    // Before a key becomes a shortcut, Qt offers it to the focused widget.
    // A text box keeps its editing keys (arrows, Page Up/Down, Delete), but
    // not the keys that work from anywhere (isAnywhereKey).
    if (event->type() == QEvent::ShortcutOverride && isTextBox(watched)) {
        auto* key = static_cast<QKeyEvent*>(event);
        const QKeySequence pressed(key->keyCombination());
        if (plainCommandKeys().contains(pressed)) {
            event->accept();
            return true;
        }
        if (isAnywhereKey(pressed))
            return true; // left unaccepted: the shortcut runs
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace shoebox
