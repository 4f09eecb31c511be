#pragma once
// Decoding in the decoder processes (decoder/), where the faults of large parsers reach no
// further than a picture that cannot be drawn: the program's side, which hands a process the
// bytes, stops it when its time is up and takes its pixels, trusting nothing it says.

#include "imaging/common/decoded.h"
#include "imaging/common/format.h"
#include "imaging/contained/decoderprotocol.h"

#include <QColorSpace>
#include <QSize>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

namespace veilshot::imaging {

// How long a decoder process may run before it is stopped.
inline constexpr std::chrono::milliseconds DecoderTimeLimit{10'000};

// Decodes in a decoder process started from `decoder`, which confines itself before it reads
// the bytes. A crash, a time or memory limit reached, or an answer that makes no sense is
// Refusal::DecoderFailed.
Decoded DecodeContained(const std::filesystem::path &decoder, std::span<const std::uint8_t> bytes, Format format,
                        std::optional<QSize> box, std::chrono::milliseconds timeLimit = DecoderTimeLimit);

// The decoder process that decodes `format`: veilshot-decode-photo for HEIF, AVIF, WebP and
// JPEG XL, veilshot-decode for the rest. DecoderPath gives the one installed with the running
// program, or, for a program run from the build tree, the one built there; empty when there is
// none.
const char *DecoderName(Format format);
std::filesystem::path DecoderPath(Format format);

// The colour space a HEIF's coded colour description names. Invalid for sRGB or unspecified
// colours, which need no conversion, and for descriptions that make no sense.
QColorSpace ColourSpaceOf(const decoder::CodedColours &colours);

}  // namespace veilshot::imaging
