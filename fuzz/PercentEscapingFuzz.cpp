// Percent-escaping of locations and the two ways back: strict decoding and
// decoding for display. The input is any text, and also a path.

#include <optional>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "platform/FileURL.h"

using namespace shoebox;
using namespace shoebox::fuzz;

namespace {

int hexDigit(char c)
{
    const std::string_view digits = "0123456789abcdef";
    const char lower = (c >= 'A' && c <= 'F') ? static_cast<char>(c - 'A' + 'a') : c;
    const std::size_t at = digits.find(lower);
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

// The bytes the escapes stand for. A "%" that two hex digits do not follow
// makes it nothing, or when `lenient` stands for itself.
std::optional<std::string> unescaped(std::string_view text, bool lenient = false)
{
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            bytes += text[i];
        } else if (i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 && hexDigit(text[i + 2]) >= 0) {
            bytes += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
            i += 2;
        } else if (lenient) {
            bytes += '%';
        } else {
            return std::nullopt;
        }
    }
    return bytes;
}

// Each byte that is not part of a well-formed sequence becomes U+FFFD.
std::string repaired(std::string_view bytes)
{
    std::string text;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = icuSequenceLength(bytes, at);
        text += length == 0 ? std::string_view("\uFFFD") : bytes.substr(at, length);
        at += length == 0 ? 1 : length;
    }
    return text;
}

bool isEscapedForm(std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           std::string_view("-._~/").find(c) != std::string_view::npos;
        if (plain) {
            continue;
        }
        const auto upperHex = [](char d) { return (d >= '0' && d <= '9') || (d >= 'A' && d <= 'F'); };
        if (c != '%' || i + 2 >= text.size() || !upperHex(text[i + 1]) || !upperHex(text[i + 2])) {
            return false;
        }
        i += 2;
    }
    return true;
}

void checkDecoding(std::string_view text)
{
    const std::optional<std::string> strict = removingPercentEncoding(text);
    const std::string display = percentDecodedForDisplay(text);
    const std::optional<std::string> bytes = unescaped(text);

    const std::optional<std::string> lenient = unescaped(text, true);
    FUZZ_CHECK(lenient.has_value() && display == repaired(*lenient));
    FUZZ_CHECK(strict.has_value() == (bytes.has_value() && isValidUtf8(*bytes)));
    if (strict) {
        FUZZ_CHECK(strict == bytes);
        FUZZ_CHECK(display == *strict);
    }
}

void checkEscaping(std::string_view path)
{
    const FileURL location = FileURL::fileURLWithPath("/" + std::string(path));
    const std::string escaped = location.absoluteString();
    const std::string whole = "file://" + location.path();

    FUZZ_CHECK(escaped.starts_with("file://"));
    FUZZ_CHECK(isEscapedForm(std::string_view(escaped).substr(7)));
    FUZZ_CHECK(location.description() == escaped);
    FUZZ_CHECK(unescaped(escaped) == whole);
    // Strict decoding gives the path back exactly when it is text.
    FUZZ_CHECK(removingPercentEncoding(escaped) == (isValidUtf8(whole) ? std::optional(whole) : std::nullopt));
    const std::string display = percentDecodedForDisplay(escaped);
    FUZZ_CHECK(isValidUtf8(display));
    if (isValidUtf8(whole)) {
        FUZZ_CHECK(display == whole);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input = bytesOf(data, size);
    checkDecoding(input);
    checkEscaping(input);
    return 0;
}
