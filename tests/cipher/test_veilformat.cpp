// The ".veil" format and its transform. Every test runs over both transform kernels, the
// reference one that follows the format's definition bit by bit and the fast one.

#include "cipherengine.h"
#include "kernelname.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
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
    }

    std::filesystem::path Cipher(const std::vector<std::uint8_t> &bytes, const std::string &name = "photo.jpg")
    {
        WriteFile(dir / name, bytes);
        engine.extension = Extension::FromFileName(name);
        const auto target = dir / (name + ".veil");
        engine.Cipfoto(dir / name, target, AtomicFile::Mode::Replace);
        return target;
    }

    TempDir dir;
    CipherEngine engine;
};

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
        const auto body = engine.DecipherFile(veil);
        ASSERT_TRUE(body);
        ASSERT_EQ(std::vector<std::uint8_t>(body->data(), body->data() + body->size()), source);
    }
}

TEST_P(VeilFormat, RoundTripsAFileLongEnoughForTheCursorToWrap)
{
    // Find how many full blocks take the cursor past the table's end, then go a little further.
    int c = CursorStart;
    std::size_t blocks = 0;
    for (int previous = c; (c = engine.StepCursor(c, std::nullopt)) >= previous; previous = c)
        ++blocks;
    const auto source = RandomBytes((blocks + 3) * BlockSize + 555, 7);
    const auto body = engine.DecipherFile(Cipher(source));
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
    EXPECT_TRUE(engine.Matches(header->check));
}

TEST_P(VeilFormat, OtherCodeAndShortFilesAreRefused)
{
    const auto veil = Cipher(RandomBytes(5000));
    CipherEngine other(GetParam());
    other.BuildKeyTable(u"another code");
    EXPECT_FALSE(other.DecipherFile(veil));
    CipherEngine noCodeYet(GetParam());
    EXPECT_FALSE(noCodeYet.DecipherFile(veil));

    for (std::size_t size : {0, 7, 13}) {
        WriteFile(dir / "short.veil", std::vector<std::uint8_t>(size, 0));
        EXPECT_FALSE(engine.DecipherFile(dir / "short.veil")) << size;
    }
    WriteFile(dir / "empty-body.veil", ReadFile(veil));
    std::filesystem::resize_file(dir / "empty-body.veil", HeaderSize);
    const auto empty = engine.DecipherFile(dir / "empty-body.veil");
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
        engine.DecipherFile(veil);
        FAIL() << "no error";
    } catch (const FileError &e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + veil.string() + "\". The file is too large to hold in memory.");
    }
}

TEST_P(VeilFormat, DecipheringTwiceGivesTheSameBytes)
{
    const auto veil = Cipher(RandomBytes(40000));
    const auto first = engine.DecipherFile(veil);
    const auto second = engine.DecipherFile(veil);
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(std::equal(first->data(), first->data() + first->size(), second->data()));
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
    EXPECT_THROW(engine.DecipherFile(dir / "absent.veil"), FileError);
}

TEST_P(VeilFormat, AnExistingTargetIsKeptOrReplacedWhole)
{
    WriteFile(dir / "a.jpg", RandomBytes(1000));
    WriteFile(dir / "a.veil", {9, 9, 9});
    EXPECT_THROW(engine.Cipfoto(dir / "a.jpg", dir / "a.veil", AtomicFile::Mode::KeepExisting), TargetExistsError);
    EXPECT_EQ(ReadFile(dir / "a.veil"), (std::vector<std::uint8_t>{9, 9, 9}));
    engine.Cipfoto(dir / "a.jpg", dir / "a.veil", AtomicFile::Mode::Replace);
    EXPECT_EQ(ReadFile(dir / "a.veil").size(), 1014u);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"a.jpg", "a.veil"}));
}

// A disk that fills up midway (here: a file size limit) must leave neither a partial ".veil"
// file nor damage to the file that was to be replaced.
TEST_P(VeilFormat, AWriteThatFailsMidwayLeavesNothingBehind)
{
    WriteFile(dir / "big.jpg", RandomBytes(2 * 1024 * 1024));
    WriteFile(dir / "old.veil", {4, 5, 6});

    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 100 * 1024;
    ::setrlimit(RLIMIT_FSIZE, &small);
    EXPECT_THROW(engine.Cipfoto(dir / "big.jpg", dir / "new.veil"), FileError);
    EXPECT_THROW(engine.Cipfoto(dir / "big.jpg", dir / "old.veil", AtomicFile::Mode::Replace), FileError);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"big.jpg", "old.veil"}));
    EXPECT_EQ(ReadFile(dir / "old.veil"), (std::vector<std::uint8_t>{4, 5, 6}));
}

// Another program cutting the source short while it is ciphered: an error, never a crash, and
// no partial file (where the cut comes before or after the run, the run simply succeeds).
TEST_P(VeilFormat, ASourceCutShortMidwayIsAnErrorNotACrash)
{
    for (int delayMs : {0, 1, 3, 8}) {
        WriteFile(dir / "shrinking.jpg", RandomBytes(48 << 20, 9));
        std::thread cutter([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            std::filesystem::resize_file(dir / "shrinking.jpg", 1000);
        });
        bool failed = false;
        try {
            engine.Cipfoto(dir / "shrinking.jpg", dir / "shrinking.veil", AtomicFile::Mode::Replace);
        } catch (const FileError &error) {
            failed = true;
            EXPECT_NE(std::string(error.what()).find("became shorter"), std::string::npos) << error.what();
        }
        cutter.join();
        const auto names = dir.entries();
        EXPECT_EQ(std::count(names.begin(), names.end(), "shrinking.veil"), failed ? 0 : 1);
        EXPECT_EQ(names.size(), failed ? 1u : 2u) << "a temporary file was left";
        std::filesystem::remove(dir / "shrinking.veil");
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
    const auto ext = Extension::FromFileName(GetParam().fileName);
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
                      ExtensionCase{"BeyondLatin1IsAQuestionMark", "x.\xE4\xB8\xAD", {'.', '?'}}),
    [](const auto &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace veilshot::cipher
