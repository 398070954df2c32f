#include <gtest/gtest.h>

#include "FileDescriptor.h"
#include "MovieProbe.h"
#include "TempDir.h"

#include <fcntl.h>

using shoebox::testing::TempDir;

namespace {

// A box: a 32-bit size, a type and a body (`size` 0 runs to the end of the
// file, 1 is followed by a 64-bit size).
std::string box(const std::string& type, const std::string& body, int size = -1)
{
    const std::uint32_t n = size < 0 ? static_cast<std::uint32_t>(8 + body.size()) : static_cast<std::uint32_t>(size);
    return std::string{char(n >> 24), char(n >> 16), char(n >> 8), char(n)} + type + body;
}

std::string largeBox(const std::string& type, const std::string& body)
{
    const std::uint64_t n = 16 + body.size();
    std::string size;
    for (int shift = 56; shift >= 0; shift -= 8)
        size += char(n >> shift);
    return box(type, "", 1).substr(0, 8) + size + body;
}

bool probe(const std::string& bytes)
{
    TempDir dir;
    const std::string path = dir.write("clip.mov", bytes);
    shoebox::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    return shoebox::media::movieLooksComplete(fd.get(), static_cast<std::int64_t>(bytes.size()));
}

} // namespace

// Playable layouts pass; a damaged or cut-off file is caught before the
// player, which may otherwise never report it.
TEST(MovieProbeTest, TellsCompleteMoviesFromDamagedOnes)
{
    const std::string ftyp = box("ftyp", "qt  \0\0\0\0qt  "), moov = box("moov", box("mvhd", std::string(100, 'm')));
    const std::string mdat = box("mdat", std::string(4000, 'v'));
    EXPECT_TRUE(probe(ftyp + moov + mdat));                                   // fast start
    EXPECT_TRUE(probe(ftyp + box("wide", "") + mdat + moov));                 // camera MOV: header last
    EXPECT_TRUE(probe(moov + box("mdat", std::string(300, 'v'), 0)));         // old QuickTime, data to the end
    EXPECT_TRUE(probe(ftyp + largeBox("mdat", std::string(50, 'v')) + moov)); // 64-bit size

    EXPECT_FALSE(probe(ftyp + mdat));                                        // no movie header
    EXPECT_FALSE(probe((ftyp + mdat + moov).substr(0, ftyp.size() + 1000))); // cut short
    EXPECT_FALSE(probe(ftyp + moov + "junk"));                               // trailing bytes
    EXPECT_FALSE(probe(std::string("\0\0\0\x18"
                                   "ftypmp42not a movie",
                                   23)));
    EXPECT_FALSE(probe(box("mo\x01v", "") + moov)); // not a box type
    EXPECT_FALSE(probe(""));
}
