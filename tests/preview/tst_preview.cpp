// The "Presurvey" window driven as a user drives it: its layout, a load of a folder cell by
// cell, paging through a long folder, the stop key, the kept grid, picking a thumbnail with the
// pointer, the keys and the wheel, Name, Copy, turning a photo, and closing during a load. The
// ciphered preview is also opened from the main window, with the start-up code's wiring.

#include "app/application.h"
#include "cipher/cipherengine.h"
#include "files/fileoperations.h"
#include "imaging/imaging.h"
#include "mainwin/mainwindow.h"
#include "common/modal.h"
#include "common/pictures.h"
#include "preview/previewwindow.h"
#include "common/qtpath.h"
#include "platform/scriptedplatform.h"
#include "common/tempdir.h"
#include "viewer/viewermodel.h"
#include "common/windowfixture.h"

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

using namespace veilshot;
namespace fs = std::filesystem;

namespace {

using test::Near;
using test::Q;
using test::ReadPicture;

const QColor Background(0xCC, 0xE6, 0xE6);
const QColor FramePen(0x14, 0xA6, 0xAD);
constexpr auto Code = u"preview test code";
constexpr auto HelpText =
    "Viewing - the Blank, the Cursor - the Arrow, a scrolling Strip - Z, X, the Exit - Enter to Copy - C, "
    "the Name - V, to Stop loading - Ctrl, Loading forward - B, Loading back - N ";

QByteArray Encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.write(image);
    return bytes;
}

QImage Uniform(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// Yellow, with a red block in the top-left corner, so that a turn shows its direction.
QImage Marked(QSize size)
{
    QImage image = Uniform(size, Qt::yellow);
    QPainter painter(&image);
    painter.fillRect(0, 0, 40, 40, Qt::red);
    return image;
}

void WriteBytes(const fs::path &file, const QByteArray &bytes)
{
    test::WriteFile(file, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

// A PNG of one colour, padded after its end with zeros to `size` bytes when that is given.
void Photo(const fs::path &file, QSize pixels, QColor colour, qint64 size = 0)
{
    QByteArray bytes = Encoded(Uniform(pixels, colour), "png");
    if (size > 0) {
        QVERIFY(size >= bytes.size());
        bytes.append(QByteArray(size - bytes.size(), '\0'));
    }
    WriteBytes(file, bytes);
}

// The colour of photo i of a long folder: its red channel tells the index back.
QColor IndexColour(int i)
{
    return QColor(20 + 2 * i, 90, 160);
}

// Every file under a folder, sub-folders included, relative to it.
std::set<std::string> Tree(const fs::path &folder)
{
    std::set<std::string> names;
    for (const auto &entry : fs::recursive_directory_iterator(folder))
        names.insert(fs::relative(entry.path(), folder).string());
    return names;
}

// Ciphers `bytes` into `target` under `code`, storing `extension`.
void CipherInto(const fs::path &target, const QByteArray &bytes, std::u16string_view extension,
                std::u16string_view code = Code)
{
    test::CipherInto(target, bytes, code, extension);
}

}  // namespace

// Plain photos whose thumbnail decodes are counted and whose copies are recorded.
class RecordedPhotos : public PlainPhotos {
public:
    RecordedPhotos(std::shared_ptr<std::atomic<int>> decodes, QStringList &copies)
        : decodes_(std::move(decodes))
        , copies_(copies)
    {
    }
    ThumbnailSource thumbnails() const override
    {
        return [counter = decodes_](const QString &path) {
            ++*counter;
            return Prepared{imaging::OpenFile(path, QSize(ThumbnailBox, ThumbnailBox))};
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

class PreviewTest : public QObject, test::WindowFixture {
    Q_OBJECT

private:
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
        QTRY_VERIFY(model->preview.PreviewKept);
        QVERIFY(!preview->loading());
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
                QVERIFY(QTest::qWaitFor([&] { return mainModel->preview.PreviewKept && !window->loading(); }, 20000));
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

private slots:
    void init()
    {
        setUpFixture();
        model = std::make_unique<PlainModel>();
        decodes = std::make_shared<std::atomic<int>>(0);
        viewed.clear();
        copies.clear();
        make();
    }

    void cleanup()
    {
        preview.reset();
        main.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        engine.reset();
        mainModel.reset();
        model.reset();
        tearDownFixture();
    }

    // --- The window ------------------------------------------------------------------------

    void windowOfEachKind_data()
    {
        QTest::addColumn<bool>("ciphered");
        QTest::newRow("TForm13, ciphered photos") << true;
        QTest::newRow("TForm14, plain photos") << false;
    }

    // The plain viewer stays on top of everything; its preview must still come above it.
    void aboveAnOwnerThatStaysOnTop()
    {
        QWidget owner(nullptr, Qt::Window | Qt::WindowStaysOnTopHint);
        PlainModel model;
        const PlainPhotos photos;
        PreviewWindow preview(model, photos, scripted->platform(), {1280, 800}, PlainPreview(), &owner);
        QVERIFY(preview.windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(preview.windowFlags() & Qt::WindowMinimizeButtonHint);
    }

    void windowOfEachKind()
    {
        QFETCH(bool, ciphered);
        make(ciphered ? CipheredPreview() : PlainPreview());
        list({});
        showLoaded();
        QCOMPARE(preview->objectName(), QString(ciphered ? "TForm13" : "TForm14"));
        QCOMPARE(preview->windowTitle(), QString("Presurvey"));
        QCOMPARE(child<QLabel>("Label1")->text(), QString(HelpText));
        const Qt::WindowFlags flags = preview->windowFlags();
        QCOMPARE(bool(flags & Qt::WindowStaysOnTopHint), ciphered);
        QCOMPARE(bool(flags & Qt::WindowMinimizeButtonHint), !ciphered);
        QCOMPARE(bool(flags & Qt::WindowMaximizeButtonHint), !ciphered);
        QVERIFY(flags & Qt::WindowCloseButtonHint);

        QStringList names, captions;
        for (QAction *action : child<QMenu>("PopupMenu1")->actions()) {
            names << action->objectName();
            captions << action->text();
        }
        QStringList expectedNames = {"C1", "V1", "pr1", "e1", "mb1", "mb2"};
        QStringList expectedCaptions = {"To copy - C",         "Name - V",           "Viewing - the Blank",
                                        "Exit - Enter",        "Loading forward - B", "Loading back - N "};
        if (!ciphered) {
            expectedNames << "pG1" << "F1";
            expectedCaptions << "To turn to the righ - G" << "To turn to the left - F";
        }
        QCOMPARE(names, expectedNames);
        QCOMPARE(captions, expectedCaptions);

        // Covering the screen with its frame: the grid above, the counter and the help line
        // along the bottom.
        QCOMPARE(preview->frameGeometry(), QRect(0, 0, 1280, 800));
        const int w = preview->width(), h = preview->height();
        QCOMPARE(child("ScrollBox1")->geometry(), QRect(0, 0, w, h - 25));
        QCOMPARE(child("Panel2")->geometry(), QRect(0, h - 25, 70, 25));
        QCOMPARE(child("Panel1")->geometry(), QRect(70, h - 25, w - 70, 25));
        QCOMPARE(counter(), QString("0-0"));
        QCOMPARE(preview->CursorMaxX, 1240);
        QCOMPARE(preview->CursorMaxY, 760);
    }

    // --- Loading ---------------------------------------------------------------------------

    void loadDrawsEveryCellInListOrder_data()
    {
        QTest::addColumn<bool>("ciphered");
        QTest::addColumn<int>("screenWidth");
        QTest::addColumn<int>("columns");
        QTest::newRow("5 columns") << false << 1280 << 5;
        QTest::newRow("3 columns") << false << 800 << 3;
        QTest::newRow("one short row of 7 on a screen for 8") << false << 1820 << 8;
        QTest::newRow("ciphered kind, 5 columns") << true << 1280 << 5;
    }

    void loadDrawsEveryCellInListOrder()
    {
        QFETCH(bool, ciphered);
        QFETCH(int, screenWidth);
        QFETCH(int, columns);
        make(ciphered ? CipheredPreview() : PlainPreview(), {screenWidth, 800});
        Photo(*dir / "a.png", {60, 60}, Qt::red);
        Photo(*dir / "b.png", {400, 300}, Qt::green);
        Photo(*dir / "c.png", {300, 400}, Qt::blue);
        test::WriteFile(*dir / "d.png", test::RandomBytes(3000));  // no picture at all
        Photo(*dir / "e.png", {90, 30}, Qt::magenta);
        Photo(*dir / "f.png", {30, 30}, Qt::darkGreen);
        list({"a.png", "b.png", "gone.png", "c.png", "d.png", "e.png", "f.png"});
        showLoaded();

        const QImage picture = grid();
        QCOMPARE(counter(), QString("7-0"));
        QVERIFY(!model->preview.LoadStopped);
        QVERIFY(messages().isEmpty());
        for (int cell = 0; cell < 7; ++cell)
            QVERIFY2(Framed(picture, cell, columns), qPrintable(QString::number(cell)));
        QVERIFY(!Framed(picture, 7, columns));  // no frame after the last photo
        QVERIFY(Near(Centre(picture, 0, columns), Qt::red));
        QVERIFY(Near(Centre(picture, 1, columns), Qt::green));
        QVERIFY(Near(Centre(picture, 2, columns), Background, 2));  // the missing file: an empty frame
        QVERIFY(Near(Centre(picture, 3, columns), Qt::blue));
        QVERIFY(Near(Centre(picture, 5, columns), Qt::magenta));
        QVERIFY(Near(Centre(picture, 6, columns), Qt::darkGreen));
        // The 400 x 300 photo: 206 x 154, 28 from the frame's top.
        QCOMPARE(Bounds(picture, 1, columns, {Qt::green}), QRect(2, 28, 206, 154));
        // The undecodable file is marked in its cell, which is not left looking empty.
        QVERIFY2(Marks(picture, 4, columns) > 200, qPrintable(QString::number(Marks(picture, 4, columns))));
        QCOMPARE(Marks(picture, 2, columns), 0);
        QCOMPARE(decodes->load(), 6);  // the missing one is not asked for
    }

    void thumbnailFitsItsFrame_data()
    {
        QTest::addColumn<bool>("ciphered");
        QTest::addColumn<QSize>("photo");
        QTest::addColumn<QRect>("thumbnail");  // within the frame
        QTest::newRow("plain 400x300") << false << QSize(400, 300) << QRect(2, 28, 206, 154);
        QTest::newRow("plain 300x400") << false << QSize(300, 400) << QRect(28, 2, 154, 206);
        QTest::newRow("plain square") << false << QSize(50, 50) << QRect(2, 2, 206, 206);
        // 206 / 1.5 = 137.33: 137 high, inset (210 - 137) div 2 = 36.
        QTest::newRow("plain 300x200") << false << QSize(300, 200) << QRect(2, 36, 206, 137);
        QTest::newRow("plain 200x300") << false << QSize(200, 300) << QRect(36, 2, 137, 206);
        // Stretched from the inset to the inset from the far edge: a pixel more when odd.
        QTest::newRow("ciphered 300x200") << true << QSize(300, 200) << QRect(2, 36, 206, 138);
        QTest::newRow("ciphered 200x300") << true << QSize(200, 300) << QRect(36, 2, 138, 206);
        QTest::newRow("ciphered 400x300") << true << QSize(400, 300) << QRect(2, 28, 206, 154);
    }

    void thumbnailFitsItsFrame()
    {
        QFETCH(bool, ciphered);
        QFETCH(QSize, photo);
        QFETCH(QRect, thumbnail);
        make(ciphered ? CipheredPreview() : PlainPreview());
        QStringList names;
        for (int i = 0; i < 6; ++i) {
            names << QStringLiteral("g%1.png").arg(i);
            Photo(*dir / names.last().toStdString(), {20, 20}, Qt::gray);
        }
        Photo(*dir / "h.png", photo, Qt::red);
        names << "h.png";
        list(names);
        showLoaded();
        QCOMPARE(Bounds(grid(), 6, 5, {Qt::red}), thumbnail);  // second row, second cell
    }

    // --- Paging ----------------------------------------------------------------------------

    void pagesThroughALongFolder_data()
    {
        QTest::addColumn<int>("screenWidth");
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("batch");
        QTest::newRow("5 columns, batches of 80") << 1280 << 5 << 80;
        QTest::newRow("just wide enough for 5 columns") << 1145 << 5 << 80;
        QTest::newRow("7 columns, batches of 84") << 1600 << 7 << 84;
        QTest::newRow("8 columns, batches of 80") << 1820 << 8 << 80;
    }

    void pagesThroughALongFolder()
    {
        QFETCH(int, screenWidth);
        QFETCH(int, columns);
        QFETCH(int, batch);
        make(PlainPreview(), {screenWidth, 800});
        longFolder(90);
        const QString first = QStringLiteral("90-%1").arg(90 - batch);
        auto settled = [this] {
            QTRY_VERIFY(!preview->loading());
            QTest::qWait(100);  // pictures asked for ahead have had the time to be made
        };

        showLoaded();
        settled();
        QCOMPARE(preview->pager.GridColumns, columns);
        QCOMPARE(counter(), first);
        QVERIFY(model->preview.LoadStopped);
        QCOMPARE(preview->pager.NextStart, batch);
        QCOMPARE(IndexIn(grid(), 0, columns), 0);
        QCOMPARE(IndexIn(grid(), batch - 1, columns), batch - 1);
        QCOMPARE(IndexIn(grid(), batch, columns), -1);
        QCOMPARE(decodes->load(), batch);  // no picture beyond the batch

        // N from the first batch does nothing.
        key(Qt::Key_N);
        QVERIFY(!preview->loading());
        QCOMPARE(counter(), first);

        *decodes = 0;
        key(Qt::Key_B);
        settled();
        QCOMPARE(preview->pager.GridColumns, columns);
        QCOMPARE(counter(), QString("90-0"));
        QCOMPARE(preview->pager.GridBase, batch);
        QCOMPARE(IndexIn(grid(), 0, columns), batch);
        QCOMPARE(IndexIn(grid(), 89 - batch, columns), 89);
        QCOMPARE(IndexIn(grid(), 90 - batch, columns), -1);
        QCOMPARE(decodes->load(), 90 - batch);
        QVERIFY(model->preview.PagingOn);

        // N goes back to the batch before.
        key(Qt::Key_N);
        settled();
        QCOMPARE(counter(), first);
        QCOMPARE(preview->pager.GridBase, 0);
        QCOMPARE(IndexIn(grid(), 0, columns), 0);
        QCOMPARE(IndexIn(grid(), batch - 1, columns), batch - 1);

        // Forward to the end, and forward again starts over at the first photo.
        mbTrigger("mb1");
        settled();
        QCOMPARE(IndexIn(grid(), 0, columns), batch);
        key(Qt::Key_B);
        settled();
        QCOMPARE(counter(), first);
        QCOMPARE(IndexIn(grid(), 0, columns), 0);
        QVERIFY(!model->preview.PagingOn);
        // From the menu too.
        mbTrigger("mb1");
        settled();
        mbTrigger("mb2");
        settled();
        QCOMPARE(IndexIn(grid(), 0, columns), 0);
        QVERIFY(messages().isEmpty());
    }

    void shortFolderDoesNotPage_data()
    {
        QTest::addColumn<int>("screenWidth");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("shown");
        QTest::newRow("84 photos, 7 columns: all") << 1600 << 84 << 84;
        QTest::newRow("84 photos, 8 columns: a batch of 80") << 1820 << 84 << 80;
        QTest::newRow("80 photos, 5 columns: all") << 1280 << 80 << 80;
    }

    void shortFolderDoesNotPage()
    {
        QFETCH(int, screenWidth);
        QFETCH(int, count);
        QFETCH(int, shown);
        make(PlainPreview(), {screenWidth, 800});
        longFolder(count);
        showLoaded();
        const int columns = preview->pager.GridColumns;
        QCOMPARE(counter(), QStringLiteral("%1-0").arg(count));
        QCOMPARE(IndexIn(grid(), shown - 1, columns), shown - 1);
        QCOMPARE(IndexIn(grid(), shown, columns), -1);
        const QImage before = grid();
        *decodes = 0;
        key(Qt::Key_B);
        key(Qt::Key_N);
        QVERIFY(!preview->loading());
        QTest::qWait(100);
        QCOMPARE(decodes->load(), 0);
        QCOMPARE(grid(), before);
    }

    // --- The stop key ----------------------------------------------------------------------

    void ctrlHeldStopsBeforeTheFirstCell_data()
    {
        QTest::addColumn<bool>("forward");
        QTest::newRow("the first load") << false;
        QTest::newRow("loading forward") << true;
    }

    void ctrlHeldStopsBeforeTheFirstCell()
    {
        QFETCH(bool, forward);
        longFolder(90);
        if (forward) {
            showLoaded();
            QTRY_VERIFY(!preview->loading());
        }
        const int start = forward ? 80 : 0;
        scripted->keys.held.insert(Qt::Key_Control);
        if (forward) {
            key(Qt::Key_B);
            QTRY_VERIFY(!preview->loading());
        } else {
            showLoaded();
        }
        QVERIFY(model->preview.LoadStopped);
        QVERIFY(model->preview.PreviewKept);
        QCOMPARE(preview->pager.NextStart, start);
        QCOMPARE(preview->pager.DrawnCount, 0);
        QCOMPARE(counter(), QStringLiteral("90-%1").arg(90 - start));
        const QImage picture = grid();
        for (int cell : {0, 1, 5})
            QVERIFY(!Framed(picture, cell, 5));
        QVERIFY(Near(picture.pixel(CellFrame(0, 5).center()), Background, 2));
        // No empty rows to scroll through.
        QCOMPARE(image1()->height(), scrollBox()->viewport()->height());
        QCOMPARE(scrollBox()->verticalScrollBar()->maximum(), 0);

        // Nothing drawn, nothing to pick.
        pointAt(CellFrame(0, 5).center());
        key(Qt::Key_Space);
        QVERIFY(viewed.isEmpty());
        QVERIFY(preview->isVisible());
    }

    void ctrlPressedMidwayStopsThere_data()
    {
        QTest::addColumn<int>("pressedAtRead");
        QTest::newRow("before the second cell") << 2;
        QTest::newRow("before the fourth cell") << 4;
        QTest::newRow("before the first cell of row 2") << 6;
        QTest::newRow("before the last cell") << 12;
    }

    void ctrlPressedMidwayStopsThere()
    {
        QFETCH(int, pressedAtRead);
        longFolder(12);
        int reads = 0;
        scripted->keys.beforeRead = [&](int k) {
            if (k == Qt::Key_Control && ++reads == pressedAtRead)
                scripted->keys.held.insert(Qt::Key_Control);
        };
        showLoaded();
        QTest::qWait(100);
        const int drawn = pressedAtRead - 1;
        QCOMPARE(reads, pressedAtRead);  // nothing is read after the stop
        QVERIFY(model->preview.LoadStopped);
        QCOMPARE(preview->pager.NextStart, drawn);
        QCOMPARE(preview->pager.DrawnCount, drawn);
        QCOMPARE(counter(), QString("12-0"));
        const QImage picture = grid();
        for (int cell = 0; cell < 12; ++cell)
            QCOMPARE(IndexIn(picture, cell, 5), cell < drawn ? cell : -1);

        // The cells not drawn cannot be picked; the drawn ones can.
        pointAt(CellFrame(drawn, 5).center());
        key(Qt::Key_Space);
        QVERIFY(viewed.isEmpty());
        pointAt(CellFrame(drawn - 1, 5).center());
        key(Qt::Key_Space);
        QCOMPARE(viewed, QList<bool>{true});
        QCOMPARE(model->folder.index(), drawn - 1);
    }

    // --- The kept grid ---------------------------------------------------------------------

    void keptGridComesBackWithoutDecoding_data()
    {
        QTest::addColumn<QString>("closing");
        QTest::newRow("close box") << "close box";
        QTest::newRow("Enter") << "Enter";
        QTest::newRow("e1") << "e1";
    }

    void keptGridComesBackWithoutDecoding()
    {
        QFETCH(QString, closing);
        longFolder(7);
        showLoaded();
        QCOMPARE(decodes->load(), 7);
        const QImage before = grid();
        if (closing == "Enter")
            key(Qt::Key_Return);
        else if (closing == "e1")
            test::Action(preview.get(), "e1")->trigger();
        else
            preview->close();
        QVERIFY(!preview->isVisible());
        QVERIFY(model->preview.PreviewKept);

        *decodes = 0;
        preview->show();
        QVERIFY(QTest::qWaitForWindowExposed(preview.get()));
        QTest::qWait(200);  // past the moment a load would begin
        QVERIFY(!preview->loading());
        QCOMPARE(decodes->load(), 0);
        QCOMPARE(grid(), before);
        QCOMPARE(counter(), QString("7-0"));

        // Another folder opened in the owner: the grid goes.
        preview->discard();
        QVERIFY(!model->preview.PreviewKept);
        QVERIFY(!preview->isVisible());
        QVERIFY(!Framed(grid(), 0, 5));
        QCOMPARE(image1()->height(), scrollBox()->viewport()->height());
        preview->show();
        QTRY_VERIFY(model->preview.PreviewKept);
        QCOMPARE(decodes->load(), 7);
        QCOMPARE(IndexIn(grid(), 6, 5), 6);
    }

    // --- Picking ---------------------------------------------------------------------------

    void pickingFindsTheCellUnderThePointer_data()
    {
        QTest::addColumn<QString>("how");  // Space, double-click, or pr1 from the menu
        QTest::addColumn<int>("scroll");
        QTest::addColumn<QPoint>("at");  // on the grid picture
        QTest::addColumn<int>("picked");  // -1: none
        // 18 photos in 5 columns: rows of cells 0-4, 5-9, 10-14 and 15-17.
        QTest::newRow("Space, cell 0") << "Space" << 0 << QPoint(125, 125) << 0;
        QTest::newRow("double-click, cell 3") << "double-click" << 0 << QPoint(785, 125) << 3;
        QTest::newRow("Space, the gap right of cell 1") << "Space" << 0 << QPoint(455, 125) << 1;
        QTest::newRow("double-click, the gap below cell 2") << "double-click" << 0 << QPoint(565, 235) << 2;
        QTest::newRow("Space, the last pixel of the last column") << "Space" << 0 << QPoint(1119, 100) << 4;
        QTest::newRow("Space, the first pixel inside") << "Space" << 0 << QPoint(21, 21) << 0;
        QTest::newRow("Space, on the left edge") << "Space" << 0 << QPoint(20, 125) << -1;
        QTest::newRow("double-click, on the top edge") << "double-click" << 0 << QPoint(125, 20) << -1;
        QTest::newRow("Space, past the last column") << "Space" << 0 << QPoint(1125, 125) << -1;
        QTest::newRow("double-click, past the last column") << "double-click" << 0 << QPoint(1200, 345) << -1;
        QTest::newRow("Space, past the last cell") << "Space" << 140 << QPoint(785, 785) << -1;
        QTest::newRow("double-click, the last cell") << "double-click" << 140 << QPoint(565, 785) << 17;
        QTest::newRow("Space, scrolled, cell 5") << "Space" << 140 << QPoint(125, 245) << 5;
        QTest::newRow("Space, scrolled, too near the top") << "Space" << 140 << QPoint(125, 155) << -1;
        QTest::newRow("double-click, scrolled, cell 0") << "double-click" << 140 << QPoint(125, 162) << 0;
        QTest::newRow("pr1, cell 8") << "pr1" << 0 << QPoint(785, 345) << 8;
        QTest::newRow("pr1, scrolled, the gap below cell 12") << "pr1" << 140 << QPoint(565, 675) << 12;
        QTest::newRow("pr1, past the last cell") << "pr1" << 140 << QPoint(785, 785) << -1;
    }

    void pickingFindsTheCellUnderThePointer()
    {
        QFETCH(QString, how);
        QFETCH(int, scroll);
        QFETCH(QPoint, at);
        QFETCH(int, picked);
        const bool bySpace = how == "Space";
        longFolder(18);
        model->folder.setIndex(9);
        showLoaded();
        scrollBox()->verticalScrollBar()->setValue(scroll);
        QCOMPARE(scrollBox()->verticalScrollBar()->value(), scroll);
        pointAt(at);
        if (how == "Space") {
            key(Qt::Key_Space);
        } else if (how == "pr1") {
            openMenuAt(at);
            pointAt(CellFrame(9, 5).center());  // the command acts on the cell the menu opened on
            test::Action(preview.get(), "pr1")->trigger();
            child<QMenu>("PopupMenu1")->close();
        } else {
            QTest::mouseDClick(image1(), Qt::LeftButton, {}, at);
        }
        if (picked < 0) {
            QVERIFY(viewed.isEmpty());
            QCOMPARE(model->folder.index(), 9);
            QVERIFY(preview->isVisible());
            QVERIFY(!preview->CellPicked);
        } else {
            QCOMPARE(viewed, QList<bool>{bySpace});
            QCOMPARE(model->folder.index(), picked);
            QVERIFY(!preview->isVisible());
        }
    }

    void commandsNeedAPickedCell_data()
    {
        QTest::addColumn<int>("command");
        QTest::newRow("C") << int(Qt::Key_C);
        QTest::newRow("V") << int(Qt::Key_V);
        QTest::newRow("G") << int(Qt::Key_G);
        QTest::newRow("F") << int(Qt::Key_F);
    }

    void commandsNeedAPickedCell()
    {
        QFETCH(int, command);
        Photo(*dir / "a.png", {400, 300}, Qt::red);
        Photo(*dir / "b.png", {400, 300}, Qt::green);
        list({"a.png", "b.png"}, 1);
        showLoaded();
        const auto bytes = test::ReadFile(*dir / "b.png");
        // Past the last cell.
        pointAt(CellFrame(2, 5).center());
        key(command);
        QVERIFY(!preview->CellPicked);
        QCOMPARE(model->folder.index(), 1);
        // On a cell whose file has gone.
        fs::remove(*dir / "a.png");
        pointAt(CellFrame(0, 5).center());
        key(command);
        QVERIFY(!preview->CellPicked);
        QCOMPARE(model->folder.index(), 1);
        QVERIFY(scripted->dialogs.requests.isEmpty());
        QVERIFY(messages().isEmpty());
        QCOMPARE(test::ReadFile(*dir / "b.png"), bytes);
        QCOMPARE(Tree(dir->path()), (std::set<std::string>{"b.png"}));
    }

    // --- Keys and the wheel ----------------------------------------------------------------

    void arrowKeysMoveThePointerWithinLimits_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<int>("arrow");
        QTest::addColumn<QPoint>("from");
        QTest::addColumn<QPoint>("to");
        const QSize s(1280, 800);
        QTest::newRow("Up, below 60") << s << int(Qt::Key_Up) << QPoint(300, 61) << QPoint(300, 56);
        QTest::newRow("Up, at 60") << s << int(Qt::Key_Up) << QPoint(300, 60) << QPoint(300, 60);
        QTest::newRow("Left, right of 30") << s << int(Qt::Key_Left) << QPoint(31, 300) << QPoint(26, 300);
        QTest::newRow("Left, at 30") << s << int(Qt::Key_Left) << QPoint(30, 300) << QPoint(30, 300);
        QTest::newRow("Right, below CursorMaxX") << s << int(Qt::Key_Right) << QPoint(1239, 300) << QPoint(1244, 300);
        QTest::newRow("Right, at CursorMaxX") << s << int(Qt::Key_Right) << QPoint(1240, 300) << QPoint(1240, 300);
        QTest::newRow("Down, above CursorMaxY") << s << int(Qt::Key_Down) << QPoint(300, 759) << QPoint(300, 764);
        QTest::newRow("Down, at CursorMaxY") << s << int(Qt::Key_Down) << QPoint(300, 760) << QPoint(300, 760);
        const QSize small(1000, 700);
        QTest::newRow("Right, at a smaller screen's limit") << small << int(Qt::Key_Right) << QPoint(960, 300)
                                                            << QPoint(960, 300);
        QTest::newRow("Down, at a smaller screen's limit") << small << int(Qt::Key_Down) << QPoint(300, 660)
                                                           << QPoint(300, 660);
        QTest::newRow("Down, within a smaller screen") << small << int(Qt::Key_Down) << QPoint(300, 655)
                                                       << QPoint(300, 660);
    }

    void arrowKeysMoveThePointerWithinLimits()
    {
        QFETCH(QSize, screen);
        QFETCH(int, arrow);
        QFETCH(QPoint, from);
        QFETCH(QPoint, to);
        make(PlainPreview(), screen);
        longFolder(3);
        showLoaded();
        scripted->windows.pointerAt = from;
        key(arrow);
        QCOMPARE(scripted->windows.pointerAt, to);
    }

    void scrollKeysAndTheWheel_data()
    {
        QTest::addColumn<QList<int>>("keys");   // Z, X
        QTest::addColumn<QList<QPoint>>("wheel");  // angle deltas
        QTest::addColumn<int>("scrolled");
        QTest::newRow("X") << QList<int>{Qt::Key_X} << QList<QPoint>{} << 10;
        QTest::newRow("Z") << QList<int>{Qt::Key_Z} << QList<QPoint>{} << -10;
        QTest::newRow("X three times, Z once") << QList<int>{Qt::Key_X, Qt::Key_X, Qt::Key_X, Qt::Key_Z}
                                                << QList<QPoint>{} << 20;
        QTest::newRow("wheel towards the user") << QList<int>{} << QList<QPoint>{{0, -120}} << 8;
        QTest::newRow("wheel away from the user") << QList<int>{} << QList<QPoint>{{0, 120}} << -8;
        QTest::newRow("a fine wheel step is a whole step")
            << QList<int>{} << QList<QPoint>{{0, -15}, {0, -15}} << 16;
        QTest::newRow("a wheel that is not up is down") << QList<int>{} << QList<QPoint>{{120, 0}} << 8;
    }

    void scrollKeysAndTheWheel()
    {
        QFETCH(QList<int>, keys);
        QFETCH(QList<QPoint>, wheel);
        QFETCH(int, scrolled);
        longFolder(18);
        showLoaded();
        QScrollBar *bar = scrollBox()->verticalScrollBar();
        bar->setValue(100);
        for (int k : keys)
            key(k);
        QWidget *viewport = scrollBox()->viewport();
        for (QPoint delta : wheel) {
            const QPoint at(300, 300);
            QWheelEvent event(at, viewport->mapToGlobal(at), QPoint(), delta, Qt::NoButton, Qt::NoModifier,
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(viewport, &event);
        }
        QCOMPARE(bar->value(), 100 + scrolled);
        if (!keys.isEmpty())
            QCOMPARE(preview->focusWidget(), static_cast<QWidget *>(scrollBox()));
    }

    // --- Name ------------------------------------------------------------------------------

    void nameShowsFolderFileSizeAndPosition_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("kilobytes");
        QTest::addColumn<bool>("fromMenu");
        QTest::newRow("123456 bytes at 5") << 5 << qint64(123456) << "123 KB" << false;
        QTest::newRow("999 bytes at 0") << 0 << qint64(999) << "0 KB" << false;
        QTest::newRow("1000 bytes at 2") << 2 << qint64(1000) << "1 KB" << false;
        QTest::newRow("from the menu, 123456 bytes at 5") << 5 << qint64(123456) << "123 KB" << true;
    }

    void nameShowsFolderFileSizeAndPosition()
    {
        QFETCH(int, position);
        QFETCH(qint64, size);
        QFETCH(QString, kilobytes);
        QFETCH(bool, fromMenu);
        QStringList names;
        for (int i = 0; i < 7; ++i) {
            names << QStringLiteral("n%1.png").arg(i);
            Photo(*dir / names.last().toStdString(), {20, 20}, Qt::gray, i == position ? size : 0);
        }
        list(names);
        showLoaded();
        pointAt(CellFrame(position, 5).center());
        if (fromMenu) {
            openMenuAt(CellFrame(position, 5).center());
            auto *menu = child<QMenu>("PopupMenu1");
            QTRY_VERIFY(menu->isVisible());
            pointAt(CellFrame(0, 5).center());  // the command acts on the cell the menu opened on
            test::Action(preview.get(), "V1")->trigger();
            menu->close();
        } else {
            key(Qt::Key_V);
        }
        QCOMPARE(messages().size(), 1);
        const QStringList lines = messages().constFirst().split(QLatin1Char('\n'));
        QCOMPARE(lines, (QStringList{Q(dir->path()) + "/", names[position], kilobytes, QString::number(position)}));
        QCOMPARE(model->folder.index(), position);
        QVERIFY(preview->isVisible());
    }

    // --- Copy ------------------------------------------------------------------------------

    void copyWritesAByteCopy_data()
    {
        QTest::addColumn<QString>("answer");    // the dialog's answer, in the folder; "" cancels
        QTest::addColumn<QString>("existing");  // a file there already
        QTest::addColumn<QString>("target");    // where the copy goes; "" for none
        QTest::newRow("the offered name kept") << "b.png" << "" << "The copied files/b.png";
        QTest::newRow("another name without the extension") << "out/x" << "" << "out/x.png";
        QTest::newRow("another name with the extension") << "out/y.png" << "" << "out/y.png";
        QTest::newRow("the extension in another case") << "out/Z.PNG" << "" << "out/Z.PNG.png";
        QTest::newRow("beside the photo under another name") << "c" << "" << "c.png";
        QTest::newRow("an existing target") << "out/x" << "out/x.png" << "";
        QTest::newRow("an existing copy in the copied files") << "b.png" << "The copied files/b.png" << "";
        QTest::newRow("cancelled") << "" << "" << "";
    }

    void copyWritesAByteCopy()
    {
        QFETCH(QString, answer);
        QFETCH(QString, existing);
        QFETCH(QString, target);
        Photo(*dir / "a.png", {40, 30}, Qt::red);
        Photo(*dir / "b.png", {40, 30}, Qt::green, 123456);
        fs::create_directory(*dir / "out");
        if (!existing.isEmpty()) {
            fs::create_directories((*dir / existing.toStdString()).parent_path());
            test::WriteText(*dir / existing.toStdString(), "already here");
        }
        list({"a.png", "b.png"});
        showLoaded();
        const auto before = Tree(dir->path());
        if (!answer.isEmpty())
            this->answer({Q(*dir / answer.toStdString())});
        pointAt(CellFrame(1, 5).center());
        key(Qt::Key_C);

        QCOMPARE(scripted->dialogs.requests.size(), 1);
        QCOMPARE(scripted->dialogs.requests[0].proposedName, QString("b.png"));
        QCOMPARE(scripted->dialogs.requests[0].startFolder, Q(dir->path()));
        QCOMPARE(model->folder.index(), 1);
        if (!target.isEmpty()) {
            QVERIFY(messages().isEmpty());
            QCOMPARE(copies, QStringList{Q(*dir / target.toStdString())});
            QCOMPARE(test::ReadFile(*dir / target.toStdString()), test::ReadFile(*dir / "b.png"));
            auto expected = before;
            expected.insert(target.toStdString());
            if (target.startsWith("The copied files"))
                expected.insert("The copied files");
            QCOMPARE(Tree(dir->path()), expected);
        } else {
            if (existing.isEmpty())
                QVERIFY(messages().isEmpty());
            else
                QCOMPARE(messages(), QStringList{QString(
                    "The file with such name already exists.\n\rREPLACE the FOLDER or the NAME of the FILE.")});
            QVERIFY(copies.isEmpty());  // the writer is not even asked
            QCOMPARE(Tree(dir->path()), before);
            if (!existing.isEmpty())
                QCOMPARE(test::ReadFile(*dir / existing.toStdString()).size(), std::size_t(12));
        }
        QVERIFY(preview->isVisible());
    }

    void copyOfAFileGoneMeanwhile()
    {
        Photo(*dir / "a.png", {40, 30}, Qt::red);
        Photo(*dir / "b.png", {40, 30}, Qt::green);
        list({"a.png", "b.png"});
        showLoaded();
        answer({Q(*dir / "x.png")});
        openMenuAt(CellFrame(1, 5).center());
        fs::remove(*dir / "b.png");
        test::Action(preview.get(), "C1")->trigger();
        child<QMenu>("PopupMenu1")->close();
        QCOMPARE(messages(), QStringList{"There is no file."});
        QVERIFY(scripted->dialogs.requests.isEmpty());
        QCOMPARE(Tree(dir->path()), (std::set<std::string>{"a.png"}));
    }

    // --- Turning ---------------------------------------------------------------------------

    void turnRewritesThePhotoAndItsCell_data()
    {
        QTest::addColumn<bool>("ciphered");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("command");  // a key or a menu item
        QTest::addColumn<QSize>("after");
        QTest::addColumn<QPoint>("redAt");  // a pixel of the red block in the file afterwards
        QTest::addColumn<QRect>("thumbnail");
        QTest::newRow("G turns right") << false << "a.png" << "G" << QSize(300, 400) << QPoint(279, 20) << QRect(28, 2, 154, 206);
        QTest::newRow("F turns left") << false << "a.png" << "F" << QSize(300, 400) << QPoint(20, 379) << QRect(28, 2, 154, 206);
        QTest::newRow("pG1 turns right") << false << "a.png" << "pG1" << QSize(300, 400) << QPoint(279, 20)
                                         << QRect(28, 2, 154, 206);
        QTest::newRow("F1 turns left") << false << "a.png" << "F1" << QSize(300, 400) << QPoint(20, 379)
                                       << QRect(28, 2, 154, 206);
        QTest::newRow("a JPEG") << false << "a.jpg" << "G" << QSize(300, 400) << QPoint(279, 20) << QRect(28, 2, 154, 206);
        QTest::newRow(".tiff is not turned") << false << "a.tiff" << "G" << QSize(400, 300) << QPoint(20, 20)
                                             << QRect(2, 28, 206, 154);
        QTest::newRow("TForm13 does not turn") << true << "a.png" << "G" << QSize(400, 300) << QPoint(20, 20)
                                               << QRect(2, 28, 206, 154);
    }

    void turnRewritesThePhotoAndItsCell()
    {
        QFETCH(bool, ciphered);
        QFETCH(QString, name);
        QFETCH(QString, command);
        QFETCH(QSize, after);
        make(ciphered ? CipheredPreview() : PlainPreview());
        QFETCH(QPoint, redAt);
        QFETCH(QRect, thumbnail);
        const fs::path file = *dir / name.toStdString();
        const QByteArray format = name.endsWith(".jpg") ? "jpeg" : name.endsWith(".tiff") ? "tiff" : "png";
        WriteBytes(file, Encoded(Marked({400, 300}), format));
        Photo(*dir / "b.png", {20, 20}, Qt::gray);
        list({"b.png", name, "b.png"});
        showLoaded();
        const auto bytes = test::ReadFile(file);
        QCOMPARE(Bounds(grid(), 1, 5, {Qt::yellow, Qt::red}), QRect(2, 28, 206, 154));

        pointAt(CellFrame(1, 5).center());
        if (command.size() == 1) {
            key(command == "G" ? Qt::Key_G : Qt::Key_F);
        } else {
            openMenuAt(CellFrame(1, 5).center());
            pointAt(CellFrame(0, 5).center());
            test::Action(preview.get(), command.toLatin1())->trigger();
            child<QMenu>("PopupMenu1")->close();
        }
        const QImage turned = ReadPicture(file);
        QCOMPARE(turned.size(), after);
        QVERIFY(Near(turned.pixel(redAt), Qt::red, 48));
        if (after == QSize(400, 300))
            QCOMPARE(test::ReadFile(file), bytes);
        // The cell shows the photo as it is now, without another load.
        const QImage picture = grid();
        QCOMPARE(Bounds(picture, 1, 5, {Qt::yellow, Qt::red}), thumbnail);
        const QRect frame = CellFrame(1, 5);
        const QPoint corner = frame.topLeft() + thumbnail.topLeft();
        const QPoint redCorner = redAt.x() > 150 ? corner + QPoint(thumbnail.width() - 6, 5)
                               : redAt.y() > 150 ? corner + QPoint(5, thumbnail.height() - 6)
                                                 : corner + QPoint(5, 5);
        QVERIFY(Near(picture.pixel(redCorner), Qt::red, 48));
        QVERIFY(Near(Centre(picture, 0, 5), Qt::gray));  // the other cells stay as they were
        QVERIFY(Near(Centre(picture, 2, 5), Qt::gray));
        QVERIFY(messages().isEmpty());
        QVERIFY(!preview->loading());
        QCOMPARE(model->folder.index(), ciphered ? 0 : 1);  // G is not the ciphered preview's key
    }

    // --- Closing during a load -------------------------------------------------------------

    void closeDuringALoadStopsIt_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("drawn");  // cells drawn when the request comes before cell 6
        QTest::newRow("Enter") << "Enter" << 6;
        QTest::newRow("close box") << "close box" << 6;
        QTest::newRow("e1") << "e1" << 6;
        QTest::newRow("Space on a drawn cell") << "Space" << 6;
        QTest::newRow("Enter waiting in the queue") << "queued Enter" << 7;
    }

    void closeDuringALoadStopsIt()
    {
        QFETCH(QString, how);
        QFETCH(int, drawn);
        longFolder(30);
        int reads = 0;
        scripted->keys.beforeRead = [&](int k) {
            if (k != Qt::Key_Control || ++reads != 7)
                return;
            // Between cell 5 and cell 6.
            if (how == "Enter")
                key(Qt::Key_Return);
            else if (how == "close box")
                preview->close();
            else if (how == "e1")
                test::Action(preview.get(), "e1")->trigger();
            else if (how == "Space") {
                pointAt(CellFrame(2, 5).center());
                key(Qt::Key_Space);
            } else
                QCoreApplication::postEvent(preview.get(),
                                            new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier));
        };
        preview->show();
        QTRY_VERIFY(!preview->isVisible());
        QVERIFY(!preview->loading());
        QTest::qWait(200);
        const QImage picture = grid();
        for (int cell = 0; cell < 12; ++cell)
            QCOMPARE(IndexIn(picture, cell, 5), cell < drawn ? cell : -1);
        QCOMPARE(preview->pager.DrawnCount, drawn);
        QCOMPARE(preview->pager.NextStart, drawn);
        QVERIFY(model->preview.LoadStopped);
        QCOMPARE(viewed, how == "Space" ? QList<bool>{true} : QList<bool>{});
        if (how == "Space")
            QCOMPARE(model->folder.index(), 2);
        QVERIFY(messages().isEmpty());
    }

    // --- The ciphered preview of the main window --------------------------------------------

    void cipheredLoadDrawsWhatTheCodeOpens()
    {
        makeMain();
        CipherInto(*dir / "a.veil", Encoded(Uniform({300, 200}, Qt::red), "png"), u".png");
        CipherInto(*dir / "b.veil", Encoded(Uniform({60, 60}, Qt::green), "png"), u".png", u"another code");
        CipherInto(*dir / "c.veil", Encoded(Uniform({200, 300}, Qt::blue), "png"), u".png");
        CipherInto(*dir / "d.veil", QByteArray(500, 'x'), u".png");  // deciphers, but no picture
        // No ciphered photos at all: a photo renamed, and a file shorter than a header.
        WriteBytes(*dir / "e.veil", Encoded(Uniform({60, 60}, Qt::green), "png"));
        WriteBytes(*dir / "f.veil", QByteArray("tiny"));
        const auto before = Tree(dir->path());
        openInMain(*dir / "c.veil");
        QCOMPARE(mainModel->folder.count(), 6);

        QImage picture;
        QString count;
        duringPresurvey([&](PreviewWindow &window) {
            picture = test::Child<QLabel>(&window, "Image1")->pixmap().toImage();
            count = test::Child<QLabel>(&window, "Label2")->text();
            QCOMPARE(window.objectName(), QString("TForm13"));
        });
        QCOMPARE(count, QString("6-0"));
        for (int cell = 0; cell < 6; ++cell)
            QVERIFY(Framed(picture, cell, 5));
        QCOMPARE(Bounds(picture, 0, 5, {Qt::red}), QRect(2, 36, 206, 138));
        QVERIFY(Near(Centre(picture, 1, 5), Background, 2));  // another code: an empty frame
        QCOMPARE(Bounds(picture, 1, 5, {Qt::green}), QRect());
        QCOMPARE(Bounds(picture, 2, 5, {Qt::blue}), QRect(36, 2, 138, 206));
        QCOMPARE(Marks(picture, 1, 5), 0);
        QVERIFY(Marks(picture, 3, 5) > 200);  // no picture in it: marked
        QVERIFY(Marks(picture, 4, 5) > 200);  // no ciphered photo: marked, not taken for another code
        QVERIFY(Marks(picture, 5, 5) > 200);
        QVERIFY(messages().isEmpty());
        QCOMPARE(Tree(dir->path()), before);  // nothing deciphered reaches the disk
    }

    void cipheredCopyIsTheDecipheredPhoto_data()
    {
        QTest::addColumn<int>("cell");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("target");  // "" for none
        QTest::newRow("the offered name kept") << 0 << "holiday.jpeg" << "The copied files/holiday.jpeg";
        QTest::newRow("another name") << 0 << "out/x" << "out/x.jpeg";
        QTest::newRow("the extension in another case") << 0 << "out/y.JPEG" << "out/y.JPEG.jpeg";
        QTest::newRow("a photo of another code") << 1 << "out/z" << "";
    }

    void cipheredCopyIsTheDecipheredPhoto()
    {
        QFETCH(int, cell);
        QFETCH(QString, answer);
        QFETCH(QString, target);
        makeMain();
        QByteArray jpeg = Encoded(Uniform({64, 48}, Qt::red), "jpeg");
        CipherInto(*dir / "holiday.veil", jpeg, u".jpeg");
        CipherInto(*dir / "other.veil", jpeg, u".jpeg", u"another code");
        fs::create_directory(*dir / "out");
        openInMain(*dir / "holiday.veil");
        const auto before = Tree(dir->path());
        this->answer({Q(*dir / answer.toStdString())});
        duringPresurvey([&](PreviewWindow &window) {
            pointAt(window, CellFrame(cell, 5).center());
            QTest::keyClick(&window, Qt::Key_C);
            QVERIFY(window.isVisible());
        });
        QCOMPARE(scripted->dialogs.requests.size(), 2);  // the open, then the copy
        // A sealed file keeps its extension inside: under another code there is none to offer.
        const QString offered = cell == 0 ? "holiday.jpeg" : "other";
        QCOMPARE(scripted->dialogs.requests[1].proposedName, offered);
        QCOMPARE(scripted->dialogs.requests[1].startFolder, Q(dir->path()));
        QVERIFY(messages().isEmpty());
        auto expected = before;
        if (!target.isEmpty()) {
            expected.insert(target.toStdString());
            if (target.startsWith("The copied files"))
                expected.insert("The copied files");
            const auto copy = test::ReadFile(*dir / target.toStdString());
            QCOMPARE(QByteArray(reinterpret_cast<const char *>(copy.data()), qsizetype(copy.size())), jpeg);
        }
        QCOMPARE(Tree(dir->path()), expected);
    }

    void viewFromTheCipheredPreview_data()
    {
        QTest::addColumn<bool>("bySpace");
        QTest::addColumn<bool>("fullScreen");
        QTest::addColumn<QList<bool>>("topmostCalls");
        QTest::newRow("Space, in a window") << true << false << QList<bool>{};
        QTest::newRow("Space, full screen") << true << true << QList<bool>{false, true};
        QTest::newRow("double-click, full screen") << false << true << QList<bool>{false};
    }

    void viewFromTheCipheredPreview()
    {
        QFETCH(bool, bySpace);
        QFETCH(bool, fullScreen);
        QFETCH(QList<bool>, topmostCalls);
        makeMain();
        CipherInto(*dir / "a.veil", Encoded(Uniform({40, 30}, Qt::red), "png"), u".png");
        CipherInto(*dir / "b.veil", Encoded(Uniform({40, 30}, Qt::green), "png"), u".png");
        CipherInto(*dir / "c.veil", Encoded(Uniform({40, 30}, Qt::blue), "png"), u".png");
        openInMain(*dir / "a.veil");
        if (fullScreen) {
            main->toggleFullScreen();
            QVERIFY(main->FullScreen);
        }
        scripted->windows.topmostCalls.clear();
        duringPresurvey([&](PreviewWindow &window) {
            const QPoint at = CellFrame(2, 5).center();
            pointAt(window, at);
            if (bySpace)
                QTest::keyClick(&window, Qt::Key_Space);
            else
                QTest::mouseDClick(test::Child<QLabel>(&window, "Image1"), Qt::LeftButton, {}, at);
            QVERIFY(!window.isVisible());
        });
        QCOMPARE(mainModel->folder.index(), 2);
        QCOMPARE(main->findChild<QLabel *>("Label1")->text(), Q(*dir / "c.veil"));
        QCOMPARE(scripted->windows.topmostCalls, topmostCalls);
    }

    void anotherFolderDiscardsTheKeptPreview()
    {
        makeMain();
        fs::create_directory(*dir / "one");
        fs::create_directory(*dir / "two");
        for (const char *name : {"one/a.veil", "one/b.veil", "two/c.veil", "two/d.veil", "two/e.veil"})
            CipherInto(*dir / name, Encoded(Uniform({40, 30}, Qt::red), "png"), u".png");
        openInMain(*dir / "one/a.veil");
        QPointer<PreviewWindow> first;
        duringPresurvey([&](PreviewWindow &window) { first = &window; });
        QVERIFY(first);  // closed with its grid: kept
        QVERIFY(mainModel->preview.PreviewKept);
        QString count;
        duringPresurvey([&](PreviewWindow &window) {
            QCOMPARE(&window, first.data());
            count = test::Child<QLabel>(&window, "Label2")->text();
        });
        QCOMPARE(count, QString("2-0"));

        openInMain(*dir / "two/c.veil");
        QVERIFY(first.isNull());
        QVERIFY(!mainModel->preview.PreviewKept);
        QImage picture;
        duringPresurvey([&](PreviewWindow &window) {
            count = test::Child<QLabel>(&window, "Label2")->text();
            picture = test::Child<QLabel>(&window, "Image1")->pixmap().toImage();
        });
        QCOMPARE(count, QString("3-0"));
        QVERIFY(Framed(picture, 2, 5));
        QVERIFY(!Framed(picture, 3, 5));
    }
};

QTEST_MAIN(PreviewTest)
#include "tst_preview.moc"
