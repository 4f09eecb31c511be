// A tiny program that writes one file through AtomicFile, for the tests that kill a write at
// each of its steps: atomicwrite unnamed|hidden replace|keep TARGET BYTES
#include "files/fileio.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    using veilshot::AtomicFile;
    if (argc != 5)
        return 2;
    const std::string naming = argv[1];
    const std::string mode = argv[2];
    try {
        AtomicFile file(argv[3], naming == "hidden" ? AtomicFile::Naming::Hidden : AtomicFile::Naming::Unnamed);
        const std::vector<char> piece(1 << 16, 'P');
        for (long left = std::atol(argv[4]); left > 0; left -= static_cast<long>(piece.size()))
            file.write(piece.data(), std::min<std::size_t>(piece.size(), static_cast<std::size_t>(left)));
        file.commit(mode == "replace" ? AtomicFile::Mode::Replace : AtomicFile::Mode::KeepExisting);
    } catch (const veilshot::FileError &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
