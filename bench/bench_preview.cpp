// The "Presurvey" grid's load of 84 thumbnails of 24-megapixel JPEGs, plain and ciphered, as
// the program loads them (offscreen). bench/preview_vs_vips.sh runs it against vipsthumbnail
// over the same files and prints the ratios.
//   usage: bench_preview make FOLDER      writes photo00.jpg .. photo83.jpg and their .veil files
//          bench_preview plain FOLDER     loads the plain grid; prints seconds and peak MB
//          bench_preview ciphered FOLDER  the same for the ciphered grid

#include "benchphotos.h"
#include "cipherengine.h"
#include "folderlisting.h"
#include "imaging.h"
#include "previewwindow.h"
#include "scriptedplatform.h"
#include "viewermodel.h"

#include <QApplication>
#include <QElapsedTimer>

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
    for (int i = 0; i < Photos; ++i) {
        const QString name = folder + QStringLiteral("/photo%1").arg(i, 2, 10, QLatin1Char('0'));
        if (!bench::WritePhoto(name + ".jpg", i, random))
            return 1;
        engine.extension = cipher::Extension::FromText(u".jpg");
        engine.Cipfoto((name + ".jpg").toStdString(), (name + ".veil").toStdString(), AtomicFile::Mode::Replace);
        std::fprintf(stderr, "\r%d/%d", i + 1, Photos);
    }
    std::fprintf(stderr, "\n");
    return 0;
}

int Load(const QString &folder, bool ciphered)
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
    while (preview.loading())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    std::printf("%.3f %.1f %d\n", seconds, bench::PeakMB() - idle, preview.pager.DrawnCount);
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    imaging::ImagingLibrary imaging;
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_preview make|plain|ciphered FOLDER\n");
        return 2;
    }
    const QString what = QString::fromLocal8Bit(argv[1]);
    const QString folder = QString::fromLocal8Bit(argv[2]);
    if (what == QLatin1String("make"))
        return Make(folder);
    return Load(folder, what == QLatin1String("ciphered"));
}
