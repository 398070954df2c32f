#pragma once

#include "platform/FileManager.h"

namespace shoebox {

// The real file system: POSIX calls for listing and folders, the safe move of
// FileMove.h, and GIO for the Trash.
class LinuxFileManager final : public FileManager {
public:
    std::optional<std::vector<FileURL>> shownFilesInDirectory(const FileURL& folder,
                                                              ListingObserver& observer) override;
    bool fileExistsAtPath(const std::string& path) override;
    bool fileExistsAtPath(const std::string& path, bool& isDirectory) override;
    Result<> createDirectoryAtURL(const FileURL& folder) override;
    using FileManager::moveItemAtPath;
    Result<> moveItemAtPath(const std::string& source, const std::string& destination, MoveObserver* observer) override;
    std::optional<std::vector<std::string>> folderNamesInDirectory(const FileURL& folder) override;
    Result<std::optional<FileURL>> trashItemAtURL(const FileURL& url) override;
    Result<> restoreItemFromTrash(const FileURL& trashedItem, const FileURL& originalURL) override;
};

} // namespace shoebox
