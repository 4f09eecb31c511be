// veilshot's command line: which file it opens, and what it answers on the terminal.

#include "app/commandline.h"

#include <gtest/gtest.h>

namespace veilshot {
namespace {

struct Case {
    const char *name;
    QStringList arguments;  // after the program's name
    bool settled;           // the window system's options are gone
    QString file;
    std::optional<int> exit;
    QString inOut;
    QString inErr;
};

void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

class ReadingTheCommandLine : public ::testing::TestWithParam<Case> {};

TEST_P(ReadingTheCommandLine, GivesTheFileOrTheAnswer)
{
    const Case &c = GetParam();
    const CommandLine read = ReadCommandLine(QStringList{QStringLiteral("veilshot")} + c.arguments, c.settled);
    EXPECT_EQ(read.file, c.file);
    EXPECT_EQ(read.exit, c.exit);
    // Nothing is said unless something is expected.
    EXPECT_TRUE(c.inOut.isEmpty() ? read.out.isEmpty() : read.out.contains(c.inOut)) << read.out.toStdString();
    EXPECT_TRUE(c.inErr.isEmpty() ? read.err.isEmpty() : read.err.contains(c.inErr)) << read.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ReadingTheCommandLine,
    ::testing::Values(
        Case{"Nothing", {}, true, {}, {}, {}, {}},
        Case{"ACipheredFile", {"/photos/a.veil"}, true, "/photos/a.veil", {}, {}, {}},
        Case{"APhoto", {"a b.JPG"}, true, "a b.JPG", {}, {}, {}},
        Case{"TheFirstOfSeveral", {"b.png", "a.png"}, true, "b.png", {}, {}, {}},
        Case{"ANameLikeAnOption", {"--", "-x.veil"}, true, "-x.veil", {}, {}, {}},
        Case{"Help", {"--help"}, true, {}, 0, "Usage: veilshot [FILE]", {}},
        Case{"ShortHelp", {"-h", "a.veil"}, true, {}, 0, "Usage: veilshot [FILE]", {}},
        Case{"Version", {"--version"}, true, {}, 0, "veilshot " VEILSHOT_VERSION "\n", {}},
        Case{"ShortVersion", {"-v"}, true, {}, 0, "veilshot " VEILSHOT_VERSION, {}},
        // Before the window system has taken its options, --help is answered among them...
        Case{"HelpAmongQtOptions", {"-platform", "offscreen", "--help"}, false, {}, 0, "Usage: veilshot", {}},
        // ...and nothing else is read, nor mistaken: -reverse is not -r -e -v.
        Case{"QtOptionsBeforeTheWindowSystem", {"-reverse", "-style", "fusion", "a.veil"}, false, {}, {}, {}, {}},
        Case{"UnknownOption", {"--viewer", "a.veil"}, true, {}, 2, {}, "veilshot: Unknown option 'viewer'."},
        Case{"UnknownOptionPointsToHelp", {"-x"}, true, {}, 2, {}, "Try 'veilshot --help'."}),
    [](const auto &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace veilshot
