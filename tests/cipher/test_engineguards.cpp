// What the cipher engine guards whoever calls it: a run's inputs are never written over, a
// deciphered photo is the owner's alone, resealing keeps a file's owner and permissions and
// refuses what would keep the old bytes, and memory running out refuses one file, nothing more.

#include "cipher/cipherengine.h"
#include "common/memorylimit.h"
#include "common/tempdir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace veilshot::cipher {
namespace {

using test::RandomBytes;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;
namespace fs = std::filesystem;

// One engine per code for the whole suite: every stretch of a code costs a third of a second.
class EngineGuards : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        engine = new CipherEngine;
        engine->BuildKeyTable(u"the code of these tests");
        newCode = new CipherEngine;
        newCode->BuildKeyTable(u"a new code");
    }
    static void TearDownTestSuite()
    {
        delete engine;
        delete newCode;
    }

    fs::path Cipher(const std::string &name, Format format = Format::Sealed, CipherEngine *with = engine)
    {
        WriteFile(dir / name, RandomBytes(3000, std::uint32_t(name.size())));
        with->setWriteFormat(format);
        with->extension = Extension::fromFileName(name);
        const fs::path target = dir / (fs::path(name).stem().string() + ".veil");
        with->Cipfoto(dir / name, target, AtomicFile::Mode::Replace);
        with->setWriteFormat(Format::Sealed);
        return target;
    }

    static mode_t Mode(const fs::path &file)
    {
        struct stat st {};
        return ::stat(file.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
    }

    static inline CipherEngine *engine = nullptr;
    static inline CipherEngine *newCode = nullptr;
    TempDir dir;
};

// The engine's own check, whatever the caller checked first: a target that is the source under
// another name, or another file the run reads, is refused, --force or not, and stays whole.
TEST_F(EngineGuards, ARunNeverWritesOverWhatItReads)
{
    fs::create_directory(dir / "in");
    fs::create_directory_symlink(dir / "in", dir / "through");
    WriteFile(dir / "in" / "a.veil", RandomBytes(4000, 1));  // a photo that happens to be named .veil
    WriteFile(dir / "in" / "code.txt", RandomBytes(100, 2));
    fs::create_hard_link(dir / "in" / "a.veil", dir / "in" / "linked.veil");
    const fs::path veil = Cipher("b.jpg");
    FileIds runInputs;
    runInputs.add(dir / "in" / "code.txt");
    runInputs.add(veil);

    const struct {
        const char *what;
        fs::path source, target;
        const char *reason;
    } table[] = {
        {"the source under a hard link", dir / "in" / "a.veil", dir / "in" / "linked.veil", "the file being read"},
        {"the source through a linked folder", dir / "in" / "a.veil", dir / "through" / "a.veil", "the file being read"},
        {"the code file", dir / "in" / "a.veil", dir / "through" / "code.txt", "a file this run reads"},
        {"a later input", dir / "in" / "a.veil", veil, "a file this run reads"},
    };
    for (const auto &row : table) {
        SCOPED_TRACE(row.what);
        const auto before = ReadFile(row.target);
        try {
            engine->Cipfoto(row.source, row.target, AtomicFile::Mode::Replace, {}, &runInputs);
            ADD_FAILURE() << "written";
        } catch (const FileError &error) {
            EXPECT_NE(std::string(error.what()).find(row.reason), std::string::npos) << error.what();
        }
        EXPECT_EQ(ReadFile(row.target), before);
    }
    // Deciphering onto the code file or onto itself.
    for (const fs::path &target : {dir / "through" / "code.txt", veil}) {
        SCOPED_TRACE(target);
        const auto before = ReadFile(target);
        EXPECT_THROW((void)engine->decipherToFile(veil, target, AtomicFile::Mode::Replace, nullptr, &runInputs),
                     FileError);
        EXPECT_EQ(ReadFile(target), before);
    }
}

// A deciphered photo is a private one: the owner's alone whatever the umask, in either format.
TEST_F(EngineGuards, DecipheredCopiesAreTheOwnersAlone)
{
    const mode_t saved = ::umask(022);
    for (const Format format : {Format::Sealed, Format::Keyed}) {
        const fs::path veil = Cipher("p.jpg", format);
        ::chmod(veil.c_str(), 0644);
        fs::remove(dir / "copy.jpg");
        ASSERT_TRUE(engine->decipherToFile(veil, dir / "copy.jpg"));
        EXPECT_EQ(Mode(dir / "copy.jpg"), 0600u) << (format == Format::Sealed ? "sealed" : "keyed");
    }
    ::umask(saved);
}

// Resealing puts a new file in the old one's place: with its exact permissions, and its owner
// and group where the run may give them (as root, the user's file stays the user's).
TEST_F(EngineGuards, ResealingKeepsOwnerGroupAndPermissions)
{
    const mode_t saved = ::umask(022);
    const bool root = ::geteuid() == 0;
    for (const mode_t mode : {0600u, 0640u, 0400u, 0604u, 0660u}) {
        SCOPED_TRACE(mode);
        const fs::path keyed = Cipher("k.jpg", Format::Keyed);
        ASSERT_EQ(::chmod(keyed.c_str(), mode), 0);
        if (root) {
            ASSERT_EQ(::chown(keyed.c_str(), 4321, 5432), 0);
        }
        bool wasSealed = true;
        EXPECT_EQ(engine->reseal(keyed, wasSealed), Refusal::None);
        EXPECT_FALSE(wasSealed);
        EXPECT_EQ(FormatOf(keyed), Format::Sealed);
        EXPECT_EQ(Mode(keyed), mode);
        struct stat st {};
        ASSERT_EQ(::stat(keyed.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, root ? 4321u : ::geteuid());
        EXPECT_EQ(st.st_gid, root ? 5432u : ::getegid());
    }
    ::umask(saved);
}

// A file with other names, or a symbolic link, would keep the keyed bytes under the other name
// or in the file the link leads to: refused, saying why, and left as it was.
TEST_F(EngineGuards, ResealingRefusesWhatWouldKeepTheOldBytes)
{
    const fs::path keyed = Cipher("k.jpg", Format::Keyed);
    const auto bytes = ReadFile(keyed);
    fs::create_hard_link(keyed, dir / "other-name.veil");
    fs::create_symlink(dir / "other-name.veil", dir / "link.veil");
    const struct {
        fs::path file;
        const char *reason;
    } table[] = {{keyed, "other names (hard links)"}, {dir / "link.veil", "symbolic link"}};
    for (const auto &row : table) {
        SCOPED_TRACE(row.file);
        bool wasSealed = false;
        try {
            (void)engine->reseal(row.file, wasSealed);
            ADD_FAILURE() << "resealed";
        } catch (const FileError &error) {
            EXPECT_NE(std::string(error.what()).find(row.reason), std::string::npos) << error.what();
        }
        EXPECT_EQ(ReadFile(keyed), bytes);
        EXPECT_TRUE(fs::is_symlink(dir / "link.veil"));
    }
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"k.jpg", "k.veil", "link.veil", "other-name.veil"}));
}

// Under a new code every file the old code opens is sealed anew, keyed or sealed; what the new
// code opens already is left, and a file of a third code is refused.
TEST_F(EngineGuards, ResealingUnderANewCodeLeavesTheOldCodeBehind)
{
    const fs::path keyed = Cipher("k.jpg", Format::Keyed), sealed = Cipher("s.jpg");
    CipherEngine third;
    third.BuildKeyTable(u"a third code");
    const fs::path theirs = Cipher("t.jpg", Format::Sealed, &third);
    const auto theirBytes = ReadFile(theirs);
    for (const fs::path &file : {keyed, sealed}) {
        SCOPED_TRACE(file);
        const auto body = engine->decipherFile(file);
        ASSERT_TRUE(body);
        bool wasSealed = true;
        EXPECT_EQ(engine->reseal(file, wasSealed, newCode), Refusal::None);
        EXPECT_FALSE(wasSealed);
        EXPECT_EQ(FormatOf(file), Format::Sealed);
        EXPECT_EQ(engine->verify(file), Refusal::OtherCode);
        const auto under = newCode->decipherFile(file);
        ASSERT_TRUE(under);
        EXPECT_TRUE(std::equal(under->bytes().begin(), under->bytes().end(), body->bytes().begin(), body->bytes().end()));

        const auto resealed = ReadFile(file);
        EXPECT_EQ(engine->reseal(file, wasSealed, newCode), Refusal::None);  // a second run
        EXPECT_TRUE(wasSealed);
        EXPECT_EQ(ReadFile(file), resealed);
    }
    bool wasSealed = true;
    EXPECT_EQ(engine->reseal(theirs, wasSealed, newCode), Refusal::OtherCode);
    EXPECT_FALSE(wasSealed);
    EXPECT_EQ(ReadFile(theirs), theirBytes);
}

// Memory too short for a key's stretch refuses that file with a message, and the next file is
// read as ever.
TEST_F(EngineGuards, MemoryTooShortForAStretchRefusesThatFileAlone)
{
    if (test::AddressSanitizer())
        GTEST_SKIP() << "the sanitizer's allocator takes no address-space limit";
    const fs::path sealed = Cipher("s.jpg"), keyed = Cipher("k.jpg", Format::Keyed);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            CipherEngine fresh;  // the file's salt not stretched yet
            fresh.BuildKeyTable(u"the code of these tests");
            test::LimitAddressSpace(16 << 20);  // a quarter of what the stretch takes
            try {
                (void)fresh.verify(sealed);
                std::_Exit(3);
            } catch (const FileError &error) {
                if (std::string(error.what()).find("not enough memory") == std::string::npos)
                    std::_Exit(4);
            }
            fresh.prepareKey(sealed);  // a head start only: nothing to say
            std::_Exit(fresh.verify(keyed) == Refusal::None ? 0 : 5);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace veilshot::cipher
