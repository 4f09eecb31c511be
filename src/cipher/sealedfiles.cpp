// The cipher engine's side of the sealed format: the keys stretched from the code, opening a
// sealed file, and turning files into sealed ones in their place.

#include "cipher/cipherengine.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace veilshot::cipher {

namespace fs = std::filesystem;

std::array<std::uint8_t, sealed::InfoSize> InfoOf(const Extension &extension)
{
    std::array<std::uint8_t, sealed::InfoSize> info{};
    info[0] = std::min<std::uint8_t>(extension.ExtLength, MaxExtLength);
    std::copy(extension.ExtBytes.begin(), extension.ExtBytes.end(), info.begin() + 1);
    return info;
}

// --- Keys of sealed files --------------------------------------------------------------------

namespace {

// The salt and cost in a sealed file's header; false when it is no sealed file or too short
// to say.
bool SealedKeyOf(const fs::path &veilFile, sealed::Salt &salt, sealed::Cost &cost)
{
    InputFile in(veilFile);
    std::array<std::uint8_t, sealed::HeaderSize> raw{};
    if (in.read(raw.data(), raw.size()) != raw.size() || !sealed::IsSealed(raw))
        return false;
    const sealed::ClearHeader header = sealed::Decode(raw);
    if ((header.version != sealed::Version && header.version != sealed::VersionWithPreview) ||
        !sealed::Acceptable(header.cost))
        return false;
    salt = header.salt;
    cost = header.cost;
    return true;
}

}  // namespace

bool CipherEngine::keyReady(const fs::path &veilFile) const
{
    sealed::Salt salt{};
    sealed::Cost cost;
    return !keys_ || !SealedKeyOf(veilFile, salt, cost) || keys_->has(salt, cost);
}

// Stretching ahead is only a head start: when memory runs short for it, the read that needs the
// key says so, for its file alone.
void CipherEngine::prepareKey(const fs::path &veilFile) const
{
    sealed::Salt salt{};
    sealed::Cost cost;
    try {
        if (keys_ && SealedKeyOf(veilFile, salt, cost))
            keys_->keyFor(salt, cost);
    } catch (const std::bad_alloc &) {
    }
}

bool CipherEngine::writeKeyReady() const
{
    return !keys_ || keys_->has(keys_->writeSalt(), keys_->writeCost());
}

void CipherEngine::prepareWriteKey() const
{
    try {
        if (keys_)
            keys_->keyFor(keys_->writeSalt(), keys_->writeCost());
    } catch (const std::bad_alloc &) {
    }
}

int CipherEngine::keysStretched() const
{
    return keys_ ? keys_->derivations() : 0;
}

// --- Reading ---------------------------------------------------------------------------------

Refusal CipherEngine::readSealed(const fs::path &veilFile, Extension *extension, const sealed::Sink &sink,
                                 SecureBytes *preview) const
{
    if (!keys_)
        return Refusal::OtherCode;
    InputFile in(veilFile);
    std::array<std::uint8_t, sealed::InfoSize> info{};
    if (sealed::Read(sealed::SourceOf(in), veilFile, *keys_, info, sink, preview) == sealed::Opening::OtherCode)
        return Refusal::OtherCode;
    Extension stored;
    stored.ExtLength = info[0];
    std::copy(info.begin() + 1, info.end(), stored.ExtBytes.begin());
    if (!stored.safeInFileName())
        throw FileError(FileMessage("Cannot open file", veilFile,
                                    "The file is damaged: its stored extension cannot be part of a file name."));
    if (extension)
        *extension = stored;
    return Refusal::None;
}

std::optional<SecureBytes> CipherEngine::decipherPreview(const fs::path &veilFile) const
{
    if (FormatOf(veilFile) != Format::Sealed)
        return std::nullopt;
    SecureBytes preview;
    if (readSealed(veilFile, nullptr, {}, &preview) != Refusal::None || preview.size() == 0)
        return std::nullopt;
    return preview;
}

// --- Resealing -------------------------------------------------------------------------------

namespace {

// The owner, group and permissions of a file that is to be written anew in its place. Refused:
// a symbolic link, which would be replaced by the new file while the file it leads to kept the
// old bytes, and a file with other names (hard links), which would keep them too.
AtomicFile::Kept ReplaceableAlone(const fs::path &file)
{
    struct stat st {};
    if (::lstat(file.c_str(), &st) != 0)
        ThrowOpenError(file, errno);
    if (S_ISLNK(st.st_mode))
        throw FileError(FileMessage("Cannot create file", file,
                                    "It is a symbolic link: resealing it would replace the link and leave the "
                                    "file it leads to as it was. Reseal that file under its own name."));
    if (st.st_nlink > 1)
        throw FileError(FileMessage("Cannot create file", file,
                                    "It has other names (hard links), which would keep the old bytes: remove "
                                    "them first, then reseal it."));
    return {st.st_uid, st.st_gid, st.st_mode};
}

}  // namespace

Refusal CipherEngine::reseal(const fs::path &veilFile, bool &wasSealed, const CipherEngine *newCode) const
{
    wasSealed = false;
    const Examined examined = examine(veilFile);
    if (examined.refusal == Refusal::OtherCode && newCode) {
        // Sealed under the new code already: a run that was stopped, started again.
        const Examined underNew = newCode->examine(veilFile);
        wasSealed = underNew.format == Format::Sealed && underNew.refusal == Refusal::None;
        if (wasSealed)
            return Refusal::None;
    }
    if (examined.refusal != Refusal::None || (examined.format == Format::Sealed && !newCode)) {
        wasSealed = examined.format == Format::Sealed && examined.refusal == Refusal::None;
        return examined.refusal;
    }
    const CipherEngine &sealer = newCode ? *newCode : *this;
    if (!sealer.keys_)
        return Refusal::OtherCode;
    const AtomicFile::Kept kept = ReplaceableAlone(veilFile);
    Refusal refusal = Refusal::None;
    const auto body = decipherFile(veilFile, &refusal);
    if (!body)
        return refusal;

    AtomicFile out(veilFile, AtomicFile::Naming::Unnamed, AtomicFile::Access::OwnerOnly);
    out.keep(kept);
    std::size_t taken = 0;
    sealed::Write(out, *sealer.keys_, InfoOf(examined.extension), body->size(), [&](std::uint8_t *buffer, std::size_t length) {
        std::memcpy(buffer, body->data() + taken, length);
        taken += length;
    });

    // What the disk holds now must open under the code and give back every byte, before it
    // takes the old file's place.
    std::uint64_t offset = 0;
    const sealed::Source written{sealed::SealedSize(body->size()), [&](std::uint8_t *buffer, std::size_t length) {
                                     const std::size_t got = out.readBack(offset, buffer, length);
                                     offset += got;
                                     return got;
                                 }};
    std::array<std::uint8_t, sealed::InfoSize> info{};
    bool same = true;
    const auto compare = [&](const std::uint8_t *data, std::size_t length, std::uint64_t at, std::uint64_t total) {
        same = same && total == body->size() && std::memcmp(body->data() + at, data, length) == 0;
    };
    try {
        same = sealed::Read(written, veilFile, *sealer.keys_, info, compare) == sealed::Opening::Opened && same &&
               info == InfoOf(examined.extension);
    } catch (const FileError &) {
        same = false;
    }
    if (!same)
        throw FileError(FileMessage("Cannot create file", veilFile,
                                    "The sealed file did not read back as it was written; the file was left as it was."));
    out.commit(AtomicFile::Mode::Replace);
    return Refusal::None;
}

}  // namespace veilshot::cipher
