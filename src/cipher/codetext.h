#pragma once
// The code as text: converting between UTF-8 and UTF-16, and reading and writing code text
// files. One reader serves the code window and the veil command, so a code file opens the same
// way in both.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace veilshot {

// Decodes UTF-8; malformed sequences become U+FFFD. `valid` (if given) tells whether the
// input was well-formed UTF-8.
std::u16string Utf8ToUtf16(std::string_view utf8, bool *valid = nullptr);
// Encodes UTF-16; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

// The text of a code file. The encoding comes from the byte-order mark (UTF-8, UTF-16 LE or
// BE); without one the bytes are UTF-8 when they are valid UTF-8, and Latin-1 otherwise
// (Latin-1 maps every byte, so no file is refused).
std::u16string DecodeCodeText(std::string_view bytes);

// The largest code file read: a code counts at most 13000 characters, and no encoding needs more
// than 4 bytes for one, so anything bigger is no code file.
inline constexpr std::uint64_t CodeFileLimit = 1 << 20;

// The text of a code file on disk. FileError "Cannot open file ..." when it cannot be read or
// is larger than CodeFileLimit, before any of it is read.
std::u16string ReadCodeFile(const std::filesystem::path &file);

// A code file as the code window saves it: UTF-16 LE with a byte-order mark, every line
// (lines split at LF, CR LF or CR) ended with CR LF.
std::string EncodeCodeText(std::u16string_view text);

}  // namespace veilshot
