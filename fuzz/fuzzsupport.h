#pragma once
// What the fuzz targets share: the code every target ciphers and deciphers under, a scratch
// folder for the files the engine reads and writes, and Qt started for the imaging library.

#include "cipher/cipherengine.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace veilshot::fuzz {

// The code of the seed corpora: ".veil" seeds are ciphered under it, so their bodies are
// deciphered, not refused.
inline constexpr std::u16string_view FuzzCode = u"fuzzing code 17";

// A folder of its own for this process, removed at exit.
const std::filesystem::path &ScratchFolder();

// Writes `bytes` to `file`, replacing what was there.
void WriteBytes(const std::filesystem::path &file, const std::uint8_t *data, std::size_t size);

// Starts Qt (offscreen) and the imaging library once, for targets that decode pictures. Ends
// the process when the decoder processes are not built: every metafile and photo would then be refused
// without a byte of it being read, and the target would pass while testing nothing.
void StartImaging(int *argc, char ***argv);

// How many times this process has started a decoder process (reported at exit, too).
long DecoderStarts();

}  // namespace veilshot::fuzz
