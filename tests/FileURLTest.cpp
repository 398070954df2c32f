#include <gtest/gtest.h>

#include <unistd.h>

#include "FileURL.h"

using shoebox::FileURL;
using shoebox::percentDecodedForDisplay;
using shoebox::removingPercentEncoding;

namespace {

FileURL url(const char* path)
{
    return FileURL::fileURLWithPath(path);
}

TEST(FileURLPath, NormalisesSlashesButNotDots)
{
    EXPECT_EQ(url("//a///b/").path(), "/a/b");
    EXPECT_EQ(url("/").path(), "/");
    EXPECT_EQ(url("///").path(), "/");
    EXPECT_EQ(url("/a/../b/./c").path(), "/a/../b/./c");
}

TEST(FileURLPath, RelativePathsResolveAgainstBaseOrWorkingDirectory)
{
    EXPECT_EQ(FileURL::fileURLWithPath("c/d.jpg", url("/a/b")).path(), "/a/b/c/d.jpg");
    EXPECT_EQ(FileURL::fileURLWithPath("/x", url("/a/b")).path(), "/x");
    EXPECT_EQ(FileURL::fileURLWithPath("c", url("/")).path(), "/c");

    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(url("some.jpg").path(), url(cwd).appendingPathComponent("some.jpg").path());
}

TEST(FileURLPath, AbsoluteStringEscapesEverythingButUnreservedAndSlash)
{
    EXPECT_EQ(url("/Beach Day/é%.JPG").absoluteString(), "file:///Beach%20Day/%C3%A9%25.JPG");
    EXPECT_EQ(url("/a-b_c.~Z9").absoluteString(), "file:///a-b_c.~Z9");
    EXPECT_EQ(url("/\xff\x01?#").description(), "file:///%FF%01%3F%23");
}

// Escaping then decoding must give back the exact bytes of every path that
// is valid UTF-8; invalid ones survive only the raw path, not the decoder.
class EscapingRoundTrip : public testing::TestWithParam<const char*> {};

TEST_P(EscapingRoundTrip, DecodingTheUrlTextGivesThePathBack)
{
    FileURL location = url(GetParam());
    auto decoded = removingPercentEncoding(location.absoluteString());
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, "file://" + location.path());
    EXPECT_EQ(percentDecodedForDisplay(location.absoluteString()), "file://" + location.path());
}

INSTANTIATE_TEST_SUITE_P(Names, EscapingRoundTrip,
    testing::Values("/Beach Day.JPG", "/Fotos/Ägypten 2019/ß.heic", "/100% sure.png", "/%41%",
        "/emoji 👍🏽.mov", "/tab\there+plus&amp;=;,"));

TEST(FileURLPath, InvalidUtf8PathsEscapeButDoNotDecodeStrictly)
{
    FileURL location = url("/photo\xC3(\xFF.jpg");
    EXPECT_EQ(location.path(), "/photo\xC3(\xFF.jpg");
    EXPECT_EQ(location.absoluteString(), "file:///photo%C3%28%FF.jpg");
    EXPECT_EQ(removingPercentEncoding(location.absoluteString()), std::nullopt);
    EXPECT_EQ(percentDecodedForDisplay(location.absoluteString()), "file:///photo\uFFFD(\uFFFD.jpg");
    EXPECT_EQ(location.pathExtension(), "jpg");
}

struct ComponentCase {
    const char* path;
    const char* lastComponent;
    const char* extension;
    const char* withoutExtension;
};

class Components : public testing::TestWithParam<ComponentCase> {};

TEST_P(Components, SplitTheLastComponent)
{
    const ComponentCase& c = GetParam();
    FileURL location = url(c.path);
    EXPECT_EQ(location.lastPathComponent(), c.lastComponent);
    EXPECT_EQ(location.pathExtension(), c.extension);
    EXPECT_EQ(location.deletingPathExtension().path(), c.withoutExtension);
}

INSTANTIATE_TEST_SUITE_P(Names, Components,
    testing::Values(ComponentCase{"/d/trip.jpg.txt", "trip.jpg.txt", "txt", "/d/trip.jpg"},
        ComponentCase{"/d/trip.txt.jpg", "trip.txt.jpg", "jpg", "/d/trip.txt"},
        ComponentCase{"/d/README", "README", "", "/d/README"},
        ComponentCase{"/d/ends.", "ends.", "", "/d/ends"},
        ComponentCase{"/d/Holiday.mov/", "Holiday.mov", "mov", "/d/Holiday"},
        // A leading dot alone names a hidden file; it starts no extension.
        ComponentCase{"/d/.hidden", ".hidden", "", "/d/.hidden"},
        ComponentCase{"/d/.thumb.jpg", ".thumb.jpg", "jpg", "/d/.thumb"},
        ComponentCase{"/d.x/name", "name", "", "/d.x/name"}, ComponentCase{"/", "/", "", "/"}));

TEST(FileURLPath, AppendingAndDeletingComponents)
{
    EXPECT_EQ(url("/a").appendingPathComponent("b c.jpg").path(), "/a/b c.jpg");
    EXPECT_EQ(url("/").appendingPathComponent("b").path(), "/b");
    EXPECT_EQ(url("/a").appendingPathComponent("b/").path(), "/a/b");
    EXPECT_EQ(url("/a/b/c").deletingLastPathComponent().path(), "/a/b");
    EXPECT_EQ(url("/a").deletingLastPathComponent().path(), "/");
    EXPECT_EQ(url("/").deletingLastPathComponent().path(), "/");
}

TEST(PercentDecoding, MalformedEscapesOrInvalidUtf8GiveNothing)
{
    for (const char* text : {"%", "a%2", "%G1", "%%", "%C3", "%C0%AF", "%ED%A0%80", "%F4%90%80%80", "\xFF"}) {
        EXPECT_EQ(removingPercentEncoding(text), std::nullopt) << text;
    }
    EXPECT_EQ(removingPercentEncoding("a%2fb%2F%f0%9f%98%80"), "a/b/\xF0\x9F\x98\x80");
    EXPECT_EQ(removingPercentEncoding(""), "");
}

TEST(PercentDecoding, DisplayKeepsMalformedEscapesAndReplacesInvalidBytes)
{
    EXPECT_EQ(percentDecodedForDisplay("100%"), "100%");
    EXPECT_EQ(percentDecodedForDisplay("%zz%4"), "%zz%4");
    // Each invalid byte becomes its own replacement character.
    EXPECT_EQ(percentDecodedForDisplay("%C0%AFx"), "\uFFFD\uFFFDx");
    EXPECT_EQ(percentDecodedForDisplay("%E2%82"), "\uFFFD\uFFFD");
    EXPECT_EQ(percentDecodedForDisplay("%E2%82%AC"), "€");
}

} // namespace
