#pragma once
// The cipher engine: the key table built from the user's code, and ciphering and deciphering
// ".veil" files in either of their two formats (veilformat.h, sealedformat.h). Standard library,
// POSIX and libsodium only; no windows.

#include "cipher/keytable.h"
#include "cipher/sealedformat.h"
#include "cipher/veilformat.h"
#include "files/fileio.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

namespace veilshot::cipher {

// The two formats of a ".veil" file: sealed, which new files get, and the keyed format that
// every version of Veilshot reads.
enum class Format { Sealed, Keyed };

// Which format a ".veil" file is in, from its first bytes: sealed files start with their magic,
// anything else is taken for the keyed format. FileError when it cannot be read.
Format FormatOf(const std::filesystem::path &veilFile);

// What a ".veil" file is under the entered code, learnt without deciphering its body.
struct Examined {
    Format format = Format::Keyed;
    Refusal refusal = Refusal::None;
    Extension extension;  // the stored extension, when refusal is None
};

// A run never writes over a file it reads, whatever replacing it allows: the file in hand would
// be gone before its copy was whole, and another input of the run (a file still to come, the
// code file) would be lost before it is read. Files are matched by device and inode. FileError
// "Cannot create file ..." when `destination` is `source` or one of `runInputs`.
void RefuseOwnInput(const std::filesystem::path &source, const std::filesystem::path &destination,
                    const FileIds *runInputs = nullptr);

// The stored extension as a sealed file's first chunk holds it.
std::array<std::uint8_t, sealed::InfoSize> InfoOf(const Extension &extension);

class CipherEngine {
public:
    enum class Kernel { Reference, Fast };
    enum class BuildResult { Built, NoCode };

    explicit CipherEngine(Kernel kernel = Kernel::Fast);
    ~CipherEngine();  // wipes the tables
    CipherEngine(const CipherEngine &) = delete;
    CipherEngine &operator=(const CipherEngine &) = delete;

    // An engine of its own with this one's key table, code check and keys, for a run that must
    // keep working under the code it started with whatever code is entered meanwhile. The keys
    // stretched from the code are shared with this engine while both hold the same code.
    std::unique_ptr<CipherEngine> copy() const;

    // Builds the key table and the code check from the code text, and starts a new set of
    // sealing keys (the old ones are wiped once no copy uses them). NoCode when the text holds
    // nothing but blanks and line breaks, or its digits cannot give a round count; then nothing
    // changes.
    BuildResult BuildKeyTable(std::u16string_view code);

    bool CodeEntered() const { return codeEntered_; }
    const CheckValue &CodeCheck() const { return codeCheck_; }
    std::uint8_t KeyTable(int position) const { return table_[position - 1]; }  // 1..KeyTableSize

    // The format Cipfoto writes: sealed unless the keyed format is asked for.
    Format writeFormat() const { return writeFormat_; }
    void setWriteFormat(Format format) { writeFormat_ = format; }

    // Sealed files need a key stretched from the code, which takes a fraction of a second; it is
    // kept for the rest of the code's life. keyReady tells whether a file can be read without
    // stretching one (keyed files always can); prepareKey and prepareWriteKey stretch the key in
    // hand, so a window can do it off its thread. FileError when the file cannot be read.
    bool keyReady(const std::filesystem::path &veilFile) const;
    void prepareKey(const std::filesystem::path &veilFile) const;
    bool writeKeyReady() const;
    void prepareWriteKey() const;
    // How many keys were stretched under the current code.
    int keysStretched() const;

    // Toggles the value's bits with key-table positions 737..785. Applied twice, it restores.
    void toggleCheck(CheckValue &value) const;

    // Transforms n (0..BlockSize) bytes in place from key-table position c (1..KeyTableHalf).
    // The fast kernel XORs a full block with one precomputed key stream, a shorter one with
    // five slices of the mask table.
    void TransformBlock(std::uint8_t *buffer, std::size_t n, int c) const;
    // The same from `source` into `target` (the same or not overlapping).
    void TransformBlock(const std::uint8_t *source, std::uint8_t *target, std::size_t n, int c) const;

    // The cursor's move before a block. `tailLength` is given for the last block of a body.
    int stepCursor(int c, std::optional<std::size_t> tailLength) const;

    // The extension written into the next ciphered file's header.
    Extension extension;

    // Ciphers `source` into `destination` in the write format, through a temporary file in the
    // destination's folder, so a failed run leaves neither a partial file nor damage to a file
    // it was to replace. FileError on file errors (also when the source shrinks or grows
    // meanwhile, or when the destination is the source itself or one of `runInputs`, see
    // RefuseOwnInput); TargetExistsError when `mode` keeps an existing destination. Memory use
    // does not grow with the file. A sealed file takes `preview` (at most sealed::MaxPreview
    // bytes) beside the photo when it is given; the keyed format has no place for one.
    void Cipfoto(const std::filesystem::path &source, const std::filesystem::path &destination,
                 AtomicFile::Mode mode = AtomicFile::Mode::KeepExisting, std::span<const std::uint8_t> preview = {},
                 const FileIds *runInputs = nullptr);

    // Which format the file is in, whether the code opens it, and its stored extension. For a
    // sealed file this stretches its key if need be and opens its first chunk only.
    Examined examine(const std::filesystem::path &veilFile) const;

    // Tests the file against the code and deciphers its body into memory. std::nullopt: the file
    // was ciphered under another code or is no ".veil" file; `refusal`, if given, says which.
    // FileError when it cannot be read, its body would not fit in memory, or it is a sealed file
    // that the code opens but that was changed since it was sealed (damaged). `extension`, if
    // given, receives the stored extension. Several threads may decipher at once with one
    // engine, as long as nobody builds a new key table meanwhile.
    std::optional<SecureBytes> decipherFile(const std::filesystem::path &veilFile, Refusal *refusal = nullptr,
                                            Extension *extension = nullptr) const;

    // Deciphers the file as decipherFile does, but hands its body to `sink` piece by piece, in
    // order, instead of holding it whole. A sealed file is checked piece by piece and as a whole
    // only at its end: what the sink was given counts only once this returns None. The refusals
    // and errors of decipherFile.
    Refusal decipherInPieces(const std::filesystem::path &veilFile,
                             const std::function<void(std::span<const std::uint8_t>)> &sink) const;

    // The preview a sealed file holds beside its photo, deciphered into memory and checked, with
    // the photo itself left unread. std::nullopt when there is none to have: a keyed file, a
    // sealed one written without a preview, a file of another code or no ".veil" file (decipherFile
    // says which). FileError when it cannot be read or the code opens it but it is damaged.
    std::optional<SecureBytes> decipherPreview(const std::filesystem::path &veilFile) const;

    // Tests the file and deciphers its body into `destination`, written as by Cipfoto, with the
    // same errors, and readable by the owner alone: a deciphered photo is a private one. False,
    // with nothing written: another code, or no ".veil" file. A damaged sealed file writes
    // nothing either (FileError).
    [[nodiscard]] bool decipherToFile(const std::filesystem::path &veilFile, const std::filesystem::path &destination,
                                      AtomicFile::Mode mode = AtomicFile::Mode::KeepExisting,
                                      Refusal *refusal = nullptr, const FileIds *runInputs = nullptr) const;

    // Reads a whole file as decipherFile does, keeping nothing: None when it deciphers whole.
    // FileError as decipherFile.
    Refusal verify(const std::filesystem::path &veilFile) const;

    // Turns a keyed file into a sealed one in its place: deciphered into memory, sealed into a
    // file with no name yet, read back from the disk and checked, and only then put in the old
    // file's place with the old file's owner, group and permissions, so a failed or killed run
    // leaves the old file or the new one. None when done, or when the file was sealed already
    // (`wasSealed` then set). With `newCode`, an engine holding another code, every file this
    // code opens, sealed or keyed, is sealed anew under the new code, and `wasSealed` means
    // sealed under the new code already. FileError as Cipfoto, and for a file that is a symbolic
    // link or has other names (hard links): the old bytes would live on under them.
    Refusal reseal(const std::filesystem::path &veilFile, bool &wasSealed, const CipherEngine *newCode = nullptr) const;

    // True when the keyed header's check was made under the current key table.
    bool matches(const CheckValue &storedCheck) const;
    // None when the check was made under the current key table, else why the file is refused.
    Refusal judge(const CheckValue &storedCheck) const;

private:
    // Transforms consecutive body bytes. `remaining` counts the body's bytes not yet
    // transformed, these included; `length` is whole blocks unless it ends the body.
    // `cursor` is the run's CipherCursor: each file has its own, so that files can be
    // deciphered on several threads at once with one engine.
    void transformRun(const std::uint8_t *source, std::uint8_t *target, std::size_t length, std::uint64_t &remaining,
                      int &cursor) const;

    void cipherKeyed(InputFile &in, const std::filesystem::path &source, AtomicFile &out) const;
    void cipherSealed(InputFile &in, const std::filesystem::path &source, AtomicFile &out,
                      std::span<const std::uint8_t> preview) const;
    bool decipherKeyedToFile(InputFile &in, const std::filesystem::path &veilFile,
                             const std::filesystem::path &destination, AtomicFile::Mode mode, Refusal *refusal) const;
    // Opens a sealed file under the code and hands its checked bytes to `sink`.
    Refusal readSealed(const std::filesystem::path &veilFile, Extension *extension, const sealed::Sink &sink,
                       SecureBytes *preview = nullptr) const;

    Kernel kernel_;
    std::unique_ptr<std::uint8_t[]> tables_;  // KeyTable, its masks, the key stream; locked in memory
    std::uint8_t *table_ = nullptr;
    std::uint8_t *masks_ = nullptr;
    // keyStream_[j] = masks_[j] ^ masks_[j + BlockSize] ^ ... ^ masks_[j + 4 * BlockSize]: a full
    // block at position c is XORed with keyStream_[c - 1 ..].
    std::uint8_t *keyStream_ = nullptr;
    bool locked_ = false;
    CheckValue codeCheck_{};
    bool codeEntered_ = false;
    Format writeFormat_ = Format::Sealed;
    std::shared_ptr<sealed::Keys> keys_;  // none until a code is entered
};

}  // namespace veilshot::cipher
