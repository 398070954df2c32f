#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "platform/FileURL.h"

// The one list of file types Shoebox lists in a source folder and shows, by
// name extension. The scan and the view both go by it.
namespace shoebox {

enum class MediaKind { Picture, Video };

// The extensions, in the order the scan tries them. Case matters: each is
// taken in exactly the spellings listed (all lower or all upper case), so
// "a.Jpg" is not listed.
std::span<const std::string_view> shownExtensions();

// What a file with this extension (the text after the last dot of its
// name) is, or nothing when it is not a shown type. Same rule for case.
std::optional<MediaKind> mediaKindOf(std::string_view extension);

// The same for a file, by its path's extension (FileURL::pathExtension).
std::optional<MediaKind> mediaKindOf(const FileURL& file);

} // namespace shoebox
