#pragma once

// What every fuzz target shares: a check that aborts (libFuzzer then saves
// the input), a way to cut one input into several byte strings, and UTF-8
// facts from ICU, an implementation independent of the code under test.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include <unicode/utf8.h>

namespace shoebox::fuzz {

[[noreturn]] inline void fail(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: property does not hold: %s\n", file, line, condition);
    std::abort();
}

#define FUZZ_CHECK(condition) ((condition) ? void() : ::shoebox::fuzz::fail(#condition, __FILE__, __LINE__))

inline std::string_view bytesOf(const std::uint8_t* data, std::size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

// The input's first byte separates the pieces of the rest, so any byte can
// stand inside a piece and seeds stay readable ("|IMG_2.jpg|IMG_10.jpg").
// At most `limit` pieces; the last takes whatever remains.
inline std::vector<std::string_view> pieces(std::string_view input, std::size_t limit)
{
    std::vector<std::string_view> result;
    if (input.empty()) {
        return result;
    }
    const char separator = input.front();
    input.remove_prefix(1);
    while (result.size() + 1 < limit) {
        const std::size_t at = input.find(separator);
        if (at == std::string_view::npos) {
            break;
        }
        result.push_back(input.substr(0, at));
        input.remove_prefix(at + 1);
    }
    result.push_back(input);
    return result;
}

// The length of the well-formed UTF-8 sequence at `at`, or 0, by ICU.
inline std::size_t icuSequenceLength(std::string_view s, std::size_t at)
{
    auto* bytes = reinterpret_cast<const std::uint8_t*>(s.data());
    std::int32_t i = static_cast<std::int32_t>(at);
    UChar32 c = 0;
    U8_NEXT(bytes, i, static_cast<std::int32_t>(s.size()), c);
    return c < 0 ? 0 : static_cast<std::size_t>(i) - at;
}

inline bool isValidUtf8(std::string_view s)
{
    for (std::size_t at = 0; at < s.size();) {
        const std::size_t length = icuSequenceLength(s, at);
        if (length == 0) {
            return false;
        }
        at += length;
    }
    return true;
}

} // namespace shoebox::fuzz
