#include "sorting/Companions.h"

#include <algorithm>
#include <array>

#include "platform/MediaTypes.h"
#include "platform/Text.h"
#include "sorting/Naming.h"

namespace shoebox {

namespace {

using namespace std::string_view_literals;

constexpr std::array rawExtensions = {"dng"sv, "cr2"sv, "cr3"sv, "nef"sv, "nrw"sv, "arw"sv, "srf"sv, "sr2"sv, "raf"sv,
                                      "orf"sv, "rw2"sv, "pef"sv, "srw"sv, "x3f"sv, "3fr"sv, "iiq"sv, "rwl"sv};
constexpr std::array videoExtensions = {"mov"sv, "mp4"sv};
constexpr std::array sidecarExtensions = {"aae"sv, "thm"sv};
// The extensions a <name>.<ext>.xmp sidecar may follow besides RAW ones:
// those of the shown types, in any case.
constexpr std::array shownLowerCase = {"jpg"sv, "jpeg"sv, "png"sv, "gif"sv, "heic"sv, "mov"sv, "mp4"sv};

// ASCII only: extensions are ASCII, and other bytes of a name stay as they are.
bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

template <std::size_t n>
bool isOneOf(std::string_view extension, const std::array<std::string_view, n>& list)
{
    return std::ranges::any_of(list, [&](std::string_view known) { return equalsIgnoringCase(extension, known); });
}

// A name split at its last dot; no dot, no extension.
struct Split {
    std::string_view stem, extension;
    bool dotted = false;
};
Split split(std::string_view name)
{
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return {name, {}, false};
    return {name.substr(0, dot), name.substr(dot + 1), true};
}

// The name of a file, as a view into its path.
std::string_view nameOf(const FileURL& file)
{
    const std::string_view path = file.path();
    return path.substr(path.rfind('/') + 1);
}

// Where the companions of each stem go: its first still, or its first shown
// file of any kind. A sorted list rather than a hash table: a folder of a
// million photos is looked up in a fraction of the time.
class Owners {
public:
    void add(std::string_view stem, std::size_t index, bool still) { stems_.push_back({stem, index, still}); }
    // Added in listing order, which a stable sort keeps among equal stems.
    void sort() { std::ranges::stable_sort(stems_, {}, &Stem::stem); }

    std::optional<std::size_t> stillOf(std::string_view stem) const { return find(stem, true); }
    std::optional<std::size_t> anyOf(std::string_view stem) const
    {
        if (auto owner = find(stem, true))
            return owner;
        return find(stem, false);
    }

private:
    struct Stem {
        std::string_view stem;
        std::size_t index;
        bool still;
    };
    // The first in the listing with this stem (a still, when asked for).
    std::optional<std::size_t> find(std::string_view stem, bool still) const
    {
        auto [from, to] = std::ranges::equal_range(stems_, stem, {}, &Stem::stem);
        for (; from != to; ++from) {
            if (from->still || !still)
                return from->index;
        }
        return std::nullopt;
    }

    std::vector<Stem> stems_;
};

// The shown file a file that is not shown itself belongs with, by its name.
std::optional<std::size_t> ownerOf(const Owners& owners, std::string_view name)
{
    const Split last = split(name);
    if (!last.dotted)
        return std::nullopt;
    if (isOneOf(last.extension, rawExtensions) || isOneOf(last.extension, videoExtensions))
        return owners.stillOf(last.stem);
    if (isOneOf(last.extension, sidecarExtensions))
        return owners.anyOf(last.stem);
    if (!equalsIgnoringCase(last.extension, "xmp"))
        return std::nullopt;
    if (auto owner = owners.anyOf(last.stem)) // <stem>.xmp
        return owner;
    const Split inner = split(last.stem); // <stem>.<ext>.xmp
    if (!inner.dotted)
        return std::nullopt;
    if (isOneOf(inner.extension, rawExtensions))
        return owners.stillOf(inner.stem);
    if (isOneOf(inner.extension, shownLowerCase))
        return owners.anyOf(inner.stem);
    return std::nullopt;
}

} // namespace

bool isVideoName(const FileURL& file)
{
    return isOneOf(file.pathExtension(), videoExtensions);
}

std::vector<ListedFile> findCompanions(const std::vector<FileURL>& shownFiles, const std::vector<std::string>& names)
{
    std::vector<ListedFile> shown;
    std::vector<MediaKind> kinds;
    Owners owners;
    for (const FileURL& file : shownFiles) {
        const MediaKind kind = mediaKindOf(file).value_or(MediaKind::Picture);
        owners.add(split(nameOf(file)).stem, shown.size(), kind == MediaKind::Picture);
        shown.push_back(ListedFile{file, {}, {}, {}});
        kinds.push_back(kind);
    }
    owners.sort();
    // A Live Photo: a shown video beside a still of its stem.
    for (std::size_t i = 0; i < shown.size(); ++i) {
        if (kinds[i] != MediaKind::Video)
            continue;
        if (auto still = owners.stillOf(split(nameOf(shown[i].url)).stem)) {
            shown[i].still = still;
            shown[*still].videos.push_back(i);
        }
    }
    if (shown.empty())
        return shown;
    const FileURL folder = shown.front().url.deletingLastPathComponent();
    for (const std::string& name : names) {
        if (mediaKindOf(split(name).extension))
            continue; // shown, or not listed because hidden; either way no companion
        if (auto owner = ownerOf(owners, name))
            shown[*owner].companions.push_back(folder.appendingPathComponent(name));
    }
    // In name order, whatever order the folder gave them in.
    for (ListedFile& file : shown) {
        std::ranges::sort(file.companions,
                          [](const FileURL& a, const FileURL& b) { return naturalLess(nameOf(a), nameOf(b)); });
    }
    return shown;
}

std::vector<ListedFile> listWithCompanions(const std::vector<FileURL>& entries, const FileURL& folder,
                                           const std::vector<std::string>& names)
{
    std::vector<FileURL> there; // the entries in the folder, and where each is in the list
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].deletingLastPathComponent() == folder) {
            there.push_back(entries[i]);
            at.push_back(i);
        }
    }
    if (there.size() == entries.size()) // as a listing gives them: the indices are the same
        return findCompanions(entries, names);
    std::vector<ListedFile> listed;
    listed.reserve(entries.size());
    for (const FileURL& url : entries)
        listed.push_back(ListedFile{url, {}, {}, {}});
    std::vector<ListedFile> found = findCompanions(there, names);
    for (std::size_t k = 0; k < found.size(); ++k) {
        ListedFile& file = listed[at[k]];
        file.companions = std::move(found[k].companions);
        for (std::size_t video : found[k].videos)
            file.videos.push_back(at[video]);
        if (const std::optional<std::size_t> still = found[k].still)
            file.still = at[*still];
    }
    return listed;
}

ShownFiles shownFiles(const std::vector<ListedFile>& listed, bool companionsTogether)
{
    ShownFiles shown;
    shown.listed.reserve(listed.size());
    shown.urls.reserve(listed.size());
    for (std::size_t i = 0; i < listed.size(); ++i) {
        if (companionsTogether && listed[i].still)
            continue;
        shown.listed.push_back(i);
        shown.urls.push_back(listed[i].url);
    }
    return shown;
}

std::string suffixInGroup(const FileURL& entry, const FileURL& member)
{
    const std::string stem = stemOf(entry), name = member.lastPathComponent();
    if (name.size() > stem.size() + 1 && name.starts_with(stem) && name[stem.size()] == '.')
        return name.substr(stem.size() + 1);
    return member.pathExtension();
}

} // namespace shoebox
