#include "platform/LinuxFileManager.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/FileDescriptor.h"
#include "platform/FileMove.h"
#include "platform/MediaTypes.h"
#include "platform/Text.h"
#include "platform/Trash.h"

namespace shoebox {

namespace {

// The path keeps its raw bytes: the description is written as bytes and a
// name the user cannot recognise helps nobody.
std::unexpected<Error> folderError(const std::string& path, int error)
{
    return failure("Could not create folder \u201C" + oneLine(path) + "\u201D: " + systemReason(error), error);
}

// A listing of `folder`, or null when it cannot be listed.
UniqueDir listing(const FileURL& folder)
{
    return holdsNull(folder.path()) ? nullptr : UniqueDir(::opendir(folder.path().c_str()));
}

// Names read from a folder, in one buffer per few thousand: a million names
// cost a few hundred allocations rather than a million.
struct NameBatch {
    static constexpr std::size_t size = 4096;
    std::string bytes;
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    std::vector<std::string_view> names; // once sealed: views into `bytes`, which then stays put

    // True when the batch is full.
    bool add(std::string_view name)
    {
        spans.emplace_back(bytes.size(), name.size());
        bytes.append(name);
        return spans.size() == size;
    }
    void seal()
    {
        for (auto [offset, length] : spans) {
            names.emplace_back(bytes.data() + offset, length);
        }
        spans = {};
    }
};

// Runs `work` on each batch handed over, in order, on a thread of its own
// (on a machine of one core, at once). The batches stay alive until this
// does: the work may keep views into them.
class ListingBatches {
public:
    explicit ListingBatches(std::function<void(const NameBatch&)> work) : work_(std::move(work))
    {
        if (std::thread::hardware_concurrency() > 1) {
            thread_ = std::jthread([this] { run(); });
        }
    }
    ~ListingBatches() { finish(); }

    void hand(NameBatch batch)
    {
        std::lock_guard lock(mutex_);
        // Sealed where it stays: a few names live inside the string itself.
        handed_.push_back(std::move(batch));
        handed_.back().seal();
        if (!thread_.joinable()) {
            work_(handed_.back());
        }
        wake_.notify_one();
    }
    // Returns once every batch handed over has been worked on.
    void finish()
    {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_one();
        if (thread_.joinable()) {
            thread_.join();
        }
    }

private:
    void run()
    {
        for (std::size_t next = 0;;) {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return next < handed_.size() || done_; });
            if (next == handed_.size()) {
                return; // done, and nothing left
            }
            const NameBatch& batch = handed_[next++];
            lock.unlock();
            work_(batch); // a deque's elements stay put as it grows
        }
    }

    std::function<void(const NameBatch&)> work_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<NameBatch> handed_;
    bool done_ = false;
    std::jthread thread_;
};

bool isDirectory(const std::string& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// Creates `path`, first creating whatever is missing above it. An existing
// folder (or link to one) counts as made, which also covers another process
// creating it at the same moment.
Result<> makeFolder(const std::string& path)
{
    if (holdsNull(path))
        return folderError(path, EINVAL);
    if (::mkdir(path.c_str(), 0777) == 0) {
        return {};
    }
    int error = errno;
    if (error == ENOENT) {
        std::size_t slash = path.rfind('/');
        if (slash != std::string::npos && slash > 0) {
            if (Result<> parent = makeFolder(path.substr(0, slash)); !parent) {
                return parent;
            }
            if (::mkdir(path.c_str(), 0777) == 0) {
                return {};
            }
            error = errno;
        }
    }
    if (error == EEXIST && isDirectory(path)) {
        return {};
    }
    return folderError(path, error);
}

} // namespace

std::optional<std::vector<FileURL>> LinuxFileManager::shownFilesInDirectory(const FileURL& folder,
                                                                            ListingObserver& observer)
{
    UniqueDir directory = listing(folder);
    if (!directory) {
        return std::nullopt;
    }

    // Reading the folder keeps one core busy in the kernel for most of the
    // listing. Meanwhile a second thread keys each batch of names read, so
    // that once the last name is in only the sort and the locations are
    // left, both on every core. (Making the locations meanwhile too would
    // leave them to be put in order afterwards: a million moves at random
    // places in memory, slower than making them in order.)
    NaturalOrder order;
    ListingBatches batches([&](const NameBatch& batch) { order.add(batch.names); });
    NameBatch batch;
    for (std::size_t read = 1;; ++read) {
        // glibc reads 32 KiB of entries at a time: a few hundred names.
        if (read % 1024 == 0 && observer.stopped()) {
            return std::nullopt;
        }
        errno = 0;
        const dirent* entry = ::readdir(directory.get());
        if (entry == nullptr) {
            // errno set: the rest of the folder cannot be read. Like an
            // unreadable entry, that is passed over: what was read is listed.
            break;
        }
        const std::string_view name(entry->d_name);
        if (name[0] == '.') {
            continue; // hidden, and "." and ".."
        }
        const std::size_t dot = name.rfind('.');
        if (dot == std::string_view::npos || !mediaKindOf(name.substr(dot + 1))) {
            continue;
        }
        if (batch.add(name)) {
            batches.hand(std::move(batch));
            batch = {};
        }
    }
    directory.reset();
    batches.hand(std::move(batch));
    batches.finish();

    if (!order.empty()) {
        observer.firstFile(folder.appendingPathComponent(order.first()));
    }
    if (observer.stopped()) {
        return std::nullopt;
    }
    const std::vector<std::string_view> sorted = order.sorted();
    if (observer.stopped()) {
        return std::nullopt;
    }
    return folder.appendingPathComponents(sorted);
}

// A path with a null byte names nothing: answering "taken" would keep a
// free-name search looking forever, and the move refuses it anyway.
bool LinuxFileManager::fileExistsAtPath(const std::string& path)
{
    if (holdsNull(path))
        return false;
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

bool LinuxFileManager::fileExistsAtPath(const std::string& path, bool& isDirectory)
{
    isDirectory = false;
    if (holdsNull(path))
        return false;
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0) {
        isDirectory = S_ISDIR(status.st_mode);
        return true;
    }
    // A dangling link still occupies the name.
    return ::lstat(path.c_str(), &status) == 0;
}

Result<> LinuxFileManager::createDirectoryAtURL(const FileURL& folder)
{
    return makeFolder(folder.path());
}

Result<> LinuxFileManager::moveItemAtPath(const std::string& source, const std::string& destination,
                                          MoveObserver* observer)
{
    return moveItemNoReplace(source, destination, observer, io_);
}

std::optional<std::vector<std::string>> LinuxFileManager::namesInDirectory(const FileURL& folder)
{
    UniqueDir directory = listing(folder);
    if (!directory)
        return std::nullopt;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(directory.get())) {
        if (entry->d_name[0] != '.') // hidden, and "." and ".."
            names.emplace_back(entry->d_name);
    }
    return names;
}

std::optional<std::vector<std::string>> LinuxFileManager::folderNamesInDirectory(const FileURL& folder)
{
    UniqueDir directory = listing(folder);
    if (!directory)
        return std::nullopt;

    std::vector<std::string> folders;
    while (const dirent* entry = ::readdir(directory.get())) {
        const char* name = entry->d_name;
        if (name[0] == '.')
            continue; // hidden, and "." and ".."
        bool isFolder = entry->d_type == DT_DIR;
        // A link may point at a folder, and some file systems tell no types:
        // only these cost a stat.
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat status {};
            isFolder = ::fstatat(::dirfd(directory.get()), name, &status, 0) == 0 && S_ISDIR(status.st_mode);
        }
        if (isFolder)
            folders.emplace_back(name);
    }
    directory.reset();

    std::vector<std::string_view> views(folders.begin(), folders.end());
    sortNaturally(views);
    std::vector<std::string> sorted(views.begin(), views.end());
    return sorted;
}

Result<TrashedItem> LinuxFileManager::trashItemAtURL(const FileURL& url)
{
    return trashItem(url.path());
}

Result<Restored> LinuxFileManager::restoreItemFromTrash(const TrashedItem& item, const FileURL& originalURL)
{
    return restoreTrashedItem(item, originalURL.path(), io_);
}

} // namespace shoebox
