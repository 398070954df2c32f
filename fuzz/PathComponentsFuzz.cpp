// Making locations from path text, and their components: the last name, the
// folder above, a name appended, and the extension rule. Pieces of the
// input: a base folder, a path taken relative to it, a name to append.

#include <string>

#include "fuzz/FuzzSupport.h"
#include "platform/FileURL.h"

using namespace shoebox;
using namespace shoebox::fuzz;

namespace {

// The path with empty components dropped: what a location normalises to.
std::string collapsed(std::string_view path)
{
    std::string result;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        if (end > start) {
            result += '/';
            result += path.substr(start, end - start);
        }
        start = end + 1;
    }
    return result.empty() ? "/" : result;
}

void checkComponents(const FileURL& location)
{
    const std::string& path = location.path();
    const std::string last = location.lastPathComponent();
    const FileURL parent = location.deletingLastPathComponent();

    FUZZ_CHECK(collapsed(path) == path);
    FUZZ_CHECK(FileURL::fileURLWithPath(path) == location);
    if (path == "/") {
        FUZZ_CHECK(last == "/" && parent == location);
        FUZZ_CHECK(location.pathExtension().empty() && location.deletingPathExtension() == location);
        return;
    }
    FUZZ_CHECK(!last.empty() && last.find('/') == std::string::npos);
    FUZZ_CHECK(parent.path() + (parent.path() == "/" ? "" : "/") + last == path);
    FUZZ_CHECK(parent.appendingPathComponent(last) == location);

    // The extension follows the last dot of the last name, unless that dot
    // is the name's first byte.
    const std::string extension = location.pathExtension();
    const FileURL stemmed = location.deletingPathExtension();
    const std::size_t dot = last.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        FUZZ_CHECK(extension.empty() && stemmed == location);
    } else {
        FUZZ_CHECK(extension == last.substr(dot + 1));
        FUZZ_CHECK(stemmed.deletingLastPathComponent() == parent);
        FUZZ_CHECK(stemmed.lastPathComponent() + "." + extension == last);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::string_view> parts = pieces(bytesOf(data, size), 3);
    const std::string_view basePath = parts.size() > 0 ? parts[0] : "";
    const std::string_view path = parts.size() > 1 ? parts[1] : "";
    const std::string_view name = parts.size() > 2 ? parts[2] : "";

    const FileURL base = FileURL::fileURLWithPath("/" + std::string(basePath));
    const FileURL location = FileURL::fileURLWithPath(path, base);
    const bool absolute = path.starts_with('/');
    FUZZ_CHECK(location.path() == collapsed(absolute ? std::string(path) : base.path() + "/" + std::string(path)));
    checkComponents(base);
    checkComponents(location);

    const FileURL appended = location.appendingPathComponent(name);
    FUZZ_CHECK(appended.path() == collapsed(location.path() + "/" + std::string(name)));
    checkComponents(appended);
    if (!name.empty() && name.find('/') == std::string_view::npos) {
        FUZZ_CHECK(appended.lastPathComponent() == name);
        FUZZ_CHECK(appended.deletingLastPathComponent() == location);
    }
    return 0;
}
