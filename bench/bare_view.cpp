// The floor for launching with a photo: a bare Qt program that decodes the photo for the screen box
// with one QImageReader and shows it in one QLabel, and nothing else. Without a file it shows an
// empty window of the main window's size and background, the floor for starting up empty; with
// --text the window also shows one line of text in a corner, so that the toolkit's font set-up,
// which any window with words pays, is on both sides of the comparison.
//   usage: bare_view [PHOTO | --text]
#include <QApplication>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const bool text = argc == 2 && QByteArray(argv[1]) == "--text";
    if (argc < 2 || text) {
        QWidget window;
        QPalette palette = window.palette();
        palette.setColor(QPalette::Window, QColor(24, 48, 48));
        window.setPalette(palette);
        window.setAutoFillBackground(true);
        window.resize(758, 515);
        window.move((screen.width() - 758) / 2, (screen.height() - 515) / 2);
        QLabel words(QStringLiteral("Open"), &window);
        words.move(8, 8);
        words.setVisible(text);
        window.show();
        return app.exec();
    }
    QImageReader reader(QString::fromLocal8Bit(argv[1]));
    reader.setScaledSize(reader.size().scaled(screen.size(), Qt::KeepAspectRatio));
    QLabel label;
    label.setPixmap(QPixmap::fromImage(reader.read()));
    label.show();
    return app.exec();
}
