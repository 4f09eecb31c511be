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
//          bench_preview grow FOLDER N    a folder of N small photos (640 x 480): 84 of their own
//                                         and the rest hard links to them
//          bench_preview paged FOLDER     the plain grid of a folder of any size: its first load
//                                         and a page forward (B); prints the count, the seconds
//                                         of each, the peak MB above the idle window (its
//                                         folder listed) and the process's peak MB
//                                         (bench/grid_by_folder_size.sh)
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
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include <unistd.h>


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

// The files of FOLDER with `extension`, in the folder's order.
QStringList Listed(const QString &folder, const QString &extension)
{
    QStringList paths;
    for (const QString &name : ListFolder(folder)) {
        if (LowerExtension(name) == extension)
            paths << folder + QLatin1Char('/') + name;
    }
    return paths;
}

// Shows `preview` and waits for the load that its showing starts.
void ShowAndAwaitLoad(PreviewWindow &preview)
{
    preview.show();
    QElapsedTimer timer;
    timer.start();
    while (!preview.loading() && timer.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

int Load(const QString &folder, bool ciphered, bool stretchFirst)
{
    PlainModel model;
    const QStringList paths = Listed(folder, ciphered ? QStringLiteral(".veil") : QStringLiteral(".jpg"));
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
    ShowAndAwaitLoad(preview);
    QElapsedTimer timer;
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

// FOLDER/photo000000.jpg ... of `count` entries, 84 photos of their own and links to them, so
// that a folder of 100,000 costs little room; a load reads the first batch only.
int Grow(const QString &folder, int count)
{
    std::mt19937 random(7);
    if (!QDir().mkpath(folder))
        return 1;
    const auto name = [&folder](int i) { return folder + QStringLiteral("/photo%1.jpg").arg(i, 6, 10, QLatin1Char('0')); };
    for (int i = 0; i < count; ++i) {
        if (QFileInfo::exists(name(i)))
            continue;
        const bool made = i < Photos ? bench::WritePhoto(name(i), i, random, {640, 480})
                                     : ::link(name(i % Photos).toLocal8Bit().constData(), name(i).toLocal8Bit().constData()) == 0;
        if (!made)
            return 1;
    }
    return 0;
}

// The process's resident memory now, or its peak since the last ResetPeak, in MB (Linux).
double ResidentMB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field))).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

// From here on the peak counts what comes after the folder was listed, not the listing's own
// transient peak.
void ResetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// Waits for the running load of `preview` to end, as the program's own loop does; its seconds.
double TimeLoad(const PreviewWindow &preview)
{
    QElapsedTimer timer;
    timer.start();
    while (preview.loading())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return double(timer.nsecsElapsed()) / 1e9;
}

int LoadAndPage(const QString &folder)
{
    PlainModel model;
    const QStringList paths = Listed(folder, QStringLiteral(".jpg"));
    model.folder.replace(paths, 0);
    platform::ScriptedPlatform scripted;
    scripted.windows.screen = QSize(1920, 1080);
    const PlainPhotos plain;
    PreviewWindow preview(model, plain, scripted.platform(), scripted.windows.screen, PlainPreview(), nullptr);
    ResetPeak();
    const double idle = ResidentMB("VmRSS:");
    ShowAndAwaitLoad(preview);
    const double load = TimeLoad(preview);
    const int drawn = preview.drawnCount();
    double page = 0;
    if (paths.size() > BatchLimit) {
        preview.loadForward();
        page = TimeLoad(preview);
    }
    std::printf("%lld %.3f %.3f %.1f %.1f %d\n", static_cast<long long>(paths.size()), load, page,
                ResidentMB("VmHWM:") - idle, bench::PeakMB(), drawn);
    return 0;
}

// Seals every photo of FOLDER into a scratch folder, with previews and without, in turns.
int CipherCost(const QString &folder)
{
    const QStringList photos = Listed(folder, QStringLiteral(".jpg"));
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
    const QString what = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (argc != 3 && !(argc == 4 && what == QLatin1String("grow"))) {
        std::fprintf(stderr, "usage: bench_preview make|plain|ciphered|stretched|keyed|whole|cipher|paged FOLDER\n"
                             "       bench_preview grow FOLDER COUNT\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[2]);
    if (what == QLatin1String("grow"))
        return Grow(folder, std::atoi(argv[3]));
    if (what == QLatin1String("paged"))
        return LoadAndPage(folder);
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
