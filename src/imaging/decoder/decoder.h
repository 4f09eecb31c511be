#pragma once
// The decoder process: decodes one picture from untrusted bytes once it has confined itself,
// and answers with the pixels or the reason (see decoderprotocol.h).

#include <QImage>
#include <QSize>

#include <cstdint>
#include <functional>
#include <span>

namespace veilshot::imaging::decoder {

// Runs with the process's arguments and never returns. `confined`, when given, is called with
// the input once the process is confined, before the input is decoded (tests inject faults
// there).
[[noreturn]] void Run(int argc, char **argv,
                      const std::function<void(std::span<const std::uint8_t>)> &confined = nullptr);

// Answers with `image` decoded from a picture of `fullSize`.
bool AnswerPicture(const QImage &image, QSize fullSize);

}  // namespace veilshot::imaging::decoder
