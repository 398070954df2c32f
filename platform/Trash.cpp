#include "Trash.h"

#include <gio/gio.h>

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

std::unexpected<Error> trashFailure(const std::string& path, std::string_view reason)
{
    return failure(oneLine("Could not move \u201C" + path + "\u201D to the Trash: " + std::string(reason)));
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
        return trashFailure(path, "No such file or directory");
    }
    if (path.find('\0') != std::string::npos) {
        return trashFailure(path, "Invalid argument");
    }
    std::unique_ptr<GFile, ObjectUnref> file(g_file_new_for_path(path.c_str()));
    GError* rawError = nullptr;
    if (g_file_trash(file.get(), nullptr, &rawError)) {
        return {};
    }
    std::unique_ptr<GError, ErrorFree> error(rawError);
    return trashFailure(path, error ? error->message : "unknown error");
}

} // namespace shoebox
