#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Text.h"

using shoebox::firstCharacters;
using shoebox::naturalCompare;
using shoebox::naturalLess;
using shoebox::sortNaturally;

namespace {

struct CutCase {
    const char* text;
    std::size_t count;
    const char* expected;
};

class GraphemeCut : public testing::TestWithParam<CutCase> {};

TEST_P(GraphemeCut, KeepsWholeCharacters)
{
    EXPECT_EQ(firstCharacters(GetParam().text, GetParam().count), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, GraphemeCut,
    testing::Values(CutCase{"abcdef", 3, "abc"}, CutCase{"ab", 5, "ab"}, CutCase{"", 3, ""},
        CutCase{"abc", 0, ""},
        // e + COMBINING ACUTE ACCENT is one character.
        CutCase{"e\u0301e\u0301x", 2, "e\u0301e\u0301"},
        // Family emoji joined by ZERO WIDTH JOINERs, then a flag (two
        // regional indicators): one character each.
        CutCase{"\U0001F468\u200D\U0001F469\u200D\U0001F467!", 1, "\U0001F468\u200D\U0001F469\u200D\U0001F467"},
        CutCase{"\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7", 1, "\U0001F1E9\U0001F1EA"},
        CutCase{"\r\nx", 1, "\r\n"},
        // Each invalid byte is one character, kept raw; a cut-off sequence
        // is as many characters as it has bytes.
        CutCase{"a\xFF\xFE" "b", 3, "a\xFF\xFE"}, CutCase{"\xE2\x82" "c", 2, "\xE2\x82"},
        CutCase{"\xFF" "e\u0301z", 2, "\xFF" "e\u0301"}));

TEST(NaturalOrder, NumbersByValueLettersWithoutCase)
{
    EXPECT_LT(naturalCompare("IMG_2.jpg", "IMG_10.jpg"), 0);
    EXPECT_GT(naturalCompare("IMG_10.jpg", "IMG_9.jpg"), 0);
    EXPECT_LT(naturalCompare("apple", "Banana"), 0);
    EXPECT_LT(naturalCompare("Apple", "banana"), 0);
    EXPECT_LT(naturalCompare("a", "ab"), 0);
    EXPECT_LT(naturalCompare("x2y3", "x2y10"), 0);
    EXPECT_EQ(naturalCompare("same", "same"), 0);
}

TEST(NaturalOrder, DigitRunsBeyondAnyIntegerType)
{
    EXPECT_LT(naturalCompare("n99999999999999999999", "n100000000000000000000"), 0);
    EXPECT_LT(naturalCompare("n123456789012345678901234567890", "n123456789012345678901234567891"), 0);
    EXPECT_LT(naturalCompare("n0000000000000000000000007", "n8"), 0);
}

TEST(NaturalOrder, TiesAreBrokenSoOnlyEqualBytesCompareEqual)
{
    EXPECT_NE(naturalCompare("IMG.jpg", "img.jpg"), 0);
    EXPECT_EQ(naturalCompare("IMG.jpg", "img.jpg"), -naturalCompare("img.jpg", "IMG.jpg"));
    EXPECT_LT(naturalCompare("a2", "a02"), 0);
    EXPECT_LT(naturalCompare("a02", "a002"), 0);
    // The leading-zero tie-break must not override a later real difference.
    EXPECT_LT(naturalCompare("a02b", "a2c"), 0);
}

// Sorting needs a strict weak order; a tangle of digits, case and bytes that
// sit between the letters ("_", "[") is where a comparator breaks it.
TEST(NaturalOrder, IsAConsistentTotalOrder)
{
    std::vector<std::string> names = {"a", "A", "a0", "a00", "a1", "a01", "A1", "a10", "a9", "a_", "a[", "a Z",
        "aZ", "az", "a/", "a.", "a~", "\xC3\xA9", "\xFF", "1", "01", "001", "10", "9", "", "_", "0a", "00a", "a1b2",
        "a01b1", "a1b02"};
    for (const auto& x : names) {
        EXPECT_EQ(naturalCompare(x, x), 0);
        for (const auto& y : names) {
            int xy = naturalCompare(x, y);
            EXPECT_EQ(xy == 0, x == y) << x << " / " << y;
            EXPECT_EQ(xy < 0, naturalCompare(y, x) > 0) << x << " / " << y;
            for (const auto& z : names) {
                if (xy < 0 && naturalCompare(y, z) < 0) {
                    EXPECT_LT(naturalCompare(x, z), 0) << x << " < " << y << " < " << z;
                }
            }
        }
    }
}

TEST(NaturalOrder, SortsAFolderAsPeopleExpect)
{
    std::vector<std::string> names = {"IMG_10.jpg", "img_1.jpg", "IMG_2.jpg", "IMG_1.jpg", "clip.mov", "IMG_02.jpg"};
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return naturalLess(a, b); });
    EXPECT_EQ(names,
        (std::vector<std::string>{"clip.mov", "IMG_1.jpg", "img_1.jpg", "IMG_2.jpg", "IMG_02.jpg", "IMG_10.jpg"}));
}

// The fast sort packs the start of each name into a key; names built from
// numbers, case and padding that straddle the key's 16 bytes must still come
// out exactly as naturalLess orders them.
TEST(NaturalOrder, FastSortAgreesWithTheComparator)
{
    // Digit runs whose length does not fit 7 or 8 bits, next to short ones.
    const std::string long130(130, '9');
    const std::string long256(256, '1');
    const std::string long300(300, '7');
    std::vector<std::string> pieces = {
        "", "a", "B", "_", "0", "7", "00", "123", "0012", long130, long256, long300, "1" + long300, "\xFF"};
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
    ASSERT_EQ(fast.size(), reference.size());
    for (std::size_t i = 0; i < fast.size(); ++i) {
        // Duplicates compare equal, so compare the text, not the view.
        EXPECT_EQ(std::string(fast[i]), std::string(reference[i])) << "at " << i;
    }
}

TEST(OneLine, EscapesControlCharactersAndKeepsEveryOtherByte)
{
    EXPECT_EQ(shoebox::oneLine("a\nb\rc\x7f"), "a\\x0Ab\\x0Dc\\x7F");
    EXPECT_EQ(shoebox::oneLine("caf\xe9 \xff \u00e9.jpg"), "caf\xe9 \xff \u00e9.jpg");
}

} // namespace
