#pragma once
// A camera's JPEG made by the tests: quality 85, 4:4:4, with EXIF (a camera, an orientation and
// a thumbnail link), a Display P3 profile, XMP and a comment.

#include "common/qtpath.h"
#include "common/tempdir.h"
#include "imaging/imaging.h"
#include "imaging/metadata/metadata.h"

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

// EXIF with a camera, an orientation and a link to a thumbnail's IFD1, little-endian ("II")
// or big-endian ("MM"); the orientation's value stands at offset 30 of the TIFF data.
inline Bytes Exif(int orientation, bool bigEndian = false)
{
    Bytes tiff = bigEndian ? Bytes{'M', 'M', 0, 42} : Bytes{'I', 'I', 42, 0};
    auto put = [&](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            tiff.push_back(std::uint8_t(value >> (bigEndian ? 8 * (bytes - 1 - i) : 8 * i)));
    };
    put(8, 4);                                                  // IFD0 at 8
    put(2, 2);                                                  // two entries
    put(0x010F, 2), put(2, 2), put(8, 4), put(38, 4);           // Make at 38
    put(0x0112, 2), put(3, 2), put(1, 4), put(std::uint32_t(orientation), 2), put(0, 2);
    put(46, 4);                                                 // IFD1 at 46
    for (char c : std::string("CameraX", 8))                    // 38
        tiff.push_back(std::uint8_t(c));
    put(1, 2), put(0x0201, 2), put(4, 2), put(1, 4), put(0, 4);  // IFD1: one entry
    put(0, 4);
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
