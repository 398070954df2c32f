#pragma once

// In-memory stand-ins for the window's controls and the outside world. Panels and alerts script what the user
// "chooses"; the file manager double wraps the real one and can be told to fail a given call.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/FileManager.h"
#include "platform/LinuxFileManager.h"
#include "sorting/Controls.h"
#include "sorting/MoveJobs.h"
#include "sorting/ViewController.h"

namespace shoebox::testing {

// Stands in for any of the window's controls: its text (or title), whether it is enabled (from the start, so that
// disabling shows), a bar's range and position, a menu's selection, the files an image view was given.
struct FakeControl final : TextField, Button, MenuItem, ProgressIndicator, PopUpMenu, ImageView {
    std::string value;
    bool enabled = true;
    double min = -1, max = -1, at = -1;
    long index = 0;
    std::vector<FileURL> shown, neighbours;

    std::string stringValue() const override { return value; }
    void setStringValue(std::string_view text) override { value = text; }
    void setTitle(std::string_view text) override { value = text; }
    void setEnabled(bool on) override { enabled = on; }
    void setMinValue(double v) override { min = v; }
    void setMaxValue(double v) override { max = v; }
    void setDoubleValue(double v) override { at = v; }
    long indexOfSelectedItem() const override { return index; }
    void setImage(const FileURL& url) override { shown.push_back(url); }
    void setNeighbours(const std::vector<FileURL>& next) override { neighbours = next; }
};

// Answers each run with the next queued choice; with none queued (a panel that should not open), the test fails and
// the panel answers a cancel.
struct ScriptedOpenPanel final : OpenPanel {
    std::deque<std::optional<FileURL>> answers;
    void chooseNext(std::optional<FileURL> answer) { answers.push_back(std::move(answer)); }
    std::optional<FileURL> chooseFolder() override
    {
        if (answers.empty()) {
            ADD_FAILURE() << "open panel ran with no answer queued";
            return std::nullopt;
        }
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

struct RecordingAlert final : Alert {
    std::vector<std::pair<std::string, std::string>> shown;
    void showWarning(std::string_view message, std::string_view informative) override
    {
        shown.emplace_back(message, informative);
    }
};

struct RecordingOutput final : Output {
    std::vector<std::string> lines;
    void print(std::string_view line) override { lines.emplace_back(line); }
};

// The real file manager, except that the Nth call of a named operation ("move", "trash", "restore", "mkdir") fails
// with the given description.
struct FailingFileManager : FileManager {
    LinuxFileManager real;
    std::map<std::string, int> calls;
    std::map<std::string, std::pair<int, std::string>> failures;
    std::vector<std::string> log; // every mutating call, in order
    std::atomic<int> listings{0}; // folders listed, from any thread

    void failCall(const std::string& operation, int nth, std::string description)
    {
        failures[operation] = {nth, std::move(description)};
    }

    std::optional<std::vector<FileURL>> shownFilesInDirectory(const FileURL& folder, ListingObserver& observer) override
    {
        ++listings;
        return real.shownFilesInDirectory(folder, observer);
    }
    bool fileExistsAtPath(const std::string& path) override { return real.fileExistsAtPath(path); }
    bool fileExistsAtPath(const std::string& path, bool& isDirectory) override
    {
        return real.fileExistsAtPath(path, isDirectory);
    }
    Result<> createDirectoryAtURL(const FileURL& folder) override
    {
        return call("mkdir", folder.path(), [&] { return real.createDirectoryAtURL(folder); });
    }
    using FileManager::moveItemAtPath;
    Result<> moveItemAtPath(const std::string& source, const std::string& destination, MoveObserver* observer) override
    {
        return call("move", source + " -> " + destination,
                    [&] { return real.moveItemAtPath(source, destination, observer); });
    }
    std::optional<std::vector<std::string>> namesInDirectory(const FileURL& folder) override
    {
        return real.namesInDirectory(folder);
    }
    std::optional<std::vector<std::string>> folderNamesInDirectory(const FileURL& folder) override
    {
        ++listings;
        return real.folderNamesInDirectory(folder);
    }
    Result<TrashedItem> trashItemAtURL(const FileURL& url) override
    {
        return call("trash", url.path(), [&] { return real.trashItemAtURL(url); });
    }
    Result<Restored> restoreItemFromTrash(const TrashedItem& item, const FileURL& originalURL) override
    {
        return call("restore", (item.place ? item.place->path() : "?") + " -> " + originalURL.path(),
                    [&] { return real.restoreItemFromTrash(item, originalURL); });
    }

private:
    auto call(const std::string& operation, const std::string& what, auto run) -> decltype(run())
    {
        log.push_back(operation + " " + what);
        if (const auto& [nth, description] = failures[operation]; ++calls[operation] == nth)
            return failure(description);
        return run();
    }
};

// The file manager above, except that a move with an observer "copies" in small steps, reporting each, until the
// observer cancels it (it fails as the move engine does) or `finish` is set (the move then runs); folder listings wait
// while `holdListings` is set, and source listings while `holdSourceListings` is, unless stopped meanwhile. Steps and
// listings run on the caller's thread, never the test's.
struct SlowFileManager final : FailingFileManager {
    std::atomic<bool> finish{false};
    std::atomic<bool> holdListings{false};
    std::atomic<bool> holdSourceListings{false};
    std::atomic<int> stoppedListings{0}; // source listings that saw themselves stopped while held
    static constexpr std::uint64_t stepBytes = 8 << 20, totalBytes = 6000 * stepBytes;

    std::optional<std::vector<FileURL>> shownFilesInDirectory(const FileURL& folder, ListingObserver& observer) override
    {
        for (int waited = 0; holdSourceListings && waited < 5000; ++waited) {
            if (observer.stopped()) {
                ++stoppedListings;
                return std::nullopt;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return FailingFileManager::shownFilesInDirectory(folder, observer);
    }

    std::optional<std::vector<std::string>> folderNamesInDirectory(const FileURL& folder) override
    {
        // At most ten seconds, so a listing on the test's thread fails it instead of hanging.
        for (int waited = 0; holdListings && waited < 5000; ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return FailingFileManager::folderNamesInDirectory(folder);
    }
    using FileManager::moveItemAtPath;
    Result<> moveItemAtPath(const std::string& source, const std::string& destination, MoveObserver* observer) override
    {
        // Ends on its own after half a minute, so a test that fails to stop it fails instead of hanging.
        for (std::uint64_t done = 0; observer && !finish && done < totalBytes; done += stepBytes) {
            if (observer->cancelled())
                return failure("Could not move \u201C" + source + "\u201D to \u201C" + destination +
                               "\u201D: the move was cancelled");
            observer->copied(done, totalBytes);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return FailingFileManager::moveItemAtPath(source, destination, observer);
    }
};

// Runs each job at once on the calling thread. What a job hands back runs at once too, as if the work were done in
// the call that started it; or, while `hold` is set, waits until the test delivers it: a listing paused after its
// first file, or before its end.
struct SteppedJobs final : JobRunner {
    bool hold = false;
    std::deque<std::pair<std::shared_ptr<JobToken>, Task>> held;

    void start(std::shared_ptr<JobToken> token, Work work) override
    {
        work(*token, [this, token](Task task) {
            if (hold)
                held.emplace_back(token, std::move(task));
            else if (!token->cancelled())
                task();
        });
    }
    // Runs the oldest task held back, unless its job was cancelled meanwhile; false when none is held.
    bool deliverNext()
    {
        if (held.empty())
            return false;
        auto [token, task] = std::move(held.front());
        held.pop_front();
        if (!token->cancelled())
            task();
        return true;
    }
};

// Moves through `files` on the test's thread, and hands the result back at once; or, while `hold` is set, keeps the
// move until the test calls release() (the move is under way meanwhile).
struct HeldMoves final : MoveJobs {
    explicit HeldMoves(FileManager& files) : files(files) {}
    FileManager& files;
    bool hold = false;
    std::function<void()> held;

    void move(std::vector<PathMove> items, Done done) override
    {
        EXPECT_FALSE(held) << "a second move while one is under way";
        held = [this, items, done] { done(files.moveItemsAtPaths(items, nullptr)); };
        if (!hold)
            release();
    }
    void release()
    {
        if (auto run = std::exchange(held, nullptr))
            run();
    }
};

// A whole window's worth of doubles, wired to one controller.
struct FakeWindow {
    FakeControl subSubFolder, trashPhotoButton, prePhotoButton, nextPhotoButton, moveAndRenameFileButton,
        newFileNamePreviewField, sourceFolderLabel, destinationFolderLabel, progressBar, progressTextField,
        subFolderOneBox, newFileNameTextField, renameTypeMenu, currentFilePathLabel, imageViewer, statusBar,
        undoMenuItem, redoMenuItem, destinationPreviewField;
    ScriptedOpenPanel panel;
    RecordingAlert alert;
    RecordingOutput output;
    FailingFileManager files;
    SteppedJobs jobs;
    HeldMoves moves{files};

    // In the order of Outlets' fields.
    // clang-format off
    Outlets outlets()
    {
        return Outlets{&subSubFolder, &trashPhotoButton, &prePhotoButton, &nextPhotoButton, &moveAndRenameFileButton,
                       &newFileNamePreviewField, &sourceFolderLabel, &destinationFolderLabel, &progressBar,
                       &progressTextField, &subFolderOneBox, &newFileNameTextField, &renameTypeMenu,
                       &currentFilePathLabel, &imageViewer, &statusBar, &undoMenuItem, &redoMenuItem,
                       &destinationPreviewField};
    }
    // clang-format on
    Services services() { return Services{&files, &panel, &alert, &output, &moves, untranslated, &jobs}; }
};

} // namespace shoebox::testing
