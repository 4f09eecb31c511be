#include "imaging/metadata/structure.h"

#include "imaging/metadata/bytes.h"

#include <algorithm>

namespace veilshot::imaging {

std::vector<JpegSegment> JpegSegments(std::span<const std::uint8_t> jpeg)
{
    std::vector<JpegSegment> segments;
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8)
        return segments;
    std::size_t at = 2;
    while (jpeg.size() - at >= 4 && jpeg[at] == 0xFF) {
        const std::uint8_t marker = jpeg[at + 1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9)  // start of scan, end of image
            break;
        const std::size_t length = Read16(jpeg, at + 2, true);
        if (length < 2 || jpeg.size() - at - 2 < length)
            break;
        segments.push_back({marker, at, jpeg.subspan(at + 4, length - 2)});
        at += 2 + length;
    }
    return segments;
}

std::optional<TiffHead> TiffHeadOf(std::span<const std::uint8_t> tiff)
{
    if (tiff.size() < 8 || tiff[0] != tiff[1] || (tiff[0] != 'M' && tiff[0] != 'I'))
        return std::nullopt;
    const bool big = tiff[0] == 'M';
    return TiffHead{big, Read32(tiff, 4, big)};
}

std::vector<TiffEntry> IfdEntries(std::span<const std::uint8_t> tiff, std::size_t offset, bool big)
{
    if (offset > tiff.size() || tiff.size() - offset < 2)
        return {};
    const std::size_t count = Read16(tiff, offset, big);
    if ((tiff.size() - offset - 2) / 12 < count)
        return {};
    std::vector<TiffEntry> entries;
    entries.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = offset + 2 + 12 * i;
        entries.push_back({Read16(tiff, at, big), Read16(tiff, at + 2, big), Read32(tiff, at + 4, big), at});
    }
    return entries;
}

PngChunks PngChunksOf(std::span<const std::uint8_t> png)
{
    PngChunks found;
    // The signature, then chunks: length (at most 2^31 - 1), type, data, CRC.
    std::size_t at = 8;
    while (at < png.size()) {
        const std::uint32_t length = png.size() - at < 12 ? 0 : Be32(png, at);
        if (png.size() - at < 12 || length > 0x7FFFFFFFu || length > png.size() - at - 12) {
            found.whole = false;
            break;
        }
        const PngChunk chunk{png.subspan(at + 4, 4), png.subspan(at + 8, length)};
        found.chunks.push_back(chunk);
        at += 12 + std::size_t(length);
        if (std::equal(chunk.type.begin(), chunk.type.end(), "IEND"))
            break;
    }
    return found;
}

}  // namespace veilshot::imaging
