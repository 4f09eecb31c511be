#include "imaging/codecs/jpegturn.h"

#include "imaging/metadata/bytes.h"
#include "imaging/metadata/structure.h"

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
    static constexpr std::array<std::uint8_t, 6> Exif = {'E', 'x', 'i', 'f', 0, 0};
    for (const JpegSegment &segment : JpegSegments(jpeg)) {
        if (segment.marker != 0xE1 || segment.data.size() < 14 || !std::equal(Exif.begin(), Exif.end(), segment.data.begin()))
            continue;
        const std::span<const std::uint8_t> tiff = segment.data.subspan(6);
        const auto head = TiffHeadOf(tiff);
        if (!head)
            return std::nullopt;
        for (const TiffEntry &entry : IfdEntries(tiff, head->firstIfd, head->big)) {
            if (entry.tag == 0x0112 && entry.type == 3) {
                const int value = Read16(tiff, entry.at + 8, head->big);
                const std::size_t offset = std::size_t(tiff.data() - jpeg.data()) + entry.at + 8;
                return OrientationField{offset, head->big, value >= 1 && value <= 8 ? value : 1};
            }
        }
        return std::nullopt;
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
    if (const auto turned = FindOrientation(*result); turned && turned->value != 1)
        Write16(*result, turned->at, turned->bigEndian, 1);
    return result;
}

}  // namespace veilshot::imaging
