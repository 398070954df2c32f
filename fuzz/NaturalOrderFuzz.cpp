// The natural order of names. Sorting needs a strict weak order, and the
// fast sort must agree with the comparator; here it is also a total order
// (only equal names compare equal), and it must match the order written out
// plainly below. The input's pieces are the names.

#include <algorithm>
#include <compare>
#include <string>
#include <tuple>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "platform/Text.h"

using namespace shoebox;
using namespace shoebox::fuzz;

namespace {

int sign(int value)
{
    return (value > 0) - (value < 0);
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A name read as a sequence of tokens. A byte is its ASCII-lowercased self;
// a run of digits is its value (digits without leading zeros, shorter
// first), placed among the bytes where the digit "0" would be. Equal
// sequences are told apart by their leading-zero counts in order, then by
// the raw bytes.
struct Reading {
    std::vector<std::tuple<unsigned char, std::size_t, std::string>> tokens;
    std::vector<std::size_t> leadingZeros;
    std::string_view bytes;

    auto operator<=>(const Reading&) const = default;
};

Reading readingOf(std::string_view name)
{
    Reading reading{{}, {}, name};
    for (std::size_t i = 0; i < name.size();) {
        if (!isDigit(name[i])) {
            auto byte = static_cast<unsigned char>(name[i++]);
            reading.tokens.emplace_back(byte >= 'A' && byte <= 'Z' ? byte - 'A' + 'a' : byte, 0, "");
            continue;
        }
        std::size_t end = i;
        while (end < name.size() && isDigit(name[end])) {
            ++end;
        }
        const std::string_view run = name.substr(i, end - i);
        const std::size_t zeros = std::min(run.find_first_not_of('0'), run.size());
        reading.tokens.emplace_back('0', run.size() - zeros, std::string(run.substr(zeros)));
        reading.leadingZeros.push_back(zeros);
        i = end;
    }
    return reading;
}

int sign(std::strong_ordering order)
{
    return std::is_lt(order) ? -1 : std::is_gt(order) ? 1 : 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string_view> names = pieces(bytesOf(data, size), 32);
    std::vector<Reading> readings;
    readings.reserve(names.size());
    for (std::string_view name : names) {
        readings.push_back(readingOf(name));
    }

    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string_view a = names[i];
        FUZZ_CHECK(naturalCompare(a, a) == 0 && !naturalLess(a, a));
        for (std::size_t j = 0; j < names.size(); ++j) {
            const std::string_view b = names[j];
            const int ab = sign(naturalCompare(a, b));
            FUZZ_CHECK(ab == -sign(naturalCompare(b, a)));
            FUZZ_CHECK((ab == 0) == (a == b));
            FUZZ_CHECK(ab == sign(readings[i] <=> readings[j]));
            // The fast sort's key must never contradict the comparator.
            std::vector<std::string_view> pair = {a, b};
            sortNaturally(pair);
            FUZZ_CHECK(!naturalLess(pair[1], pair[0]));
        }
    }
    // Transitivity, on the first names (cubic).
    const std::size_t few = std::min<std::size_t>(names.size(), 16);
    for (std::size_t i = 0; i < few; ++i) {
        for (std::size_t j = 0; j < few; ++j) {
            for (std::size_t k = 0; k < few; ++k) {
                if (naturalLess(names[i], names[j]) && naturalLess(names[j], names[k])) {
                    FUZZ_CHECK(naturalLess(names[i], names[k]));
                }
            }
        }
    }
    std::vector<std::string_view> reference = names;
    std::sort(reference.begin(), reference.end(), naturalLess);
    sortNaturally(names);
    FUZZ_CHECK(names == reference);
    return 0;
}
