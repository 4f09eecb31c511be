#pragma once
// The decoders of today's photo formats: HEIF (HEIC and AVIF, through libheif), JPEG XL
// (through libjxl) and WebP (through libwebp). They link no Qt and run in veilshot-decode-photo.

#include "imaging/contained/decoderprotocol.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace veilshot::imaging::decoder {

// A photo as its library decoded it, upright: lines of 3 or 4 samples a pixel (R, G, B and
// alpha or nothing), of 8 bits, or of 16 bits in the machine's order holding `bits` of them.
struct Photo {
    Refusal refusal = Refusal::None;
    int width = 0, height = 0;          // of the lines
    int fullWidth = 0, fullHeight = 0;  // the picture's own size, or the size it claims when too large
    int channels = 4;
    int bits = 8;
    bool alpha = false;  // the fourth sample is alpha, else it is ignored
    const std::uint8_t *lines = nullptr;
    std::size_t stride = 0;
    std::shared_ptr<const void> keeper;  // owns the lines
    std::vector<std::uint8_t> profile;   // ICC, when the photo has one
    CodedColours colours;                // when it has none
    bool ok() const { return refusal == Refusal::None && lines; }
};

struct Box {
    int width = 0, height = 0;
};

// Loads what decoding `format` needs and only it (libjxl for JPEG XL); false when it cannot be.
// The decoder process does so before it is confined; the decoders do so themselves otherwise.
bool PrepareFor(PhotoFormat format);

// The primary picture of a HEIF file (HEIC or AVIF), turned and mirrored as the file says, with
// its alpha and its colours (profile or coded colour description). For a `box`, a thumbnail the
// file holds is taken instead when it still fills the picture's fitting into the box.
Photo DecodeHeif(std::span<const std::uint8_t> bytes, std::optional<Box> box);

// A JPEG XL picture, turned as it says, with its alpha and its colours.
Photo DecodeJxl(std::span<const std::uint8_t> bytes);

// A WebP picture (the first frame of an animation), with its alpha and its profile.
Photo DecodeWebp(std::span<const std::uint8_t> bytes);

// The layout a photo is answered in: 32 bits a pixel, or 64 for more than 8 bits a sample;
// alpha not premultiplied.
Layout AnswerLayout(const Photo &photo);

// Line `y` of the photo in its answer layout, samples of fewer than 16 bits stretched to 16.
void AnswerLine(const Photo &photo, int y, std::uint8_t *to);

}  // namespace veilshot::imaging::decoder
