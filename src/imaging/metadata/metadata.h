#pragma once
// The metadata a photo carries into the file it is written to again: its EXIF (date, camera,
// orientation made upright), its colour profile and XMP, from a JPEG, PNG or TIFF; from a JPEG
// also its other blocks and comments, its quality and its chroma subsampling; from a TIFF its
// compression. Every walk over a file's structure is bounded by the bytes it has.

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

// What any photo carries, in terms every format the encoders write can take.
struct CarriedMetadata {
    std::vector<std::uint8_t> exif;  // TIFF data from its byte-order mark, made upright
    std::vector<std::uint8_t> icc;   // the colour profile the decoded pixels came from
    std::vector<std::uint8_t> xmp;
    JpegMetadata jpeg;               // a JPEG's own blocks (the three above among them)
    int tiffCompression = 0;         // a TIFF's compression tag (1: none); 0 for other formats

    bool empty() const { return exif.empty() && icc.empty() && xmp.empty() && jpeg.empty() && tiffCompression == 0; }
};

// What the bytes of a JPEG, PNG or TIFF carry; empty for other bytes. Damaged structures end
// the walk, keeping what was found before them.
CarriedMetadata ReadCarriedMetadata(std::span<const std::uint8_t> bytes);

// The JPEG blocks a JPEG made from the photo takes: a JPEG's own, or EXIF, XMP and the profile
// in the blocks a JPEG holds them in.
std::vector<std::vector<std::uint8_t>> JpegSegmentsOf(const CarriedMetadata &metadata);

// A TIFF file (one picture, as the TIFF encoder writes it) with `exif` (EXIF data: the tags of
// its first IFD that describe the photo, its EXIF and GPS IFDs) and `xmp` added to its first
// IFD, where it has none of its own; the bytes unchanged when they do not hold together.
std::vector<std::uint8_t> TiffWithMetadata(std::span<const std::uint8_t> tiff, const std::vector<std::uint8_t> &exif,
                                           const std::vector<std::uint8_t> &xmp);

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
