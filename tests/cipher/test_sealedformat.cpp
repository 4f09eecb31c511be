// The sealed ".veil" format: round trips around its chunk boundaries, every change to a file
// found before its bytes are used, one key stretch per salt, and no key stream shared between
// files.

#include "cipher/cipherengine.h"
#include "common/memorylimit.h"
#include "common/tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>

namespace veilshot::cipher {
namespace {

using test::RandomBytes;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;
namespace fs = std::filesystem;

constexpr auto Damaged = "The file is damaged";

// One engine for the whole suite: every stretch of the code costs a third of a second.
class Sealed : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        engine = new CipherEngine;
        engine->BuildKeyTable(u"the code of these tests");
        other = new CipherEngine;
        other->BuildKeyTable(u"another code");
    }
    static void TearDownTestSuite()
    {
        delete engine;
        delete other;
    }

    fs::path Seal(const std::vector<std::uint8_t> &bytes, const std::string &name = "photo.jpg",
                  const std::vector<std::uint8_t> &preview = {})
    {
        WriteFile(dir / name, bytes);
        engine->extension = Extension::fromFileName(name);
        const fs::path target = dir / (fs::path(name).stem().string() + ".veil");
        engine->Cipfoto(dir / name, target, AtomicFile::Mode::Replace, preview);
        return target;
    }

    // The photo as decipherInPieces hands it over, in pieces of at most a chunk each.
    static std::vector<std::uint8_t> InPieces(const fs::path &veil)
    {
        std::vector<std::uint8_t> pieces;
        EXPECT_EQ(engine->decipherInPieces(veil, [&](std::span<const std::uint8_t> piece) {
            EXPECT_LE(piece.size(), sealed::ChunkSize);
            pieces.insert(pieces.end(), piece.begin(), piece.end());
        }), Refusal::None);
        return pieces;
    }

    // Reads the file every way a reader does: all must refuse it with `reason` and write nothing.
    void ExpectDamaged(const fs::path &veil, const std::string &reason = Damaged)
    {
        for (int reader = 0; reader < 4; ++reader) {
            SCOPED_TRACE(reader);
            try {
                if (reader == 0)
                    (void)engine->decipherFile(veil);
                else if (reader == 1)
                    (void)engine->decipherToFile(veil, dir / "copy.jpg");
                else if (reader == 2)
                    (void)engine->verify(veil);
                else
                    (void)engine->decipherInPieces(veil, [](std::span<const std::uint8_t>) {});
                ADD_FAILURE() << "read as whole";
            } catch (const FileError &error) {
                EXPECT_NE(std::string(error.what()).find(reason), std::string::npos) << error.what();
            }
            EXPECT_FALSE(fs::exists(dir / "copy.jpg"));
        }
    }

    static inline CipherEngine *engine = nullptr;
    static inline CipherEngine *other = nullptr;
    TempDir dir;
};

TEST_F(Sealed, RoundTripsAroundEveryChunkBoundary)
{
    constexpr std::size_t C = sealed::ChunkSize;
    for (std::size_t size : {std::size_t(0), std::size_t(1), C - 1, C, C + 1, 3 * C + 5}) {
        SCOPED_TRACE(size);
        const auto bytes = RandomBytes(size, static_cast<std::uint32_t>(size));
        const fs::path veil = Seal(bytes, "p.JPEG");
        EXPECT_EQ(fs::file_size(veil), sealed::SealedSize(size));
        EXPECT_EQ(FormatOf(veil), Format::Sealed);

        Extension stored;
        Refusal refusal = Refusal::TooShort;
        const auto body = engine->decipherFile(veil, &refusal, &stored);
        ASSERT_TRUE(body);
        EXPECT_EQ(refusal, Refusal::None);
        EXPECT_TRUE(std::equal(body->bytes().begin(), body->bytes().end(), bytes.begin(), bytes.end()));
        EXPECT_EQ(stored.text(), u".jpeg");

        EXPECT_EQ(InPieces(veil), bytes);

        fs::remove(dir / "copy");
        ASSERT_TRUE(engine->decipherToFile(veil, dir / "copy"));
        EXPECT_EQ(ReadFile(dir / "copy"), bytes);
        EXPECT_EQ(engine->verify(veil), Refusal::None);
        const Examined examined = engine->examine(veil);
        EXPECT_EQ(examined.format, Format::Sealed);
        EXPECT_EQ(examined.extension.text(), u".jpeg");
    }
}

// A wrong code is "another code", exactly as for the keyed format: nothing read, nothing written.
TEST_F(Sealed, AnotherCodeIsRefusedAsForKeyedFiles)
{
    const fs::path veil = Seal(RandomBytes(70000));
    Refusal refusal = Refusal::None;
    EXPECT_FALSE(other->decipherFile(veil, &refusal));
    EXPECT_EQ(refusal, Refusal::OtherCode);
    EXPECT_FALSE(other->decipherToFile(veil, dir / "copy.jpg", AtomicFile::Mode::KeepExisting, &refusal));
    EXPECT_EQ(refusal, Refusal::OtherCode);
    EXPECT_EQ(other->verify(veil), Refusal::OtherCode);
    EXPECT_EQ(other->decipherInPieces(veil, [](std::span<const std::uint8_t>) { ADD_FAILURE() << "a piece given"; }),
              Refusal::OtherCode);
    EXPECT_EQ(other->examine(veil).refusal, Refusal::OtherCode);
    EXPECT_FALSE(fs::exists(dir / "copy.jpg"));
    CipherEngine noCodeYet;
    EXPECT_FALSE(noCodeYet.decipherFile(veil, &refusal));
    EXPECT_EQ(refusal, Refusal::OtherCode);
}

TEST_F(Sealed, ACutAnywhereIsDamage)
{
    constexpr std::size_t Stored = sealed::ChunkSize + sealed::TagSize;
    const auto whole = ReadFile(Seal(RandomBytes(2 * sealed::ChunkSize + 100)));
    // Inside the clear header, at the end of the first chunk, at every chunk boundary and
    // within the tags, and one byte short.
    for (std::size_t length : {std::size_t(60), sealed::BodyStart, sealed::BodyStart + Stored,
                               sealed::BodyStart + 2 * Stored, sealed::BodyStart + Stored + 5, whole.size() - 1}) {
        SCOPED_TRACE(length);
        WriteFile(dir / "cut.veil", std::vector<std::uint8_t>(whole.begin(), whole.begin() + long(length)));
        ExpectDamaged(dir / "cut.veil");
    }
}

TEST_F(Sealed, AFlippedBitIsFoundWhereverItIs)
{
    const auto whole = ReadFile(Seal(RandomBytes(sealed::ChunkSize + 1000)));
    struct Case {
        const char *where;
        std::size_t offset;
        Refusal refusal;     // OtherCode, or None for an error
        const char *reason;  // the error's words
    };
    const Case cases[] = {
        {"version", 8, Refusal::None, "sealed by a newer version"},
        // A cost other than the one written is refused before any key is stretched.
        {"passes", 9, Refusal::None, Damaged},
        {"memory", 10, Refusal::None, Damaged},
        // Another salt gives another key, as another code would: nothing tells the two apart.
        {"salt", 20, Refusal::OtherCode, ""},
        // Under a salt whose key opened files already, a first chunk that fails was changed.
        {"stream header", 40, Refusal::None, Damaged},
        {"stored extension", sealed::HeaderSize + 2, Refusal::None, Damaged},
        {"body", sealed::BodyStart + 500, Refusal::None, Damaged},
        {"a chunk's tag", sealed::BodyStart + sealed::ChunkSize + 3, Refusal::None, Damaged},
        {"the last chunk", whole.size() - 200, Refusal::None, Damaged},
        {"the last tag", whole.size() - 1, Refusal::None, Damaged},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.where);
        auto bytes = whole;
        bytes[c.offset] ^= 0x10;
        WriteFile(dir / "flipped.veil", bytes);
        if (c.refusal == Refusal::None) {
            ExpectDamaged(dir / "flipped.veil", c.reason);
        } else {
            Refusal refusal = Refusal::None;
            EXPECT_FALSE(engine->decipherFile(dir / "flipped.veil", &refusal));
            EXPECT_EQ(refusal, c.refusal);
        }
    }
    // Under a salt whose key never opened a file here, a changed first chunk cannot be told from
    // another code; once a file of that salt opened, it can.
    CipherEngine session;
    session.BuildKeyTable(u"the code of these tests");
    WriteFile(dir / "s.jpg", RandomBytes(500));
    session.Cipfoto(dir / "s.jpg", dir / "intact.veil");
    auto changed = ReadFile(dir / "intact.veil");
    changed[40] ^= 0x10;
    WriteFile(dir / "changed.veil", changed);
    Refusal unproven = Refusal::None;
    EXPECT_FALSE(engine->decipherFile(dir / "changed.veil", &unproven));
    EXPECT_EQ(unproven, Refusal::OtherCode);
    EXPECT_EQ(engine->verify(dir / "intact.veil"), Refusal::None);
    ExpectDamaged(dir / "changed.veil");

    // A flipped magic leaves no sealed file at all: it is read as a keyed one, and refused.
    auto bytes = whole;
    bytes[3] ^= 0x01;
    WriteFile(dir / "flipped.veil", bytes);
    Refusal refusal = Refusal::None;
    EXPECT_FALSE(engine->decipherFile(dir / "flipped.veil", &refusal));
    EXPECT_NE(refusal, Refusal::None);
}

TEST_F(Sealed, ChunksSwappedRepeatedOrTakenFromAnotherFileAreDamage)
{
    constexpr std::size_t Stored = sealed::ChunkSize + sealed::TagSize;
    const auto whole = ReadFile(Seal(RandomBytes(3 * sealed::ChunkSize + 10, 1), "a.jpg"));
    const auto another = ReadFile(Seal(RandomBytes(3 * sealed::ChunkSize + 10, 2), "b.jpg"));
    const auto chunk = [&](const std::vector<std::uint8_t> &file, std::size_t k) {
        return std::vector<std::uint8_t>(file.begin() + long(sealed::BodyStart + k * Stored),
                                         file.begin() + long(sealed::BodyStart + (k + 1) * Stored));
    };
    const auto with = [&](std::size_t k, const std::vector<std::uint8_t> &replacement) {
        auto bytes = whole;
        std::copy(replacement.begin(), replacement.end(), bytes.begin() + long(sealed::BodyStart + k * Stored));
        return bytes;
    };
    auto swapped = with(0, chunk(whole, 1));
    std::copy_n(chunk(whole, 0).begin(), Stored, swapped.begin() + long(sealed::BodyStart + Stored));
    const std::vector<std::vector<std::uint8_t>> forged = {swapped, with(1, chunk(whole, 0)), with(2, chunk(another, 2))};
    for (std::size_t i = 0; i < forged.size(); ++i) {
        SCOPED_TRACE(i);
        WriteFile(dir / "forged.veil", forged[i]);
        ExpectDamaged(dir / "forged.veil");
    }
    // A whole file's chunks after another file's start: the first chunk opens, the rest cannot.
    auto spliced = whole;
    std::copy(another.begin() + long(sealed::BodyStart), another.end(), spliced.begin() + long(sealed::BodyStart));
    WriteFile(dir / "forged.veil", spliced);
    ExpectDamaged(dir / "forged.veil");
}

// The cost of the stretch stands in the clear header, read before anything is checked: only the
// cost this program writes is taken, and any other is damage before a byte of memory is taken
// for it or a key stretched.
TEST_F(Sealed, AHeaderAskingForAnotherCostIsDamageWithNoKeyStretched)
{
    const auto whole = ReadFile(Seal(RandomBytes(1000)));
    const struct {
        const char *what;
        std::uint8_t passes;
        std::uint32_t memoryKiB;
    } costs[] = {
        {"4 GiB", 3, 4u << 20},
        {"0xFFFFFFFF KiB", 3, 0xFFFFFFFFu},
        {"1 GiB", 3, 1u << 20},
        {"16 passes", 16, 64u << 10},
        {"a cheaper cost", 1, 8},
        {"255 passes", 255, 64u << 10},
    };
    CipherEngine fresh;  // no key stretched yet: every forged file would need one
    fresh.BuildKeyTable(u"the code of these tests");
    for (const auto &cost : costs) {
        SCOPED_TRACE(cost.what);
        auto bytes = whole;
        bytes[9] = cost.passes;
        for (int i = 0; i < 4; ++i)
            bytes[10 + std::size_t(i)] = std::uint8_t(cost.memoryKiB >> (8 * i));
        WriteFile(dir / "costly.veil", bytes);
        EXPECT_FALSE(sealed::Acceptable({cost.passes, cost.memoryKiB}));
        EXPECT_TRUE(fresh.keyReady(dir / "costly.veil"));  // nothing to stretch for it
        fresh.prepareKey(dir / "costly.veil");
        try {
            (void)fresh.verify(dir / "costly.veil");
            ADD_FAILURE() << "read as whole";
        } catch (const FileError &error) {
            EXPECT_NE(std::string(error.what()).find(Damaged), std::string::npos) << error.what();
        }
        EXPECT_EQ(fresh.keysStretched(), 0);
    }
    EXPECT_TRUE(sealed::Acceptable(sealed::DefaultCost));
}

// A preview sealed beside the photo: both come back whole, the preview without the photo being
// read, and a change to either is found by whoever reads it. A file without a preview keeps the
// first version of the format, which earlier readers open.
TEST_F(Sealed, APreviewTravelsBesideThePhotoAndOpensWithoutIt)
{
    constexpr std::size_t C = sealed::ChunkSize;
    const auto preview = RandomBytes(3000, 11);
    for (std::size_t size : {std::size_t(0), C, 3 * C + 5}) {
        SCOPED_TRACE(size);
        const auto bytes = RandomBytes(size, 12);
        const fs::path veil = Seal(bytes, "p.heic", preview);
        EXPECT_EQ(fs::file_size(veil), sealed::SealedSize(size, preview.size()));
        EXPECT_EQ(ReadFile(veil)[8], sealed::VersionWithPreview);
        const auto body = engine->decipherFile(veil);
        ASSERT_TRUE(body);
        EXPECT_TRUE(std::equal(body->bytes().begin(), body->bytes().end(), bytes.begin(), bytes.end()));
        const auto opened = engine->decipherPreview(veil);
        ASSERT_TRUE(opened);
        EXPECT_TRUE(std::equal(opened->bytes().begin(), opened->bytes().end(), preview.begin(), preview.end()));
        EXPECT_EQ(engine->verify(veil), Refusal::None);
        EXPECT_EQ(engine->examine(veil).extension.text(), u".heic");
        EXPECT_EQ(InPieces(veil), bytes);

        fs::remove(dir / "copy");
        ASSERT_TRUE(engine->decipherToFile(veil, dir / "copy"));
        EXPECT_EQ(ReadFile(dir / "copy"), bytes);
    }

    // No preview to have: none sealed, the keyed format, another code.
    const auto bytes = RandomBytes(C + 7, 13);
    const fs::path plain = Seal(bytes, "plain.jpg");
    EXPECT_EQ(ReadFile(plain)[8], sealed::Version);
    EXPECT_EQ(fs::file_size(plain), sealed::SealedSize(bytes.size()));
    EXPECT_FALSE(engine->decipherPreview(plain));
    engine->setWriteFormat(Format::Keyed);
    const fs::path keyed = Seal(bytes, "keyed.jpg", preview);
    engine->setWriteFormat(Format::Sealed);
    EXPECT_FALSE(engine->decipherPreview(keyed));
    const fs::path withPreview = Seal(bytes, "with.jpg", preview);
    EXPECT_FALSE(other->decipherPreview(withPreview));

    // Where a change lies decides who finds it: the preview's reader reads no further than it.
    const auto whole = ReadFile(withPreview);
    const std::size_t previewStart = sealed::HeaderSize + sealed::PreviewInfoSize + sealed::TagSize;
    const std::size_t bodyStart = previewStart + preview.size() + sealed::TagSize;
    struct Case {
        const char *where;
        std::size_t offset;
        bool previewOpens;
    };
    const Case cases[] = {
        {"the preview", previewStart + 100, false},
        {"the preview's tag", bodyStart - 1, false},
        {"the photo", bodyStart + 10, true},
        {"the last chunk", whole.size() - 3, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.where);
        auto changed = whole;
        changed[c.offset] ^= 0x04;
        WriteFile(dir / "changed.veil", changed);
        ExpectDamaged(dir / "changed.veil");
        if (c.previewOpens) {
            const auto opened = engine->decipherPreview(dir / "changed.veil");
            ASSERT_TRUE(opened);
            EXPECT_TRUE(std::equal(opened->bytes().begin(), opened->bytes().end(), preview.begin(), preview.end()));
        } else {
            EXPECT_THROW((void)engine->decipherPreview(dir / "changed.veil"), FileError);
        }
    }
    for (std::size_t length : {previewStart - 1, previewStart + 50, bodyStart, whole.size() - 1}) {
        SCOPED_TRACE(length);
        WriteFile(dir / "cut.veil", std::vector<std::uint8_t>(whole.begin(), whole.begin() + long(length)));
        ExpectDamaged(dir / "cut.veil");
        if (length < bodyStart) {
            EXPECT_THROW((void)engine->decipherPreview(dir / "cut.veil"), FileError);
        }
    }
}

// The attack on the keyed format: under one code every keyed file is XORed with the same
// masks, so two files XORed together give the two photos XORed together, and one known photo
// gives away the other. Sealed files share no key stream.
TEST_F(Sealed, TwoFilesUnderOneCodeShareNoKeyStream)
{
    const auto known = RandomBytes(50000, 7);
    const auto secret = RandomBytes(50000, 8);
    const auto recovered = [&](const fs::path &a, const fs::path &b, std::size_t start) {
        const auto x = ReadFile(a), y = ReadFile(b);
        std::size_t same = 0;
        for (std::size_t i = 0; i + start < x.size() && i < known.size(); ++i)
            same += (x[start + i] ^ y[start + i] ^ known[i]) == secret[i];
        return double(same) / double(known.size());
    };

    engine->setWriteFormat(Format::Keyed);
    const fs::path keyedKnown = Seal(known, "k1.jpg"), keyedSecret = Seal(secret, "k2.jpg");
    engine->setWriteFormat(Format::Sealed);
    EXPECT_GT(recovered(keyedKnown, keyedSecret, HeaderSize), 0.99);  // the weakness, shown

    const fs::path sealedKnown = Seal(known, "s1.jpg"), sealedSecret = Seal(secret, "s2.jpg");
    EXPECT_LT(recovered(sealedKnown, sealedSecret, sealed::BodyStart), 0.01);  // chance alone: 1 in 256
}

// Stretching the code costs a third of a second: once per salt, shared by an engine's copies,
// started again for a new code.
TEST_F(Sealed, TheCodeIsStretchedOncePerSalt)
{
    CipherEngine first;
    first.BuildKeyTable(u"counted code");
    EXPECT_EQ(first.keysStretched(), 0);
    EXPECT_FALSE(first.writeKeyReady());
    std::vector<fs::path> files;
    for (int i = 0; i < 5; ++i) {
        WriteFile(dir / ("p" + std::to_string(i) + ".jpg"), RandomBytes(1000, std::uint32_t(i)));
        files.push_back(dir / ("p" + std::to_string(i) + ".veil"));
        first.Cipfoto(dir / ("p" + std::to_string(i) + ".jpg"), files.back());
    }
    EXPECT_EQ(first.keysStretched(), 1);
    for (const auto &file : files) {
        EXPECT_TRUE(first.keyReady(file));
        EXPECT_TRUE(first.decipherFile(file));
    }
    EXPECT_EQ(first.keysStretched(), 1);
    const auto copy = first.copy();
    EXPECT_TRUE(copy->decipherFile(files[0]));
    EXPECT_EQ(first.keysStretched(), 1);

    // The same code entered again: a session of its own, whose files take a salt of their own.
    CipherEngine second;
    second.BuildKeyTable(u"counted code");
    WriteFile(dir / "q.jpg", RandomBytes(10));
    second.Cipfoto(dir / "q.jpg", dir / "q.veil");
    EXPECT_FALSE(first.keyReady(dir / "q.veil"));
    first.prepareKey(dir / "q.veil");
    EXPECT_TRUE(first.keyReady(dir / "q.veil"));
    for (const auto &file : files)
        EXPECT_TRUE(first.decipherFile(file));
    EXPECT_TRUE(first.decipherFile(dir / "q.veil"));
    EXPECT_EQ(first.keysStretched(), 2);  // two sessions in the folder, two stretches

    first.BuildKeyTable(u"counted code");  // entered anew: the keys are gone
    EXPECT_EQ(first.keysStretched(), 0);
    EXPECT_EQ(copy->keysStretched(), 2);   // a run under way keeps what it started with
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
// Whether what earlier calls on this thread left in the stack below the caller holds `key`.
[[gnu::noinline]] bool LeftOnStack(const std::uint8_t *key, std::size_t size)
{
    std::uint8_t area[128 * 1024];  // not set: it holds what deeper frames left there
    asm volatile("" : : "r"(area) : "memory");
    for (std::size_t at = 0; at + size <= sizeof area; ++at) {
        if (std::memcmp(area + at, key, size) == 0)
            return true;
    }
    return false;
}
#pragma GCC diagnostic pop

// A key stretched on a worker thread leaves no copy on that thread's stack, which outlives the
// stretch (a pool keeps its threads).
TEST(SealedKeys, AStretchLeavesNoCopyOfTheKeyOnItsThreadsStack)
{
    if (test::AddressSanitizer())
        GTEST_SKIP() << "the sanitizer keeps frames apart from the thread's stack";
    sealed::Keys keys(u"a code stretched on a worker");
    std::array<std::uint8_t, 16> key{};
    bool left = true;
    std::thread worker([&] {
        const std::uint8_t *stretched = keys.keyFor(keys.writeSalt(), keys.writeCost());
        std::copy_n(stretched, key.size(), key.begin());
        left = LeftOnStack(key.data(), key.size());
    });
    worker.join();
    EXPECT_FALSE(left);
}

// Turning a keyed file into a sealed one keeps its photo and stored extension; sealed files and
// files of another code are left alone.
TEST_F(Sealed, ResealTurnsKeyedFilesIntoSealedOnes)
{
    const auto bytes = RandomBytes(100000, 3);
    engine->setWriteFormat(Format::Keyed);
    const fs::path keyed = Seal(bytes, "old.TIFF");
    engine->setWriteFormat(Format::Sealed);
    ::chmod(keyed.c_str(), 0600);
    ASSERT_EQ(FormatOf(keyed), Format::Keyed);

    bool wasSealed = true;
    EXPECT_EQ(engine->reseal(keyed, wasSealed), Refusal::None);
    EXPECT_FALSE(wasSealed);
    EXPECT_EQ(FormatOf(keyed), Format::Sealed);
    Extension stored;
    const auto body = engine->decipherFile(keyed, nullptr, &stored);
    ASSERT_TRUE(body);
    EXPECT_TRUE(std::equal(body->bytes().begin(), body->bytes().end(), bytes.begin(), bytes.end()));
    EXPECT_EQ(stored.text(), u".tiff");
    EXPECT_EQ(fs::status(keyed).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"old.TIFF", "old.veil"}));

    const auto sealedBytes = ReadFile(keyed);
    EXPECT_EQ(engine->reseal(keyed, wasSealed), Refusal::None);
    EXPECT_TRUE(wasSealed);
    EXPECT_EQ(ReadFile(keyed), sealedBytes);

    other->setWriteFormat(Format::Keyed);
    WriteFile(dir / "theirs.jpg", bytes);
    other->extension = Extension::fromFileName("theirs.jpg");
    other->Cipfoto(dir / "theirs.jpg", dir / "theirs.veil");
    other->setWriteFormat(Format::Sealed);
    const auto theirs = ReadFile(dir / "theirs.veil");
    EXPECT_EQ(engine->reseal(dir / "theirs.veil", wasSealed), Refusal::OtherCode);
    EXPECT_EQ(ReadFile(dir / "theirs.veil"), theirs);
}

}  // namespace
}  // namespace veilshot::cipher
