// The ".veil" format and its transform. Every test runs over both transform kernels, the
// reference one that follows the format's definition bit by bit and the fast one.

#include "cipher/cipherengine.h"
#include "cipher/readcut.h"
#include "common/kernelname.h"
#include "common/tempdir.h"

#include <gtest/gtest.h>

#include <atomic>

#include <chrono>
#include <csignal>
#include <functional>
#include <thread>
#include <sys/resource.h>
#include <unistd.h>

namespace veilshot::cipher {
namespace {

using test::ReadFile;
using test::RandomBytes;
using test::TempDir;
using test::WriteFile;

class VeilFormat : public ::testing::TestWithParam<CipherEngine::Kernel> {
protected:
    VeilFormat()
        : engine(GetParam())
    {
        engine.BuildKeyTable(u"the code of these tests");
        engine.setWriteFormat(Format::Keyed);
    }

    std::filesystem::path Cipher(const std::vector<std::uint8_t> &bytes, const std::string &name = "photo.jpg")
    {
        WriteFile(dir / name, bytes);
        engine.extension = Extension::fromFileName(name);
        const auto target = dir / (name + ".veil");
        engine.Cipfoto(dir / name, target, AtomicFile::Mode::Replace);
        return target;
    }

    // The ".veil" file of `source`, made in memory block by block with the reference transform:
    // what any way of reading and writing the files must produce.
    std::vector<std::uint8_t> Expected(const std::vector<std::uint8_t> &source) const
    {
        std::vector<std::uint8_t> table(KeyTableSize);
        for (int p = 1; p <= KeyTableSize; ++p)
            table[static_cast<std::size_t>(p - 1)] = engine.KeyTable(p);
        std::vector<std::uint8_t> veil(engine.CodeCheck().begin(), engine.CodeCheck().end());
        veil.push_back(engine.extension.ExtLength);
        veil.insert(veil.end(), engine.extension.ExtBytes.begin(), engine.extension.ExtBytes.end());
        veil.insert(veil.end(), source.begin(), source.end());
        int c = CursorStart;
        for (std::size_t done = 0; done < source.size();) {
            const std::size_t left = source.size() - done;
            const bool tail = left <= BlockSize;
            const std::size_t n = tail ? left : BlockSize;
            c = engine.stepCursor(c, tail ? std::optional<std::size_t>(n) : std::nullopt);
            TransformBlockReference(table.data(), veil.data() + HeaderSize + done, n, c);
            done += n;
        }
        return veil;
    }

    TempDir dir;
    CipherEngine engine;
};

// Where two byte strings first differ, for a readable failure on megabytes.
std::string FirstDifference(const std::vector<std::uint8_t> &actual, const std::uint8_t *expected,
                            std::size_t expectedSize)
{
    if (actual.size() != expectedSize)
        return "size " + std::to_string(actual.size()) + " instead of " + std::to_string(expectedSize);
    const auto at = std::mismatch(actual.begin(), actual.end(), expected).first;
    return at == actual.end() ? std::string() : "first difference at byte " + std::to_string(at - actual.begin());
}

std::string FirstDifference(const std::vector<std::uint8_t> &actual, const std::vector<std::uint8_t> &expected)
{
    return FirstDifference(actual, expected.data(), expected.size());
}

INSTANTIATE_TEST_SUITE_P(Kernels, VeilFormat,
                         ::testing::Values(CipherEngine::Kernel::Reference, CipherEngine::Kernel::Fast),
                         KernelName);

// Sizes around the short-tail rule (100) and the block size (12288): a body of exactly k
// blocks ends with a full-size tail.

TEST_P(VeilFormat, RoundTripsEverySizeByteForByte)
{
    for (std::size_t size : {0, 1, 99, 100, 12287, 12288, 12289, 24576, 24577, 3 * 1024 * 1024 + 17}) {
        SCOPED_TRACE(size);
        const auto source = RandomBytes(size, static_cast<std::uint32_t>(size));
        const auto veil = Cipher(source);
        const auto stored = ReadFile(veil);
        ASSERT_EQ(stored.size(), source.size() + HeaderSize);
        if (size >= 16) {
            EXPECT_FALSE(std::equal(source.begin(), source.begin() + 16, stored.begin() + HeaderSize));
        }
        const auto body = engine.decipherFile(veil);
        ASSERT_TRUE(body);
        ASSERT_EQ(std::vector<std::uint8_t>(body->data(), body->data() + body->size()), source);
    }
}

// Files are read and written in pieces of StreamChunk bytes; ciphering sends the header with
// the first piece, deciphering reads it with the first piece. Sizes around the blocks, around
// the pieces and across the header's shift of them.
TEST_P(VeilFormat, StreamedFilesMatchTheFormatAroundEveryBoundary)
{
    struct Case {
        const char *what;
        std::size_t size;
    };
    const Case cases[] = {
        {"empty", 0},
        {"one byte", 1},
        {"short tail", 99},
        {"block less one", BlockSize - 1},
        {"one block", BlockSize},
        {"block and one", BlockSize + 1},
        {"first piece with the header less one", StreamChunk - HeaderSize - 1},
        {"first piece with the header", StreamChunk - HeaderSize},
        {"first piece with the header and one", StreamChunk - HeaderSize + 1},
        {"one piece", StreamChunk},
        {"one piece and one", StreamChunk + 1},
        {"short tail after a piece", StreamChunk + 50},
        {"two pieces with the header", 2 * StreamChunk - HeaderSize},
        {"several pieces and an odd tail", 3 * StreamChunk + 5 * BlockSize + 77},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.what) + ", " + std::to_string(c.size) + " bytes");
        const auto source = RandomBytes(c.size, static_cast<std::uint32_t>(c.size) + 3);
        const auto veil = Cipher(source);
        EXPECT_EQ(FirstDifference(ReadFile(veil), Expected(source)), "");

        ASSERT_TRUE(engine.decipherToFile(veil, dir / "back.jpg", AtomicFile::Mode::Replace));
        EXPECT_EQ(FirstDifference(ReadFile(dir / "back.jpg"), source), "");
        const auto body = engine.decipherFile(veil);
        ASSERT_TRUE(body);
        EXPECT_EQ(FirstDifference(source, body->data(), body->size()), "");
    }
}

TEST_P(VeilFormat, RoundTripsAFileLongEnoughForTheCursorToWrap)
{
    // Find how many full blocks take the cursor past the table's end, then go a little further.
    int c = CursorStart;
    std::size_t blocks = 0;
    for (int previous = c; (c = engine.stepCursor(c, std::nullopt)) >= previous; previous = c)
        ++blocks;
    const auto source = RandomBytes((blocks + 3) * BlockSize + 555, 7);
    const auto body = engine.decipherFile(Cipher(source));
    ASSERT_TRUE(body);
    EXPECT_TRUE(std::equal(source.begin(), source.end(), body->data()));
}

TEST_P(VeilFormat, HeaderHoldsTheCodeCheckAndTheLowerCasedExtension)
{
    const auto stored = ReadFile(Cipher({1, 2, 3}, "Holiday.JPEG"));
    ASSERT_EQ(stored.size(), 17u);
    EXPECT_TRUE(std::equal(engine.CodeCheck().begin(), engine.CodeCheck().end(), stored.begin()));
    EXPECT_EQ(stored[7], 5);
    EXPECT_EQ(std::string(stored.begin() + 8, stored.begin() + 13), ".jpeg");

    const auto header = ReadHeader(dir / "Holiday.JPEG.veil");
    ASSERT_TRUE(header);
    EXPECT_EQ(header->extension.utf8(), ".jpeg");
    EXPECT_TRUE(engine.matches(header->check));
}

TEST_P(VeilFormat, OtherCodeAndShortFilesAreRefused)
{
    const auto veil = Cipher(RandomBytes(5000));
    Refusal refusal = Refusal::None;
    CipherEngine other(GetParam());
    other.BuildKeyTable(u"another code");
    other.setWriteFormat(Format::Keyed);
    EXPECT_FALSE(other.decipherFile(veil, &refusal));
    EXPECT_EQ(refusal, Refusal::OtherCode);
    EXPECT_FALSE(other.decipherToFile(veil, dir / "copy.jpg", AtomicFile::Mode::KeepExisting, &refusal));
    EXPECT_EQ(refusal, Refusal::OtherCode);
    CipherEngine noCodeYet(GetParam());
    EXPECT_FALSE(noCodeYet.decipherFile(veil, &refusal));
    EXPECT_EQ(refusal, Refusal::OtherCode);
    EXPECT_FALSE(noCodeYet.decipherToFile(veil, dir / "copy.jpg"));

    for (std::size_t size : {0, 7, 13}) {
        WriteFile(dir / "short.veil", std::vector<std::uint8_t>(size, 0));
        EXPECT_FALSE(engine.decipherFile(dir / "short.veil", &refusal)) << size;
        EXPECT_EQ(refusal, Refusal::TooShort) << size;
        EXPECT_FALSE(engine.decipherToFile(dir / "short.veil", dir / "copy.jpg", AtomicFile::Mode::KeepExisting, &refusal))
            << size;
        EXPECT_EQ(refusal, Refusal::TooShort) << size;
        EXPECT_FALSE(ReadHeader(dir / "short.veil", &refusal)) << size;
        EXPECT_EQ(refusal, Refusal::TooShort) << size;
    }
    // Photos and other files given for ".veil" files: their first bytes are no check that any
    // code makes, so they are told apart from files of another code.
    const std::vector<std::vector<std::uint8_t>> notCiphered{
        {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0x01, 0x01, 0x00},
        {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'},
        std::vector<std::uint8_t>(20, 0),
    };
    for (const auto &bytes : notCiphered) {
        WriteFile(dir / "photo.veil", bytes);
        EXPECT_FALSE(engine.decipherFile(dir / "photo.veil", &refusal));
        EXPECT_EQ(refusal, Refusal::NotCiphered) << int(bytes[0]);
        EXPECT_FALSE(engine.decipherToFile(dir / "photo.veil", dir / "copy.jpg", AtomicFile::Mode::KeepExisting, &refusal));
        EXPECT_EQ(refusal, Refusal::NotCiphered) << int(bytes[0]);
        EXPECT_FALSE(ReadHeader(dir / "photo.veil", &refusal));
        EXPECT_EQ(refusal, Refusal::NotCiphered) << int(bytes[0]);
    }
    // Every code's check could be one; files of every code are ".veil" files.
    for (const std::u16string_view code : {u"a", u"another code", u"correct horse battery staple", u"\u0416\u0443\u043A"}) {
        CipherEngine any(GetParam());
        ASSERT_EQ(any.BuildKeyTable(code), CipherEngine::BuildResult::Built);
        EXPECT_TRUE(CouldBeCheck(any.CodeCheck()));
        EXPECT_EQ(engine.judge(any.CodeCheck()), any.CodeCheck() == engine.CodeCheck() ? Refusal::None : Refusal::OtherCode);
    }
    ASSERT_TRUE(ReadHeader(veil, &refusal));
    EXPECT_EQ(refusal, Refusal::None);
    EXPECT_FALSE(std::filesystem::exists(dir / "copy.jpg")) << "a refused file is not written";
    WriteFile(dir / "empty-body.veil", ReadFile(veil));
    std::filesystem::resize_file(dir / "empty-body.veil", HeaderSize);
    const auto empty = engine.decipherFile(dir / "empty-body.veil");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->size(), 0u);
}

TEST_P(VeilFormat, ABodyTooLargeForMemoryIsAClearError)
{
    // A sparse file: its size is that of the machine's whole memory, its disk use nothing.
    const auto veil = Cipher({1, 2, 3});
    const std::uint64_t memory = std::uint64_t(::sysconf(_SC_PHYS_PAGES)) * std::uint64_t(::sysconf(_SC_PAGESIZE));
    std::error_code error;
    std::filesystem::resize_file(veil, memory + HeaderSize, error);
    if (error)
        GTEST_SKIP() << "no sparse file of " << memory << " bytes here: " << error.message();
    try {
        engine.decipherFile(veil);
        FAIL() << "no error";
    } catch (const FileError &e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + veil.string() + "\". The file is too large to hold in memory.");
    }
}

TEST_P(VeilFormat, DecipheringTwiceGivesTheSameBytes)
{
    const auto veil = Cipher(RandomBytes(40000));
    const auto first = engine.decipherFile(veil);
    const auto second = engine.decipherFile(veil);
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(std::equal(first->data(), first->data() + first->size(), second->data()));
}

// The previews decipher thumbnails on several threads with one engine.
TEST_P(VeilFormat, SeveralThreadsDecipherWithOneEngine)
{
    std::vector<std::vector<std::uint8_t>> plains;
    std::vector<std::filesystem::path> veils;
    for (std::uint32_t i = 0; i < 4; ++i) {
        plains.push_back(RandomBytes(300000 + 4099 * i, 20 + i));
        veils.push_back(Cipher(plains.back(), "photo" + std::to_string(i) + ".jpg"));
    }
    std::atomic<int> wrong = 0;
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 20; ++round) {
                const std::size_t i = (t + std::size_t(round)) % 4;
                const auto body = engine.decipherFile(veils[i]);
                if (!body || !std::equal(body->data(), body->data() + body->size(), plains[i].begin(), plains[i].end()))
                    ++wrong;
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
}

TEST_P(VeilFormat, MissingSourceAndUncreatableTargetAreFileErrors)
{
    try {
        engine.Cipfoto(dir / "absent.jpg", dir / "absent.veil");
        FAIL() << "no error";
    } catch (const FileError &error) {
        EXPECT_EQ(std::string(error.what()),
                  "Cannot open file \"" + (dir / "absent.jpg").string() + "\". No such file or directory");
    }
    WriteFile(dir / "a.jpg", {1, 2, 3});
    try {
        engine.Cipfoto(dir / "a.jpg", dir / "no-such-folder" / "a.veil");
        FAIL() << "no error";
    } catch (const FileError &error) {
        EXPECT_EQ(std::string(error.what()).rfind("Cannot create file \"" + (dir / "no-such-folder" / "a.veil").string() + "\". ", 0), 0u);
    }
    EXPECT_THROW(engine.decipherFile(dir / "absent.veil"), FileError);
    EXPECT_THROW((void)engine.decipherToFile(dir / "absent.veil", dir / "absent.jpg"), FileError);
    try {
        (void)engine.decipherToFile(Cipher({1, 2, 3}, "b.jpg"), dir / "no-such-folder" / "b.jpg");
        FAIL() << "no error";
    } catch (const FileError &error) {
        EXPECT_EQ(std::string(error.what()).rfind("Cannot create file \"" + (dir / "no-such-folder" / "b.jpg").string() + "\". ", 0), 0u);
    }
}

TEST_P(VeilFormat, AnExistingTargetIsKeptOrReplacedWhole)
{
    const auto plain = RandomBytes(1000);
    WriteFile(dir / "a.jpg", plain);
    WriteFile(dir / "a.veil", {9, 9, 9});
    EXPECT_THROW(engine.Cipfoto(dir / "a.jpg", dir / "a.veil", AtomicFile::Mode::KeepExisting), TargetExistsError);
    EXPECT_EQ(ReadFile(dir / "a.veil"), (std::vector<std::uint8_t>{9, 9, 9}));
    engine.Cipfoto(dir / "a.jpg", dir / "a.veil", AtomicFile::Mode::Replace);
    EXPECT_EQ(ReadFile(dir / "a.veil").size(), 1014u);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"a.jpg", "a.veil"}));

    WriteFile(dir / "a.jpg", {9, 9, 9});
    EXPECT_THROW((void)engine.decipherToFile(dir / "a.veil", dir / "a.jpg", AtomicFile::Mode::KeepExisting),
                 TargetExistsError);
    EXPECT_EQ(ReadFile(dir / "a.jpg"), (std::vector<std::uint8_t>{9, 9, 9}));
    EXPECT_TRUE(engine.decipherToFile(dir / "a.veil", dir / "a.jpg", AtomicFile::Mode::Replace));
    EXPECT_EQ(ReadFile(dir / "a.jpg"), plain);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"a.jpg", "a.veil"}));
}

// A disk that fills up midway (here: a file size limit) must leave neither a partial ".veil"
// file nor damage to the file that was to be replaced.
TEST_P(VeilFormat, AWriteThatFailsMidwayLeavesNothingBehind)
{
    WriteFile(dir / "big.jpg", RandomBytes(2 * 1024 * 1024));
    engine.Cipfoto(dir / "big.jpg", dir / "big.veil");
    std::filesystem::rename(dir / "big.jpg", dir / "big.png");
    WriteFile(dir / "old.veil", {4, 5, 6});
    WriteFile(dir / "old.jpg", {7, 8});

    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 100 * 1024;
    ::setrlimit(RLIMIT_FSIZE, &small);
    EXPECT_THROW(engine.Cipfoto(dir / "big.png", dir / "new.veil"), FileError);
    EXPECT_THROW(engine.Cipfoto(dir / "big.png", dir / "old.veil", AtomicFile::Mode::Replace), FileError);
    EXPECT_THROW((void)engine.decipherToFile(dir / "big.veil", dir / "new.jpg"), FileError);
    EXPECT_THROW((void)engine.decipherToFile(dir / "big.veil", dir / "old.jpg", AtomicFile::Mode::Replace), FileError);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"big.png", "big.veil", "old.jpg", "old.veil"}));
    EXPECT_EQ(ReadFile(dir / "old.veil"), (std::vector<std::uint8_t>{4, 5, 6}));
    EXPECT_EQ(ReadFile(dir / "old.jpg"), (std::vector<std::uint8_t>{7, 8}));
}

// Another program cutting the source short while it is ciphered or deciphered: an error, never
// a crash, and no partial file. Cut before the run opens it, the run succeeds with the output
// of the short file. The cut comes at a chosen read of the source (the test's own read()
// stands in front of the C library's), so each outcome is reached whatever the machine's speed.
TEST_P(VeilFormat, ASourceCutShortMidwayIsAnErrorNotACrash)
{
    constexpr std::size_t CutSize = 1000;
    const auto plain = RandomBytes(48 << 20, 9);
    const auto veil = ReadFile(Cipher(plain, "whole.jpg"));
    const auto shortVeil = ReadFile(Cipher({plain.begin(), plain.begin() + CutSize}, "short.jpg"));
    // A ciphered file cut short is a shorter file of its own: its last block is a short one,
    // transformed as such, so it does not decipher to the start of the photo.
    WriteFile(dir / "cut.veil", {veil.begin(), veil.begin() + CutSize});
    const auto cutBody = engine.decipherFile(dir / "cut.veil");
    ASSERT_TRUE(cutBody);
    const std::vector<std::uint8_t> cutPlain(cutBody->data(), cutBody->data() + cutBody->size());
    for (const char *name : {"whole.jpg", "whole.jpg.veil", "short.jpg", "short.jpg.veil", "cut.veil"})
        std::filesystem::remove(dir / name);

    struct Direction {
        const char *what;
        std::string source;
        const std::vector<std::uint8_t> &bytes;
        std::string target;
        std::vector<std::uint8_t> cut;  // the target of the source cut before the run
        std::function<void(const std::filesystem::path &, const std::filesystem::path &)> run;
    };
    const Direction directions[] = {
        {"cipher", "shrinking.jpg", plain, "shrinking.veil", shortVeil,
         [&](const auto &from, const auto &to) { engine.Cipfoto(from, to, AtomicFile::Mode::Replace); }},
        {"decipher", "shrinking.veil", veil, "shrinking.jpg", cutPlain,
         [&](const auto &from, const auto &to) { ASSERT_TRUE(engine.decipherToFile(from, to, AtomicFile::Mode::Replace)); }},
    };
    struct Moment {
        const char *when;
        int reads;  // the source's reads before the cut; -1: before the run opens it
    };
    for (const Direction &direction : directions) {
        for (const Moment moment : {Moment{"before it is opened", -1}, Moment{"before its first read", 0},
                                    Moment{"after its first read", 1}, Moment{"after its second read", 2}}) {
            SCOPED_TRACE(std::string(direction.what) + ", the source cut " + moment.when);
            WriteFile(dir / direction.source, direction.bytes);
            if (moment.reads < 0)
                std::filesystem::resize_file(dir / direction.source, CutSize);
            else
                test::CutBeforeRead(dir / direction.source, moment.reads, CutSize);
            bool failed = false;
            try {
                direction.run(dir / direction.source, dir / direction.target);
            } catch (const FileError &error) {
                failed = true;
                EXPECT_NE(std::string(error.what()).find("became shorter"), std::string::npos) << error.what();
            }
            const int reads = test::StopCutting();
            EXPECT_GT(reads, moment.reads) << "the run read the source fewer times than the cut waited for";
            EXPECT_EQ(failed, moment.reads >= 0);
            const auto names = dir.entries();
            EXPECT_EQ(std::count(names.begin(), names.end(), direction.target), failed ? 0 : 1);
            EXPECT_EQ(names.size(), failed ? 1u : 2u) << "a temporary file was left";
            if (!failed) {
                EXPECT_TRUE(ReadFile(dir / direction.target) == direction.cut) << "the run did not write the short file's output";
            }
            std::filesystem::remove(dir / direction.target);
            std::filesystem::remove(dir / direction.source);
        }
    }
}

TEST_P(VeilFormat, KernelsAgreeOnEveryBlockShape)
{
    for (int c : {1, 2, 749, 61440, KeyTableHalf - 1, KeyTableHalf}) {
        for (std::size_t n : {std::size_t(0), std::size_t(1), std::size_t(15), std::size_t(16), std::size_t(17), std::size_t(99), std::size_t(4096), BlockSize - 1, BlockSize}) {
            auto plain = RandomBytes(n, static_cast<std::uint32_t>(c + n));
            auto viaReference = plain;
            auto viaMasks = plain;
            std::vector<std::uint8_t> table(KeyTableSize), masks(KeyTableSize);
            for (int p = 1; p <= KeyTableSize; ++p) {
                table[static_cast<std::size_t>(p - 1)] = engine.KeyTable(p);
                masks[static_cast<std::size_t>(p - 1)] = static_cast<std::uint8_t>(1u << engine.KeyTable(p));
            }
            TransformBlockReference(table.data(), viaReference.data(), n, c);
            std::vector<std::uint8_t> outOfPlace(n);
            TransformBlockMasked(masks.data(), viaMasks.data(), outOfPlace.data(), n, c);
            TransformBlockMasked(masks.data(), viaMasks.data(), viaMasks.data(), n, c);
            ASSERT_EQ(outOfPlace, viaMasks);
            ASSERT_EQ(viaReference, viaMasks) << "c=" << c << " n=" << n;
            engine.TransformBlock(viaMasks.data(), n, c);
            ASSERT_EQ(viaMasks, plain) << "the transform undoes itself";
        }
    }
}

// The extension stored in the header, from the source's name.
struct ExtensionCase {
    const char *name;
    friend std::ostream &operator<<(std::ostream &os, const ExtensionCase &c) { return os << c.name; }
    std::string fileName;
    std::vector<std::uint8_t> stored;
};

class ExtensionRule : public ::testing::TestWithParam<ExtensionCase> {};

TEST_P(ExtensionRule, StoresWhatFits)
{
    const auto ext = Extension::fromFileName(GetParam().fileName);
    EXPECT_EQ(std::vector<std::uint8_t>(ext.ExtBytes.begin(), ext.ExtBytes.begin() + ext.ExtLength), GetParam().stored);
    EXPECT_LE(ext.ExtLength, MaxExtLength);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ExtensionRule,
    ::testing::Values(ExtensionCase{"UpperCaseLowered", "a.JPG", {'.', 'j', 'p', 'g'}},
                      ExtensionCase{"SixBytesFit", "scan.tiff1", {'.', 't', 'i', 'f', 'f', '1'}},
                      ExtensionCase{"LongerIsNotStored", "notes.longext", {}},
                      ExtensionCase{"NoExtension", "folder/b", {}},
                      ExtensionCase{"OnlyTheLastExtension", "archive.tar.GZ", {'.', 'g', 'z'}},
                      ExtensionCase{"DotFileHasNone", ".hidden", {}},
                      ExtensionCase{"Latin1LetterLowered", "x.\xC3\x9C", {'.', 0xFC}},
                      ExtensionCase{"BeyondLatin1IsAQuestionMark", "x.\xE4\xB8\xAD", {'.', '?'}},
                      ExtensionCase{"AControlCharacterIsNotKept", "x.j\npg", {}},
                      ExtensionCase{"ADotAloneIsNotKept", "x.", {}}),
    [](const auto &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace veilshot::cipher
