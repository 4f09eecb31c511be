// What the veil command never does, --force or not, whatever its files: write over a file of
// the run (its code file among them), leave a deciphered photo readable by others, end a run
// for want of memory; and how reseal leaves an old code behind.

#include "cli/veilprocess.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace veilshot::test {
namespace {

mode_t ModeOf(const fs::path &file)
{
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// The code file, and every file the run reads, is never a target: matched by device and inode,
// with or without --force, and the message names the real reason.
TEST_F(VeilCommand, NoFileTheRunReadsIsEverATarget)
{
    const auto codeBytes = ReadFile(code());
    // A code file kept beside the photos, ciphered by mistake: its stored extension is ".txt".
    WriteText(dir / "key.txt", "correct horse\r\nbattery staple\r\n");
    ASSERT_EQ(Veil({"cipher", "--code-file", code(), (dir / "key.txt").string()}).exitCode, 0);
    const auto keyText = ReadFile(dir / "key.txt");

    // A photo and the .veil file a later input of the same run would have been.
    fs::create_directory(dir / "a");
    WriteFile(dir / "a" / "x.jpg", RandomBytes(500, 1));
    WriteFile(dir / "out" / "x.veil", RandomBytes(700, 2));  // a photo that happens to be named .veil
    const auto laterInput = ReadFile(dir / "out" / "x.veil");

    // A photo ciphered earlier, and a photo of the same name now in the folder its copy goes to.
    fs::create_directory(dir / "b");
    WriteFile(dir / "b" / "y.jpg", RandomBytes(300, 3));
    ASSERT_EQ(Veil({"cipher", "--code-file", code(), (dir / "b" / "y.jpg").string()}).exitCode, 0);
    WriteFile(dir / "out" / "y.jpg", RandomBytes(400, 4));
    const auto laterPhoto = ReadFile(dir / "out" / "y.jpg");

    const struct {
        const char *what;
        std::vector<std::string> arguments;
        fs::path refused, kept;  // the input refused, the file kept
        std::vector<std::uint8_t> bytes;
    } table[] = {
        {"deciphering onto the code file",
         {"decipher", "--force", "--code-file", (dir / "key.txt").string(), (dir / "key.veil").string()},
         dir / "key.veil", dir / "key.txt", keyText},
        {"ciphering onto a later input",
         {"cipher", "--force", "--code-file", code(), "--into", (dir / "out").string(), (dir / "a" / "x.jpg").string(),
          (dir / "out" / "x.veil").string()},
         dir / "a" / "x.jpg", dir / "out" / "x.veil", laterInput},
        {"deciphering onto a later input",
         {"decipher", "--force", "--code-file", code(), "--into", (dir / "out").string(),
          (dir / "b" / "y.veil").string(), (dir / "out" / "y.jpg").string()},
         dir / "b" / "y.veil", dir / "out" / "y.jpg", laterPhoto},
    };
    for (const auto &row : table) {
        SCOPED_TRACE(row.what);
        const Result result = Veil(row.arguments);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_NE(result.err.find(row.refused.string() + ": Cannot create file \"" + row.kept.string() +
                                  "\". It is a file this run reads"),
                  std::string::npos)
            << result.err;
        EXPECT_EQ(ReadFile(row.kept), row.bytes);
    }
    EXPECT_EQ(ReadFile(code()), codeBytes);
}

// A deciphered photo is the owner's alone, whatever the umask (the tests run with 022).
TEST_F(VeilCommand, DecipheredPhotosAreTheOwnersAlone)
{
    ::umask(022);
    WriteFile(photo("a.jpg"), RandomBytes(100));
    WriteFile(photo("k.jpg"), RandomBytes(100, 2));
    ASSERT_EQ(Veil({"cipher", "--code-file", code(), photo("a.jpg")}).exitCode, 0);
    ASSERT_EQ(Veil({"cipher", "--format=v1", "--code-file", code(), photo("k.jpg")}).exitCode, 0);
    const Result result =
        Veil({"decipher", "--code-file", code(), "--into", (dir / "out").string(), photo("a.veil"), photo("k.veil")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ModeOf(dir / "out" / "a.jpg"), 0600u);
    EXPECT_EQ(ModeOf(dir / "out" / "k.jpg"), 0600u);
}

// Memory too short for a key's stretch is a verdict on that file; the run goes on to the next
// one and ends as a run with a refused file does.
TEST_F(VeilCommand, CheckGivesEveryFileAVerdictWhenMemoryRunsShort)
{
    if (VeilProcess({"--help"}, {"prlimit", "--as=100000000"}).finish().exitCode != 0)
        GTEST_SKIP() << "prlimit cannot start veil here";
    WriteFile(photo("a.jpg"), RandomBytes(100));
    WriteFile(photo("k.jpg"), RandomBytes(100, 2));
    ASSERT_EQ(Veil({"cipher", "--code-file", code(), photo("a.jpg")}).exitCode, 0);
    ASSERT_EQ(Veil({"cipher", "--format=v1", "--code-file", code(), photo("k.jpg")}).exitCode, 0);
    // Room for the program, not for the 64 MiB of the stretch.
    const Result check = VeilProcess({"check", "--code-file", code(), photo("a.veil"), photo("k.veil")},
                                     {"prlimit", "--as=" + std::to_string(40 << 20)})
                             .finish();
    EXPECT_EQ(check.exitCode, 1) << check.err;
    EXPECT_NE(check.out.find(photo("a.veil") + ": Cannot open file \"" + photo("a.veil") +
                             "\". There is not enough memory for it.\n"),
              std::string::npos)
        << check.out << check.err;
    EXPECT_NE(check.out.find(photo("k.veil") + ": ok\n"), std::string::npos) << check.out;
}

// reseal --new-code-file seals every file anew under the new code; the old code opens none of
// them. Resealing under the same code says to change the code.
TEST_F(VeilCommand, ResealUnderANewCodeLeavesTheOldCodeBehind)
{
    WriteText(dir / "new-code.txt", "a new code for the collection");
    WriteFile(photo("k.jpg"), RandomBytes(3000, 1));
    WriteFile(photo("s.jpg"), RandomBytes(3000, 2));
    ASSERT_EQ(Veil({"cipher", "--format=v1", "--code-file", code(), photo("k.jpg")}).exitCode, 0);
    ASSERT_EQ(Veil({"cipher", "--code-file", code(), photo("s.jpg")}).exitCode, 0);

    const Result sameCode = Veil({"reseal", "--code-file", code(), photo("k.veil")});
    ASSERT_EQ(sameCode.exitCode, 0) << sameCode.err;
    EXPECT_NE(sameCode.err.find("Change the code"), std::string::npos) << sameCode.err;
    const Result nothingKeyed = Veil({"reseal", "--code-file", code(), photo("k.veil")});
    EXPECT_EQ(nothingKeyed.err.find("Change the code"), std::string::npos) << nothingKeyed.err;

    const Result resealed = Veil({"reseal", "--code-file", code(), "--new-code-file", (dir / "new-code.txt").string(),
                                  photo("k.veil"), photo("s.veil")});
    ASSERT_EQ(resealed.exitCode, 0) << resealed.err;
    const Result old = Veil({"check", "--code-file", code(), photo("k.veil"), photo("s.veil")});
    EXPECT_EQ(old.out, photo("k.veil") + ": other code\n" + photo("s.veil") + ": other code\n");
    const Result under = Veil({"check", "--code-file", (dir / "new-code.txt").string(), photo("k.veil"), photo("s.veil")});
    EXPECT_EQ(under.out, photo("k.veil") + ": ok\n" + photo("s.veil") + ": ok\n");
    const Result again = Veil({"reseal", "--code-file", code(), "--new-code-file", (dir / "new-code.txt").string(),
                               photo("k.veil")});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_NE(again.err.find("sealed under the new code already"), std::string::npos) << again.err;
    ASSERT_EQ(Veil({"decipher", "--code-file", (dir / "new-code.txt").string(), "--into", (dir / "out").string(),
                    photo("k.veil"), photo("s.veil")})
                  .exitCode,
              0);
    EXPECT_EQ(ReadFile(dir / "out" / "k.jpg"), ReadFile(photo("k.jpg")));
    EXPECT_EQ(ReadFile(dir / "out" / "s.jpg"), ReadFile(photo("s.jpg")));

    // Without a terminal, a new code that is not in a file cannot be asked for.
    const Result noTerminal = Veil({"reseal", "--code-file", code(), "--new-code", photo("k.veil")});
    EXPECT_EQ(noTerminal.exitCode, 2);
    EXPECT_NE(noTerminal.err.find("--new-code-file"), std::string::npos) << noTerminal.err;
}

}  // namespace
}  // namespace veilshot::test
