#pragma once

// What a photo's EXIF block says that the view needs: which way up it
// stands, its embedded preview, when it was taken and with which camera.
// libexif reads the block; JPEG files carry it in their APP1 segment, HEIF
// files as an item (the HEIF module hands it over through the decode host).

#include "viewer/PhotoInfo.h"

#include <QByteArray>
#include <QImage>

namespace shoebox::imaging {

struct ExifSummary {
    int orientation = 1;  // 1-8 as EXIF numbers them; 1 also when absent or out of range
    QByteArray thumbnail; // the embedded preview (a JPEG), empty when there is none
    PhotoInfo info;       // the date taken and the camera; the pixel and file sizes are not here
};

// Reads the EXIF block (libexif) from `data`: an APP1 payload starting with
// "Exif\0\0", or the start of a JPEG file, in which the APP1 segment is
// looked for.
ExifSummary readExif(const QByteArray& data);
// readExif's date and camera alone, for the HEIF module's Exif block.
PhotoInfo photoInfoFromExif(const QByteArray& data);

// EXIF orientations 5-8 turn the picture a quarter.
inline bool swapsAxes(int orientation)
{
    return orientation >= 5 && orientation <= 8;
}
// `stored`, as the camera wrote it, turned and mirrored upright.
QImage orient(const QImage& stored, int orientation);
// The embedded preview cut to the shape of the main picture (both as
// stored): some cameras pad a 3:2 photo's preview to 4:3 with black bars.
QImage cropToShape(const QImage& thumbnail, QSize main);

} // namespace shoebox::imaging
