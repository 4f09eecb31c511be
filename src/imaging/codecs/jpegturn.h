#pragma once
// Quarter turns of JPEG files without decoding them: libjpeg-turbo moves the compressed blocks,
// so nothing of the picture's quality is lost, and every marker (EXIF date and camera, colour
// profile) stays.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace veilshot::imaging {

// The EXIF orientation (1..8) the bytes carry; 1 when they carry none or a damaged one.
int ExifOrientation(std::span<const std::uint8_t> jpeg);

// The JPEG turned a quarter turn (right, or left when `left`) as it is shown, that is with its
// EXIF orientation applied first; the result's orientation is upright (1). std::nullopt where
// the turn cannot be exact (a picture that is not a whole number of its blocks would lose its
// edge) or the bytes are not a JPEG that can be transformed.
std::optional<std::vector<std::uint8_t>> TurnJpegLossless(std::span<const std::uint8_t> jpeg, bool left);

}  // namespace veilshot::imaging
