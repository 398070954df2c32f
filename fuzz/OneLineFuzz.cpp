// One-line escaping of names quoted in output lines. Which characters end or
// break a line comes from ICU's character data, not from the code under
// test: the C0 and C1 controls and DEL (general category Cc), and the line
// and paragraph separators (Zl, Zp).

#include <string>

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include "fuzz/FuzzSupport.h"
#include "platform/Text.h"

using namespace shoebox;
using namespace shoebox::fuzz;

namespace {

bool breaksLines(UChar32 c)
{
    const auto type = static_cast<UCharCategory>(u_charType(c));
    return type == U_CONTROL_CHAR || type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR;
}

// The code point of the well-formed sequence at `at`, or -1 for a byte that
// begins none; `length` is what it takes.
UChar32 codePointAt(std::string_view text, std::size_t at, std::size_t& length)
{
    length = icuSequenceLength(text, at);
    if (length == 0) {
        length = 1;
        return -1;
    }
    UChar32 c = 0;
    U8_GET_UNSAFE(reinterpret_cast<const std::uint8_t*>(text.data()), static_cast<std::int32_t>(at), c);
    return c;
}

bool hasLineBreakers(std::string_view text)
{
    for (std::size_t at = 0, length = 0; at < text.size(); at += length) {
        const UChar32 c = codePointAt(text, at, length);
        if (c >= 0 && breaksLines(c)) {
            return true;
        }
    }
    return false;
}

// Each byte of a character that breaks lines as \xHH; everything else kept.
std::string expectedLine(std::string_view text)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string line;
    for (std::size_t at = 0, length = 0; at < text.size(); at += length) {
        const UChar32 c = codePointAt(text, at, length);
        if (c >= 0 && breaksLines(c)) {
            for (unsigned char byte : text.substr(at, length)) {
                line += {'\\', 'x', hex[byte >> 4], hex[byte & 0xF]};
            }
        } else {
            line += text.substr(at, length);
        }
    }
    return line;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text = bytesOf(data, size);
    const std::string line = oneLine(text);
    FUZZ_CHECK(!hasLineBreakers(line));
    FUZZ_CHECK(hasLineBreakers(text) || line == text);
    FUZZ_CHECK(line == expectedLine(text));
    return 0;
}
