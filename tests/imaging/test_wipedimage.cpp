// Pictures in wiped buffers: what is moved in keeps its pixels and description, and the buffer it
// came from is overwritten where nothing else holds it.

#include "imaging/common/wipedimage.h"
#include "imaging/imaging.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QColorSpace>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace veilshot::imaging {
namespace {

// A picture over a buffer the test keeps, to look at after the picture has gone.
struct Watched {
    std::vector<uchar> bytes = std::vector<uchar>(std::size_t(12 * 4 * 5), 0x77);
    QImage image{bytes.data(), 12, 5, 12 * 4, QImage::Format_RGB32};
    bool wiped() const { return std::all_of(bytes.begin(), bytes.end(), [](uchar b) { return b == 0; }); }
};

TEST(WipedImage, KeepsThePictureAndWipesWhereItCameFrom)
{
    struct Case {
        const char *what;
        bool shared;      // another image holds the source too
        bool wipeSource;
        bool wiped;
    };
    const Case cases[] = {
        {"held here alone", false, true, true},
        {"shared with another image", true, true, false},
        {"mapped from elsewhere, left as it is", false, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Watched source;
        source.image.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
        source.image.setDevicePixelRatio(2);
        QImage other = c.shared ? source.image : QImage();
        const QImage wiped = IntoWiped(std::move(source.image), c.wipeSource);
        ASSERT_FALSE(wiped.isNull());
        EXPECT_EQ(wiped.size(), QSize(12, 5));
        EXPECT_EQ(wiped.format(), QImage::Format_RGB32);
        EXPECT_EQ(wiped.pixel(11, 4), qRgb(0x77, 0x77, 0x77));
        EXPECT_EQ(wiped.colorSpace(), QColorSpace(QColorSpace::DisplayP3));
        EXPECT_EQ(wiped.devicePixelRatio(), 2);
        EXPECT_EQ(source.wiped(), c.wiped);
        if (c.shared) {
            EXPECT_EQ(other.pixel(0, 0), qRgb(0x77, 0x77, 0x77));
        }
    }
}

// Whether the memory at `address` is kept out of core dumps (the "dd" flag of its mapping).
bool KeptOutOfDumps(const void *address)
{
    std::ifstream smaps("/proc/self/smaps");
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    bool inside = false;
    for (std::string line; std::getline(smaps, line);) {
        const auto dash = line.find('-');
        const auto space = line.find(' ');
        if (dash != std::string::npos && space != std::string::npos && dash < space &&
            line.find_first_not_of("0123456789abcdef") == dash) {
            inside = std::stoull(line.substr(0, dash), nullptr, 16) <= at &&
                     at < std::stoull(line.substr(dash + 1, space - dash - 1), nullptr, 16);
        } else if (inside && line.rfind("VmFlags:", 0) == 0) {
            return (line + ' ').find(" dd ") != std::string::npos;
        }
    }
    return false;
}

// A decode from memory hands its pixels over in a wiped buffer, kept out of core dumps.
TEST(WipedImage, EveryDecodeFromMemoryIsInAWipedBuffer)
{
    QImage drawn(30, 20, QImage::Format_RGB32);
    drawn.fill(Qt::red);
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(drawn.save(&buffer, "PNG"));
    }
    const Picture picture = DecodeMemory({reinterpret_cast<const std::uint8_t *>(png.constData()), std::size_t(png.size())},
                                         QStringLiteral("red.png"));
    ASSERT_TRUE(picture.ok());
    EXPECT_EQ(picture.image.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_TRUE(KeptOutOfDumps(picture.image.constBits()));
    EXPECT_TRUE(KeptOutOfDumps(WipedImage({8, 8}, QImage::Format_RGB32).constBits()));
    EXPECT_FALSE(KeptOutOfDumps(drawn.constBits()));
}

}  // namespace
}  // namespace veilshot::imaging
