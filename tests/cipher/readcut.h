#pragma once
// The test program's own read(), in front of the C library's: a test cuts a file short at a
// chosen read of it, as another program would while the file is read, whatever the machine's
// speed.

#include <cstdint>
#include <filesystem>

namespace veilshot::test {

// Before read number `reads` (from 0) of `file` as it is now (its device and inode), cuts it to
// `size` bytes; once. Replaces a cut set before.
void CutBeforeRead(const std::filesystem::path &file, int reads, std::uintmax_t size);
// No cut any more; how many reads of the file were seen.
int StopCutting();

}  // namespace veilshot::test
