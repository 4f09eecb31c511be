#pragma once
// What the metadata walks of the different formats share (metadata.cpp: JPEG and PNG, and what
// any photo carries; tiffmetadata.cpp: TIFF data and its IFDs).

#include "imaging/metadata/metadata.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace veilshot::imaging {

// The most a walk carries out of one file, all its blocks together; what would pass it is left
// behind. It is made of no more of the file's bytes than the file has, each used once (a
// compressed block counts as it is stored): a file whose entries point many times at one large
// value would otherwise make the walk copy far more than the file holds.
constexpr std::size_t MostCarried = std::size_t(1) << 20;

// What is left of a file's allowance: bytes to carry, and bytes of the file to make them of.
class Allowance {
public:
    explicit Allowance(std::size_t fileSize) : carried_(MostCarried), read_(fileSize) {}
    // The most a block copied as it is stored may still have.
    std::size_t left() const { return std::min(carried_, read_); }
    // The most a block inflated from the file may still inflate to.
    std::size_t inflatedLeft() const { return carried_; }
    // Whether `carried` more bytes, made of `read` bytes of the file, fit; they are counted when
    // they do.
    bool take(std::size_t carried, std::size_t read)
    {
        if (carried > carried_ || read > read_)
            return false;
        carried_ -= carried;
        read_ -= read;
        return true;
    }
    bool take(std::size_t bytes) { return take(bytes, bytes); }
    // `data`, made of `read` bytes of the file, when it fits; else nothing.
    std::vector<std::uint8_t> taken(std::vector<std::uint8_t> data, std::size_t read)
    {
        return take(data.size(), read) ? data : std::vector<std::uint8_t>{};
    }
    std::vector<std::uint8_t> taken(std::vector<std::uint8_t> data)
    {
        const std::size_t read = data.size();
        return taken(std::move(data), read);
    }

private:
    std::size_t carried_;
    std::size_t read_;
};

// The EXIF segment's TIFF data (from its byte-order mark) made upright: the orientation in
// IFD0 set to 1, and IFD0's link to IFD1, the thumbnail, cut (the thumbnail would show the
// photo turned). Every offset is checked; data that does not hold together is left as it is.
void MakeExifUpright(std::span<std::uint8_t> tiff);

// What a TIFF's first IFD carries: its compression, profile and XMP, and its EXIF (the tags
// that describe the photo and the IFDs they point to, made into EXIF data of their own).
void ReadTiff(std::span<const std::uint8_t> tiff, CarriedMetadata &found);

}  // namespace veilshot::imaging
