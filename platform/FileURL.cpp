#include "platform/FileURL.h"

#include <cerrno>
#include <unistd.h>

#include <vector>

#include "platform/Parallel.h"
#include "platform/Text.h"

namespace shoebox {

namespace {

// Collapses runs of slashes and drops a trailing slash, so equal locations
// compare equal. "." and ".." are left alone: resolving them without the
// file system would be wrong across symlinks.
std::string normalised(std::string_view path)
{
    std::string result;
    result.reserve(path.size());
    for (char c : path) {
        if (c == '/' && !result.empty() && result.back() == '/') {
            continue;
        }
        result.push_back(c);
    }
    if (result.size() > 1 && result.back() == '/') {
        result.pop_back();
    }
    if (result.empty()) {
        result = "/";
    }
    return result;
}

std::string workingDirectory()
{
    std::vector<char> buffer(4096);
    for (;;) {
        if (getcwd(buffer.data(), buffer.size()) != nullptr) {
            return std::string(buffer.data());
        }
        if (errno != ERANGE) {
            // The working directory was removed or cannot be named. The root
            // is the one absolute place that always exists.
            return "/";
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string joined(std::string_view base, std::string_view relative)
{
    std::string path;
    path.reserve(base.size() + 1 + relative.size());
    path.append(base);
    path.push_back('/');
    path.append(relative);
    return normalised(path);
}

// Where the last component starts; the path is normalised, so it never ends
// in a slash unless it is the root.
std::size_t lastComponentStart(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

// The dot that starts the extension of `name`, or npos. A dot at the very
// start does not count: ".hidden" is a name, not an extension on nothing.
std::size_t extensionDot(std::string_view name)
{
    std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) {
        return std::string_view::npos;
    }
    return dot;
}

bool isUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// The decoded byte of an escape starting at `text[i]` (which is '%'), or -1
// when fewer than two hex digits follow.
int escapeAt(std::string_view text, std::size_t i)
{
    if (i + 2 >= text.size()) {
        return -1;
    }
    int high = hexValue(text[i + 1]);
    int low = hexValue(text[i + 2]);
    if (high < 0 || low < 0) {
        return -1;
    }
    return high * 16 + low;
}

} // namespace

FileURL FileURL::fileURLWithPath(std::string_view path)
{
    if (!path.empty() && path.front() == '/') {
        return FileURL(normalised(path));
    }
    return FileURL(joined(workingDirectory(), path));
}

FileURL FileURL::fileURLWithPath(std::string_view path, const FileURL& base)
{
    if (!path.empty() && path.front() == '/') {
        return FileURL(normalised(path));
    }
    return FileURL(joined(base.path_, path));
}

std::string FileURL::absoluteString() const
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string result = "file://";
    result.reserve(result.size() + path_.size() + path_.size() / 4);
    for (char c : path_) {
        auto byte = static_cast<unsigned char>(c);
        if (isUnreserved(byte) || byte == '/') {
            result.push_back(c);
        } else {
            result.push_back('%');
            result.push_back(digits[byte >> 4]);
            result.push_back(digits[byte & 0x0F]);
        }
    }
    return result;
}

std::string FileURL::lastPathComponent() const
{
    if (path_ == "/") {
        return path_;
    }
    return path_.substr(lastComponentStart(path_));
}

std::string FileURL::pathExtension() const
{
    std::string_view name = std::string_view(path_).substr(lastComponentStart(path_));
    std::size_t dot = extensionDot(name);
    return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot + 1));
}

FileURL FileURL::appendingPathComponent(std::string_view name) const
{
    // A name straight from the file system holds no slash; that common case
    // (every entry of a folder listing) skips normalising the whole path.
    if (!name.empty() && name.find('/') == std::string_view::npos) {
        std::string path;
        path.reserve(path_.size() + 1 + name.size());
        path.append(path_);
        if (path_ != "/") {
            path.push_back('/');
        }
        path.append(name);
        return FileURL(std::move(path));
    }
    return FileURL(joined(path_, name));
}

std::vector<FileURL> FileURL::appendingPathComponents(std::span<const std::string_view> names) const
{
    // Made empty first (no allocation) so that each thread can fill its own slice.
    std::vector<FileURL> urls(names.size(), FileURL(std::string()));
    parallelSlices(names.size(), std::size_t{1} << 15, [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) {
            urls[i] = appendingPathComponent(names[i]);
        }
    });
    return urls;
}

FileURL FileURL::deletingLastPathComponent() const
{
    std::size_t start = lastComponentStart(path_);
    if (start <= 1) {
        return FileURL("/");
    }
    return FileURL(path_.substr(0, start - 1));
}

FileURL FileURL::deletingPathExtension() const
{
    std::size_t start = lastComponentStart(path_);
    std::size_t dot = extensionDot(std::string_view(path_).substr(start));
    if (dot == std::string_view::npos) {
        return *this;
    }
    return FileURL(path_.substr(0, start + dot));
}

std::string parentOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseNameOf(const std::string& path)
{
    return path.substr(lastComponentStart(path));
}

std::optional<std::string> removingPercentEncoding(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            result.push_back(text[i]);
            continue;
        }
        int byte = escapeAt(text, i);
        if (byte < 0) {
            return std::nullopt;
        }
        result.push_back(static_cast<char>(byte));
        i += 2;
    }
    if (!isValidUTF8(result)) {
        return std::nullopt;
    }
    return result;
}

std::string percentDecodedForDisplay(std::string_view text)
{
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        int byte = text[i] == '%' ? escapeAt(text, i) : -1;
        if (byte < 0) {
            decoded.push_back(text[i]);
            continue;
        }
        decoded.push_back(static_cast<char>(byte));
        i += 2;
    }

    return withReplacementCharacters(decoded);
}

} // namespace shoebox
