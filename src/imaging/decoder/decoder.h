#pragma once
// veilshot-decode: decodes one metafile, or a picture Qt's readers take, from untrusted bytes
// once it has confined itself, and answers with the pixels or the reason (see
// decoderprotocol.h).

#include "imaging/decoder/process.h"

#include <QImage>
#include <QSize>

namespace veilshot::imaging::decoder {

// Runs with the process's arguments and never returns. `confined`, when given, is called with
// the input once the process is confined, before the input is decoded.
[[noreturn]] void Run(int argc, char **argv, const ConfinedHook &confined = nullptr);

// Answers with `image` decoded from a picture of `fullSize`.
bool AnswerPicture(const QImage &image, QSize fullSize);

}  // namespace veilshot::imaging::decoder
