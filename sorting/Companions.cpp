#include "sorting/Companions.h"

#include <algorithm>
#include <array>
#include <unordered_map>

#include "platform/MediaTypes.h"
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

// Where the companions of each stem go: its first still, and its first
// shown file of any kind.
struct Owners {
    std::unordered_map<std::string_view, std::size_t> still, shown;

    std::optional<std::size_t> stillOf(std::string_view stem) const
    {
        const auto found = still.find(stem);
        return found == still.end() ? std::nullopt : std::optional(found->second);
    }
    std::optional<std::size_t> anyOf(std::string_view stem) const
    {
        if (auto owner = stillOf(stem))
            return owner;
        const auto found = shown.find(stem);
        return found == shown.end() ? std::nullopt : std::optional(found->second);
    }
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

std::vector<ListedFile> listShownFiles(const std::vector<FileURL>& listing, bool withCompanions)
{
    std::vector<ListedFile> shown;
    std::vector<std::string> names; // of the shown files, for the owners' keys
    for (const FileURL& entry : listing) {
        if (mediaKindOf(entry))
            shown.push_back(ListedFile{entry, {}, {}, {}});
    }
    if (!withCompanions)
        return shown;

    names.reserve(shown.size());
    for (const ListedFile& file : shown)
        names.push_back(file.url.lastPathComponent());
    Owners owners;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const std::string_view stem = split(names[i]).stem;
        owners.shown.try_emplace(stem, i);
        if (mediaKindOf(shown[i].url) == MediaKind::Picture)
            owners.still.try_emplace(stem, i);
    }
    // A Live Photo: a shown video beside a still of its stem.
    for (std::size_t i = 0; i < shown.size(); ++i) {
        if (mediaKindOf(shown[i].url) != MediaKind::Video)
            continue;
        if (auto still = owners.stillOf(split(names[i]).stem)) {
            shown[i].still = still;
            shown[*still].videos.push_back(i);
        }
    }
    for (const FileURL& entry : listing) {
        if (mediaKindOf(entry))
            continue;
        if (auto owner = ownerOf(owners, entry.lastPathComponent()))
            shown[*owner].companions.push_back(entry);
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
