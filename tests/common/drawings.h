#pragma once
// Pictures the imaging tests draw, encode and compare.

#include "imaging/imaging.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace veilshot::test {

using imaging::BlankBitmap;
using imaging::DrawTurned;
using imaging::Surface;

// A picture whose four quadrants and corner pixels all differ.
inline QImage Quadrants(int w = 64, int h = 48)
{
    QImage image(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const bool right = x >= w / 2, bottom = y >= h / 2;
            image.setPixel(x, y, right ? (bottom ? qRgb(250, 250, 20) : qRgb(20, 200, 30)) : (bottom ? qRgb(20, 40, 220) : qRgb(220, 30, 30)));
        }
    }
    return image;
}

// Every pixel different, for checking exact moves.
inline QImage Distinct(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(x * 5 % 256, y * 7 % 256, (x * 3 + y * 11) % 256));
    return image;
}

inline int MaxChannelDifference(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

inline std::vector<std::uint8_t> Encode(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, format).write(image);
    return {bytes.begin(), bytes.end()};
}

// A JPEG as Qt's own reader shows it: turned and mirrored upright as its EXIF orientation says.
inline QImage QtUpright(const std::vector<std::uint8_t> &jpeg, QImage::Format format)
{
    QByteArray bytes(reinterpret_cast<const char *>(jpeg.data()), qsizetype(jpeg.size()));
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer, "jpeg");
    reader.setAutoTransform(true);
    return reader.read().convertToFormat(format);
}

// `source` turned a quarter (right, or left when `left`) by DrawTurned.
inline QImage Turn(const QImage &source, bool left)
{
    const int w = source.width(), h = source.height();
    QImage target = BlankBitmap(QSize(h, w));
    auto surface = Surface(target);
    if (left)
        DrawTurned(*surface, source, QPoint(0, w), QPoint(0, 0), QPoint(h, w));
    else
        DrawTurned(*surface, source, QPoint(h, 0), QPoint(h, w), QPoint(0, 0));
    return target;
}

inline void Put32(std::vector<std::uint8_t> &bytes, std::uint32_t value, bool bigEndian = false)
{
    for (int i = 0; i < 4; ++i)
        bytes.push_back(std::uint8_t(value >> (bigEndian ? 24 - 8 * i : 8 * i)));
}


// An EMF header record of 88 bytes whose description has `descriptionChars` UTF-16 characters
// from offset 88, then `body` and the end record.
inline std::vector<std::uint8_t> Emf(std::uint32_t descriptionChars, const std::vector<std::uint8_t> &body)
{
    std::vector<std::uint8_t> emf;
    Put32(emf, 1);
    Put32(emf, 88);
    for (std::uint32_t v : {0u, 0u, 99u, 49u, 0u, 0u, 2645u, 1322u})
        Put32(emf, v);
    Put32(emf, 0x464D4520);  // " EMF"
    Put32(emf, 0x10000);
    Put32(emf, std::uint32_t(88 + body.size() + 20));
    Put32(emf, 3);
    Put32(emf, 1);  // handles, reserved
    Put32(emf, descriptionChars);
    Put32(emf, descriptionChars ? 88 : 0);
    Put32(emf, 0);
    for (std::uint32_t v : {1920u, 1080u, 508u, 286u})
        Put32(emf, v);
    emf.insert(emf.end(), body.begin(), body.end());
    for (std::uint32_t v : {14u, 20u, 0u, 16u, 20u})  // EOF
        Put32(emf, v);
    return emf;
}


// An EMF+ comment whose EMF+ record claims 4096 bytes in a record of 44.
inline std::vector<std::uint8_t> EmfPlusCommentBeyondItsRecord()
{
    std::vector<std::uint8_t> comment;
    Put32(comment, 70);
    Put32(comment, 44);
    Put32(comment, 32);
    Put32(comment, 0x2B464D45);  // "EMF+"
    Put32(comment, 0x4001);      // EmfPlusHeader, no flags
    Put32(comment, 4096);
    Put32(comment, 4084);
    comment.resize(44, 0x5A);
    return Emf(0, comment);
}


}  // namespace veilshot::test
