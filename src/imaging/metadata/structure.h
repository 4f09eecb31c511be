#pragma once
// The structures picture files are made of, walked within the bytes they have: a JPEG's
// segments before its image data, a TIFF's IFDs and a PNG's chunks. Every length and offset is
// checked against the bytes; a damaged structure ends the walk, keeping what came before it.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace veilshot::imaging {

// A segment of a JPEG: its marker, where it starts (its 0xFF) and its data (after the length).
struct JpegSegment {
    std::uint8_t marker;
    std::size_t at;
    std::span<const std::uint8_t> data;

    std::size_t end() const { return at + 4 + data.size(); }
};

// The segments of a JPEG from its start to its image data, in order; none for bytes that are
// not a JPEG.
std::vector<JpegSegment> JpegSegments(std::span<const std::uint8_t> jpeg);

// Where TIFF data (from its byte-order mark) keeps its first IFD, and in which byte order.
struct TiffHead {
    bool big;
    std::size_t firstIfd;
};
std::optional<TiffHead> TiffHeadOf(std::span<const std::uint8_t> tiff);

// One entry of a TIFF IFD.
struct TiffEntry {
    std::uint16_t tag, type;
    std::uint32_t count;
    std::size_t at;  // where the entry stands
};

// The entries of the IFD at `offset`, in order; none when it does not fit in the bytes.
std::vector<TiffEntry> IfdEntries(std::span<const std::uint8_t> tiff, std::size_t offset, bool big);

// One chunk of a PNG: its four-letter type and its data.
struct PngChunk {
    std::span<const std::uint8_t> type, data;
};

// The chunks of a PNG after its signature, up to its end chunk (included); `whole` is false when
// a chunk does not fit in the bytes (the walk ends before it).
struct PngChunks {
    std::vector<PngChunk> chunks;
    bool whole = true;
};
PngChunks PngChunksOf(std::span<const std::uint8_t> png);

}  // namespace veilshot::imaging
