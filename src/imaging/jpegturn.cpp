#include "imaging/jpegturn.h"

#include "imaging/bytes.h"

#include <turbojpeg.h>

#include <array>
#include <cstddef>

namespace veilshot::imaging {

namespace {

// Where the orientation value of the EXIF data sits in the bytes, if anywhere.
struct OrientationField {
    std::size_t at = 0;  // offset of the 16-bit value
    bool bigEndian = false;
    int value = 1;
};

// Walks the markers before the image data to the EXIF segment's IFD0 and its orientation tag.
// Every offset is checked against the segment, so damaged EXIF data is passed over.
std::optional<OrientationField> FindOrientation(std::span<const std::uint8_t> jpeg)
{
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8)
        return std::nullopt;
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
        const std::uint8_t marker = jpeg[at + 1];
        if (marker == 0xDA || marker == 0xD9)  // start of scan, end of image
            break;
        const std::size_t length = std::size_t(jpeg[at + 2]) << 8 | jpeg[at + 3];
        if (length < 2 || at + 2 + length > jpeg.size())
            break;
        const std::span<const std::uint8_t> segment = jpeg.subspan(at + 4, length - 2);
        static constexpr std::array<std::uint8_t, 6> Exif = {'E', 'x', 'i', 'f', 0, 0};
        if (marker == 0xE1 && segment.size() >= 14 && std::equal(Exif.begin(), Exif.end(), segment.begin())) {
            const std::span<const std::uint8_t> tiff = segment.subspan(6);
            const bool big = tiff[0] == 'M' && tiff[1] == 'M';
            if (!big && !(tiff[0] == 'I' && tiff[1] == 'I'))
                return std::nullopt;
            const std::uint32_t ifd = Read32(tiff, 4, big);
            if (ifd > tiff.size() || tiff.size() - ifd < 2)
                return std::nullopt;
            const std::size_t count = Read16(tiff, ifd, big);
            for (std::size_t i = 0; i < count; ++i) {
                const std::size_t entry = ifd + 2 + 12 * i;
                if (entry + 12 > tiff.size())
                    return std::nullopt;
                if (Read16(tiff, entry, big) == 0x0112 && Read16(tiff, entry + 2, big) == 3) {
                    const int value = Read16(tiff, entry + 8, big);
                    const std::size_t offset = std::size_t(tiff.data() - jpeg.data()) + entry + 8;
                    return OrientationField{offset, big, value >= 1 && value <= 8 ? value : 1};
                }
            }
            return std::nullopt;
        }
        at += 2 + length;
    }
    return std::nullopt;
}

// The eight ways a picture can lie, as the 2 x 2 matrix that moves a direction of the stored
// picture to where it shows (x to the right, y down), in libjpeg-turbo's order of operations.
using Matrix = std::array<int, 4>;  // a b / c d
constexpr std::array<Matrix, 8> Operations = {{
    {1, 0, 0, 1},    // TJXOP_NONE
    {-1, 0, 0, 1},   // TJXOP_HFLIP
    {1, 0, 0, -1},   // TJXOP_VFLIP
    {0, 1, 1, 0},    // TJXOP_TRANSPOSE
    {0, -1, -1, 0},  // TJXOP_TRANSVERSE
    {0, -1, 1, 0},   // TJXOP_ROT90, clockwise
    {-1, 0, 0, -1},  // TJXOP_ROT180
    {0, 1, -1, 0},   // TJXOP_ROT270
}};

// The operation that shows a picture of each EXIF orientation upright.
constexpr std::array<int, 9> ForOrientation = {TJXOP_NONE,      TJXOP_NONE,  TJXOP_HFLIP, TJXOP_ROT180, TJXOP_VFLIP,
                                               TJXOP_TRANSPOSE, TJXOP_ROT90, TJXOP_TRANSVERSE, TJXOP_ROT270};

Matrix Multiply(const Matrix &m, const Matrix &n)
{
    return {m[0] * n[0] + m[1] * n[2], m[0] * n[1] + m[1] * n[3], m[2] * n[0] + m[3] * n[2], m[2] * n[1] + m[3] * n[3]};
}

}  // namespace

int ExifOrientation(std::span<const std::uint8_t> jpeg)
{
    const auto field = FindOrientation(jpeg);
    return field ? field->value : 1;
}

std::optional<std::vector<std::uint8_t>> TurnJpegLossless(std::span<const std::uint8_t> jpeg, bool left)
{
    const auto field = FindOrientation(jpeg);
    const Matrix turn = Operations[left ? TJXOP_ROT270 : TJXOP_ROT90];
    const Matrix wanted = Multiply(turn, Operations[ForOrientation[field ? field->value : 1]]);
    int op = TJXOP_NONE;
    for (int i = 0; i < int(Operations.size()); ++i) {
        if (Operations[std::size_t(i)] == wanted)
            op = i;
    }

    tjhandle handle = tjInitTransform();
    if (!handle)
        return std::nullopt;
    tjtransform transform{};
    transform.op = op;
    transform.options = TJXOPT_PERFECT;  // refuse rather than drop the partial blocks at an edge
    unsigned char *out = nullptr;
    unsigned long outSize = 0;
    const int failed = tjTransform(handle, jpeg.data(), static_cast<unsigned long>(jpeg.size()), 1, &out, &outSize,
                                   &transform, 0);
    std::optional<std::vector<std::uint8_t>> result;
    if (!failed && out && outSize > 0)
        result.emplace(out, out + outSize);
    tjFree(out);
    tjDestroy(handle);
    if (!result)
        return std::nullopt;

    // The markers came along; the pixels now lie as they are to be shown.
    if (const auto turned = FindOrientation(*result); turned && turned->value != 1) {
        (*result)[turned->at] = turned->bigEndian ? 0 : 1;
        (*result)[turned->at + 1] = turned->bigEndian ? 1 : 0;
    }
    return result;
}

}  // namespace veilshot::imaging
