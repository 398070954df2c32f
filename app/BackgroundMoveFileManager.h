#pragma once

#include <QPointer>

#include "platform/FileManager.h"

class QWidget;

namespace shoebox {

// The file manager the window gives its controller: every call goes to
// `inner`, but a move runs on a worker thread while the window keeps
// painting. The controller still sees one synchronous call. A move still
// running after about half a second shows a modal progress dialog whose
// Cancel stops it through the move's observer. While a move runs, input to
// the window is dropped, not queued: keys pressed during a long copy run no
// command afterwards.
class BackgroundMoveFileManager final : public FileManager {
public:
    BackgroundMoveFileManager(FileManager& inner, QWidget* window) : inner_(inner), window_(window) {}

    // Whether a move is under way: the window's own handlers must not start
    // a command from the event loop that the move runs.
    bool isMoving() const { return moving_; }

    std::optional<std::vector<FileURL>> shownFilesInDirectory(const FileURL& folder, ListingObserver& observer) override
    {
        return inner_.shownFilesInDirectory(folder, observer);
    }
    bool fileExistsAtPath(const std::string& path) override { return inner_.fileExistsAtPath(path); }
    bool fileExistsAtPath(const std::string& path, bool& isDirectory) override
    {
        return inner_.fileExistsAtPath(path, isDirectory);
    }
    Result<> createDirectoryAtURL(const FileURL& folder) override { return inner_.createDirectoryAtURL(folder); }
    std::optional<std::vector<std::string>> folderNamesInDirectory(const FileURL& folder) override
    {
        return inner_.folderNamesInDirectory(folder);
    }
    // The Trash and putting back from it rename within one file system:
    // they are quick and stay on the calling thread.
    Result<std::optional<FileURL>> trashItemAtURL(const FileURL& url) override { return inner_.trashItemAtURL(url); }
    Result<> restoreItemFromTrash(const FileURL& trashedItem, const FileURL& originalURL) override
    {
        return inner_.restoreItemFromTrash(trashedItem, originalURL);
    }

    using FileManager::moveItemAtPath;
    Result<> moveItemAtPath(const std::string& source, const std::string& destination, MoveObserver* observer) override;

private:
    FileManager& inner_;
    QPointer<QWidget> window_;
    bool moving_ = false;
};

} // namespace shoebox
