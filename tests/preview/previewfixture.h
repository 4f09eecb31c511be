#pragma once
// The "Presurvey" window as its tests drive it: a plain preview over a test folder, with its
// thumbnail decodes counted and its copies recorded, or the ciphered preview opened from the main
// window with the start-up code's wiring; helpers that read cells back from the grid picture.

#include "app/application.h"
#include "cipher/cipherengine.h"
#include "common/modal.h"
#include "common/pictures.h"
#include "common/qtpath.h"
#include "common/tempdir.h"
#include "common/windowfixture.h"
#include "files/fileoperations.h"
#include "imaging/imaging.h"
#include "mainwin/mainwindow.h"
#include "platform/scriptedplatform.h"
#include "preview/previewwindow.h"
#include "viewer/viewermodel.h"

#include <QAction>
#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

#include <atomic>
#include <filesystem>
#include <set>

namespace veilshot::test {

namespace fs = std::filesystem;

const QColor Background(0xCC, 0xE6, 0xE6);
const QColor FramePen(0x14, 0xA6, 0xAD);
constexpr auto Code = u"preview test code";
constexpr auto HelpText =
    "Viewing - the Blank, the Cursor - the Arrow, a scrolling Strip - Z, X, the Exit - Enter to Copy - C, "
    "the Name - V, to Stop loading - Ctrl, Loading forward - B, Loading back - N ";

inline QByteArray Encoded(const QImage &image, const char *format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.write(image);
    return bytes;
}

inline QImage Uniform(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// Yellow, with a red block in the top-left corner, so that a turn shows its direction.
inline QImage Marked(QSize size)
{
    QImage image = Uniform(size, Qt::yellow);
    QPainter painter(&image);
    painter.fillRect(0, 0, 40, 40, Qt::red);
    return image;
}

inline void WriteBytes(const fs::path &file, const QByteArray &bytes)
{
    test::WriteFile(file, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

// A PNG of one colour, padded after its end with zeros to `size` bytes when that is given.
inline void Photo(const fs::path &file, QSize pixels, QColor colour, qint64 size = 0)
{
    QByteArray bytes = Encoded(Uniform(pixels, colour), "png");
    if (size > 0) {
        QVERIFY(size >= bytes.size());
        bytes.append(QByteArray(size - bytes.size(), '\0'));
    }
    WriteBytes(file, bytes);
}

// The colour of photo i of a long folder: its red channel tells the index back.
inline QColor IndexColour(int i)
{
    return QColor(20 + 2 * i, 90, 160);
}

// Every file under a folder, sub-folders included, relative to it.
inline std::set<std::string> Tree(const fs::path &folder)
{
    std::set<std::string> names;
    for (const auto &entry : fs::recursive_directory_iterator(folder))
        names.insert(fs::relative(entry.path(), folder).string());
    return names;
}

// Plain photos whose thumbnail decodes are counted and whose copies are recorded.
class RecordedPhotos : public PlainPhotos {
public:
    RecordedPhotos(std::shared_ptr<std::atomic<int>> decodes, QStringList &copies)
        : decodes_(std::move(decodes))
        , copies_(copies)
    {
    }
    ThumbnailSource thumbnails(QSize box) const override
    {
        return [counter = decodes_, source = PlainPhotos::thumbnails(box)](const QString &path) {
            ++*counter;
            return source(path);
        };
    }
    void writeCopy(const QString &file, const QString &target) const override
    {
        copies_ << target;
        PlainPhotos::writeCopy(file, target);
    }

private:
    std::shared_ptr<std::atomic<int>> decodes_;
    QStringList &copies_;
};

class PreviewFixture : public QObject, protected test::WindowFixture {
protected:
    std::unique_ptr<PlainModel> model;
    std::unique_ptr<RecordedPhotos> photos;
    std::unique_ptr<PreviewWindow> preview;
    std::shared_ptr<std::atomic<int>> decodes;
    QList<bool> viewed;  // bySpace of every view asked for
    QStringList copies;  // the targets the writer was asked for

    // The ciphered preview opened from the main window.
    std::unique_ptr<MainModel> mainModel;
    std::unique_ptr<cipher::CipherEngine> engine;
    std::unique_ptr<TForm7> main;

    void make(const PreviewKind &kind = PlainPreview(), QSize screen = {1280, 800})
    {
        preview.reset();
        photos = std::make_unique<RecordedPhotos>(decodes, copies);
        preview = std::make_unique<PreviewWindow>(*model, *photos, scripted->platform(), screen, kind, nullptr);
        connect(preview.get(), &PreviewWindow::viewRequested, this, [this](bool bySpace) { viewed << bySpace; });
    }

    // Shows the window and waits for the load it starts.
    void showLoaded()
    {
        preview->show();
        QVERIFY(QTest::qWaitForWindowExposed(preview.get()));
        QTRY_VERIFY(model->preview.kept());
        QVERIFY(!preview->loading());
    }

    // Nothing the window set going is still at work: the events it posted are handled and every
    // thumbnail it asked for, drawn or let go, is made.
    void drained()
    {
        QCoreApplication::processEvents();
        preview->waitForThumbnails();
        QCoreApplication::processEvents();
    }

    // Lists `names` of the test folder as the owner's folder, as it lists them.
    void list(const QStringList &names, int index = 0)
    {
        QStringList paths;
        for (const QString &name : names)
            paths << Q(*dir / name.toStdString());
        model->folder.replace(paths, index);
    }

    // A folder of `count` small photos of the index colours, listed.
    void longFolder(int count)
    {
        QStringList names;
        for (int i = 0; i < count; ++i) {
            const QString name = QStringLiteral("p%1.png").arg(i, 3, 10, QLatin1Char('0'));
            Photo(*dir / name.toStdString(), {8, 8}, IndexColour(i));
            names << name;
        }
        list(names);
    }

    template <typename T = QWidget>
    T *child(const char *name) { return test::Child<T>(preview.get(), name); }
    QLabel *image1() { return child<QLabel>("Image1"); }
    QScrollArea *scrollBox() { return child<QScrollArea>("ScrollBox1"); }
    QString counter() { return child<QLabel>("Label2")->text(); }
    QImage grid() { return image1()->pixmap().toImage(); }
    void key(int k) { QTest::keyClick(preview.get(), Qt::Key(k)); }
    // A right click on the grid: the pop-up menu opens over the cell under the pointer.
    void openMenuAt(QPoint gridPoint)
    {
        pointAt(gridPoint);
        QContextMenuEvent event(QContextMenuEvent::Mouse, gridPoint, image1()->mapToGlobal(gridPoint));
        QApplication::sendEvent(image1(), &event);
    }
    void mbTrigger(const char *name) { test::Action(preview.get(), name)->trigger(); }
    // Puts the pointer over a point of the grid picture.
    void pointAt(QPoint gridPoint) { scripted->windows.pointerAt = image1()->mapToGlobal(gridPoint); }

    // Whether cell k's frame is drawn: its left edge in the frame pen.
    static bool Framed(const QImage &picture, int cell, int columns)
    {
        const QRect frame = CellFrame(cell, columns);
        if (frame.bottom() >= picture.height() || frame.right() >= picture.width())
            return false;
        return Near(picture.pixel(frame.left() + 1, frame.center().y()), FramePen, 8);
    }
    static QRgb Centre(const QImage &picture, int cell, int columns)
    {
        return picture.pixel(CellFrame(cell, columns).center());
    }
    // The photo index a cell of a long folder shows, or -1 for none.
    static int IndexIn(const QImage &picture, int cell, int columns)
    {
        if (!Framed(picture, cell, columns))
            return -1;
        const QRgb pixel = Centre(picture, cell, columns);
        if (!Near(pixel, QColor(qRed(pixel), 90, 160), 2))
            return -1;
        return (qRed(pixel) - 20 + 1) / 2;
    }
    // Pixels other than the background well inside cell k's frame.
    static int Marks(const QImage &picture, int cell, int columns)
    {
        const QRect frame = CellFrame(cell, columns);
        int marks = 0;
        for (int y = frame.top() + 20; y < frame.bottom() - 20; ++y)
            for (int x = frame.left() + 20; x < frame.right() - 20; ++x)
                marks += !Near(picture.pixel(x, y), Background, 8);
        return marks;
    }
    // Where pixels of `colour` lie inside cell k's frame, relative to the frame.
    static QRect Bounds(const QImage &picture, int cell, int columns, const QList<QColor> &colours)
    {
        const QRect frame = CellFrame(cell, columns);
        QRect found;
        for (int y = frame.top(); y <= frame.bottom(); ++y)
            for (int x = frame.left(); x <= frame.right(); ++x)
                for (const QColor &colour : colours)
                    if (Near(picture.pixel(x, y), colour))
                        found |= QRect(x - frame.left(), y - frame.top(), 1, 1);
        return found;
    }

    // --- The ciphered preview behind the main window -----------------------------------------

    void makeMain()
    {
        mainModel = std::make_unique<MainModel>();
        engine = std::make_unique<cipher::CipherEngine>();
        main = std::make_unique<TForm7>(*mainModel, *engine, scripted->platform());
        ConnectPresurvey(*main, *mainModel, *engine, scripted->platform());
        main->show();
        QVERIFY(QTest::qWaitForWindowExposed(main.get()));
        engine->BuildKeyTable(Code);
    }

    void openInMain(const fs::path &file)
    {
        answer({Q(file)});
        main->Panel6Click();
    }

    // Opens the main window's preview, waits for its load and runs `body` on it while it is
    // shown modally; the preview is closed afterwards if the body left it open.
    void duringPresurvey(const std::function<void(PreviewWindow &)> &body)
    {
        bool opened = false;
        test::OnNextModal([&](QWidget *modal) {
            opened = true;
            QPointer<QWidget> shown(modal);
            [&] {
                auto *window = qobject_cast<PreviewWindow *>(modal);
                QVERIFY(window);
                QVERIFY(QTest::qWaitFor([&] { return mainModel->preview.kept() && !window->loading(); }, 20000));
                body(*window);
            }();
            if (shown && shown->isVisible())
                shown->close();
        });
        main->Panel8Click();
        QVERIFY(opened);
    }

    // The cell under a point of a preview's grid becomes where the pointer is.
    void pointAt(PreviewWindow &window, QPoint gridPoint)
    {
        scripted->windows.pointerAt = test::Child<QLabel>(&window, "Image1")->mapToGlobal(gridPoint);
    }

    void setUp()
    {
        setUpFixture();
        model = std::make_unique<PlainModel>();
        decodes = std::make_shared<std::atomic<int>>(0);
        viewed.clear();
        copies.clear();
        make();
    }

    void tearDown()
    {
        preview.reset();
        main.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        engine.reset();
        mainModel.reset();
        model.reset();
        tearDownFixture();
    }
};

}  // namespace veilshot::test
