#pragma once
// The metadata blocks of a JPEG photo, found by a bounded walk over its segments, so that a
// photo encoded again keeps its date, camera, colour profile, XMP and comments, its quality
// and its chroma subsampling.

#include <cstdint>
#include <span>
#include <vector>

namespace veilshot::imaging {

enum class Subsampling { Unknown, S444, S422, S420, Gray, S440, S411 };

struct JpegMetadata {
    // Whole segments (0xFF, marker, length, data) in file order: EXIF, XMP, the ICC profile's
    // chunks, IPTC and the like, and comments. The EXIF segment is already made upright: its
    // orientation 1 and its thumbnail dropped, as the pixels it goes with are decoded upright.
    std::vector<std::vector<std::uint8_t>> segments;
    int quality = 0;  // estimated from the luminance quantisation table; 0 when unknown
    Subsampling subsampling = Subsampling::Unknown;

    bool empty() const { return segments.empty() && quality == 0 && subsampling == Subsampling::Unknown; }
};

// What a JPEG carries; empty for bytes that are not a JPEG. Damaged segments end the walk,
// keeping what was found before them.
JpegMetadata ReadJpegMetadata(std::span<const std::uint8_t> jpeg);

// The ICC profile gathered from the carried segments' chunks; empty when there is none or its
// chunks do not add up.
std::vector<std::uint8_t> IccProfileOf(const JpegMetadata &metadata);

// `jpeg` with `segments` put in after its start (and its JFIF header, when it has one).
std::vector<std::uint8_t> WithSegments(std::span<const std::uint8_t> jpeg,
                                       const std::vector<std::vector<std::uint8_t>> &segments);

}  // namespace veilshot::imaging
