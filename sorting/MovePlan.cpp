#include "sorting/MovePlan.h"

#include <vector>

namespace shoebox {

namespace {

constexpr std::string_view separator = " / ";

// The longest name, in bytes, that ext4, Btrfs, XFS and tmpfs take
// (NAME_MAX). A longer one looks free to an existence test, which the file
// system answers with "too long" rather than "taken".
constexpr std::size_t longestName = 255;

std::string quoted(std::string_view name)
{
    return "\u201C" + displayName(name) + "\u201D";
}

std::string tooLong(std::string_view name)
{
    return quoted(name) + " is too long for a name: the move would fail.";
}

// The names between `destination` and `target`, in order.
std::vector<std::string> componentsBetween(const FileURL& destination, const FileURL& target)
{
    std::vector<std::string> components;
    std::string_view rest = std::string_view(target.path()).substr(destination.path().size());
    while (!rest.empty()) {
        const std::size_t slash = rest.find('/');
        if (slash != 0)
            components.emplace_back(rest.substr(0, slash));
        if (slash == std::string_view::npos)
            break;
        rest.remove_prefix(slash + 1);
    }
    return components;
}

} // namespace

std::optional<std::string> refusalOfEntries(const MoveEntries& entries)
{
    if (auto refusal = refusalOfNameText(entries.renameType, entries.nameText))
        return refusal;
    if (auto refusal = refusalOfFolderName(entries.levelOne))
        return refusal;
    return refusalOfFolderName(entries.levelTwo);
}

FileURL targetFolderFor(const FileURL& destination, const MoveEntries& entries)
{
    FileURL target = destination;
    for (const std::string* level : {&entries.levelOne, &entries.levelTwo}) {
        if (!level->empty())
            target = target.appendingPathComponent(*level);
    }
    return target;
}

std::string finalNameIn(FileManager& files, const FileURL& target, const CandidateNames& names)
{
    std::string candidate = names.first();
    if (!names.searchesForFreeName())
        return candidate;
    for (std::int64_t number = 2; files.fileExistsAtPath(target.appendingPathComponent(candidate).path()); ++number)
        candidate = names.numbered(number);
    return candidate;
}

std::string previewOfMove(FileManager& files, const FileURL& destination, const FileURL& file,
                          const MoveEntries& entries)
{
    if (auto refusal = refusalOfEntries(entries))
        return *refusal;
    if (!files.fileExistsAtPath(file.path()))
        return quoted(file.lastPathComponent()) + " is no longer in its folder: there is nothing to move.";

    // Walk down the subfolders that exist; the first missing one is made by
    // the move with everything below it. A file in the way fails the move.
    const FileURL target = targetFolderFor(destination, entries);
    const std::vector<std::string> components = componentsBetween(destination, target);
    for (const std::string& component : components) {
        if (component.size() > longestName)
            return tooLong(component);
    }
    FileURL walked = destination;
    for (const std::string& component : components) {
        walked = walked.appendingPathComponent(component);
        bool isDirectory = false;
        if (!files.fileExistsAtPath(walked.path(), isDirectory))
            break;
        if (!isDirectory)
            return quoted(component) + " is a file, not a folder: the move would fail.";
    }
    bool isDirectory = false;
    if (components.empty() && !(files.fileExistsAtPath(destination.path(), isDirectory) && isDirectory))
        return "The destination folder " + quoted(destination.lastPathComponent()) +
               " is missing: the move would fail.";

    const CandidateNames names(entries.renameType, file, entries.nameText);
    const std::string name = finalNameIn(files, target, names);
    if (name.size() > longestName)
        return tooLong(name);
    if (!names.searchesForFreeName() && files.fileExistsAtPath(target.appendingPathComponent(name).path()))
        return quoted(name) + " is taken: the move would fail.";

    std::string line = displayName(destination.lastPathComponent());
    for (const std::string& component : components)
        line.append(separator).append(displayName(component));
    return line.append(separator).append(displayName(name));
}

} // namespace shoebox
