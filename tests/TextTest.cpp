// What the fuzz targets' corpus replay (the corpus.* tests) does not pin
// down: which bytes a location leaves unescaped, relative paths, the last C1
// control that breaks a line, and names that straddle the fast sort's key.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "FileURL.h"
#include "Text.h"

using namespace shoebox;

TEST(FileURLTest, EscapesAllButUnreservedBytesAndResolvesRelativePaths)
{
    EXPECT_EQ(FileURL::fileURLWithPath("/Beach Day/é%41%-_.~Z9?#").absoluteString(),
              "file:///Beach%20Day/%C3%A9%2541%25-_.~Z9%3F%23");
    EXPECT_EQ(FileURL::fileURLWithPath("some.jpg").path(), (std::filesystem::current_path() / "some.jpg").string());
}

TEST(OneLineTest, EscapesEveryC1Control)
{
    EXPECT_EQ(oneLine("\u0080\u009F\u00A0"), "\\xC2\\x80\\xC2\\x9F\u00A0");
}

// Guards the fast sort's 16-byte keys parting from naturalLess for numbers, case and padding across the edge.
TEST(NaturalOrderTest, FastSortAgreesWithTheComparator)
{
    const std::string l300(300, '7');
    const std::string pieces[] = {
        "",   "a",        "B",   "_", "0", "7", "00", "123", "0012", std::string(130, '9'), std::string(256, '1'),
        l300, "1" + l300, "\xFF"};
    std::vector<std::string> names;
    for (const char* prefix : {"", "IMG_2023", "x", "abcdefghijklm", "2024-01-1"})
        for (const auto& p : pieces)
            for (const auto& q : pieces)
                names.insert(names.end(), {prefix + p + q, prefix + p + "." + q});
    std::vector<std::string_view> fast(names.begin(), names.end()), reference = fast;
    std::sort(reference.begin(), reference.end(), naturalLess);
    sortNaturally(fast);
    EXPECT_EQ(fast, reference);
}
