#pragma once

#include <cstdint>

#include "viewer/DecodedPicture.h"

namespace shoebox::imaging {

// A picture's header can claim any size: a 225-byte JPEG may claim
// 65500x65500, which even at 1/8 scale is 270 MB of pixels. So before
// anything is decoded, the memory it needs for pixels is worked out from
// the header, and every decode in flight in the process shares this budget:
// a decode waits until its pixels fit beside the others'.
//
// 144 MiB holds what ordinary photos need: a 12 MP phone HEIC while
// libheif converts it (7 bytes a pixel, 85 MB: its 4:2:0 planes and the
// RGBA result; libheif 1.15 cannot decode at a smaller scale), two JPEGs at
// the DCT scale the view wants, or a picture of up to 36 MP in Qt's 4-byte
// formats.
// With the view's 64 MB cache the process stays near 250 MB while it steps
// through a folder of them.
inline constexpr std::int64_t decodeBudgetBytes = std::int64_t(144) << 20;

// Real pictures can need more than the budget: a 24 MP HEIC (170 MB in
// libheif), a 48 MP one (340 MB), a 64 MP PNG that Qt cannot scale as it
// reads (256 MB of pixels at 8 bits, 512 at 16), a 100 MP progressive JPEG
// (300 MB of DCT coefficients). Such a picture decodes alone: it waits until
// no other decode holds any of the budget, and the others wait while it
// runs, so that the process never holds two of them. Only a picture that
// needs more than this cap is refused (Problem::TooLarge): a quarter of the
// memory the machine had available when the process started, at most 1 GiB
// (never less than the budget). A header claiming more than that costs
// nothing but the look at it.
std::int64_t decodeCapBytes();

// Sets the process-wide decode limits once (QImageReader's allocation limit
// is a static, set to the cap). Called by the view's constructor and by
// decodePicture.
void installDecodeLimits();

// Takes `bytes` of the decode budget, waiting while other decodes hold
// what it needs (more than the budget: until it can run alone): Problem::None
// once it has them (give them back with releaseDecodeBytes), TooLarge when
// they exceed the cap, Cancelled when `cancelled` turns true while waiting.
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
