#pragma once

#include <utility>

#include "platform/FileManager.h"
#include "platform/FileMoveIo.h"

namespace shoebox {

// The real file system: POSIX calls for listing and folders, the safe move of
// FileMove.h, and GIO for the Trash. Its moves (putting an item back from
// the Trash among them) make their calls through `io`, the system's unless
// a test hands it others.
class LinuxFileManager final : public FileManager {
public:
    explicit LinuxFileManager(FileMoveIo io = systemFileMoveIo()) : io_(std::move(io)) {}

    std::optional<std::vector<FileURL>> shownFilesInDirectory(const FileURL& folder,
                                                              ListingObserver& observer) override;
    bool fileExistsAtPath(const std::string& path) override;
    bool fileExistsAtPath(const std::string& path, bool& isDirectory) override;
    Result<> createDirectoryAtURL(const FileURL& folder) override;
    using FileManager::moveItemAtPath;
    Result<> moveItemAtPath(const std::string& source, const std::string& destination, MoveObserver* observer) override;
    std::optional<std::vector<std::string>> namesInDirectory(const FileURL& folder) override;
    std::optional<std::vector<std::string>> folderNamesInDirectory(const FileURL& folder) override;
    Result<TrashedItem> trashItemAtURL(const FileURL& url) override;
    Result<Restored> restoreItemFromTrash(const TrashedItem& item, const FileURL& originalURL) override;

private:
    const FileMoveIo io_;
};

} // namespace shoebox
