#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileURL.h"

// The files that belong with a photo in its folder: a camera's RAW twin of
// a JPEG, an editor's sidecars, a Live Photo's motion. They share the
// photo's name up to its extension, exactly, and differ in the extension,
// whose case does not matter (a camera writes DSC_2041.NEF, a copy tool
// dsc_2041.nef's extension in lower case).
namespace shoebox {

// A shown file of the source folder, with the files that go with it.
struct ListedFile {
    FileURL url;                     // where it is now
    std::vector<FileURL> companions; // RAW files and sidecars, where they are now, in name order
    // A still's Live Photo videos: shown files of their own, found by
    // their index in the list, which also knows where they are now.
    std::vector<std::size_t> videos;
    std::optional<std::size_t> still; // such a video: its still's index

    bool hasCompanions() const { return !companions.empty() || !videos.empty() || still; }
};

// The shown files of a folder, `shown` (in natural order), each with the
// companions among `names`, the names of every entry of the folder (in any
// order; those of the shown files are passed over):
//  - for a still, RAW files (.dng .cr2 .cr3 .nef .nrw .arw .srf .sr2 .raf
//    .orf .rw2 .pef .srw .x3f .3fr .iiq .rwl) and videos (.mov .mp4) of the
//    same stem; a video that is itself shown is one of `videos`;
//  - for any shown file, the sidecars <stem>.xmp, .aae and .thm, and
//    <name>.xmp for the file itself, its RAW files and its videos
//    (DSC_2041.NEF.xmp).
// A companion goes with the first still of its stem in `shown`, or, for a
// sidecar without a still, the first shown file. Files that are no
// companion (a RAW without a shown twin) stay out.
std::vector<ListedFile> findCompanions(const std::vector<FileURL>& shown, const std::vector<std::string>& names);

// A list's entries (in natural order), each with its companions among
// `names`, the names of every entry of `folder`, one listed file per entry
// in the entries' order; a video's and its still's indices are the
// entries'. An entry outside `folder` (moved away meanwhile) stays alone.
std::vector<ListedFile> listWithCompanions(const std::vector<FileURL>& entries, const FileURL& folder,
                                           const std::vector<std::string>& names);

// What a list shows of `listed`: the index of each entry's listed file, and
// where it is. Every file, or, with companions together, all but the
// Live Photo videos that go with a still.
struct ShownFiles {
    std::vector<std::size_t> listed;
    std::vector<FileURL> urls;
};
ShownFiles shownFiles(const std::vector<ListedFile>& listed, bool companionsTogether);

// What follows `entry`'s stem and its dot in `member`'s name: "MOV" for
// IMG_0412.MOV beside IMG_0412.HEIC, "NEF.xmp" for DSC_2041.NEF.xmp; the
// member's own extension should its name not begin with the stem.
std::string suffixInGroup(const FileURL& entry, const FileURL& member);

// Whether `file` is a video by its extension, whatever its case.
bool isVideoName(const FileURL& file);

} // namespace shoebox
