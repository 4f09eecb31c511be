#pragma once
// What both decoder processes do around their decoding, with no Qt: reading the request from
// the arguments, confining themselves before they read a byte of the input, and answering in
// the answer file (see decoderprotocol.h).

#include "imaging/contained/decoderprotocol.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace veilshot::imaging::decoder {

struct Request {
    int format = 0;  // a number of Format
    int boxWidth = 0, boxHeight = 0;  // 0 x 0: the picture's own size
    bool boxed() const { return boxWidth > 0 && boxHeight > 0; }
};

// The request the arguments make, for a format numbered from `first` to `last`; the process
// ends when they make none. Every descriptor past the answer's is closed.
Request Begin(int argc, char **argv, int first, int last);

// Called with the input once the process is confined, before it is decoded (tests inject
// faults there).
using ConfinedHook = std::function<void(std::span<const std::uint8_t>)>;

// Confines the process, leaving `readableFolders` readable, waits until its input is whole and
// maps it; the process ends when any of it fails.
std::span<const std::uint8_t> ConfinedInput(const std::vector<std::string> &readableFolders,
                                            const ConfinedHook &confined);

// Answers with `answer` (its layout, sizes and colours) and its pixels: `line` writes line `y`
// of AnswerLineBytes into `to`. `profile`, when not empty, is the ICC profile of the pixels;
// one longer than the protocol takes is left out, and the pixels are shown as sRGB.
bool AnswerPixels(Answer answer, const std::function<void(int y, std::uint8_t *to)> &line,
                  std::span<const std::uint8_t> profile = {});

// Answers that the picture cannot be decoded, with the size it claims for TooLargeSized.
bool AnswerRefusal(Refusal refusal, int claimedWidth = 0, int claimedHeight = 0);

// Ends the process, with success when it answered.
[[noreturn]] void End(bool answered);

}  // namespace veilshot::imaging::decoder
