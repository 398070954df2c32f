#include "sorting/MovePlan.h"

#include <algorithm>
#include <vector>

#include "sorting/Companions.h"

namespace shoebox {

namespace {

constexpr std::string_view separator = " / ";

// The longest name, in bytes, that ext4, Btrfs, XFS and tmpfs take
// (NAME_MAX). A longer one looks free to an existence test, which the file
// system answers with "too long" rather than "taken".
constexpr std::size_t longestName = 255;

// A translated sentence of the preview with `name` in it, as the window shows names.
std::string aboutName(const std::string& sentence, std::string_view name)
{
    return withArguments(sentence, {displayName(name)});
}

std::string tooLong(Translate translate, std::string_view name)
{
    return aboutName(translate("Sorting", "“%1” is too long for a name: the move would fail."), name);
}

// The names between `destination` and `target`, in order. A subfolder
// entry may name more than one level ("Trips/2024").
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

std::optional<std::string> refusalOfEntries(const MoveEntries& entries, Translate translate)
{
    if (auto refusal = refusalOfNameText(entries.renameType, entries.nameText, translate))
        return refusal;
    if (auto refusal = refusalOfFolderName(entries.levelOne, translate))
        return refusal;
    return refusalOfFolderName(entries.levelTwo, translate);
}

TargetPlan planTarget(const FileURL& destination, const MoveEntries& entries)
{
    TargetPlan plan{{}, destination};
    const std::array<const std::string*, 2> names = {&entries.levelOne, &entries.levelTwo};
    for (std::size_t level = 0; level < names.size(); ++level) {
        if (!names[level]->empty()) {
            plan.folder = plan.folder.appendingPathComponent(*names[level]);
            plan.levels[level] = plan.folder;
        }
    }
    return plan;
}

std::string finalNameIn(FileManager& files, const FileURL& target, const CandidateNames& names)
{
    return finalNamesIn(files, target, names, {}).front();
}

std::vector<std::string> finalNamesIn(FileManager& files, const FileURL& target, const CandidateNames& names,
                                      const std::vector<std::string>& suffixes)
{
    std::vector<CandidateNames> members;
    members.reserve(suffixes.size() + 1);
    members.push_back(names);
    for (const std::string& suffix : suffixes)
        members.push_back(names.withSuffix(suffix));
    auto candidates = [&](std::int64_t number) {
        std::vector<std::string> all;
        all.reserve(members.size());
        for (const CandidateNames& member : members)
            all.push_back(number < 2 ? member.first() : member.numbered(number));
        return all;
    };
    auto taken = [&](const std::vector<std::string>& all) {
        return std::ranges::any_of(all, [&](const std::string& name) {
            return files.fileExistsAtPath(target.appendingPathComponent(name).path());
        });
    };
    std::vector<std::string> all = candidates(1);
    if (!names.searchesForFreeName())
        return all;
    for (std::int64_t number = 2; taken(all); ++number)
        all = candidates(number);
    return all;
}

std::string previewOfMove(FileManager& files, const FileURL& destination, const FileURL& file,
                          const MoveEntries& entries, Translate translate, const std::vector<FileURL>& companions)
{
    if (auto refusal = refusalOfEntries(entries, translate))
        return *refusal;
    if (!files.fileExistsAtPath(file.path()))
        return aboutName(translate("Sorting", "“%1” is no longer in its folder: there is nothing to move."),
                         file.lastPathComponent());

    // Walk down the subfolders that exist; the first missing one is made by
    // the move with everything below it. A file in the way fails the move.
    const TargetPlan plan = planTarget(destination, entries);
    const std::vector<std::string> components = componentsBetween(destination, plan.folder);
    for (const std::string& component : components) {
        if (component.size() > longestName)
            return tooLong(translate, component);
    }
    FileURL walked = destination;
    for (const std::string& component : components) {
        walked = walked.appendingPathComponent(component);
        bool isDirectory = false;
        if (!files.fileExistsAtPath(walked.path(), isDirectory))
            break;
        if (!isDirectory)
            return aboutName(translate("Sorting", "“%1” is a file, not a folder: the move would fail."), component);
    }
    bool isDirectory = false;
    if (components.empty() && !(files.fileExistsAtPath(destination.path(), isDirectory) && isDirectory))
        return aboutName(translate("Sorting", "The destination folder “%1” is missing: the move would fail."),
                         destination.lastPathComponent());

    const CandidateNames names(entries.renameType, file, entries.nameText);
    std::vector<std::string> suffixes;
    suffixes.reserve(companions.size());
    for (const FileURL& companion : companions)
        suffixes.push_back(suffixInGroup(file, companion));
    const std::vector<std::string> finalNames = finalNamesIn(files, plan.folder, names, suffixes);
    for (const std::string& name : finalNames) {
        if (name.size() > longestName)
            return tooLong(translate, name);
    }
    for (const std::string& name : finalNames) {
        if (!names.searchesForFreeName() && files.fileExistsAtPath(plan.folder.appendingPathComponent(name).path()))
            return aboutName(translate("Sorting", "“%1” is taken: the move would fail."), name);
    }

    std::string line = displayName(destination.lastPathComponent());
    for (const std::string& component : components)
        line.append(separator).append(displayName(component));
    line.append(separator).append(displayName(finalNames.front()));
    // The companions by what tells them apart: their extensions.
    for (std::size_t i = 0; i < suffixes.size(); ++i)
        line.append(i == 0 ? " + ." : ", .").append(displayName(suffixes[i]));
    return line;
}

} // namespace shoebox
