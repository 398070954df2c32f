#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace shoebox::testing {

using Names = std::vector<std::string>;

// Writes `bytes` to `path`, making parent folders; returns the path.
inline std::string writeFile(const std::string& path, const std::string& bytes)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    if (!(std::ofstream(path, std::ios::binary) << bytes))
        throw std::runtime_error("could not write " + path);
    return path;
}

// A fresh folder under the system's temporary folder, removed with everything in it when the test ends.
class TempDir {
public:
    explicit TempDir(const std::string& under = "/tmp")
    {
        std::string pattern = under + "/shoebox-test-XXXXXX";
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed under " + under);
        path_ = pattern;
    }
    ~TempDir()
    {
        std::error_code ignored;
        if (!kept_)
            std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // Leaves the folder in place, e.g. for a profiler to look at.
    void keep() { kept_ = true; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    // Writes `content` to `name` (raw bytes), making parent folders.
    std::string write(const std::string& name, const std::string& content = "data") const
    {
        return writeFile(*this / name, content);
    }
    std::string makeFolder(const std::string& name) const
    {
        std::filesystem::create_directories(*this / name);
        return *this / name;
    }
    // Files holding their own names in `folder`, made; returns the folder.
    std::string fill(const std::vector<std::string>& names, const std::string& folder = "src") const
    {
        for (const std::string& name : names)
            write(folder + "/" + name, name);
        return *this / folder;
    }

private:
    std::string path_;
    bool kept_ = false;
};

// Bytes that differ from place to place, so that a dropped or repeated chunk shows.
inline std::string photoBytes(std::size_t size = 3 << 20)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
    return bytes;
}

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every name in the folder, hidden ones included so leftovers show, sorted.
inline std::vector<std::string> names(const std::string& folder)
{
    std::vector<std::string> result;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored))
        result.push_back(entry.path().filename().string());
    std::sort(result.begin(), result.end());
    return result;
}

// Links count, dangling or not.
inline bool exists(const std::string& path)
{
    return std::filesystem::exists(std::filesystem::symlink_status(path));
}

// The items that are not empty, joined by spaces.
template <typename Items>
std::string join(const Items& items)
{
    std::string line;
    for (const std::string& item : items)
        line += item.empty() ? "" : line.empty() ? item : " " + item;
    return line;
}

// Bytes as text, or past 40 of them their size and a hash.
inline std::string shortly(const std::string& bytes)
{
    return bytes.size() <= 40
               ? bytes
               : std::to_string(bytes.size()) + " bytes #" + std::to_string(std::hash<std::string>{}(bytes));
}

// Everything under `folder` in one line, hidden items too, by sorted relative path: a file followed by "=" and
// its bytes unless they are its own name, a link by "-> target", an empty folder ending in "/".
inline std::string tree(const std::string& folder)
{
    namespace fs = std::filesystem;
    Names items;
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(folder, ignored); it != fs::recursive_directory_iterator(); ++it) {
        const std::string path = it->path().string(), name = path.substr(folder.size() + 1);
        if (it->is_symlink())
            items.push_back(name + " -> " + fs::read_symlink(path).string());
        else if (it->is_directory())
            items.push_back(fs::is_empty(path) ? name + "/" : "");
        else if (!it->is_regular_file()) // a pipe would not answer a read
            items.push_back(name + " (special)");
        else if (const std::string bytes = shortly(readFile(path)); bytes != it->path().filename())
            items.push_back(name + "=" + bytes);
        else
            items.push_back(name);
    }
    std::sort(items.begin(), items.end());
    return join(items);
}

// What is at `path` in one line: a folder's tree, a link's target, a file's bytes, or nothing.
inline std::string snapshot(const std::string& path)
{
    const auto status = std::filesystem::symlink_status(path);
    return std::filesystem::is_symlink(status)     ? "-> " + std::filesystem::read_symlink(path).string()
           : std::filesystem::is_directory(status) ? "folder: " + tree(path)
           : exists(path)                          ? shortly(readFile(path))
                                                   : "";
}

} // namespace shoebox::testing
