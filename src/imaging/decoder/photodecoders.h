#pragma once
// The decoders of today's photo formats that Qt has no reader for: HEIF (HEIC and AVIF, through
// libheif) and JPEG XL (through libjxl). They run in the decoder process only.

#include "imaging/decoding.h"

#include <QColorSpace>

#include <cstdint>
#include <optional>
#include <span>

namespace veilshot::imaging::decoder {

// The primary picture of a HEIF file (HEIC or AVIF), turned and mirrored as the file says, with
// its alpha and its colours (profile or coded colour description). For a `box`, a thumbnail the
// file holds is taken instead when it still fills the picture's fitting into the box.
Decoded DecodeHeif(std::span<const std::uint8_t> bytes, std::optional<QSize> box);

// A JPEG XL picture, turned as it says, with its alpha and its colours.
Decoded DecodeJxl(std::span<const std::uint8_t> bytes);

// The colour space a HEIF's coded colour description names: primaries and transfer as the
// ITU-T H.273 code points give them, the primaries' chromaticities alongside. Invalid for sRGB
// or unspecified colours, which need no conversion.
struct CodedColours {
    int primaries = 2;  // unspecified
    int transfer = 2;
    double white[2] = {0.3127, 0.3290};
    double red[2] = {0.64, 0.33}, green[2] = {0.30, 0.60}, blue[2] = {0.15, 0.06};
};
QColorSpace ColourSpaceOf(const CodedColours &colours);

}  // namespace veilshot::imaging::decoder
