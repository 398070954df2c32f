#include "Trash.h"

#include <gio/gio.h>

#include <cerrno>
#include <memory>
#include <string_view>

#include "Text.h"

namespace shoebox {

namespace {

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};

std::unexpected<Error> trashFailure(const std::string& path, std::string_view reason, int code)
{
    return failure(oneLine("Could not move \u201C" + path + "\u201D to the Trash: " + std::string(reason)), code);
}

// The errno value closest to a GIO error, so that callers can tell causes
// apart without reading GIO's sentence.
int errnoOf(const GError* error)
{
    if (error == nullptr || error->domain != G_IO_ERROR)
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

} // namespace

// GIO implements the freedesktop.org Trash: the home trash under
// $XDG_DATA_HOME/Trash for items on the home filesystem, $topdir/.Trash-$uid
// on other mounts, each item with a .trashinfo holding its original path.
// GFile paths are raw filename bytes, so names need not be UTF-8.
Result<> trashItem(const std::string& path)
{
    // An empty path would name the working directory, and a NUL byte would
    // cut the name short and aim at another item.
    if (path.empty()) {
        return trashFailure(path, "No such file or directory", ENOENT);
    }
    if (path.find('\0') != std::string::npos) {
        return trashFailure(path, "Invalid argument", EINVAL);
    }
    std::unique_ptr<GFile, ObjectUnref> file(g_file_new_for_path(path.c_str()));
    GError* rawError = nullptr;
    if (g_file_trash(file.get(), nullptr, &rawError)) {
        return {};
    }
    std::unique_ptr<GError, ErrorFree> error(rawError);
    return trashFailure(path, error ? error->message : "unknown error", errnoOf(error.get()));
}

} // namespace shoebox
