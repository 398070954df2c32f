#include <gtest/gtest.h>

#include <filesystem>

#include "FileURL.h"

using shoebox::FileURL;
using shoebox::percentDecodedForDisplay;
using shoebox::removingPercentEncoding;

namespace {

FileURL url(const char* path)
{
    return FileURL::fileURLWithPath(path);
}

TEST(FileURLPath, NormalisesSlashesKeepsDotsAndCombines)
{
    EXPECT_EQ(url("//a///b/").path(), "/a/b");
    EXPECT_EQ(url("/a/../b/./c").path(), "/a/../b/./c");
    EXPECT_EQ(url("some.jpg").path(), (std::filesystem::current_path() / "some.jpg").string());
    EXPECT_EQ(FileURL::fileURLWithPath("c/d.jpg", url("/a/b")).path(), "/a/b/c/d.jpg");
    EXPECT_EQ(FileURL::fileURLWithPath("/x", url("/a/b")).path(), "/x");
    EXPECT_EQ(url("/").appendingPathComponent("b c.jpg").path(), "/b c.jpg");
    EXPECT_EQ(url("/a").appendingPathComponent("b//c/").path(), "/a/b/c");
    EXPECT_EQ(url("/a").deletingLastPathComponent().path(), "/");
}

// The URL text escapes every byte but unreserved ones and "/". Decoding it
// strictly gives the path back exactly when the path is valid UTF-8; display
// decoding always succeeds, with U+FFFD for each invalid byte.
TEST(FileURLPath, EscapingRoundTrips)
{
    struct Case {
        const char* path;
        const char* escaped;
        const char* displayed; // nullptr: the path itself, and strict decoding works
    };
    for (Case c :
         {Case{"/Beach Day/é%41%-_.~Z9", "file:///Beach%20Day/%C3%A9%2541%25-_.~Z9", nullptr},
          Case{"/emoji 👍🏽?#", "file:///emoji%20%F0%9F%91%8D%F0%9F%8F%BD%3F%23", nullptr},
          Case{"/photo\xC3(\xFF\x01.jpg", "file:///photo%C3%28%FF%01.jpg", "file:///photo\uFFFD(\uFFFD\x01.jpg"}}) {
        FileURL location = url(c.path);
        EXPECT_EQ(location.path(), c.path);
        EXPECT_EQ(location.absoluteString(), c.escaped);
        const std::string whole = "file://" + location.path();
        EXPECT_EQ(removingPercentEncoding(c.escaped), c.displayed ? std::nullopt : std::optional(whole));
        EXPECT_EQ(percentDecodedForDisplay(c.escaped), c.displayed ? c.displayed : whole);
    }
}

TEST(FileURLPath, SplitsTheLastComponent)
{
    struct Case {
        const char* path;
        const char* lastComponent;
        const char* extension;
        const char* withoutExtension;
    };
    for (Case c : {Case{"/d/trip.jpg.txt", "trip.jpg.txt", "txt", "/d/trip.jpg"},
                   Case{"/d/trip.txt.jpg", "trip.txt.jpg", "jpg", "/d/trip.txt"},
                   Case{"/d.x/README", "README", "", "/d.x/README"}, Case{"/d/ends.", "ends.", "", "/d/ends"},
                   Case{"/d/Holiday.mov/", "Holiday.mov", "mov", "/d/Holiday"},
                   // A leading dot alone names a hidden file; it starts no extension.
                   Case{"/d/.hidden", ".hidden", "", "/d/.hidden"},
                   Case{"/d/.thumb.jpg", ".thumb.jpg", "jpg", "/d/.thumb"}, Case{"/", "/", "", "/"}}) {
        FileURL location = url(c.path);
        EXPECT_EQ(location.lastPathComponent(), c.lastComponent) << c.path;
        EXPECT_EQ(location.pathExtension(), c.extension) << c.path;
        EXPECT_EQ(location.deletingPathExtension().path(), c.withoutExtension) << c.path;
    }
}

// Strict decoding gives nothing for a malformed escape or invalid UTF-8;
// display decoding keeps the former and replaces each invalid byte.
TEST(PercentDecoding, StrictRefusesWhatDisplayRepairs)
{
    for (const char* text : {"%", "a%2", "%G1", "%%", "%C3", "%C0%AF", "%ED%A0%80", "%F4%90%80%80", "\xFF"}) {
        EXPECT_EQ(removingPercentEncoding(text), std::nullopt) << text;
    }
    EXPECT_EQ(removingPercentEncoding("a%2fb%2F%f0%9f%98%80"), "a/b/\xF0\x9F\x98\x80");
    EXPECT_EQ(percentDecodedForDisplay("100%%zz%4"), "100%%zz%4");
    EXPECT_EQ(percentDecodedForDisplay("%C0%AFx%E2%82"), "\uFFFD\uFFFDx\uFFFD\uFFFD");
}

} // namespace
