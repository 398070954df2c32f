#include "sorting/Naming.h"

#include "platform/Text.h"

namespace shoebox {

namespace {

// The short stem keeps this many user-perceived characters.
constexpr std::size_t shortStemLength = 9;

bool nameStandsFirst(RenameType type)
{
    return type == RenameType::NewNameOnly || type == RenameType::NewNameOnlyUntested;
}

} // namespace

RenameType renameTypeForIndex(long index)
{
    switch (index) {
    case 0:
        return RenameType::NewNameOnly;
    case 1:
        return RenameType::StemAndNewName;
    case 2:
        return RenameType::ShortStemAndNewName;
    default:
        return RenameType::NewNameOnlyUntested;
    }
}

std::optional<std::string> refusalOfNameText(RenameType type, std::string_view nameText, Translate translate)
{
    // A slash would carry the file out of the target folder ("../../x"); a
    // pasted null character would silently cut the name short.
    if (nameText.find('/') != std::string_view::npos)
        return translate("Sorting", "A name can’t contain “/”. Type the name without slashes.");
    if (nameText.find('\0') != std::string_view::npos)
        return translate("Sorting", "A name can’t contain a null character.");
    // Without a stem in front, an empty name or a leading dot makes a hidden
    // file (".JPG") that later scans and file managers never show.
    if (nameStandsFirst(type) && nameText.empty())
        return translate("Sorting", "Type a name for the file first.");
    if (nameStandsFirst(type) && nameText.front() == '.')
        return translate(
            "Sorting",
            "A name that begins with “.” would hide the file. Type a name that begins with another character.");
    return std::nullopt;
}

std::optional<std::string> refusalOfFolderName(std::string_view folderName, Translate translate)
{
    // Cut at the null, the folder would be made under another name, and no
    // file name under it could ever be found free.
    if (folderName.find('\0') != std::string_view::npos)
        return translate("Sorting", "A folder name can’t contain a null character.");
    return std::nullopt;
}

std::string displayName(std::string_view name)
{
    return oneLine(withReplacementCharacters(name));
}

std::string stemOf(const FileURL& file)
{
    // Raw bytes, so a name that is not UTF-8 keeps them.
    return file.deletingPathExtension().lastPathComponent();
}

std::string shortStemOf(const FileURL& file)
{
    return firstCharacters(stemOf(file), shortStemLength);
}

CandidateNames::CandidateNames(RenameType type, const FileURL& file, std::string_view nameText)
    : nameText_(nameText), extension_(file.pathExtension())
{
    switch (type) {
    case RenameType::StemAndNewName:
        prefix_ = stemOf(file) + "_";
        break;
    case RenameType::ShortStemAndNewName:
        prefix_ = shortStemOf(file) + "_";
        break;
    case RenameType::NewNameOnly:
        break;
    case RenameType::NewNameOnlyUntested:
        searches_ = false;
        break;
    }
}

std::string CandidateNames::first() const
{
    return prefix_ + nameText_ + "." + extension_;
}

CandidateNames CandidateNames::withSuffix(std::string_view suffix) const
{
    CandidateNames names = *this;
    names.extension_ = suffix;
    return names;
}

std::string CandidateNames::numbered(std::int64_t number) const
{
    return prefix_ + nameText_ + " " + std::to_string(number) + "." + extension_;
}

} // namespace shoebox
