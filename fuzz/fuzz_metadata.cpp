// Any bytes through the metadata walk that turns and the image tools run in the program's own
// process: what a JPEG, PNG or TIFF carries, put into a TIFF (the bytes as the TIFF, and as the
// EXIF going into one) and into a JPEG's blocks, and the bytes turned as a JPEG without loss.
// Whatever the bytes, what is carried stays within its bounds, the EXIF made of a TIFF's IFDs
// holds together, and a turned JPEG is upright.

#include "imaging/codecs/jpegturn.h"
#include "imaging/metadata/metadata.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <span>
#include <vector>

using namespace veilshot;

namespace {

// A 1 x 1 grey TIFF, little-endian, with its first IFD after its one pixel.
constexpr std::array<std::uint8_t, 8 + 2 + 2 + 6 * 12 + 4> SmallTiff = {
    'I', 'I', 42, 0, 10, 0, 0, 0, 0x80, 0,  // header, IFD at 10; the pixel and a byte to align
    6, 0,
    0x00, 0x01, 3, 0, 1, 0, 0, 0, 1, 0, 0, 0,  // width 1
    0x01, 0x01, 3, 0, 1, 0, 0, 0, 1, 0, 0, 0,  // height 1
    0x02, 0x01, 3, 0, 1, 0, 0, 0, 8, 0, 0, 0,  // 8 bits
    0x06, 0x01, 3, 0, 1, 0, 0, 0, 1, 0, 0, 0,  // black is zero
    0x11, 0x01, 4, 0, 1, 0, 0, 0, 8, 0, 0, 0,  // the strip at 8
    0x17, 0x01, 4, 0, 1, 0, 0, 0, 1, 0, 0, 0,  // of 1 byte
    0, 0, 0, 0};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    const imaging::CarriedMetadata carried = imaging::ReadCarriedMetadata(bytes);
    // At most 1 MiB, and no more than the file holds but where a PNG's blocks inflate.
    const std::size_t total = carried.exif.size() + carried.icc.size() + carried.xmp.size();
    const bool png = size >= 1 && data[0] == 0x89;
    if (total > (1 << 20) || (!png && total > size))
        std::abort();
    if (bytes.size() >= 4 && (bytes[0] == 'I' || bytes[0] == 'M') && !carried.exif.empty() &&
        imaging::ReadCarriedMetadata(carried.exif).exif != carried.exif)
        std::abort();

    imaging::TiffWithMetadata(bytes, carried.exif, carried.xmp);
    const std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
    imaging::TiffWithMetadata(SmallTiff, input, carried.xmp);
    imaging::WithSegments(bytes, imaging::JpegSegmentsOf(carried));
    for (const bool left : {false, true}) {
        if (const auto turned = imaging::TurnJpegLossless(bytes, left); turned && imaging::ExifOrientation(*turned) != 1)
            std::abort();
    }
    return 0;
}
