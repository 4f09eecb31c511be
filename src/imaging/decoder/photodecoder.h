#pragma once
// veilshot-decode-photo: decodes one HEIF, AVIF, WebP or JPEG XL photo from untrusted bytes once
// it has confined itself, and answers with the pixels or the reason (see decoderprotocol.h). It
// links the photo libraries alone, no Qt, so that it starts quickly.

#include "imaging/decoder/process.h"

namespace veilshot::imaging::decoder {

// Runs with the process's arguments and never returns. `confined`, when given, is called with
// the input once the process is confined, before the input is decoded.
[[noreturn]] void RunPhoto(int argc, char **argv, const ConfinedHook &confined = nullptr);

}  // namespace veilshot::imaging::decoder
