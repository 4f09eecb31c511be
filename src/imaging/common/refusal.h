#pragma once
// Why a picture could not be decoded, in this process or in a decoder process. Plain numbers
// only: the decoder processes answer with them, and the photo decoder links no Qt.

#include <cstdint>

namespace veilshot::imaging {

enum class Refusal : std::uint32_t {
    None,
    Damaged,
    TooLarge,
    TooLargeSized,  // with the size the picture claims
    MetafileDamaged,
    MetafileNeedsFonts,
    MetafileNoSize,
    PartPastTheEnd,
    DecoderFailed,   // crashed, ran out of time or memory, or answered nonsense
    DecoderMissing,
};

}  // namespace veilshot::imaging
