// The main window's " Cipher" with All over a folder of 24-megapixel JPEGs, as the user runs it
// (offscreen, the dialogs answered by the scripted platform): new files sealed with their
// previews, against the same run in the keyed format (v1), its peer, which has no place for
// previews. Target: sealed with previews at most 1.5x keyed.
//   usage: bench_cipherwindow make FOLDER [COUNT]   writes COUNT photos (default 20) into FOLDER
//          bench_cipherwindow run FOLDER [ROUNDS]   ROUNDS rounds (default 3), the formats in
//                                                   turns; each run ciphers the whole folder
//                                                   into FOLDER/out/"The ciphered photo", which
//                                                   is emptied (and the disk synced) before it
//          bench_cipherwindow sealed FOLDER         one sealed run alone, for a profiler
//   prints, for each format, the median seconds with the lowest and highest, the processor
//   seconds of all threads, and the ratio of the medians; the load average before and after.

#include "bench/benchphotos.h"
#include "cipher/cipherengine.h"
#include "files/folderlisting.h"
#include "imaging/imaging.h"
#include "mainwin/mainwindow.h"
#include "platform/scriptedplatform.h"
#include "viewer/panelbutton.h"
#include "viewer/viewermodel.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include <unistd.h>

using namespace veilshot;

namespace {

constexpr auto Code = u"benchmark code";

int Make(const QString &folder, int count)
{
    std::mt19937 random(11);
    if (!QDir().mkpath(folder))
        return 1;
    for (int i = 0; i < count; ++i)
        if (!bench::WritePhoto(folder + QStringLiteral("/photo%1.jpg").arg(i, 2, 10, QLatin1Char('0')), i, random))
            return 1;
    return 0;
}

QString LoadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 2);
}

struct Timing {
    double seconds;
    double cpu;
};

// One " Cipher" with All of every photo of `folder`, in a window of its own as the program has.
Timing CipherAll(const QString &folder, bool keyed)
{
    const QString out = folder + QStringLiteral("/out");
    QDir(out).removeRecursively();
    QDir().mkpath(out);
    ::sync();
    cipher::CipherEngine engine;
    engine.BuildKeyTable(Code);
    MainModel model;
    platform::ScriptedPlatform scripted;
    TForm7 window(model, engine, scripted.platform());
    window.show();
    if (keyed)
        window.findChild<QAction *>(QStringLiteral("keyedFormat"))->trigger();
    window.findChild<QCheckBox *>(QStringLiteral("CheckBox2"))->setChecked(true);
    const QString first = folder + QStringLiteral("/photo00.jpg");
    scripted.dialogs.answers.enqueue({first});
    scripted.dialogs.answers.enqueue({out + QStringLiteral("/photo00.jpg")});
    QCoreApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    const double cpu = bench::CpuSeconds();
    window.findChild<PanelButton *>(QStringLiteral("Panel9"))->click();
    const Timing timing{double(timer.nsecsElapsed()) / 1e9, bench::CpuSeconds() - cpu};
    const int written = int(QDir(out + QStringLiteral("/The ciphered photo")).entryList(QDir::Files).size());
    if (written == 0)
        std::fprintf(stderr, "nothing was ciphered (%s)\n", qPrintable(scripted.messages.shown.join(u'|')));
    return timing;
}

void Report(const char *label, std::vector<Timing> runs)
{
    std::sort(runs.begin(), runs.end(), [](const Timing &a, const Timing &b) { return a.seconds < b.seconds; });
    std::vector<double> cpu;
    for (const Timing &run : runs)
        cpu.push_back(run.cpu);
    std::sort(cpu.begin(), cpu.end());
    std::printf("  %-28s %7.3f s  (%.3f..%.3f)  processor %6.3f s\n", label, runs[runs.size() / 2].seconds,
                runs.front().seconds, runs.back().seconds, cpu[cpu.size() / 2]);
}

int Run(const QString &folder, int rounds)
{
    int photos = 0;
    for (const QString &name : ListFolder(folder))
        photos += IsPhotoFile(folder + QLatin1Char('/') + name) ? 1 : 0;
    std::printf("== load average %s; %d photos, %d rounds, formats in turns\n", qPrintable(LoadAverage()), photos, rounds);
    std::vector<Timing> keyed, sealed;
    for (int round = 0; round < rounds; ++round) {
        // Which goes first alternates, so neither always meets a cold cache or a warm disk.
        for (int turn = 0; turn < 2; ++turn) {
            const bool keyedTurn = (turn == 0) == (round % 2 == 0);
            (keyedTurn ? keyed : sealed).push_back(CipherAll(folder, keyedTurn));
            std::fprintf(stderr, "round %d %s: %.3f s\n", round + 1, keyedTurn ? "keyed" : "sealed",
                         (keyedTurn ? keyed : sealed).back().seconds);
        }
    }
    QDir(folder + QStringLiteral("/out")).removeRecursively();
    std::printf("main window's Cipher with All\n");
    Report("keyed (v1, peer)", keyed);
    Report("sealed with previews", sealed);
    const auto median = [](std::vector<Timing> runs) {
        std::sort(runs.begin(), runs.end(), [](const Timing &a, const Timing &b) { return a.seconds < b.seconds; });
        return runs[runs.size() / 2].seconds;
    };
    const double ratio = median(sealed) / median(keyed);
    std::printf("  sealed / keyed = %.2f  (target <= 1.5: %s)\n", ratio, ratio <= 1.5 ? "ok" : "OVER");
    std::printf("== load average %s\n", qPrintable(LoadAverage()));
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    imaging::ImagingLibrary imaging;
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_cipherwindow make FOLDER [COUNT] | run FOLDER [ROUNDS]\n");
        return 2;
    }
    const QString what = QString::fromLocal8Bit(argv[1]);
    const QString folder = QString::fromLocal8Bit(argv[2]);
    const int number = argc > 3 ? std::atoi(argv[3]) : 0;
    if (what == QLatin1String("make"))
        return Make(folder, number > 0 ? number : 20);
    if (what == QLatin1String("sealed")) {
        const Timing timing = CipherAll(folder, false);
        std::printf("sealed with previews: %.3f s, processor %.3f s\n", timing.seconds, timing.cpu);
        return 0;
    }
    if (what == QLatin1String("run"))
        return Run(folder, number > 0 ? number : 3);
    return 2;
}
