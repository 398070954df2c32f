// A child process for the tests of how the program ends: the program as main runs it (runApplication), with the real
// move slowed through its observer. Given SOURCE and DESTINATION it moves the first file as "Beach" once the window is
// up, says "copying" on stderr when the copy has begun and holds the copy there until the move is cancelled. Given
// SOURCE only it says "ready" once the window shows the first file.

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <thread>

#include "app/AppDelegate.h"
#include "app/MainWindow.h"
#include "tests/support/Doubles.h"

using namespace shoebox;

namespace {

// Holds the copy after its first step until the move is cancelled (at most half a minute, so nothing hangs).
class HeldCopy final : public MoveObserver {
public:
    explicit HeldCopy(MoveObserver* outer) : outer_(outer) {}
    void copied(std::uint64_t done, std::uint64_t total) override
    {
        if (outer_)
            outer_->copied(done, total);
        std::fprintf(stderr, "copying\n");
        for (int waited = 0; !cancelled() && waited < 3000; ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    bool cancelled() override { return outer_ && outer_->cancelled(); }

private:
    MoveObserver* outer_;
};

struct HeldCopies final : shoebox::testing::FailingFileManager {
    using FileManager::moveItemAtPath;
    Result<> moveItemAtPath(const std::string& source, const std::string& destination, MoveObserver* observer) override
    {
        HeldCopy held(observer);
        return real.moveItemAtPath(source, destination, &held);
    }
};

void startOnceShown()
{
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* window = qobject_cast<MainWindow*>(widget);
            if (!window || !window->isVisible() || window->controller().imageURLs().empty())
                continue;
            poll->stop();
            if (!window->controller().destinationFolderPath()) {
                std::fprintf(stderr, "ready\n");
                return;
            }
            window->findChild<QLineEdit*>("newFileNameTextField")->setText("Beach");
            window->findChild<QPushButton*>("moveAndRenameFileButton")->click();
            return;
        }
    });
    poll->start(10);
}
Q_COREAPP_STARTUP_FUNCTION(startOnceShown)

} // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    HeldCopies files;
    return runApplication(argc, argv, WindowOverrides{nullptr, nullptr, &files, nullptr});
}
