// The "Presurvey" grid's load of 84 thumbnails of 24-megapixel JPEGs, plain and ciphered, as
// the program loads them (offscreen). bench/preview_vs_vips.sh runs it against vipsthumbnail
// over the same files and prints the ratios; bench/sealed_vs_keyed.sh runs the sealed grid
// against the keyed one (target: sealed at most 1.05x keyed).
//   usage: bench_preview make FOLDER      writes photo00.jpg .. photo83.jpg, their sealed .veil
//                                         files with previews, as the main window ciphers (one
//                                         code entry, so one salt), sealed ones without previews
//                                         in FOLDER/whole and keyed ones in FOLDER/keyed
//          bench_preview plain FOLDER     loads the plain grid; prints seconds, peak MB, the
//                                         thumbnails drawn, the keys stretched meanwhile and
//                                         the processor seconds of all the process's threads
//          bench_preview ciphered FOLDER  the same for the sealed grid, under a code entered
//                                         anew: its one key is stretched during the load
//          bench_preview stretched FOLDER the sealed grid with that key stretched beforehand
//          bench_preview keyed FOLDER     the grid of FOLDER/keyed
//          bench_preview whole FOLDER     the sealed grid of FOLDER/whole, its key stretched
//                                         beforehand: every photo deciphered and decoded
//          bench_preview cipher FOLDER    the cost of a preview: seals the 84 photos as the main
//                                         window does (previews made ahead on every core), and
//                                         without previews, in turns, 3 rounds;
//                                         prints the median seconds of each and their ratio

#include "bench/benchphotos.h"
#include "cipher/cipherengine.h"
#include "files/folderlisting.h"
#include "imaging/imaging.h"
#include "platform/scriptedplatform.h"
#include "preview/previewwindow.h"
#include "viewer/previewsahead.h"
#include "viewer/viewermodel.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <random>


using namespace veilshot;

namespace {

constexpr int Photos = 84;
constexpr auto Code = u"benchmark code";

int Make(const QString &folder)
{
    std::mt19937 random(7);
    cipher::CipherEngine engine;
    engine.BuildKeyTable(Code);
    engine.extension = cipher::Extension::fromText(u".jpg");
    if (!QDir(folder).mkpath(QStringLiteral("keyed")) || !QDir(folder).mkpath(QStringLiteral("whole")))
        return 1;
    for (int i = 0; i < Photos; ++i) {
        const QString photo = QStringLiteral("photo%1").arg(i, 2, 10, QLatin1Char('0'));
        const QString name = folder + QLatin1Char('/') + photo;
        if (!bench::WritePhoto(name + ".jpg", i, random))
            return 1;
        engine.setWriteFormat(cipher::Format::Sealed);
        engine.Cipfoto((name + ".jpg").toStdString(), (name + ".veil").toStdString(), AtomicFile::Mode::Replace,
                       imaging::MakePreview(name + ".jpg"));
        engine.Cipfoto((name + ".jpg").toStdString(), (folder + "/whole/" + photo + ".veil").toStdString(),
                       AtomicFile::Mode::Replace);
        engine.setWriteFormat(cipher::Format::Keyed);
        engine.Cipfoto((name + ".jpg").toStdString(), (folder + "/keyed/" + photo + ".veil").toStdString(),
                       AtomicFile::Mode::Replace);
        std::fprintf(stderr, "\r%d/%d", i + 1, Photos);
    }
    std::fprintf(stderr, "\n");
    return 0;
}

int Load(const QString &folder, bool ciphered, bool stretchFirst)
{
    const QString extension = ciphered ? QStringLiteral(".veil") : QStringLiteral(".jpg");
    PlainModel model;
    QStringList paths;
    for (const QString &name : ListFolder(folder)) {
        if (LowerExtension(name) == extension)
            paths << folder + QLatin1Char('/') + name;
    }
    model.folder.replace(paths, 0);
    cipher::CipherEngine engine;
    engine.BuildKeyTable(Code);
    if (stretchFirst && !paths.isEmpty())
        engine.prepareKey(paths.front().toStdString());
    const int stretchedBefore = engine.keysStretched();
    platform::ScriptedPlatform scripted;
    scripted.windows.screen = QSize(1920, 1080);
    const PlainPhotos plain;
    const CipheredPhotos cipheredPhotos(engine);
    PreviewWindow preview(model, ciphered ? static_cast<const PreviewPhotos &>(cipheredPhotos) : plain, scripted.platform(),
                          scripted.windows.screen, ciphered ? CipheredPreview() : PlainPreview(), nullptr);
    const double idle = bench::PeakMB();
    preview.show();
    QElapsedTimer timer;
    timer.start();
    while (!preview.loading() && timer.elapsed() < 10000)  // the load starts once the window shows
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    timer.start();
    const double cpuStart = bench::CpuSeconds();
    // Waits for each event as the program's own loop does: the timed overload of processEvents
    // returns at once when nothing is pending, and its spinning took a core from the decoders.
    while (preview.loading())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    std::printf("%.3f %.1f %d %d %.3f\n", seconds, bench::PeakMB() - idle, preview.drawnCount(),
                engine.keysStretched() - stretchedBefore, bench::CpuSeconds() - cpuStart);
    return 0;
}

// Seals every photo of FOLDER into a scratch folder, with previews and without, in turns.
int CipherCost(const QString &folder)
{
    QStringList photos;
    for (const QString &name : ListFolder(folder))
        if (LowerExtension(name) == QLatin1String(".jpg"))
            photos << folder + QLatin1Char('/') + name;
    const QString scratch = folder + QStringLiteral("/cipher-scratch");
    cipher::CipherEngine engine;
    engine.BuildKeyTable(Code);
    engine.extension = cipher::Extension::fromText(u".jpg");
    engine.prepareWriteKey();
    std::vector<double> times[2];
    for (int round = 0; round < 3; ++round) {
        for (int withPreview = 0; withPreview < 2; ++withPreview) {
            QDir(scratch).removeRecursively();
            QDir().mkpath(scratch);
            QElapsedTimer timer;
            timer.start();
            PreviewsAhead previews(photos, withPreview);  // as the main window's run makes them
            for (int i = 0; i < photos.size(); ++i) {
                const QString target = scratch + QLatin1Char('/') + QFileInfo(photos[i]).completeBaseName() + ".veil";
                engine.Cipfoto(photos[i].toStdString(), target.toStdString(), AtomicFile::Mode::Replace, previews.take(i));
            }
            times[withPreview].push_back(double(timer.nsecsElapsed()) / 1e9);
            std::fprintf(stderr, "round %d %s: %.3f s\n", round + 1, withPreview ? "with previews" : "without",
                         times[withPreview].back());
        }
    }
    QDir(scratch).removeRecursively();
    for (auto &t : times)
        std::sort(t.begin(), t.end());
    std::printf("sealing %lld photos: without previews %.3f s, with previews %.3f s, ratio %.2f\n",
                static_cast<long long>(photos.size()), times[0][1], times[1][1], times[1][1] / times[0][1]);
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    imaging::ImagingLibrary imaging;
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_preview make|plain|ciphered|stretched|keyed|whole|cipher FOLDER\n");
        return 2;
    }
    const QString what = QString::fromLocal8Bit(argv[1]);
    const QString folder = QString::fromLocal8Bit(argv[2]);
    if (what == QLatin1String("make"))
        return Make(folder);
    if (what == QLatin1String("keyed"))
        return Load(folder + QStringLiteral("/keyed"), true, false);
    if (what == QLatin1String("whole"))
        return Load(folder + QStringLiteral("/whole"), true, true);
    if (what == QLatin1String("cipher"))
        return CipherCost(folder);
    const bool stretched = what == QLatin1String("stretched");
    return Load(folder, stretched || what == QLatin1String("ciphered"), stretched);
}
