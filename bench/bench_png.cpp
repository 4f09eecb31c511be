// One photo of 24 megapixels converted to PNG as the transform tool converts one photo (decode,
// encode, write), and the encoding alone. bench/png_vs_vips.sh runs it against vips on the same
// photo and prints the times and the files' sizes.
//   usage: bench_png make FILE.jpg          writes the 6000 x 4000 photo
//          bench_png convert IN OUT.png     converts it with the tool's own call; prints seconds
//          bench_png window IN OUT.png      converts it through the transform window, offscreen,
//                                           with its progress and stop key; prints seconds
//          bench_png encode IN OUT.png      decodes it, then times the encoding and writing alone

#include "bench/benchphotos.h"
#include "imaging/imaging.h"
#include "platform/scriptedplatform.h"
#include "tools/toolwork.h"
#include "tools/transformwindow.h"
#include "viewer/panelbutton.h"
#include "viewer/viewermodel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRadioButton>

#include <cstdio>

using namespace veilshot;

namespace {

// The photo converted as a user converts it: the window's Transform command, PNG, its button.
bool ThroughWindow(const QString &source, const QString &target, QElapsedTimer &timer)
{
    PlainModel model;
    model.folder.replace({source}, 0);
    platform::ScriptedPlatform scripted;
    // Named as the dialog names it, with the photo's extension, which the window changes.
    QString answer = target;
    if (answer.endsWith(QLatin1String(".png")))
        answer = answer.chopped(4) + QStringLiteral(".jpg");
    scripted.dialogs.answers.enqueue({answer});
    tools::TForm10g tool(model, scripted.platform());
    tool.show();
    tool.Label2Click();
    tool.findChild<QRadioButton *>(QStringLiteral("RadioButton5"))->setChecked(true);
    timer.start();
    tool.findChild<PanelButton *>(QStringLiteral("Panel1"))->click();
    if (!scripted.messages.shown.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(scripted.messages.shown.join(QLatin1Char('\n'))));
        return false;
    }
    if (!QFileInfo::exists(target)) {
        std::fprintf(stderr, "no %s written\n", qPrintable(target));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
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
    } else if (args[1] == QLatin1String("window")) {
        if (!ThroughWindow(args[2], args[3], timer))
            return 1;
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
