#pragma once
// A camera's JPEG made by the tests: quality 85, 4:4:4, with EXIF (a camera, an orientation and
// a thumbnail link), a Display P3 profile, XMP and a comment.

#include "common/qtpath.h"
#include "common/tempdir.h"
#include "imaging/imaging.h"
#include "imaging/metadata.h"

#include <QColorSpace>

#include <algorithm>
#include <string>
#include <vector>

namespace veilshot::test {

using imaging::JpegMetadata;
using imaging::Subsampling;

using Bytes = std::vector<std::uint8_t>;

inline Bytes Joined(const Bytes &a, const Bytes &b)
{
    Bytes joined(a.size() + b.size());
    std::copy(a.begin(), a.end(), joined.begin());
    std::copy(b.begin(), b.end(), joined.begin() + std::ptrdiff_t(a.size()));
    return joined;
}

inline Bytes Segment(std::uint8_t marker, const Bytes &data)
{
    const Bytes head = {0xFF, marker, std::uint8_t((data.size() + 2) >> 8), std::uint8_t((data.size() + 2) & 0xFF)};
    return Joined(head, data);
}

inline Bytes Text(const std::string &text)
{
    return Bytes(text.begin(), text.end());
}


inline bool Contains(const Bytes &bytes, const Bytes &part)
{
    return std::search(bytes.begin(), bytes.end(), part.begin(), part.end()) != bytes.end();
}

// EXIF (little-endian) with a camera, an orientation and a link to a thumbnail's IFD1.
inline Bytes Exif(int orientation)
{
    const Bytes tiff = {'I', 'I', 42, 0, 8, 0, 0, 0,                                   // IFD0 at 8
                        2, 0,                                                        // two entries
                        0x0F, 0x01, 2, 0, 8, 0, 0, 0, 38, 0, 0, 0,                   // Make at 38
                        0x12, 0x01, 3, 0, 1, 0, 0, 0, std::uint8_t(orientation), 0, 0, 0,
                        46, 0, 0, 0,                                                 // IFD1 at 46
                        'C', 'a', 'm', 'e', 'r', 'a', 'X', 0,                        // 38
                        1, 0, 0x01, 0x02, 4, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};  // IFD1
    return Segment(0xE1, Joined(Text(std::string("Exif\0\0", 6)), tiff));
}

inline Bytes Icc()
{
    const QByteArray profile = QColorSpace(QColorSpace::DisplayP3).iccProfile();
    return Segment(0xE2, Joined(Joined(Text(std::string("ICC_PROFILE\0", 12)), {1, 1}), Bytes(profile.begin(), profile.end())));
}

inline const Bytes Xmp = Segment(0xE1, Text(std::string("http://ns.adobe.com/xap/1.0/\0<x:xmpmeta>kept</x:xmpmeta>", 57)));
inline const Bytes Comment = Segment(0xFE, Text("a comment that stays"));

// A picture whose colours differ plainly between Display P3 and sRGB, inside both gamuts.
inline QImage Photo(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, x < size.width() / 2 ? qRgb(190, 90, 70) : qRgb(80, 150, 100 + y % 32));
    return image;
}

// A camera's JPEG of `size` at quality 85, 4:4:4, with every block: its pixels in Display P3.
inline Bytes CameraJpeg(const TempDir &dir, QSize size, int orientation)
{
    const auto file = dir / "made.jpg";
    imaging::CarriedMetadata made;
    made.jpeg.subsampling = Subsampling::S444;
    made.jpeg.quality = 85;
    imaging::Save(Photo(size), Q(file), imaging::FindEncoderByMime("image/jpeg"), std::nullopt, AtomicFile::Mode::Replace, &made);
    const Bytes plain = ReadFile(file);
    return imaging::WithSegments(plain, {Exif(orientation), Icc(), Xmp, Comment});
}

}  // namespace veilshot::test
