#pragma once
// Small photos for tests, made in memory: encoded by Qt, and JPEGs carrying EXIF data.

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QImageWriter>

#include <cstdint>
#include <string>
#include <vector>

namespace veilshot::test {

// `size` pixels of one colour, with a gradient so that lossy encoders have detail to lose.
inline std::vector<std::uint8_t> EncodedPhoto(const char *format, QColor colour = Qt::red, QSize size = {48, 32},
                                              int quality = -1)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb(colour.red(), (x * 7 + y * 3) & 0xFF, colour.blue()));
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.write(image);
    return {encoded.begin(), encoded.end()};
}

// A JPEG with an EXIF segment right after its start marker: a well-formed one naming a camera,
// or (`damaged`) one whose offsets point far past its end, as some cameras and editors leave.
inline std::vector<std::uint8_t> JpegWithExif(bool damaged)
{
    std::vector<std::uint8_t> jpeg = EncodedPhoto("jpeg", Qt::blue, {64, 40}, 90);
    // TIFF header, big-endian, then one IFD entry: Make (0x010F), ASCII, 8 bytes at offset 26.
    std::vector<std::uint8_t> tiff = {'M', 'M', 0, 42, 0, 0, 0, 8,   // header, IFD at 8
                                      0, 1,                          // one entry
                                      0x01, 0x0F, 0, 2, 0, 0, 0, 8,  // Make, ASCII, count 8
                                      0, 0, 0, 26,                   // value offset
                                      0, 0, 0, 0};                   // no next IFD
    const std::string make = "Camera\0\0";
    tiff.insert(tiff.end(), make.begin(), make.begin() + 8);
    if (damaged) {
        tiff[7] = 0xF0;   // the IFD "lies" far beyond the segment
        tiff[21] = 0xFF;  // and so does the value
    }
    std::vector<std::uint8_t> segment = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
    segment.insert(segment.end(), tiff.begin(), tiff.end());
    const std::size_t length = segment.size() - 2;
    segment[2] = std::uint8_t(length >> 8);
    segment[3] = std::uint8_t(length & 0xFF);
    jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
    return jpeg;
}

}  // namespace veilshot::test
