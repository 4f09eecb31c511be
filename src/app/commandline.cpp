#include "app/commandline.h"

#include <QCommandLineParser>

namespace veilshot {

namespace {

constexpr const char *Help =
    "Usage: veilshot [FILE]\n"
    "Shows photos and keeps the ones you choose private.\n"
    "\n"
    "FILE, when given, is opened at the start: a \".veil\" file in the main window (the\n"
    "code window asks for the code first), a photo in the plain viewer.\n"
    "\n"
    "  -h, --help     show this text\n"
    "  -v, --version  show the version\n"
    "\n"
    "The window system's own options, such as -platform NAME, are taken as well.\n";

}  // namespace

CommandLine ReadCommandLine(const QStringList &arguments, bool settled)
{
    QCommandLineParser parser;
    // Qt's options are single-dash words (-reverse, -style): one must not read as -r -e -v ...
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOption(help);
    parser.addOption(version);
    const bool parsed = parser.parse(arguments);
    if (parser.isSet(help))
        return {.exit = 0, .out = QString::fromUtf8(Help)};
    if (parser.isSet(version))
        return {.exit = 0, .out = QStringLiteral("veilshot " VEILSHOT_VERSION "\n")};
    if (!settled)
        return {};
    if (!parsed)
        return {.exit = 2, .err = QStringLiteral("veilshot: %1\nTry 'veilshot --help'.\n").arg(parser.errorText())};
    // Only the first file is taken, as from a drop of several.
    const QStringList files = parser.positionalArguments();
    return {.file = files.isEmpty() ? QString() : files.constFirst()};
}

}  // namespace veilshot
