#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Text.h"

using shoebox::firstCharacters;
using shoebox::naturalCompare;
using shoebox::naturalLess;
using shoebox::oneLine;
using shoebox::sortNaturally;

namespace {

TEST(GraphemeCut, KeepsWholeCharacters)
{
    struct Case {
        const char* text;
        std::size_t count;
        const char* expected;
    };
    for (Case c : {Case{"abcdef", 3, "abc"}, Case{"ab", 5, "ab"}, Case{"", 3, ""}, Case{"abc", 0, ""},
                   // e + COMBINING ACUTE ACCENT is one character.
                   Case{"e\u0301e\u0301x", 2, "e\u0301e\u0301"},
                   // Family emoji joined by ZERO WIDTH JOINERs, then two flags (two
                   // regional indicators each): one character each.
                   Case{"\U0001F468\u200D\U0001F469\u200D\U0001F467\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7", 2,
                        "\U0001F468\u200D\U0001F469\u200D\U0001F467\U0001F1E9\U0001F1EA"},
                   Case{"\r\nx", 1, "\r\n"},
                   // Each invalid byte is one character, kept raw; a cut-off sequence
                   // is as many characters as it has bytes.
                   Case{"a\xFF\xFE"
                        "e\u0301z",
                        4,
                        "a\xFF\xFE"
                        "e\u0301"},
                   Case{"\xE2\x82"
                        "c",
                        2, "\xE2\x82"}}) {
        EXPECT_EQ(firstCharacters(c.text, c.count), c.expected) << c.text;
    }
}

// Each pair is in natural order: first < second, and never the other way.
TEST(NaturalOrder, OrdersPairs)
{
    const std::pair<const char*, const char*> pairs[] = {
        {"IMG_2.jpg", "IMG_10.jpg"},
        {"apple", "Banana"},
        {"Apple", "banana"},
        {"a", "ab"},
        {"x2y3", "x2y10"},
        // Digit runs beyond any integer type.
        {"n99999999999999999999", "n100000000000000000000"},
        {"n123456789012345678901234567890", "n123456789012345678901234567891"},
        {"n0000000000000000000000007", "n8"},
        // Ties between equal values or letters are broken, but only after any
        // later real difference.
        {"IMG.jpg", "img.jpg"},
        {"a2", "a02"},
        {"a02b", "a2c"}};
    for (auto [a, b] : pairs) {
        EXPECT_LT(naturalCompare(a, b), 0) << a << " / " << b;
        EXPECT_GT(naturalCompare(b, a), 0) << a << " / " << b;
    }
}

// The fast sort packs the start of each name into a key; names built from
// numbers, case and padding that straddle the key's 16 bytes must still come
// out exactly as naturalLess orders them.
TEST(NaturalOrder, FastSortAgreesWithTheComparator)
{
    // Digit runs whose length does not fit 7 or 8 bits, next to short ones.
    const std::string long300(300, '7');
    std::vector<std::string> pieces = {
        "",      "a",           "B",   "_", "0", "7", "00", "123", "0012", std::string(130, '9'), std::string(256, '1'),
        long300, "1" + long300, "\xFF"};
    std::vector<std::string> names;
    for (const char* prefix : {"", "IMG_2023", "x", "abcdefghijklm", "2024-01-1"}) {
        for (const auto& p : pieces) {
            for (const auto& q : pieces) {
                names.push_back(prefix + p + q);
                names.push_back(prefix + p + "." + q);
            }
        }
    }
    std::vector<std::string_view> fast(names.begin(), names.end());
    std::vector<std::string_view> reference = fast;
    std::sort(reference.begin(), reference.end(), naturalLess);
    sortNaturally(fast);
    EXPECT_EQ(fast, reference);
}

// Every byte of a character that ends or breaks a line is escaped, in
// valid UTF-8 too (C1 controls, the line and paragraph separators); every
// other byte, valid or not, is kept.
TEST(OneLine, EscapesWhatBreaksALineAndKeepsEveryOtherByte)
{
    const std::pair<const char*, const char*> cases[] = {
        {"a\nb\rc\x7f caf\xe9 \xff \u00e9.jpg", "a\\x0Ab\\x0Dc\\x7F caf\xe9 \xff \u00e9.jpg"},
        {"next\u0085line \u0080\u009F", "next\\xC2\\x85line \\xC2\\x80\\xC2\\x9F"},
        {"a\u2028b\u2029c", "a\\xE2\\x80\\xA8b\\xE2\\x80\\xA9c"},
        // No-break space, quotes and a joined emoji stay; a stray lead byte
        // stays and the line feed after it is escaped.
        {"\u00A0\u201C\U0001F468\u200D\U0001F469\u201D \xC2\n",
         "\u00A0\u201C\U0001F468\u200D\U0001F469\u201D \xC2\\x0A"}};
    for (auto [text, line] : cases) {
        EXPECT_EQ(oneLine(text), line) << text;
    }
}

} // namespace
