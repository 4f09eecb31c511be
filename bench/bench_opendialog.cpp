// The open dialog in a big folder, against Qt's own file dialog as the program set it up before
// (non-native, the ciphered photos' name filter, icons by kind), in the same run and in turns.
// For each folder and each dialog: the time from opening until its list holds every file; the
// longest time the window's thread did not answer (a timer of 1 ms that could not run) from
// opening until Enter; and the time from Enter on a typed name until the dialog has returned it.
// Enter comes half a second after the list is full, as a user reads the list before typing; a
// second passes between two dialogs.
//   usage: bench_opendialog FOLDERS ROUNDS N...   (FOLDERS/N holds N files photo000000.veil ...)
//   prints one line a measurement, then medians and spreads (lowest-highest) for each folder
#include "platform/kindicons.h"
#include "platform/linuxplatform.h"
#include "platform/platform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace veilshot::platform;

// Qt's dialog as the program had it: the peer.
std::optional<QString> QtOpenFile(const DialogRequest &request)
{
    KindIcons icons;
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setIconProvider(&icons);
    dialog.setWindowTitle(request.title);
    dialog.setHistory({});
    dialog.setDirectory(request.startFolder);
    dialog.setNameFilter(QtFilter(request.filter));
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        return dialog.selectedFiles().constFirst();
    return std::nullopt;
}

struct Figures {
    double filled = -1, stall = 0, enter = -1;
};

Figures Measure(bool own, const QString &folder, int files)
{
    Figures figures;
    QElapsedTimer clock;
    QTimer tick;
    tick.setInterval(1);
    qint64 last = -1, fullAt = -1, enteredAt = -1;
    const QString typed = QStringLiteral("photo%1.veil").arg(files / 2, 6, 10, QLatin1Char('0'));
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (last >= 0 && enteredAt < 0)
            figures.stall = std::max(figures.stall, double(now - last));
        last = now;
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog || enteredAt >= 0)
            return;
        auto *list = dialog->findChild<QListView *>(QStringLiteral("listView"));
        if (fullAt < 0 && list && list->model()->rowCount(list->rootIndex()) >= files) {
            fullAt = now;
            figures.filled = double(now);
        }
        if (fullAt >= 0 && now - fullAt >= 500) {
            auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            name->setText(typed);
            enteredAt = clock.elapsed();
            QCoreApplication::postEvent(name, new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier));
            QCoreApplication::postEvent(name, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier));
        }
    });
    const DialogRequest request{.title = QStringLiteral("Open"), .startFolder = folder,
                                .filter = QStringLiteral("Зашифрованное фото (*.veil)|*.veil")};
    LinuxFileDialogs dialogs;
    tick.start();
    clock.start();
    const std::optional<QString> chosen = own ? dialogs.openFile(nullptr, request) : QtOpenFile(request);
    if (enteredAt >= 0 && chosen && chosen->endsWith(typed))
        figures.enter = double(clock.elapsed() - enteredAt);
    return figures;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_opendialog FOLDERS ROUNDS N...\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    const int rounds = std::atoi(argv[2]);
    std::vector<int> sizes;
    for (int i = 3; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    std::map<std::pair<int, bool>, std::vector<Figures>> all;
    for (int round = 1; round <= rounds; ++round) {
        for (const int files : sizes) {
            for (const bool own : {true, false}) {
                const Figures figures = Measure(own, root + QLatin1Char('/') + QString::number(files), files);
                // What the dialog left behind is done before the next one opens.
                QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
                QEventLoop settle;
                QTimer::singleShot(1000, &settle, &QEventLoop::quit);
                settle.exec();
                all[{files, own}].push_back(figures);
                std::printf("round %d %7d files %-9s filled %8.0f ms  longest stall %7.0f ms  enter to return %6.0f ms\n",
                            round, files, own ? "own" : "qtdialog", figures.filled, figures.stall, figures.enter);
                std::fflush(stdout);
            }
        }
    }
    std::printf("\n%7s %-9s %24s %24s %24s\n", "files", "dialog", "filled ms (med, spread)", "stall ms (med, spread)",
                "enter ms (med, spread)");
    for (const auto &[key, figures] : all) {
        std::vector<double> filled, stall, enter;
        for (const Figures &f : figures) {
            filled.push_back(f.filled);
            stall.push_back(f.stall);
            enter.push_back(f.enter);
        }
        const auto cell = [](const std::vector<double> &v) {
            char text[64];
            std::snprintf(text, sizeof text, "%.0f (%.0f-%.0f)", Median(v), *std::min_element(v.begin(), v.end()),
                          *std::max_element(v.begin(), v.end()));
            return std::string(text);
        };
        std::printf("%7d %-9s %24s %24s %24s\n", key.first, key.second ? "own" : "qtdialog", cell(filled).c_str(),
                    cell(stall).c_str(), cell(enter).c_str());
    }
    return 0;
}
