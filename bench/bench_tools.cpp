// The image tools' runs over a folder of 24 photos of 24 megapixels, as the program runs them
// (offscreen, through the windows): compress-all at quality 70 and scale-all by the factor 4.
// bench/tools_vs_peers.sh runs it against vips over the same files and prints the ratios.
//   usage: bench_tools make FOLDER              writes photo00.jpg .. photo23.jpg
//          bench_tools compress FOLDER OUT      compresses them all into OUT; prints seconds
//          bench_tools scale FOLDER OUT         scales them all by 4 into OUT; prints seconds

#include "bench/benchphotos.h"
#include "files/folderlisting.h"
#include "platform/scriptedplatform.h"
#include "tools/compresswindow.h"
#include "tools/scalewindow.h"
#include "viewer/panelbutton.h"
#include "viewer/viewermodel.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QSlider>

#include <cstdio>

using namespace veilshot;

namespace {

constexpr int Photos = 24;

int Make(const QString &folder)
{
    std::mt19937 random(11);
    for (int i = 0; i < Photos; ++i) {
        if (!bench::WritePhoto(folder + QStringLiteral("/photo%1.jpg").arg(i, 2, 10, QLatin1Char('0')), i, random))
            return 1;
        std::fprintf(stderr, "\r%d/%d", i + 1, Photos);
    }
    std::fprintf(stderr, "\n");
    return 0;
}

template <typename Tool>
int Run(const QString &folder, const QString &out, const std::function<void(Tool &)> &set)
{
    PlainModel model;
    QStringList paths;
    for (const QString &name : ListFolder(folder))
        paths << JoinPath(folder, name);
    model.folder.replace(paths, 0);
    model.PhotoWidth = 6000;
    model.PhotoHeight = 4000;
    platform::ScriptedPlatform scripted;
    scripted.dialogs.answers.enqueue({out});
    Tool tool(model, scripted.platform());
    tool.show();
    set(tool);
    const double idle = bench::PeakMB();
    QElapsedTimer timer;
    timer.start();
    tool.template findChild<PanelButton *>(QStringLiteral("Panel1"))->click();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (!scripted.messages.shown.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(scripted.messages.shown.join(QLatin1Char('\n'))));
        return 1;
    }
    std::printf("%.3f %.0f\n", seconds, bench::PeakMB() - idle);
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: bench_tools make FOLDER | compress FOLDER OUT | scale FOLDER OUT\n");
        return 2;
    }
    const QString what = args[1];
    if (what == QLatin1String("make"))
        return Make(args[2]);
    if (args.size() < 4)
        return 2;
    if (what == QLatin1String("compress")) {
        return Run<tools::TForm9g>(args[2], args[3], [](tools::TForm9g &tool) {
            tool.findChild<QCheckBox *>(QStringLiteral("CheckBox1"))->setChecked(true);
            tool.findChild<QSlider *>(QStringLiteral("TrackBar1"))->setValue(70);
        });
    }
    if (what == QLatin1String("scale")) {
        return Run<tools::TForm11g>(args[2], args[3], [](tools::TForm11g &tool) {
            tool.findChild<QCheckBox *>(QStringLiteral("CheckBox1"))->click();
            tool.findChild<QLineEdit *>(QStringLiteral("Edit1"))->setText(QStringLiteral("4"));
        });
    }
    return 2;
}
