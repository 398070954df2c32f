#pragma once

#include <cstdint>

#include "viewer/DecodedPicture.h"

namespace shoebox::imaging {

// A picture's header can claim any size: a 225-byte JPEG may claim
// 65500x65500, which even at 1/8 scale is 270 MB of pixels. So before
// anything is decoded, the memory it needs for pixels is worked out from
// the header, and every decode in flight in the process shares this budget:
// a decode waits until its pixels fit beside the others', and a picture
// that needs more than the whole budget is refused (Problem::TooLarge).
//
// 144 MiB holds the largest pictures people take: a 24 MP phone HEIC while
// libheif converts it (5.5 bytes a pixel: its 4:2:0 planes and the RGBA
// result; libheif 1.15 cannot decode at a smaller scale), or any picture of
// up to 36 MP in Qt's 4-byte formats (an 8K screenshot). A JPEG larger than
// the budget allows at the scale the view wants decodes at the next smaller
// DCT scale that fits (a 48 MP photo on a 4K screen at 1/2, 48 MB), so
// camera and phone JPEGs always show. With the view's 64 MB cache, the
// process stays near 250 MB however large the pictures in a folder, and
// pictures refused by their header cost nothing. The same number is
// QImageReader's allocation limit, which also bounds QMovie's frames.
inline constexpr std::int64_t decodeBudgetBytes = std::int64_t(144) << 20;
// Qt's decoders take the whole file in memory: a file larger than this
// that only they can decode is refused (TooLarge). JPEG, HEIF and video
// are read as they decode, at any size.
inline constexpr std::int64_t maximumFileBytes = std::int64_t(512) << 20;

// Sets the process-wide decode limits once (QImageReader's allocation limit
// is a static). Called by the view's constructor and by decodePicture.
void installDecodeLimits();

// Takes `bytes` of the decode budget, waiting while other decodes hold
// what it needs: Problem::None once it has them (give them back with
// releaseDecodeBytes), TooLarge when they exceed the whole budget,
// Cancelled when `cancelled` turns true while waiting.
Problem reserveDecodeBytes(std::int64_t bytes, const CancelCheck& cancelled);
void releaseDecodeBytes(std::int64_t bytes);

// Holds a reservation until it goes out of scope.
class DecodeReservation {
public:
    using Reserve = Problem (*)(std::int64_t bytes, const CancelCheck& cancelled);
    using Release = void (*)(std::int64_t bytes);

    // `problem()` tells whether it holds the bytes. The HEIF and video
    // modules, which cannot call into the executable, reserve through the
    // functions it lends them (DecodeHost in viewer/MediaModule.h).
    DecodeReservation(std::int64_t bytes, const CancelCheck& cancelled, Reserve reserve = &reserveDecodeBytes,
                      Release release = &releaseDecodeBytes)
        : problem_(reserve(bytes, cancelled)), bytes_(problem_ == Problem::None ? bytes : 0), release_(release)
    {
    }
    DecodeReservation(const DecodeReservation&) = delete;
    DecodeReservation& operator=(const DecodeReservation&) = delete;
    ~DecodeReservation()
    {
        if (bytes_ > 0)
            release_(bytes_);
    }
    Problem problem() const { return problem_; }

private:
    const Problem problem_;
    const std::int64_t bytes_;
    const Release release_;
};

} // namespace shoebox::imaging
