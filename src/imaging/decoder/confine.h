#pragma once
// The decoder's confinement, entered before it reads a byte of its input: an empty environment
// and no capabilities, even when started by root; limits on memory, processor time, file size
// and core dumps; no way to gain privileges; read-only access to the font and plug-in folders
// alone where the kernel offers Landlock; and a system call filter that leaves reading, memory,
// threads and the answer file, and nothing that writes, connects, starts programs or signals
// others.

#include <string>
#include <vector>

namespace veilshot::imaging::decoder {

// False when any of it could not be entered: the decoder must then not go on.
bool Confine(const std::vector<std::string> &readableFolders);

}  // namespace veilshot::imaging::decoder
