// One photo of 24 megapixels converted to PNG as the transform tool converts one photo (decode,
// encode, write), and the encoding alone. bench/png_vs_vips.sh runs it against `vips pngsave`
// at its default settings on the same photo and prints the times and the files' sizes.
//   usage: bench_png make FILE.jpg          writes the 6000 x 4000 photo
//          bench_png convert IN OUT.png     converts it; prints seconds
//          bench_png encode IN OUT.png      decodes it, then times the encoding and writing alone

#include "bench/benchphotos.h"
#include "imaging/imaging.h"
#include "tools/toolwork.h"

#include <QGuiApplication>
#include <QElapsedTimer>

#include <cstdio>

using namespace veilshot;

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const imaging::ImagingLibrary library;
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("make")) {
        std::mt19937 random(11);
        return bench::WritePhoto(args[2], 0, random) ? 0 : 1;
    }
    if (args.size() != 4)
        return 2;
    QElapsedTimer timer;
    if (args[1] == QLatin1String("convert")) {
        timer.start();
        const tools::Outcome outcome = tools::Transform({0, args[2], args[3]}, QStringLiteral("image/png"));
        if (outcome.kind != tools::Outcome::Kind::Written) {
            std::fprintf(stderr, "%s\n", qPrintable(outcome.reason));
            return 1;
        }
    } else if (args[1] == QLatin1String("encode")) {
        const imaging::Picture picture = imaging::OpenFile(args[2]);
        if (!picture.ok())
            return 1;
        timer.start();
        imaging::Save(picture.image, args[3], imaging::FindEncoderByMime(QStringLiteral("image/png")));
    } else {
        return 2;
    }
    std::printf("%.3f\n", double(timer.nsecsElapsed()) / 1e9);
    return 0;
}
