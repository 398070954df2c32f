// Turning the user's name text into the file's new name: the rename type of
// a menu index, the refusals, and the candidate names. Pieces of the input:
// the menu index (decimal), the file's name, the name text, a subfolder name.

#include <charconv>
#include <cstdint>
#include <limits>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "platform/FileURL.h"
#include "sorting/Naming.h"

using namespace shoebox;
using namespace shoebox::fuzz;

namespace {

bool contains(std::string_view text, char c)
{
    return text.find(c) != std::string_view::npos;
}

long menuIndex(std::string_view digits)
{
    long index = -1;
    std::from_chars(digits.data(), digits.data() + digits.size(), index);
    return index;
}

void checkRenameType(long index, RenameType type)
{
    constexpr RenameType menu[] = {RenameType::NewNameOnly, RenameType::StemAndNewName,
                                   RenameType::ShortStemAndNewName};
    FUZZ_CHECK(type == (index >= 0 && index < 3 ? menu[index] : RenameType::NewNameOnlyUntested));
}

void checkRefusal(RenameType type, std::string_view nameText)
{
    const bool nameFirst = type == RenameType::NewNameOnly || type == RenameType::NewNameOnlyUntested;
    const bool refused = contains(nameText, '/') || contains(nameText, '\0') ||
                         (nameFirst && (nameText.empty() || nameText.front() == '.'));
    const std::optional<std::string> refusal = refusalOfNameText(type, nameText);
    FUZZ_CHECK(refusal.has_value() == refused);
    FUZZ_CHECK(!refusal || (!refusal->empty() && !contains(*refusal, '\n')));
}

// A name that was not refused lands in the target folder itself, under
// exactly that name, and is not hidden unless the file was.
void checkLandsInFolder(const std::string& candidate, const FileURL& file)
{
    const FileURL folder = FileURL::fileURLWithPath("/target/Trip");
    const FileURL moved = folder.appendingPathComponent(candidate);
    FUZZ_CHECK(moved.deletingLastPathComponent() == folder);
    FUZZ_CHECK(moved.lastPathComponent() == candidate);
    FUZZ_CHECK(!contains(candidate, '\0'));
    FUZZ_CHECK(candidate.front() != '.' || file.lastPathComponent().front() == '.');
}

void checkCandidates(RenameType type, const FileURL& file, std::string_view nameText)
{
    const CandidateNames names(type, file, nameText);
    const std::string ending = "." + file.pathExtension();
    const std::string first = names.first();
    FUZZ_CHECK(names.searchesForFreeName() == (type != RenameType::NewNameOnlyUntested));
    FUZZ_CHECK(first.ends_with(std::string(nameText) + ending));
    FUZZ_CHECK(contains(first, '/') == contains(nameText, '/'));

    std::string previous = first;
    for (std::int64_t number : {std::int64_t{2}, std::int64_t{3}, std::int64_t{10}, std::int64_t{1} << 40,
                                std::numeric_limits<std::int64_t>::max()}) {
        const std::string numbered = names.numbered(number);
        FUZZ_CHECK(numbered.ends_with(std::string(nameText) + " " + std::to_string(number) + ending));
        // Same start as the first name: the stem or short stem and the text.
        FUZZ_CHECK(numbered.starts_with(first.substr(0, first.size() - ending.size())));
        FUZZ_CHECK(numbered != previous);
        FUZZ_CHECK(contains(numbered, '/') == contains(nameText, '/'));
        previous = numbered;
    }
    if (!refusalOfNameText(type, nameText)) {
        checkLandsInFolder(first, file);
        checkLandsInFolder(names.numbered(2), file);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::string_view> parts = pieces(bytesOf(data, size), 4);
    if (parts.size() < 3) {
        return 0;
    }
    const long index = menuIndex(parts[0]);
    const std::string_view fileName = parts[1];
    const std::string_view nameText = parts[2];
    const RenameType type = renameTypeForIndex(index);
    checkRenameType(index, type);
    checkRefusal(type, nameText);
    if (parts.size() > 3) {
        FUZZ_CHECK(refusalOfFolderName(parts[3]).has_value() == contains(parts[3], '\0'));
    }
    // Files as a folder listing gives them: a name, no slash, no null.
    if (!fileName.empty() && !contains(fileName, '/') && !contains(fileName, '\0') && fileName != "." &&
        fileName != "..") {
        checkCandidates(type, FileURL::fileURLWithPath("/photos/" + std::string(fileName)), nameText);
    }
    return 0;
}
