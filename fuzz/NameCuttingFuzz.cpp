// Cutting names into user-perceived characters: UTF-8 sequence lengths, the
// first characters of any bytes, and a file's stem and short stem. The
// reference cuts come from ICU over UTF-16, a different road from the code
// under test (ICU over UTF-8, with invalid bytes split off first). The
// input's first byte is the count; the rest is the name.

#include <memory>
#include <string>
#include <vector>

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "fuzz/FuzzSupport.h"
#include "platform/FileURL.h"
#include "platform/Text.h"
#include "sorting/Naming.h"

using namespace shoebox;
using namespace shoebox::fuzz;

namespace {

// Byte offsets of the character boundaries of well-formed `text`, after 0.
std::vector<std::size_t> clusterEnds(std::string_view text)
{
    static const std::unique_ptr<icu::BreakIterator> breaks = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> made(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        FUZZ_CHECK(U_SUCCESS(status));
        return made;
    }();
    const icu::UnicodeString utf16 = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), text.size()));
    // The UTF-8 offset of each UTF-16 index.
    std::vector<std::size_t> offsets;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = icuSequenceLength(text, at);
        offsets.insert(offsets.end(), length == 4 ? 2 : 1, at);
        at += length;
    }
    offsets.push_back(text.size());
    FUZZ_CHECK(offsets.size() == static_cast<std::size_t>(utf16.length()) + 1);

    std::vector<std::size_t> ends;
    breaks->setText(utf16);
    for (std::int32_t boundary = breaks->next(); boundary != icu::BreakIterator::DONE; boundary = breaks->next()) {
        ends.push_back(offsets[static_cast<std::size_t>(boundary)]);
    }
    return ends;
}

// Where each character of any bytes ends: a byte outside well-formed UTF-8
// is a character of its own; well-formed runs are cut by ICU.
std::vector<std::size_t> characterEnds(std::string_view bytes)
{
    std::vector<std::size_t> ends;
    for (std::size_t at = 0; at < bytes.size();) {
        std::size_t runEnd = at;
        while (runEnd < bytes.size() && icuSequenceLength(bytes, runEnd) > 0) {
            runEnd += icuSequenceLength(bytes, runEnd);
        }
        if (runEnd == at) {
            ends.push_back(++at);
            continue;
        }
        for (std::size_t end : clusterEnds(bytes.substr(at, runEnd - at))) {
            ends.push_back(at + end);
        }
        at = runEnd;
    }
    return ends;
}

void checkSequenceLengths(std::string_view bytes)
{
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        FUZZ_CHECK(wellFormedUTF8Length(bytes.substr(at)) == icuSequenceLength(bytes, at));
    }
    FUZZ_CHECK(wellFormedUTF8Length("") == 0);
}

void checkStems(std::string_view name)
{
    // Names as a folder listing gives them: not empty, no slash, no null.
    if (name.empty() || name.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos) {
        return;
    }
    const FileURL file = FileURL::fileURLWithPath("/photos/" + std::string(name));
    const std::string stem = stemOf(file);
    const std::string extension = file.pathExtension();
    FUZZ_CHECK(!stem.empty());
    FUZZ_CHECK(name == stem || name == stem + "." + extension);

    const std::vector<std::size_t> ends = characterEnds(stem);
    FUZZ_CHECK(shortStemOf(file) == stem.substr(0, ends.size() > 9 ? ends[8] : stem.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const std::size_t count = data[0];
    const std::string_view bytes = bytesOf(data + 1, size - 1);
    checkSequenceLengths(bytes);

    const std::vector<std::size_t> ends = characterEnds(bytes);
    const auto expectedCut = [&](std::size_t n) { return n == 0 ? 0 : n <= ends.size() ? ends[n - 1] : bytes.size(); };
    FUZZ_CHECK(firstCharacters(bytes, 0).empty());
    FUZZ_CHECK(firstCharacters(bytes, count) == bytes.substr(0, expectedCut(count)));
    FUZZ_CHECK(firstCharacters(bytes, ends.size()) == bytes);
    FUZZ_CHECK(firstCharacters(bytes, SIZE_MAX) == bytes);
    // Every cut up to a few characters, to catch one off by a character.
    for (std::size_t n = 1; n <= std::min<std::size_t>(ends.size(), 12); ++n) {
        FUZZ_CHECK(firstCharacters(bytes, n).size() == expectedCut(n));
    }
    checkStems(bytes);
    return 0;
}
