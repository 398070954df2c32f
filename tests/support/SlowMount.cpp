#include "tests/support/SlowMount.h"

#define FUSE_USE_VERSION 312
#include <fuse.h>

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

namespace shoebox::testing {

namespace {

// The mount of the operation under way, after the operation's wait.
SlowMount& waited()
{
    auto& mount = *static_cast<SlowMount*>(fuse_get_context()->private_data);
    mount.wait();
    return mount;
}

// The path `path` names in the backing folder, after the operation's wait.
std::string real(const char* path)
{
    return waited().backing() + path;
}

// The answer FUSE wants: 0, or minus the errno of a call that failed.
int answer(long result)
{
    return result < 0 ? -errno : 0;
}

int fileHandle(struct fuse_file_info* fi)
{
    return static_cast<int>(fi->fh);
}

// Pass-through operations on the backing folder's items by path, or on the descriptor an open gave: reading and
// listing, and removing a file (a move off the disk); nothing else is asked of it.
const fuse_operations passThrough = [] {
    fuse_operations ops{};
    ops.init = [](fuse_conn_info*, fuse_config* config) -> void* {
        config->use_ino = 1; // inode numbers as the backing folder has them, as the move compares them
        // An open file removed goes at once, as on a disk: its descriptor here keeps the backing file readable.
        config->hard_remove = 1;
        return fuse_get_context()->private_data;
    };
    // By path even where the kernel names an open file: a folder's handle is a DIR*, not a descriptor.
    ops.getattr = [](const char* path, struct stat* status, fuse_file_info*) {
        return answer(::lstat(real(path).c_str(), status));
    };
    ops.readlink = [](const char* path, char* buffer, size_t size) {
        const ssize_t length = ::readlink(real(path).c_str(), buffer, size - 1);
        if (length < 0)
            return -errno;
        buffer[length] = '\0';
        return 0;
    };
    ops.unlink = [](const char* path) { return answer(::unlink(real(path).c_str())); };
    ops.open = [](const char* path, fuse_file_info* fi) {
        const int fd = ::open(real(path).c_str(), fi->flags | O_CLOEXEC);
        fi->fh = static_cast<uint64_t>(fd);
        return answer(fd);
    };
    ops.read = [](const char*, char* buffer, size_t size, off_t offset, fuse_file_info* fi) {
        waited();
        const ssize_t n = ::pread(fileHandle(fi), buffer, size, offset);
        return n < 0 ? -errno : static_cast<int>(n);
    };
    ops.statfs = [](const char* path, struct statvfs* status) { return answer(::statvfs(real(path).c_str(), status)); };
    ops.flush = [](const char*, fuse_file_info*) {
        waited();
        return 0;
    };
    ops.release = [](const char*, fuse_file_info* fi) {
        waited();
        return answer(::close(fileHandle(fi)));
    };
    ops.getxattr = [](const char* path, const char* name, char* value, size_t size) {
        const ssize_t n = ::lgetxattr(real(path).c_str(), name, value, size);
        return n < 0 ? -errno : static_cast<int>(n);
    };
    ops.listxattr = [](const char* path, char* list, size_t size) {
        const ssize_t n = ::llistxattr(real(path).c_str(), list, size);
        return n < 0 ? -errno : static_cast<int>(n);
    };
    // A folder's handle is a descriptor, as a file's is.
    ops.opendir = [](const char* path, fuse_file_info* fi) {
        const int fd = ::open(real(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        fi->fh = static_cast<uint64_t>(fd);
        return answer(fd);
    };
    // The whole folder at once (offsets of 0): FUSE keeps the names and hands them out page by page.
    ops.readdir = [](const char*, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info* fi, fuse_readdir_flags) {
        waited();
        const int fd = ::dup(fileHandle(fi));
        DIR* directory = fd < 0 ? nullptr : ::fdopendir(fd);
        if (!directory) {
            const int error = errno;
            if (fd >= 0)
                ::close(fd);
            return -error;
        }
        ::rewinddir(directory);
        while (const dirent* entry = ::readdir(directory)) {
            struct stat status {};
            status.st_ino = entry->d_ino;
            status.st_mode = static_cast<mode_t>(DTTOIF(entry->d_type));
            if (fill(buffer, entry->d_name, &status, 0, fuse_fill_dir_flags{}) != 0)
                break;
        }
        ::closedir(directory);
        return 0;
    };
    ops.releasedir = [](const char*, fuse_file_info* fi) {
        waited();
        return answer(::close(fileHandle(fi)));
    };
    ops.access = [](const char* path, int mode) { return answer(::access(real(path).c_str(), mode)); };
    return ops;
}();

int threadsOfThisProcess()
{
    std::error_code error;
    const auto tasks = std::filesystem::directory_iterator("/proc/self/task", error);
    return error ? 0 : static_cast<int>(std::distance(begin(tasks), end(tasks)));
}

bool onPath(const std::string& program)
{
    const char* path = std::getenv("PATH");
    for (std::string_view rest = path ? path : "/usr/bin:/bin"; !rest.empty();) {
        const std::size_t colon = std::min(rest.find(':'), rest.size());
        const std::string candidate = std::string(rest.substr(0, colon)) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0)
            return true;
        rest.remove_prefix(std::min(colon + 1, rest.size()));
    }
    return false;
}

} // namespace

SlowMount::SlowMount(const std::string& folder, std::chrono::microseconds delay)
    : folder_(std::filesystem::absolute(folder).string()), mountPoint_(where_.makeFolder("slow")),
      delayUs_(delay.count())
{
    if (::access("/dev/fuse", R_OK | W_OK) != 0) {
        whyNot_ = "/dev/fuse cannot be opened here";
        return;
    }
    // Only root mounts through /dev/fuse itself; anyone else through the
    // setuid helper.
    if (::geteuid() != 0 && !onPath("fusermount3")) {
        whyNot_ = "fusermount3 is missing (Debian package fuse3), and only root mounts without it";
        return;
    }
    if (threadsOfThisProcess() == 1)
        useOwnMountNamespace();
    fuse_args args = FUSE_ARGS_INIT(0, nullptr);
    fuse_opt_add_arg(&args, "shoebox-slow");
    fuse_opt_add_arg(&args, "-ofsname=shoebox-slow");
    fuse_ = fuse_new(&args, &passThrough, sizeof passThrough, this);
    fuse_opt_free_args(&args);
    if (!fuse_) {
        whyNot_ = "the FUSE library refused its options";
        return;
    }
    if (fuse_mount(fuse_, mountPoint_.c_str()) != 0) {
        fuse_destroy(fuse_);
        fuse_ = nullptr;
        whyNot_ = "mounting through /dev/fuse failed (a container without the right to mount?)";
        return;
    }
    loop_ = std::thread([this] {
        fuse_loop_config* config = fuse_loop_cfg_create();
        // A disk far away serves many requests at once; the kernel sends up to 12 reads ahead in parallel.
        fuse_loop_cfg_set_max_threads(config, 32);
        fuse_loop_cfg_set_idle_threads(config, 16);
        fuse_loop_mt(fuse_, config);
        fuse_loop_cfg_destroy(config);
    });
}

SlowMount::~SlowMount()
{
    if (!fuse_)
        return;
    delayUs_ = 0;
    fuse_exit(fuse_);
    // Lazily: the loop's threads see the connection go once nothing holds a file open on it.
    fuse_unmount(fuse_);
    loop_.join();
    fuse_destroy(fuse_);
}

void SlowMount::wait()
{
    ++operations_;
    if (const std::int64_t us = delayUs_; us > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(us));
}

void useOwnMountNamespace()
{
    // Private propagation, so that nothing mounted here shows outside.
    if (::unshare(CLONE_NEWNS) == 0)
        ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
}

} // namespace shoebox::testing
