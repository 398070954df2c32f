#pragma once

#include <QMainWindow>
#include <functional>
#include <memory>
#include <vector>

#include "app/BackgroundJobs.h"
#include "app/CommandLine.h"
#include "app/FolderCompletion.h"
#include "app/FolderPanel.h"
#include "app/FolderRoute.h"
#include "app/FullScreenLayout.h"
#include "app/MoveJobRunner.h"
#include "app/QtControls.h"
#include "app/Settings.h"
#include "platform/FileManager.h"
#include "sorting/Controls.h"
#include "sorting/ViewController.h"

namespace Ui {
class MainWindow;
}

namespace shoebox {

// Stand-ins for the outside world; what is left empty is the real thing.
struct WindowOverrides {
    OpenPanel* openPanel = nullptr;
    Alert* alert = nullptr;
    FileManager* fileManager = nullptr;
    Output* output = nullptr;
};

// The sorting window: loads the interface description, connects its
// controls to the controller and gives every command its keys.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    using Overrides = WindowOverrides;

    explicit MainWindow(Overrides overrides = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    ViewController& controller() { return *controller_; }

    // Chooses the folders given on the command line through the folder
    // buttons, exactly as if the user had picked them in the panel.
    void chooseStartFolders(const StartFolders& folders);

protected:
    // Closing while a move copies cancels it, as Cancel does, and closes
    // the window once the move has ended.
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // What the window needs only once it is on screen, made after its
    // first paint (or when first needed): start-up pays for no more than
    // the window shows.
    void finishStartup();
    FolderCompletion& completion();

    void nameControls();
    void placeOnScreen(const QByteArray& remembered);
    void connectCommands();
    void connectViewCommands();
    void chooseFolder(FolderRole role);
    void connectEditing();
    // Go ▸ Recent Destinations: one item per remembered pair, with its key.
    void makeRecentDestinationItems();
    void showRecentDestinations();
    void rememberRecentDestinations();
    void showPhotoInfo();
    void enableEscape();
    // Runs `then` once the command just given has ended: now, or when the
    // move it started ends.
    void afterCommand(std::function<void()> then);
    void moveEnded();

    std::unique_ptr<Ui::MainWindow> ui_;

    // The real outside world, used where no override is given.
    std::unique_ptr<FileManager> fileManager_;
    FileManager* files_ = nullptr; // the one in use
    std::unique_ptr<Output> output_;
    std::unique_ptr<OpenPanel> openPanel_;
    std::unique_ptr<Alert> alert_;
    FolderPanel* folderPanel_ = nullptr; // the real panel, when no override is given
    std::unique_ptr<FolderRoute> folderRoute_;
    Settings settings_;
    std::unique_ptr<MoveJobRunner> moves_;
    std::function<void()> afterMove_; // see afterCommand()
    bool closeAfterMove_ = false;
    // Before the controller its jobs report to.
    std::unique_ptr<BackgroundJobs> jobs_;
    std::unique_ptr<FolderCompletion> completion_; // see completion()
    FullScreenLayout* fullScreen_ = nullptr;
    std::vector<QAction*> recentItems_; // Go ▸ Recent Destinations, Ctrl+1 to Ctrl+9
    QAction* noRecentItem_ = nullptr;   // in their place while there are none
    bool painted_ = false;

    // The adapters behind the controller's outlets, of as many types as
    // there are kinds of control; nothing but the controller uses them.
    std::vector<std::shared_ptr<void>> adapters_;
    template <typename Adapter, typename Widget, typename... Options>
    Adapter* adapt(Widget* widget, Options... options);

    std::unique_ptr<ViewController> controller_;
};

} // namespace shoebox
