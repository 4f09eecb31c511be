// The shrinker of decoded rows: a flat field stays exactly its value whatever the sizes (each
// output pixel's weights add up to the whole, however many input pixels share it), and a
// textured picture keeps its brightness (the average is rounded, not cut).

#include "imaging/codecs/rowshrinker.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace veilshot::imaging {
namespace {

// `from` with `channels` bytes a pixel, each byte `value(x byte, y)`, shrunk to `to`.
template <typename Value>
QImage Shrunk(QSize from, QSize to, int channels, Value value)
{
    QImage target(to, channels == 4 ? QImage::Format_RGB32 : QImage::Format_Grayscale8);
    RowShrinker shrinker(from, to, channels, target);
    std::vector<unsigned char> line(std::size_t(from.width() * channels));
    for (int y = 0; y < from.height(); ++y) {
        for (std::size_t i = 0; i < line.size(); ++i)
            line[i] = value(int(i), y);
        shrinker.add(line.data());
    }
    return target;
}

// Every byte of the picture, the padding at the end of its rows left out.
template <typename Each>
void ForEachByte(const QImage &image, int channels, Each each)
{
    for (int y = 0; y < image.height(); ++y)
        for (int i = 0; i < image.width() * channels; ++i)
            each(image.constScanLine(y)[i]);
}

TEST(RowShrinker, AFlatFieldStaysExactlyItsValue)
{
    const std::vector<QSize> sizes = {{7, 5}, {64, 48}, {333, 101}, {1001, 750}};
    // Each size to a single pixel, to a half, to an uneven two-thirds and to one pixel less.
    const auto boxes = [](QSize s) {
        return std::vector<QSize>{{1, 1}, {std::max(1, s.width() / 2), std::max(1, s.height() / 2)},
                                  {s.width() * 2 / 3 + 1, s.height() * 2 / 3 + 1}, {s.width() - 1, s.height() - 1}};
    };
    for (const int channels : {4, 1}) {
        for (const int value : {17, 128, 200, 255}) {
            for (const QSize from : sizes) {
                for (const QSize to : boxes(from)) {
                    SCOPED_TRACE(testing::Message() << channels << " channels, " << value << ", " << from.width() << "x"
                                                    << from.height() << " to " << to.width() << "x" << to.height());
                    const QImage shrunk = Shrunk(from, to, channels, [&](int, int) { return value; });
                    int wrong = 0;
                    ForEachByte(shrunk, channels, [&](unsigned char got) { wrong += got != value; });
                    EXPECT_EQ(wrong, 0);
                }
            }
        }
    }
}

TEST(RowShrinker, ATexturedPictureKeepsItsMeanWithinATenthOfALevel)
{
    const QSize from(1000, 750);
    // Noise: the averages' fractions fall anywhere, as a photo's do.
    const auto texture = [](int i, int y) {
        std::uint32_t h = std::uint32_t(i) * 0x9E3779B1u ^ std::uint32_t(y) * 0x85EBCA77u;
        h ^= h >> 15;
        h *= 0x2C1B3C6Du;
        return int(h >> 24);
    };
    double inputSum = 0;
    for (int y = 0; y < from.height(); ++y)
        for (int i = 0; i < from.width() * 4; ++i)
            inputSum += texture(i, y);
    const double inputMean = inputSum / (double(from.width()) * from.height() * 4);
    for (const QSize to : {QSize(700, 525), QSize(333, 250), QSize(206, 155), QSize(97, 61)}) {
        for (const int channels : {4, 1}) {
            SCOPED_TRACE(testing::Message() << channels << " channels to " << to.width() << "x" << to.height());
            const QSize in(channels == 4 ? from.width() : from.width() * 4, from.height());
            const QImage shrunk = Shrunk(in, to, channels, texture);
            double sum = 0;
            ForEachByte(shrunk, channels, [&](unsigned char got) { sum += got; });
            EXPECT_NEAR(sum / (double(to.width()) * to.height() * channels), inputMean, 0.1);
        }
    }
}

}  // namespace
}  // namespace veilshot::imaging
