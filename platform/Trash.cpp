#include "platform/Trash.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <gio/gio.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/FileDescriptor.h"
#include "platform/FileMove.h"
#include "platform/FileURL.h"
#include "platform/Mounts.h"
#include "platform/Text.h"

namespace shoebox {

namespace {

// GIO, with GObject, libmount, libblkid, libselinux and libffi, takes
// about a millisecond to map and relocate when a program starts, before its
// window can paint, and only the Trash needs it. So it is not linked but
// opened on the first Trash (GLib itself comes with Qt). The few functions
// used are looked up here; GIO's headers still give their types.
struct Gio {
    GFile* (*fileNewForPath)(const char* path) = nullptr;
    gboolean (*fileTrash)(GFile* file, GCancellable* cancellable, GError** error) = nullptr;
    void (*objectUnref)(gpointer object) = nullptr;
};

// GIO's functions, or null with `why` set when it cannot be loaded.
const Gio* gio(std::string* why)
{
    static std::string error;
    static const Gio* const loaded = []() -> const Gio* {
        // Never closed: it stays for the rest of the process, as linked.
        void* library = ::dlopen("libgio-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            error = ::dlerror();
            return nullptr;
        }
        static Gio functions;
        functions.fileNewForPath =
            reinterpret_cast<decltype(functions.fileNewForPath)>(::dlsym(library, "g_file_new_for_path"));
        functions.fileTrash = reinterpret_cast<decltype(functions.fileTrash)>(::dlsym(library, "g_file_trash"));
        functions.objectUnref = reinterpret_cast<decltype(functions.objectUnref)>(::dlsym(library, "g_object_unref"));
        if (!functions.fileNewForPath || !functions.fileTrash || !functions.objectUnref) {
            error = "libgio-2.0.so.0 lacks g_file_trash";
            return nullptr;
        }
        return &functions;
    }();
    if (!loaded && why)
        *why = error;
    return loaded;
}

struct ObjectUnref {
    void operator()(gpointer object) const { gio(nullptr)->objectUnref(object); }
};

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};

struct KeyFileFree {
    void operator()(GKeyFile* file) const { g_key_file_free(file); }
};

// GIO's messages are translated (gettext) into the language of the locale
// Qt sets at start, but a description ends up in the printed failure line,
// which stays English. While one lives, this thread uses the C locale, so
// GIO writes its message (and the system's reason in it) in English.
class EnglishMessages {
public:
    EnglishMessages()
        : english_(::newlocale(LC_ALL_MASK, "C", nullptr)), previous_(english_ ? ::uselocale(english_) : nullptr)
    {
    }
    ~EnglishMessages()
    {
        if (!english_)
            return;
        ::uselocale(previous_);
        ::freelocale(english_);
    }
    EnglishMessages(const EnglishMessages&) = delete;
    EnglishMessages& operator=(const EnglishMessages&) = delete;

private:
    locale_t english_;
    locale_t previous_;
};

std::unexpected<Error> trashFailure(const std::string& path, std::string_view why, int code)
{
    return failure(oneLine("Could not move \u201C" + path + "\u201D to the Trash: " + std::string(why)), code);
}

// The errno value closest to a GIO error, so that callers can tell causes
// apart without reading GIO's sentence.
int errnoOf(const GError* error)
{
    // G_IO_ERROR itself is a call into GIO; its quark's name is GLib's.
    if (error == nullptr || error->domain != g_quark_try_string("g-io-error-quark"))
        return EIO;
    switch (error->code) {
    case G_IO_ERROR_NOT_FOUND:
        return ENOENT;
    case G_IO_ERROR_EXISTS:
        return EEXIST;
    case G_IO_ERROR_IS_DIRECTORY:
        return EISDIR;
    case G_IO_ERROR_NOT_DIRECTORY:
        return ENOTDIR;
    case G_IO_ERROR_NOT_EMPTY:
        return ENOTEMPTY;
    case G_IO_ERROR_FILENAME_TOO_LONG:
        return ENAMETOOLONG;
    case G_IO_ERROR_INVALID_FILENAME:
    case G_IO_ERROR_INVALID_ARGUMENT:
        return EINVAL;
    case G_IO_ERROR_TOO_MANY_LINKS:
        return EMLINK;
    case G_IO_ERROR_NO_SPACE:
        return ENOSPC;
    case G_IO_ERROR_PERMISSION_DENIED:
        return EACCES;
    case G_IO_ERROR_NOT_SUPPORTED:
        return EOPNOTSUPP;
    case G_IO_ERROR_READ_ONLY:
        return EROFS;
    case G_IO_ERROR_BUSY:
        return EBUSY;
    case G_IO_ERROR_CANCELLED:
        return ECANCELED;
    case G_IO_ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    default:
        return EIO;
    }
}

// A folder's time is left out: moving it to another parent rewrites its
// ".." entry, which some file systems count as a change.
ItemIdentity identityIn(const struct stat& status)
{
    const std::int64_t modified = std::int64_t{status.st_mtim.tv_sec} * 1'000'000'000 + status.st_mtim.tv_nsec;
    return ItemIdentity{status.st_dev, status.st_ino, S_ISDIR(status.st_mode) ? 0 : modified};
}

std::optional<ItemIdentity> identityOf(const std::string& path)
{
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0)
        return std::nullopt;
    return identityIn(status);
}

std::string joined(const std::string& folder, const std::string& name)
{
    return folder == "/" ? "/" + name : folder + "/" + name;
}

bool isFolderOn(const std::string& path, dev_t device)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_dev == device;
}

// The highest folder above `path` on the same device: the top of its mount.
std::string mountTopOf(const std::string& path, dev_t device)
{
    std::string folder = parentOf(path);
    while (folder != "/") {
        const std::string parent = parentOf(folder);
        if (!isFolderOn(parent, device))
            break;
        folder = parent;
    }
    return folder;
}

// Where GIO puts an item from `path` on `device`: the home trash when it is
// on that device, otherwise $topdir/.Trash/$uid or $topdir/.Trash-$uid.
// GIO renames, so the item stays on its device and only these can hold it.
std::vector<std::string> trashFoldersFor(const std::string& path, dev_t device)
{
    std::vector<std::string> folders;
    const std::string home = std::string(g_get_user_data_dir()) + "/Trash";
    if (isFolderOn(home, device))
        folders.push_back(home);
    if (path.starts_with('/')) {
        const std::string top = mountTopOf(path, device);
        const std::string uid = std::to_string(::getuid());
        for (const std::string& folder : {joined(top, ".Trash/" + uid), joined(top, ".Trash-" + uid)}) {
            if (folder != home && isFolderOn(folder, device))
                folders.push_back(folder);
        }
    }
    return folders;
}

// The trash folder (holding files/ and info/) of an item in its files/.
std::string trashFolderOf(const std::string& item)
{
    return parentOf(parentOf(item));
}

std::string infoFileOf(const std::string& item)
{
    return trashFolderOf(item) + "/info/" + baseNameOf(item) + ".trashinfo";
}

// The original path that the .trashinfo of `item` records, its escapes
// decoded. A trash at the top of a mount records paths relative to that top.
std::optional<std::string> recordedPathOf(const std::string& item)
{
    std::unique_ptr<GKeyFile, KeyFileFree> info(g_key_file_new());
    if (!g_key_file_load_from_file(info.get(), infoFileOf(item).c_str(), G_KEY_FILE_NONE, nullptr))
        return std::nullopt;
    std::unique_ptr<char, decltype(&g_free)> escaped(g_key_file_get_value(info.get(), "Trash Info", "Path", nullptr),
                                                     g_free);
    if (!escaped)
        return std::nullopt;
    std::unique_ptr<char, decltype(&g_free)> path(g_uri_unescape_string(escaped.get(), nullptr), g_free);
    if (!path)
        return std::nullopt;
    std::string recorded = path.get();
    if (recorded.starts_with('/'))
        return recorded;
    const std::string folder = trashFolderOf(item);
    const std::string above = parentOf(folder);
    const std::string top = baseNameOf(above) == ".Trash" ? parentOf(above) : above;
    return joined(top, recorded);
}

// GIO 2.74 does not say where it put the item, so look for it by device and
// inode, and take it only when its .trashinfo names `original`: neither a
// same-named item nor another file of that name can be mistaken for it.
std::optional<std::string> findTrashed(const std::string& original, ItemIdentity identity)
{
    // GIO names the item after the original, numbering the part before the
    // first dot when that is taken ("IMG.2.JPG").
    const std::string base = baseNameOf(original);
    const std::string prefix = base.substr(0, base.find('.'));
    for (const std::string& folder : trashFoldersFor(original, identity.device)) {
        const std::string files = folder + "/files";
        UniqueDir directory(::opendir(files.c_str()));
        if (!directory)
            continue;
        while (const dirent* entry = ::readdir(directory.get())) {
            // The inode in the entry spares a stat per item; an overlay file
            // system may report another one there, so the names GIO would
            // have given are looked at too.
            const std::string_view name = entry->d_name;
            if (entry->d_ino != identity.inode && !name.starts_with(prefix))
                continue;
            struct stat status {};
            if (::fstatat(::dirfd(directory.get()), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0 ||
                identityIn(status) != identity)
                continue;
            const std::string item = files + "/" + std::string(name);
            if (recordedPathOf(item) == original)
                return item;
        }
    }
    return std::nullopt;
}

// The item that is `identity` in the folder of `original`, under whatever
// name a file manager put it back with, or nothing. As in findTrashed, the
// names like the original's are looked at whatever inode the entry gives.
std::optional<std::string> findNear(const std::string& original, ItemIdentity identity)
{
    const std::string folder = parentOf(original), base = baseNameOf(original);
    const std::string prefix = base.substr(0, base.find('.'));
    UniqueDir directory(::opendir(folder.c_str()));
    if (!directory)
        return std::nullopt;
    while (const dirent* entry = ::readdir(directory.get())) {
        struct stat status {};
        if ((entry->d_ino == identity.inode || std::string_view(entry->d_name).starts_with(prefix)) &&
            ::fstatat(::dirfd(directory.get()), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
            identityIn(status) == identity)
            return joined(folder, entry->d_name);
    }
    return std::nullopt;
}

// Why `original` cannot be put back, as the one line undo shows.
std::unexpected<Error> notBack(const std::string& original, const std::string& why, int code = ENOENT)
{
    return failure(oneLine("Could not put \u201C" + original + "\u201D back from the Trash: " + why), code);
}

} // namespace

// GIO implements the freedesktop.org Trash: the home trash under
// $XDG_DATA_HOME/Trash for items on the home filesystem, $topdir/.Trash-$uid
// on other mounts, each item with a .trashinfo holding its original path.
// GFile paths are raw filename bytes, so names need not be UTF-8.
Result<TrashedItem> trashItem(const std::string& path)
{
    // An empty path would name the working directory.
    if (path.empty()) {
        return trashFailure(path, systemReason(ENOENT), ENOENT);
    }
    if (holdsNull(path)) {
        return trashFailure(path, systemReason(EINVAL), EINVAL);
    }
    // GIO renames the item into a Trash folder on the same filesystem.
    if (removingNamesIsUnsafe(path)) {
        auto refused = trashFailure(path, unsafeRemovalReason, 0);
        refused.error().cause = Error::Cause::unsafeFilesystem;
        return refused;
    }
    std::string why;
    const Gio* const functions = gio(&why);
    if (!functions)
        return trashFailure(path, "GIO cannot be loaded: " + why, ENOSYS);
    const std::optional<ItemIdentity> identity = identityOf(path);
    std::unique_ptr<GFile, ObjectUnref> file(functions->fileNewForPath(path.c_str()));
    GError* rawError = nullptr;
    const bool trashed = [&] {
        const EnglishMessages english;
        return functions->fileTrash(file.get(), nullptr, &rawError);
    }();
    if (trashed) {
        TrashedItem item{std::nullopt, identity};
        if (identity) {
            if (std::optional<std::string> place = findTrashed(path, *identity))
                item.place = FileURL::fileURLWithPath(*place);
        }
        return item;
    }
    std::unique_ptr<GError, ErrorFree> error(rawError);
    return trashFailure(path, error ? error->message : "unknown error", errnoOf(error.get()));
}

Result<Restored> restoreTrashedItem(const TrashedItem& item, const std::string& originalPath, const FileMoveIo& io)
{
    const std::string place = item.place ? item.place->path() : std::string();
    if (holdsNull(place) || holdsNull(originalPath))
        return notBack(originalPath, "it is no longer there");
    if (!item.identity)
        return notBack(originalPath, "its place in the Trash is unknown");
    const ItemIdentity identity = *item.identity;

    // Where it is in the Trash: at its place, or, should that be unknown or
    // taken by another item, wherever its identity and the original path
    // its .trashinfo records find it.
    const bool atPlace = !place.empty() && baseNameOf(parentOf(place)) == "files" && identityOf(place) == identity;
    std::optional<std::string> trashed;
    if (atPlace && recordedPathOf(place) == originalPath)
        trashed = place;
    else
        trashed = findTrashed(originalPath, identity);
    if (trashed) {
        if (Result<> moved = moveItemNoReplace(*trashed, originalPath, nullptr, io); !moved)
            return std::unexpected(moved.error());
        // The item is back where it was. Should its .trashinfo stay behind,
        // it names nothing in files/, which GIO and file managers pass over
        // and emptying the Trash removes: no reason to call the restore failed.
        ::unlink(infoFileOf(*trashed).c_str());
        return Restored::putBack;
    }
    if (atPlace)
        return notBack(originalPath, "it is no longer there"); // off the Trash's list, or listed for another path

    // Not in the Trash: emptied, or put back by hand. A .trashinfo that a
    // hand-made restore left at its place names nothing now; it goes only
    // when nothing stands at the place and it records this item's path, so
    // that another item's listing is never touched.
    struct stat status {};
    const bool placeEmpty = !place.empty() && ::lstat(place.c_str(), &status) != 0 && errno == ENOENT;
    if (placeEmpty && recordedPathOf(place) == originalPath)
        ::unlink(infoFileOf(place).c_str());
    if (identityOf(originalPath) == identity)
        return Restored::alreadyBack;
    if (std::optional<std::string> now = findNear(originalPath, identity))
        return notBack(originalPath, "it was put back as \u201C" + *now + "\u201D", EEXIST);
    return notBack(originalPath, "it is no longer in the Trash");
}

} // namespace shoebox
