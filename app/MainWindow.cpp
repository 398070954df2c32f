#include "app/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QIcon>
#include <QLineEdit>
#include <QScreen>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <limits>
#include <utility>

#include "app/About.h"
#include "app/Accessibility.h"
#include "app/Shortcuts.h"
#include "platform/LinuxFileManager.h"
#include "platform/StdOutput.h"
#include "ui_MainWindow.h"

namespace shoebox {

namespace {

template <typename T>
T* need(T* widget)
{
    Q_ASSERT(widget);
    return widget;
}

// The controller's texts, in the language of the translations the
// application has installed.
std::string translated(const char* context, const char* text)
{
    return QCoreApplication::translate(context, text).toStdString();
}

// The most of a screen's free area the window takes at first, or when a
// remembered size no longer fits: the desktop's panels and other windows
// stay in view.
constexpr double largestShare = 0.9;

// The screen whose free area is nearest to the middle of `frame`.
const QScreen* nearestScreen(const QRect& frame)
{
    const QScreen* nearest = QGuiApplication::primaryScreen();
    int shortest = std::numeric_limits<int>::max();
    const QPoint middle = frame.center();
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect free = screen->availableGeometry();
        const int distance = std::max({free.left() - middle.x(), 0, middle.x() - free.right()}) +
                             std::max({free.top() - middle.y(), 0, middle.y() - free.bottom()});
        if (distance < shortest) {
            shortest = distance;
            nearest = screen;
        }
    }
    return nearest;
}

} // namespace

template <typename Adapter, typename Widget, typename... Options>
Adapter* MainWindow::adapt(Widget* widget, Options... options)
{
    auto adapter = std::make_shared<Adapter>(need(widget), options...);
    adapters_.push_back(adapter);
    return adapter.get();
}

MainWindow::MainWindow(Overrides overrides, QWidget* parent)
    : QMainWindow(parent), ui_(std::make_unique<Ui::MainWindow>())
{
    ui_->setupUi(this);
    // The subfolder boxes are made editable here rather than in the .ui:
    // QComboBox::setEditable also builds the box's popup list and measures
    // the box again, two percent of start-up, for a list the user may never
    // open. Given a line edit, the box is editable alike and builds its
    // popup on first use (with the delegate and scroll bars of an editable box).
    for (QComboBox* box : {ui_->subFolderOneBox, ui_->subSubFolder})
        box->setLineEdit(new QLineEdit(box));

    if (!overrides.fileManager)
        overrides.fileManager = (fileManager_ = std::make_unique<LinuxFileManager>()).get();
    files_ = overrides.fileManager;
    if (!overrides.output)
        overrides.output = (output_ = std::make_unique<StdOutput>()).get();
    if (!overrides.openPanel) {
        auto panel = std::make_unique<FolderPanel>(this);
        folderPanel_ = panel.get();
        overrides.openPanel = (openPanel_ = std::move(panel)).get();
    }
    folderRoute_ = std::make_unique<FolderRoute>(*overrides.openPanel);
    if (!overrides.alert)
        overrides.alert = (alert_ = std::make_unique<WarningAlert>(this)).get();

    Outlets outlets;
    outlets.subSubFolder = adapt<ComboBoxField>(ui_->subSubFolder);
    outlets.trashPhotoButton = adapt<ButtonControl>(ui_->trashPhotoButton);
    outlets.prePhotoButton = adapt<ButtonControl>(ui_->prePhotoButton);
    outlets.nextPhotoButton = adapt<ButtonControl>(ui_->nextPhotoButton);
    outlets.moveAndRenameFileButton = adapt<ButtonControl>(ui_->moveAndRenameFileButton);
    outlets.newFileNamePreviewField = adapt<LabelField>(ui_->newFileNamePreviewField);
    outlets.sourceFolderLabel = adapt<LabelField>(ui_->sourceFolderLabel);
    outlets.destinationFolderLabel = adapt<LabelField>(ui_->destinationFolderLabel);
    outlets.progressBar = adapt<ProgressBarControl>(ui_->progressBar);
    outlets.progressTextField = adapt<LabelField>(ui_->progressTextField);
    outlets.subFolderOneBox = adapt<ComboBoxField>(ui_->subFolderOneBox);
    outlets.newFileNameTextField = adapt<LineEditField>(ui_->newFileNameTextField);
    outlets.renameTypeMenu = adapt<PopUpMenuControl>(ui_->renameTypeMenu);
    outlets.currentFilePathLabel = adapt<LabelField>(ui_->currentFilePathLabel);
    outlets.imageViewer = adapt<ImageViewControl>(ui_->imageViewer);
    outlets.statusBar = adapt<StatusBarField>(ui_->statusbar);
    outlets.undoMenuItem = adapt<ActionMenuItem>(ui_->actionUndo);
    outlets.redoMenuItem = adapt<ActionMenuItem>(ui_->actionRedo);
    outlets.destinationPreviewField =
        adapt<LabelField>(ui_->destinationPreviewField, LabelField::Accessible::DescriptionIsText);

    moves_ = std::make_unique<MoveJobRunner>(*files_, this);
    connect(moves_.get(), &MoveJobRunner::movingChanged, this, [this](bool moving) {
        ui_->actionCancelMove->setEnabled(moving);
        enableEscape();
        if (!moving)
            moveEnded();
    });
    jobs_ = std::make_unique<BackgroundJobs>();
    controller_ =
        std::make_unique<ViewController>(outlets, Services{files_, folderRoute_.get(), overrides.alert,
                                                           overrides.output, moves_.get(), translated, jobs_.get()});
    // Remembered only when the choice took: a source without photos is not
    // where the user will want to start next time.
    controller_->onSourceListed([this](const FileURL& folder) {
        if (auto saved = settings_.rememberFolder(FolderRole::Source, folder); !saved)
            qWarning("%s", saved.error().description.c_str());
    });
    controller_->recentDestinations().restore(settings_.recentDestinations());
    makeRecentDestinationItems();
    fullScreen_ = new FullScreenLayout(*ui_, this);
    connectCommands();
    connectEditing();
    controller_->viewDidLoad();
    if (settings_.moveCompanionsTogether()) {
        const QSignalBlocker quiet(ui_->actionMoveCompanions); // nothing new to remember
        ui_->actionMoveCompanions->setChecked(true);
        controller_->setMoveCompanionsTogether(true);
    }
    ui_->imageViewer->setFocus();
    nameControls();
    placeOnScreen(settings_.windowGeometry());
}

// The boxes' drop-down lists are named once the window is on screen
// (finishStartup): naming one builds it, two percent of start-up for lists
// a screen reader reaches only when they open.
void MainWindow::nameControls()
{
    for (QComboBox* box : {ui_->subFolderOneBox, ui_->subSubFolder, ui_->renameTypeMenu})
        nameComboBox(box, false);
}

// The remembered size and place, or the designed size, and either way on a
// screen: a window remembered on a monitor since unplugged, or larger than
// the screen is now, comes back whole onto the screen nearest to it.
void MainWindow::placeOnScreen(const QByteArray& remembered)
{
    const bool restored = !remembered.isEmpty() && restoreGeometry(remembered);
    const QRect frame = geometry();
    const QScreen* screen = restored ? QGuiApplication::screenAt(frame.center()) : nullptr;
    if (!screen)
        screen = restored ? nearestScreen(frame) : this->screen();
    const QRect free = screen->availableGeometry();
    if (restored && free.contains(frame))
        return;

    // The layout makes the window no smaller than its minimum when shown.
    const QSize largest(static_cast<int>(free.width() * largestShare), static_cast<int>(free.height() * largestShare));
    const QSize size = frame.size().boundedTo(largest).expandedTo(minimumSizeHint());
    resize(size);
    // A new window is placed by the window manager. One brought back goes
    // to the middle, which leaves room for the frame the window manager
    // adds around it (unknown until it is shown).
    if (restored)
        move(free.center() - QPoint(size.width() / 2, size.height() / 2));
}

MainWindow::~MainWindow()
{
    // A move under way is cancelled and waited for while everything it
    // uses is still there; its result is dropped.
    moves_.reset();
}

void MainWindow::chooseStartFolders(const StartFolders& folders)
{
    if (folders.source) {
        if (folders.firstFile)
            controller_->startNextScanAt(*folders.firstFile);
        folderRoute_->answerNextWith(*folders.source);
        ui_->sourceFolderButton->click();
    }
    if (folders.destination) {
        folderRoute_->answerNextWith(*folders.destination);
        ui_->destinationFolderButton->click();
    }
}

bool MainWindow::event(QEvent* event)
{
    if (event->type() == QEvent::Paint && !painted_) {
        painted_ = true;
        QTimer::singleShot(0, this, &MainWindow::finishStartup);
    }
    return QMainWindow::event(event);
}

void MainWindow::finishStartup()
{
    // Finding the icon in the theme reads the theme's folders and loads
    // Qt's icon and image plugins: a few milliseconds.
    if (QApplication::windowIcon().isNull())
        QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(SHOEBOX_DESKTOP_ID)));
    // Invisible until there is text to clear, and its icon costs a
    // millisecond to make.
    for (QComboBox* box : {ui_->subFolderOneBox, ui_->subSubFolder, ui_->renameTypeMenu})
        nameComboBoxList(box);
    ui_->newFileNameTextField->setClearButtonEnabled(true);
    // Qt's clear button has no name a screen reader could say.
    for (auto* button : ui_->newFileNameTextField->findChildren<QToolButton*>())
        button->setAccessibleName(tr("Clear the name"));
    completion();
}

FolderCompletion& MainWindow::completion()
{
    // Two completers with their popups: another millisecond. Giving the
    // boxes their lists would clear what is typed in them already.
    if (!completion_) {
        const QString one = ui_->subFolderOneBox->currentText(), two = ui_->subSubFolder->currentText();
        completion_ = std::make_unique<FolderCompletion>(*files_, ui_->subFolderOneBox, ui_->subSubFolder);
        ui_->subFolderOneBox->setEditText(one);
        ui_->subSubFolder->setEditText(two);
    }
    return *completion_;
}

void MainWindow::chooseFolder(FolderRole role)
{
    if (controller_->refuseWhileMoving())
        return;
    const bool source = role == FolderRole::Source;
    if (folderPanel_)
        folderPanel_->prepare(source ? tr("Choose the Source Folder") : tr("Choose the Destination Folder"),
                              settings_.folder(role));
    auto& c = *controller_;
    if (source) {
        c.sourceFolderButton(ui_->sourceFolderButton);
    } else {
        c.destinationFolderButton(ui_->destinationFolderButton);
        completion().setDestination(c.destinationFolderPath());
    }

    // The source is remembered once its listing finds files (see the constructor).
    const std::optional<FileURL>& chosen = folderRoute_->lastAnswer();
    if (!source && chosen && c.destinationFolderPath() == chosen) {
        if (auto saved = settings_.rememberFolder(role, *chosen); !saved)
            qWarning("%s", saved.error().description.c_str());
    }
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (moves_->isMoving()) {
        closeAfterMove_ = true;
        moves_->cancel();
        event->ignore();
        return;
    }
    controller_->stopListing();
    if (auto saved = settings_.rememberWindowGeometry(saveGeometry()); !saved)
        qWarning("%s", saved.error().description.c_str());
    QMainWindow::closeEvent(event);
}

void MainWindow::connectCommands()
{
    auto& c = *controller_;
    connect(ui_->sourceFolderButton, &QPushButton::clicked, this, [this] { chooseFolder(FolderRole::Source); });
    connect(ui_->destinationFolderButton, &QPushButton::clicked, this,
            [this] { chooseFolder(FolderRole::Destination); });
    connect(ui_->moveAndRenameFileButton, &QPushButton::clicked, this, [&c, this] {
        if (c.refuseWhileMoving())
            return;
        const std::size_t done = c.history().undoCount();
        c.moveAndRenameButton(ui_->moveAndRenameFileButton);
        afterCommand([&c, this, done] {
            const bool moved = c.history().undoCount() > done;
            completion().refresh(moved);
            if (moved)
                rememberRecentDestinations();
            // Ready for the next name: typing replaces the last one, Return reuses it.
            ui_->newFileNameTextField->selectAll();
        });
    });
    connect(ui_->prePhotoButton, &QPushButton::clicked, this, [&c, this] { c.prevImageButton(ui_->prePhotoButton); });
    connect(ui_->nextPhotoButton, &QPushButton::clicked, this, [&c, this] { c.nextImageButton(ui_->nextPhotoButton); });
    connect(ui_->trashPhotoButton, &QPushButton::clicked, this,
            [&c, this] { c.moveImageToTrash(ui_->trashPhotoButton); });

    // Menu commands click their button, which does nothing while it is disabled.
    connect(ui_->actionChooseSource, &QAction::triggered, ui_->sourceFolderButton, &QPushButton::click);
    connect(ui_->actionChooseDestination, &QAction::triggered, ui_->destinationFolderButton, &QPushButton::click);
    connect(ui_->actionQuit, &QAction::triggered, this, [&c, this] {
        if (!c.refuseWhileMoving())
            close();
    });
    connect(ui_->actionCancelMove, &QAction::triggered, moves_.get(), &MoveJobRunner::cancel);
    connect(ui_->actionPrevious, &QAction::triggered, ui_->prePhotoButton, &QPushButton::click);
    connect(ui_->actionNext, &QAction::triggered, ui_->nextPhotoButton, &QPushButton::click);
    connect(ui_->actionMove, &QAction::triggered, ui_->moveAndRenameFileButton, &QPushButton::click);
    connect(ui_->actionTrash, &QAction::triggered, ui_->trashPhotoButton, &QPushButton::click);
    connect(ui_->actionUndo, &QAction::triggered, this, [&c, this] {
        if (c.refuseWhileMoving())
            return;
        c.undo(ui_->actionUndo);
        afterCommand([this] { completion().refresh(false); });
    });
    connect(ui_->actionRedo, &QAction::triggered, this, [&c, this] {
        if (c.refuseWhileMoving())
            return;
        c.redo(ui_->actionRedo);
        afterCommand([this] { completion().refresh(false); });
    });
    connect(ui_->actionMoveCompanions, &QAction::toggled, this, [&c, this](bool on) {
        // The list changes under a move's feet otherwise.
        if (c.refuseWhileMoving()) {
            const QSignalBlocker quiet(ui_->actionMoveCompanions);
            ui_->actionMoveCompanions->setChecked(!on);
            return;
        }
        c.setMoveCompanionsTogether(on);
        if (auto saved = settings_.rememberMoveCompanionsTogether(on); !saved)
            qWarning("%s", saved.error().description.c_str());
    });
    connect(ui_->actionShortcuts, &QAction::triggered, this, [this] { makeShortcutsDialog(this)->show(); });
    connect(ui_->actionAbout, &QAction::triggered, this, [this] { showAbout(this); });
    for (std::size_t rank = 0; rank < recentItems_.size(); ++rank)
        connect(recentItems_[rank], &QAction::triggered, this, [&c, rank] { c.useRecentDestination(rank); });
    connectViewCommands();

    // Every key, from the one table.
    new WindowKeys(*this);
}

void MainWindow::afterCommand(std::function<void()> then)
{
    if (moves_->isMoving())
        afterMove_ = std::move(then);
    else
        then();
}

// After the controller has taken the move's result.
void MainWindow::moveEnded()
{
    if (auto then = std::exchange(afterMove_, nullptr))
        then();
    if (std::exchange(closeAfterMove_, false))
        close();
}

// The destination preview follows every edit that changes where the move
// would put the file; the controller follows its own changes (file on show,
// destination).
void MainWindow::connectEditing()
{
    auto update = [this] { controller_->updateDestinationPreview(); };
    connect(ui_->newFileNameTextField, &QLineEdit::textChanged, this, update);
    connect(ui_->subFolderOneBox, &QComboBox::editTextChanged, this, update);
    connect(ui_->subSubFolder, &QComboBox::editTextChanged, this, update);
    connect(ui_->renameTypeMenu, &QComboBox::currentIndexChanged, this, update);
}

} // namespace shoebox
