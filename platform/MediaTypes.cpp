#include "platform/MediaTypes.h"

#include <algorithm>
#include <array>

namespace shoebox {

namespace {

struct ShownType {
    std::string_view extension;
    MediaKind kind;
};

constexpr std::array<ShownType, 14> shownTypes = {{
    {"jpg", MediaKind::Picture},
    {"png", MediaKind::Picture},
    {"jpeg", MediaKind::Picture},
    {"gif", MediaKind::Picture},
    {"JPG", MediaKind::Picture},
    {"PNG", MediaKind::Picture},
    {"JPEG", MediaKind::Picture},
    {"GIF", MediaKind::Picture},
    {"HEIC", MediaKind::Picture},
    {"heic", MediaKind::Picture},
    {"mp4", MediaKind::Video},
    {"MP4", MediaKind::Video},
    {"mov", MediaKind::Video},
    {"MOV", MediaKind::Video},
}};

constexpr std::array<std::string_view, shownTypes.size()> extensions = [] {
    std::array<std::string_view, shownTypes.size()> list{};
    for (std::size_t i = 0; i < shownTypes.size(); ++i)
        list[i] = shownTypes[i].extension;
    return list;
}();

} // namespace

std::span<const std::string_view> shownExtensions()
{
    return extensions;
}

std::optional<MediaKind> mediaKindOf(std::string_view extension)
{
    const auto* found = std::find_if(shownTypes.begin(), shownTypes.end(),
                                     [&](const ShownType& type) { return type.extension == extension; });
    if (found == shownTypes.end())
        return std::nullopt;
    return found->kind;
}

std::optional<MediaKind> mediaKindOf(const FileURL& file)
{
    return mediaKindOf(file.pathExtension());
}

} // namespace shoebox
