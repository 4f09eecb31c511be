// A ".veil" file of any bytes, through everything that reads one: the header, the code check,
// deciphering into memory and into a file, and decoding the deciphered body (and a sealed file's
// preview) as a picture. Each
// input is tried twice: as it is (nearly always refused), and with its check replaced by the
// fuzzing code's, so that the body is deciphered and decoded whatever the check bytes were.
// The fuzzing build stretches the code at the least cost Argon2id allows (sealedformat.h), which
// no other build writes or accepts: a mutated salt costs microseconds instead of a third of a
// second, so the inputs reach the sealed chunks behind the key.

#include "fuzz/fuzzsupport.h"
#include "imaging/imaging.h"

#include <QString>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

using namespace veilshot;

namespace {

cipher::CipherEngine &Engine()
{
    static const auto engine = [] {
        auto made = std::make_unique<cipher::CipherEngine>();
        if (made->BuildKeyTable(fuzz::FuzzCode) != cipher::CipherEngine::BuildResult::Built)
            std::abort();
        return made;
    }();
    return *engine;
}

void ReadAsVeil(const std::filesystem::path &veil)
{
    cipher::CipherEngine &engine = Engine();
    cipher::Refusal refusal = cipher::Refusal::None;
    std::optional<cipher::Header> header;
    try {
        header = cipher::ReadHeader(veil, &refusal);
    } catch (const FileError &) {
        // a damaged stored extension
    }
    if (header && !header->extension.safeInFileName())
        std::abort();  // an extension that could choose where a copy goes got through
    if (header && (refusal != cipher::Refusal::None || !cipher::CouldBeCheck(header->check)))
        std::abort();
    try {
        const auto body = engine.decipherFile(veil, &refusal);
        if (body.has_value() != (refusal == cipher::Refusal::None))
            std::abort();
        if (body) {
            const auto bytes = body->bytes();
            const QString name = QStringLiteral("fuzz.veil");
            const auto small = imaging::DecodeMemory(bytes, name, QSize(64, 64));
            if (!small.ok() && small.error.isEmpty())
                std::abort();  // a failure must say why
            if (bytes.size() < (1u << 16))
                imaging::DecodeMemory(bytes, name);
        }
        if (const auto preview = engine.decipherPreview(veil)) {
            const auto picture = imaging::PreviewPicture(preview->bytes(), QStringLiteral("fuzz.veil"), QSize(64, 64));
            if (picture && !picture->ok())
                std::abort();  // a preview stands in with a picture or not at all
        }
        const auto copy = fuzz::ScratchFolder() / "copy";
        std::filesystem::remove(copy);
        if (engine.decipherToFile(veil, copy, AtomicFile::Mode::Replace, &refusal) != (refusal == cipher::Refusal::None))
            std::abort();
        std::filesystem::remove(copy);
    } catch (const FileError &) {
        // too large to hold: a result the windows show
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzz::StartImaging(argc, argv);
    Engine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Every salt met keeps its key for the code's life: the code entered anew now and then
    // keeps the keys of a long run's mutated salts from piling up.
    static unsigned inputs = 0;
    if (++inputs % 4096 == 0 && Engine().BuildKeyTable(fuzz::FuzzCode) != cipher::CipherEngine::BuildResult::Built)
        std::abort();
    const auto veil = fuzz::ScratchFolder() / "input.veil";
    fuzz::WriteBytes(veil, data, size);
    ReadAsVeil(veil);
    if (size >= cipher::HeaderSize) {
        std::vector<std::uint8_t> matching(data, data + size);
        const cipher::CheckValue &check = Engine().CodeCheck();
        std::copy(check.begin(), check.end(), matching.begin());
        fuzz::WriteBytes(veil, matching.data(), matching.size());
        ReadAsVeil(veil);
    }
    return 0;
}
