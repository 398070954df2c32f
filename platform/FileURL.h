#pragma once

#include <compare>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace shoebox {

// An absolute location in the file system. Linux names are bytes, not text,
// so the path is kept exactly as the kernel gives it (it need not be UTF-8).
// A location never ends in a slash, except the root folder "/".
class FileURL {
public:
    // An absolute path is taken as it is; a relative one is resolved
    // against the process's working directory.
    static FileURL fileURLWithPath(std::string_view path);
    // A path that does not begin with "/" is taken relative to `base`.
    static FileURL fileURLWithPath(std::string_view path, const FileURL& base);

    // Raw path bytes: no scheme, no escapes.
    const std::string& path() const { return path_; }
    // "file://" + the path with every byte outside the unreserved set
    // (A-Z a-z 0-9 - . _ ~) and "/" percent-escaped.
    std::string absoluteString() const;
    std::string description() const { return absoluteString(); }
    const FileURL& absoluteURL() const { return *this; }

    // The last name in the path, without slashes ("/" for the root).
    std::string lastPathComponent() const;
    // Text after the last dot of the last component; empty without a dot.
    std::string pathExtension() const;

    FileURL appendingPathComponent(std::string_view name) const;
    // The same for each of `names`, made on every core for a large folder.
    std::vector<FileURL> appendingPathComponents(std::span<const std::string_view> names) const;
    FileURL deletingLastPathComponent() const;
    FileURL deletingPathExtension() const;

    friend bool operator==(const FileURL&, const FileURL&) = default;
    friend auto operator<=>(const FileURL&, const FileURL&) = default;

private:
    explicit FileURL(std::string path) : path_(std::move(path)) {}
    std::string path_;
};

// A raw path (absolute or not, as the kernel takes it) split at its last
// slash: the folder holding the item ("." for a bare name, "/" for an item
// at the root) and its name (empty when the path ends in a slash).
std::string parentOf(const std::string& path);
std::string baseNameOf(const std::string& path);

// Whether `path` holds a null byte. The kernel would cut it short there and
// aim the call at another item ("a" for "a\0b"), so such paths are refused
// before any call, never cut.
inline bool holdsNull(std::string_view path)
{
    return path.find('\0') != std::string_view::npos;
}

// Decodes every %XX escape. Nothing when an escape is malformed or the
// decoded bytes are not valid UTF-8.
std::optional<std::string> removingPercentEncoding(std::string_view text);

// For display only: decodes escapes and replaces each byte that is not part
// of valid UTF-8 with U+FFFD, so the result is always valid UTF-8.
std::string percentDecodedForDisplay(std::string_view text);

} // namespace shoebox
