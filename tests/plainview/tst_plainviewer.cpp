// The plain viewer driven as a user drives it: opening a folder of photos, fitting the picture,
// the held picture and the redraw delay, the key map, turning photos, the wallpaper, copying,
// the windows it hands over to, full screen and dropped files.

#include "common/modal.h"
#include "common/pictures.h"
#include "common/qtpath.h"
#include "common/tempdir.h"
#include "common/windowfixture.h"
#include "imaging/imaging.h"
#include "plainview/plainviewer.h"
#include "platform/scriptedplatform.h"
#include "viewer/panelbutton.h"
#include "viewer/elidedlabel.h"
#include "viewer/texts.h"
#include "viewer/viewermodel.h"

#include <QAction>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>

using namespace veilshot;
namespace fs = std::filesystem;

namespace {

using test::Near;
using test::Q;
using test::ReadPicture;

// White, with a red block in the top-left corner and a blue one in the top-right, so that a
// turn and a mirror image tell apart.
QImage Marked(QSize size = {400, 300})
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    const int block = std::min({40, size.width() / 4, size.height() / 4});
    QPainter painter(&image);
    painter.fillRect(0, 0, block, block, Qt::red);
    painter.fillRect(size.width() - block, 0, block, block, Qt::blue);
    return image;
}

void Save(const fs::path &file, const QImage &image, const char *format)
{
    if (qstrcmp(format, "gif") == 0)  // Qt reads GIF but does not write it
        imaging::Save(image, Q(file), imaging::FindEncoderByMime("image/gif"));
    else
        QVERIFY2(image.save(Q(file), format), file.c_str());
}

void Save(const fs::path &file, QSize size, const char *format = "png")
{
    Save(file, Marked(size), format);
}

QByteArray FormatOf(const fs::path &file)
{
    QImageReader reader(Q(file));
    reader.setDecideFormatFromContent(true);
    return reader.format();
}

}  // namespace

class PlainViewerTest : public QObject, test::WindowFixture {
    Q_OBJECT

private:
    std::unique_ptr<PlainModel> model;
    std::unique_ptr<TForm7g> viewer;

    void make(QSize screen = {1280, 800})
    {
        viewer.reset();
        viewer = std::make_unique<TForm7g>(*model, scripted->platform(), screen);
        viewer->show();
        QVERIFY(QTest::qWaitForWindowExposed(viewer.get()));
    }

    template <typename T = QWidget>
    T *child(const char *name) { return test::Child<T>(viewer.get(), name); }
    PanelButton *panel(const char *name) { return child<PanelButton>(name); }
    QAction *action(const char *name) { return test::Action(viewer.get(), name); }
    QString label1() { return child<QLabel>("Label1")->text(); }
    QImage shown() { return child<QLabel>("Image1")->pixmap().toImage(); }
    QTimer *timer1() { return viewer->slideShow()->timer(); }
    void key(int k) { QTest::keyClick(viewer.get(), Qt::Key(k)); }

    void open(const fs::path &file)
    {
        answer({Q(file)});
        panel("Panel6")->click();
    }

    // Every command but "< >", the radio strip and "Open".
    static QStringList commandPanels() { return {"Panel1", "Panel3", "Panel4", "Panel5", "Panel7", "Panel8"}; }
    static QStringList menuItems()
    {
        return {"mn1", "mn2", "mn3", "mn4", "mn5", "mn6", "mn7", "mn8", "mn10", "pG1", "F1", "mn11"};
    }

private slots:
    void init()
    {
        setUpFixture();
        model = std::make_unique<PlainModel>();
        make();
    }

    void cleanup()
    {
        viewer.reset();
        model.reset();
        tearDownFixture();
    }

    // --- Creation and opening --------------------------------------------------------------

    void startsWithItsCommandsDisabled_data()
    {
        QTest::addColumn<bool>("earlierList");
        QTest::newRow("first viewer") << false;
        QTest::newRow("after a viewer that opened a folder") << true;
    }

    void startsWithItsCommandsDisabled()
    {
        QFETCH(bool, earlierList);
        if (earlierList) {
            Save(*dir / "a.png", {60, 40});
            Save(*dir / "b.png", {60, 40});
            open(*dir / "a.png");
            QCOMPARE(model->folder.count(), 2);
            viewer->close();
            make();
            QCOMPARE(model->folder.count(), 2);  // the list outlives the window
        }
        QCOMPARE(viewer->windowTitle(), QString("Veilshot Viewing"));
        QVERIFY(viewer->windowFlags() & Qt::WindowStaysOnTopHint);
        for (const char *name : {"Panel6", "Panel11"})
            QVERIFY2(panel(name)->isEnabled(), name);
        for (const char *name : {"RadioButton9", "RadioButton1", "RadioButton4", "RadioButton6"})
            QVERIFY2(child<QRadioButton>(name)->isEnabled(), name);
        for (const QString &name : commandPanels())
            QVERIFY2(!panel(name.toLatin1())->isEnabled(), qPrintable(name));
        for (const QString &name : menuItems())
            QVERIFY2(!action(name.toLatin1())->isEnabled(), qPrintable(name));
        QVERIFY(!viewer->holdsPicture());
        QVERIFY(!test::ShowsPicture(viewer.get()));
        const QImage area = child("Panel13")->grab().toImage();
        QCOMPARE(QColor(area.pixel(area.width() - 2, area.height() - 2)), QColor(2, 55, 68));
    }

    // The bar stays centred and whole, at the smallest size and maximised alike.
    void barStaysCentredAndWhole_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("smallest") << QSize(0, 0);
        QTest::newRow("maximised") << QSize(1280, 770);
        QTest::newRow("wide") << QSize(900, 500);
    }

    void barStaysCentredAndWhole()
    {
        QFETCH(QSize, size);
        viewer->resize(size);
        QCoreApplication::processEvents();
        const QWidget *bar = child("Panel2");
        QCOMPARE(bar->x(), (viewer->width() - bar->width()) / 2);
        for (const char *name : {"Panel7", "Panel6", "Panel1", "Panel12"}) {
            const QWidget *button = child(name);
            const QRect inWindow(button->mapTo(viewer.get(), QPoint(0, 0)), button->size());
            QVERIFY2(viewer->rect().contains(inWindow), name);
        }
    }

    // A path too long for its label loses its middle, not the file name; the whole path is
    // the tool tip.
    void aLongPathKeepsItsFileName()
    {
        const fs::path folder = *dir / std::string(150, 'f');
        fs::create_directory(folder);
        Save(folder / "holiday-0042.png", {40, 30});
        open(folder / "holiday-0042.png");
        const auto *label = child<QLabel>("Label1");
        QVERIFY(label->text().endsWith("holiday-0042.png"));
        QVERIFY(label->text().startsWith(Q(dir->path()).left(4)));
        QVERIFY(label->text().contains(QChar(0x2026)));
        QTRY_VERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width());
        QCOMPARE(label->toolTip(), Q(folder / "holiday-0042.png"));
        // Wide enough again, the whole path shows.
        viewer->resize(1280, 500);
        if (label->fontMetrics().horizontalAdvance(Q(folder / "holiday-0042.png")) <= label->contentsRect().width())
            QCOMPARE(label->text(), Q(folder / "holiday-0042.png"));
    }

    void aNewViewerHasNoPreviewOfAnEarlierOne()
    {
        // A grid an earlier viewer's preview kept while paging; that preview went with its viewer.
        QVERIFY(model->preview.forward(BatchLimit + 1));
        model->preview.finish(0);
        QVERIFY(model->preview.kept() && model->preview.pagingOn() && model->preview.stopped());
        make();
        QVERIFY(!model->preview.kept());
        QVERIFY(!model->preview.pagingOn());
        QVERIFY(!model->preview.stopped());
        int closed = 0;
        connect(viewer.get(), &ViewerWindow::previewOutdated, this, [&closed] { ++closed; });
        Save(*dir / "a.png", {40, 30});
        open(*dir / "a.png");
        QCOMPARE(closed, 0);

        // A preview this viewer keeps is closed when another folder opens.
        model->preview.finish(0);
        QVERIFY(model->preview.kept());
        open(*dir / "a.png");
        QCOMPARE(closed, 1);
        QVERIFY(!model->preview.kept());
    }

    void openListsTheFolderPhotosOnly()
    {
        Save(*dir / "b10.png", {40, 30}, "png");
        Save(*dir / "b2.jpg", {40, 30}, "jpeg");
        Save(*dir / "B1.bmp", {40, 30}, "bmp");
        Save(*dir / "c.TIF", {40, 30}, "tiff");
        Save(*dir / "d.gif", {40, 30}, "gif");
        Save(*dir / "e.webp", {40, 30}, "png");
        Save(*dir / "f.psd", {40, 30}, "png");  // not a kind the viewer shows
        test::WriteText(*dir / "notes.txt", "not a photo");
        fs::create_directory(*dir / "x.jpg");  // a folder named like a photo

        open(*dir / "b2.jpg");
        QCOMPARE(scripted->dialogs.requests.last().filter, QString::fromUtf8(PlainFilter));
        const QStringList expected = {Q(*dir / "B1.bmp"), Q(*dir / "b2.jpg"), Q(*dir / "b10.png"), Q(*dir / "c.TIF"),
                                      Q(*dir / "d.gif"), Q(*dir / "e.webp")};
        QCOMPARE(model->folder.paths(), expected);
        QCOMPARE(model->folder.index(), 1);
        QCOMPARE(label1(), Q(*dir / "b2.jpg"));
        QCOMPARE(child<QLabel>("Label2")->text(), QString("1"));
        QVERIFY(viewer->holdsPicture());
        QVERIFY(Near(shown().pixel(2, 2), Qt::red, 47));

        key(Qt::Key_Right);
        QCOMPARE(label1(), Q(*dir / "b10.png"));
        QCOMPARE(child<QLabel>("Label2")->text(), QString("2"));
        QVERIFY(messages().isEmpty());
    }

    // The photo is shown as soon as it is decoded, alone, while its folder is listed beside it;
    // the listing then brings its number and the photos around it, without showing it again:
    // a photo that cannot be shown is reported once.
    void openShowsThePhotoBeforeItsFolderIsListed_data()
    {
        QTest::addColumn<bool>("shows");
        QTest::newRow("a photo") << true;
        QTest::newRow("a photo that cannot be shown") << false;
    }

    void openShowsThePhotoBeforeItsFolderIsListed()
    {
        QFETCH(bool, shows);
        for (const char *name : {"a.png", "b.png", "c.png"})
            Save(*dir / name, {40, 30}, "png");
        if (!shows)
            test::WriteText(*dir / "b.png", "not a picture");
        QList<int> countsWhenShown;
        int listed = 0;
        connect(&model->folder, &FolderModel::currentChanged, this, [&] { countsWhenShown << model->folder.count(); });
        connect(&model->folder, &FolderModel::listChanged, this, [&] { ++listed; });

        open(*dir / "b.png");
        QCOMPARE(countsWhenShown, QList<int>{1});
        QCOMPARE(listed, 1);
        QCOMPARE(model->folder.count(), 3);
        QCOMPARE(model->folder.index(), 1);
        QCOMPARE(child<QLabel>("Label2")->text(), QString("1"));
        QCOMPARE(messages().size(), shows ? 0 : 1);
        QCOMPARE(viewer->holdsPicture(), shows);
        for (const char *name : {"a.png", "c.png"})
            QVERIFY2(viewer->preparedPaths().contains(Q(*dir / name)), name);
    }

    void openEnablesTheCommands_data()
    {
        QTest::addColumn<int>("photos");
        QTest::newRow("several photos") << 2;
        QTest::newRow("one photo") << 1;
    }

    void openEnablesTheCommands()
    {
        QFETCH(int, photos);
        for (int i = 0; i < photos; ++i)
            Save(*dir / ("p" + std::to_string(i) + ".png"), {40, 30});
        open(*dir / "p0.png");
        const bool several = photos > 1;
        for (const char *name : {"Panel3", "Panel4", "Panel5", "Panel8"})
            QVERIFY2(panel(name)->isEnabled() == several, name);
        for (const char *name : {"mn1", "mn2", "mn3"})
            QVERIFY2(action(name)->isEnabled() == several, name);
        for (const char *name : {"Panel1", "Panel7", "Panel6", "Panel11"})
            QVERIFY2(panel(name)->isEnabled(), name);
        for (const char *name : {"mn4", "mn5", "mn6", "mn7", "mn8", "mn10", "mn11", "pG1", "F1"})
            QVERIFY2(action(name)->isEnabled(), name);
    }

    void photoSizeIsTheFullSizeThoughDecodedForTheScreen()
    {
        make(QSize(400, 300));
        Save(*dir / "big.jpg", {1200, 600}, "jpeg");
        open(*dir / "big.jpg");
        QCOMPARE(model->PhotoWidth, 1200);
        QCOMPARE(model->PhotoHeight, 600);
        // 758 x 471 for a picture of ratio 2, drawn at that size.
        QCOMPARE(child("Image1")->geometry(), QRect(0, 46, 758, 379));
        QCOMPARE(shown().size(), QSize(758, 379));
    }

    // --- Fitting ---------------------------------------------------------------------------

    void fitsThePicture_data()
    {
        QTest::addColumn<QSize>("photo");
        QTest::addColumn<QSize>("window");
        QTest::addColumn<bool>("fullScreen");
        QTest::addColumn<QRect>("area");
        QTest::addColumn<QRect>("picture");
        // Area 560 x 556: 560 / 3 = 186.67 high; (556 - 186.67) = 369.33 rounds to 369, halved 184.
        QTest::newRow("wide photo in a tall window")
            << QSize(300, 100) << QSize(560, 600) << false << QRect(0, 0, 560, 556) << QRect(0, 184, 560, 187);
        // Area 900 x 476: 476 / 3 = 158.67 wide; (900 - 158.67) = 741.33 rounds to 741, halved 370.
        QTest::newRow("tall photo in a wide window")
            << QSize(100, 300) << QSize(900, 520) << false << QRect(0, 0, 900, 476) << QRect(370, 0, 159, 476);
        // Area 800 x 475: 712.5 wide rounds to the even 712; 87.5 to 88, halved 44.
        QTest::newRow("a half rounds to even")
            << QSize(300, 200) << QSize(800, 519) << false << QRect(0, 0, 800, 475) << QRect(44, 0, 712, 475);
        // Area 801 x 477: 715.5 wide rounds to 716; the offset 85.5 rounds to 86 before halving
        // (43), where halving 801 - 716 would give 42.
        QTest::newRow("offset rounded before halving")
            << QSize(300, 200) << QSize(801, 521) << false << QRect(0, 0, 801, 477) << QRect(43, 0, 716, 477);
        // The whole 1280 x 800 client: 1280 / 3 = 426.67 high; 373.33 rounds to 373, halved 186.
        QTest::newRow("full screen, no bar")
            << QSize(300, 100) << QSize(758, 515) << true << QRect(0, 0, 1280, 800) << QRect(0, 186, 1280, 427);
    }

    void fitsThePicture()
    {
        QFETCH(QSize, photo);
        QFETCH(QSize, window);
        QFETCH(bool, fullScreen);
        QFETCH(QRect, area);
        QFETCH(QRect, picture);
        Save(*dir / "photo.png", photo);
        viewer->resize(window);
        open(*dir / "photo.png");
        if (fullScreen) {
            key(Qt::Key_M);
            QVERIFY(test::InFullScreen(viewer.get()));
        }
        QTRY_COMPARE(child("Panel13")->geometry(), area);
        QTRY_COMPARE(child("Image1")->geometry(), picture);
        // Drawn again at the label's own size whenever the geometry changes, never stretched.
        QTRY_COMPARE(shown().size(), picture.size());
    }

    // --- The held picture and the redraw delay ----------------------------------------------

    void removedFileKeepsThePictureAndSaysSoAfterAResize()
    {
        Save(*dir / "a.png", Marked({60, 40}), "png");
        Save(*dir / "b.png", {60, 40});
        open(*dir / "a.png");
        QVERIFY(Near(shown().pixel(2, 2), Qt::red, 47));
        {
            test::ExpectModal confirm([](QWidget *modal) {
                QCOMPARE(modal->objectName(), QString("TForm8"));
                modal->findChild<PanelButton *>("Panel1")->click();  // "Yes"
            });
            action("mn6")->trigger();
        }
        QVERIFY(!fs::exists(*dir / "a.png"));
        QVERIFY(!viewer->holdsPicture());

        auto *redrawDelay = child<QTimer>("Timer2");
        QCOMPARE(redrawDelay->interval(), 100);
        viewer->resize(700, 480);
        QVERIFY(redrawDelay->isActive());
        QCOMPARE(label1(), Q(*dir / "a.png"));  // not at the resize itself
        QTRY_COMPARE(label1(), QString(NoFileText));
        QVERIFY(QString(NoFileText).startsWith(QString(21, ' ') + "THERE"));
        QVERIFY(!redrawDelay->isActive());
        QVERIFY(Near(shown().pixel(2, 2), Qt::red, 47));  // the old picture stays
        QVERIFY(messages().isEmpty());
    }

    void nothingToDoBeforeTheFirstPhoto()
    {
        viewer->resize(700, 480);
        QVERIFY(!child<QTimer>("Timer2")->isActive());
        key(Qt::Key_M);
        QVERIFY(!test::InFullScreen(viewer.get()));
        key(Qt::Key_G);
        key(Qt::Key_F);
        key(Qt::Key_Up);
        QVERIFY(messages().isEmpty());
        QVERIFY(scripted->dialogs.requests.isEmpty());

        // The first turn after the open goes right: red top-left corner to the top right.
        Save(*dir / "a.png", Marked(), "png");
        open(*dir / "a.png");
        key(Qt::Key_G);
        const QImage turned = ReadPicture(*dir / "a.png");
        QCOMPARE(turned.size(), QSize(300, 400));
        QVERIFY(Near(turned.pixel(279, 20), Qt::red, 47));
    }

    // --- Keys ------------------------------------------------------------------------------

    void digitsChooseTheSlideShow_data()
    {
        QTest::addColumn<int>("digit");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("radio");
        QTest::addColumn<int>("interval");  // 0: manual stepping
        QTest::newRow("1") << int(Qt::Key_1) << "RadioButton9" << "RadioButton1" << 1000;
        QTest::newRow("2") << int(Qt::Key_2) << "RadioButton9" << "RadioButton2" << 2000;
        QTest::newRow("3") << int(Qt::Key_3) << "RadioButton9" << "RadioButton3" << 3000;
        QTest::newRow("4 is 5 s") << int(Qt::Key_4) << "RadioButton9" << "RadioButton4" << 5000;
        QTest::newRow("5 is 10 s") << int(Qt::Key_5) << "RadioButton9" << "RadioButton5" << 10000;
        QTest::newRow("6 is 20 s") << int(Qt::Key_6) << "RadioButton9" << "RadioButton6" << 20000;
        QTest::newRow("7 is Man.") << int(Qt::Key_7) << "RadioButton2" << "RadioButton9" << 0;
    }

    void digitsChooseTheSlideShow()
    {
        QFETCH(int, digit);
        QFETCH(QString, from);
        QFETCH(QString, radio);
        QFETCH(int, interval);
        child<QRadioButton>(from.toLatin1())->setChecked(true);
        key(digit);
        QVERIFY(child<QRadioButton>(radio.toLatin1())->isChecked());
        QCOMPARE(viewer->slideShow()->manual(), interval == 0);
        if (interval)
            QCOMPARE(timer1()->interval(), interval);
    }

    void eightAndNineReachTheFocusedControl()
    {
        auto *edit = new QLineEdit(viewer.get());
        edit->show();
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_8);
        QTest::keyClick(edit, Qt::Key_9);
        QTest::keyClick(edit, Qt::Key_4);  // the window's: "5"
        QCOMPARE(edit->text(), QString("89"));
        QVERIFY(child<QRadioButton>("RadioButton4")->isChecked());
        QCOMPARE(child("Panel12")->width(), 48);  // 9 does not widen the strip here
    }

    void digitsDoNothingInFullScreen()
    {
        Save(*dir / "a.png", {60, 40});
        open(*dir / "a.png");
        key(Qt::Key_M);
        QVERIFY(test::InFullScreen(viewer.get()));
        key(Qt::Key_2);
        QVERIFY(child<QRadioButton>("RadioButton9")->isChecked());
        QVERIFY(viewer->slideShow()->manual());
        key(Qt::Key_M);
        QVERIFY(!test::InFullScreen(viewer.get()));
        key(Qt::Key_2);
        QVERIFY(child<QRadioButton>("RadioButton2")->isChecked());
    }

    void eClosesTheViewer()
    {
        Save(*dir / "a.png", {60, 40});
        open(*dir / "a.png");
        int closed = 0;
        connect(viewer.get(), &TForm7g::closed, this, [&closed] { ++closed; });
        key(Qt::Key_E);
        QVERIFY(!viewer->isVisible());
        QCOMPARE(closed, 1);
        QVERIFY(!viewer->holdsPicture());
    }

    // --- Turning ---------------------------------------------------------------------------

    void turnsThePhotoInItsFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<bool>("left");
        QTest::addColumn<bool>("turned");
        QTest::newRow("jpg right") << "a.jpg" << QByteArray("jpeg") << false << true;
        QTest::newRow("jpg left") << "a.jpg" << QByteArray("jpeg") << true << true;
        QTest::newRow("jpeg stays a JPEG") << "a.jpeg" << QByteArray("jpeg") << false << true;
        QTest::newRow("png left") << "a.png" << QByteArray("png") << true << true;
        QTest::newRow("bmp right") << "a.BMP" << QByteArray("bmp") << false << true;
        QTest::newRow("gif left") << "a.gif" << QByteArray("gif") << true << true;
        QTest::newRow("tif right") << "a.tif" << QByteArray("tiff") << false << true;
        QTest::newRow("tiff is not turned") << "a.tiff" << QByteArray("tiff") << false << false;
        // The name alone decides: these hold bytes of a kind that is turned elsewhere.
        QTest::newRow("jpe is not turned") << "a.jpe" << QByteArray("jpeg") << false << false;
        QTest::newRow("ico is not turned") << "a.ico" << QByteArray("png") << true << false;
    }

    void turnsThePhotoInItsFile()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, format);
        QFETCH(bool, left);
        QFETCH(bool, turned);
        const fs::path file = *dir / name.toStdString();
        Save(file, Marked(), format.constData());
        const auto before = test::ReadFile(file);
        open(file);
        QCOMPARE(model->PhotoWidth, 400);

        key(left ? Qt::Key_F : Qt::Key_G);
        QVERIFY(messages().isEmpty());
        QCOMPARE(dir->entries(), std::vector<std::string>{name.toStdString()});
        if (!turned) {
            QCOMPARE(test::ReadFile(file), before);
            QCOMPARE(model->PhotoWidth, 400);
            return;
        }
        QCOMPARE(FormatOf(file), format);
        const QImage picture = ReadPicture(file);
        QCOMPARE(picture.size(), QSize(300, 400));
        // Right: top-left to top-right, top-right to bottom-right. Left: top-left to
        // bottom-left, top-right to top-left.
        const QPoint red = left ? QPoint(20, 379) : QPoint(279, 20);
        const QPoint blue = left ? QPoint(20, 20) : QPoint(279, 379);
        QVERIFY2(Near(picture.pixel(red), Qt::red, 47), "red corner");
        QVERIFY2(Near(picture.pixel(blue), Qt::blue, 47), "blue corner");
        QVERIFY(Near(picture.pixel(150, 200), Qt::white, 47));
        // And the viewer shows the turned photo.
        QCOMPARE(model->PhotoWidth, 300);
        QCOMPARE(model->PhotoHeight, 400);
        const QImage seen = shown();
        QVERIFY(std::abs(seen.width() * 4 - seen.height() * 3) <= 4);  // upright: 3 wide, 4 high
        const double scale = seen.width() / 300.0;
        QVERIFY(Near(seen.pixel(int(red.x() * scale), int(red.y() * scale)), Qt::red, 47));
    }

    // Esc during a long turn abandons it, held or only tapped: the file stays as it was, the
    // photo is shown again and the status line says that the turn was stopped.
    void escapeAbandonsALongTurn_data()
    {
        QTest::addColumn<bool>("tapped");
        QTest::newRow("held") << false;
        QTest::newRow("tapped") << true;
    }

    void escapeAbandonsALongTurn()
    {
        QFETCH(bool, tapped);
        QImage noise(4000, 3000, QImage::Format_RGB32);
        for (int y = 0; y < noise.height(); ++y)
            for (int x = 0; x < noise.width(); ++x)
                noise.setPixel(x, y, qRgb((x * 7 + y) & 0xFF, (x * y) & 0xFF, (x ^ y) & 0xFF));
        const fs::path file = *dir / "big.png";
        Save(file, noise, "png");
        const auto before = test::ReadFile(file);
        open(file);
        if (tapped)
            QTimer::singleShot(100, viewer.get(), [this] { key(Qt::Key_Escape); });  // while it turns
        else
            scripted->keys.held = {Qt::Key_Escape};
        key(Qt::Key_G);
        scripted->keys.held.clear();
        QVERIFY(messages().isEmpty());
        QCOMPARE(test::ReadFile(file), before);
        QCOMPARE(dir->entries(), std::vector<std::string>{"big.png"});  // no temporary file left
        // Said as a stop, the path kept: the photo shown is that file still.
        QCOMPARE(child<ElidedLabel>("Label1")->fullText(), QString::fromUtf8(TurnStopped) + "   " + Q(file));
        QVERIFY(test::ShowsPicture(viewer.get()));
        QCOMPARE(model->PhotoWidth, 4000);
    }

    // A photo of a format that is read but never written is not turned, and the user is told why.
    void aPhotoWithoutAnEncoderIsNotTurnedAndSaysWhy_data()
    {
        QTest::addColumn<QString>("name");
        for (const char *name : {"a.heic", "a.HEIF", "a.avif", "a.webp", "a.jxl"})
            QTest::newRow(name) << name;
    }

    void aPhotoWithoutAnEncoderIsNotTurnedAndSaysWhy()
    {
        QFETCH(QString, name);
        const fs::path file = *dir / name.toStdString();
        Save(file, {60, 40}, "png");  // read by its content
        const auto before = test::ReadFile(file);
        open(file);
        QVERIFY(test::ShowsPicture(viewer.get()));
        key(Qt::Key_G);
        action("F1")->trigger();
        QCOMPARE(messages(), QStringList(2, QString::fromUtf8(NotTurnedMessage)));
        QCOMPARE(test::ReadFile(file), before);
        QCOMPARE(label1(), Q(file));
    }

    void fourRightTurnsGiveThePngBack()
    {
        QImage original(37, 23, QImage::Format_RGB32);
        for (int y = 0; y < original.height(); ++y)
            for (int x = 0; x < original.width(); ++x)
                original.setPixel(x, y, qRgb(x * 7, y * 11, (x + y) * 3));
        Save(*dir / "a.png", original, "png");
        open(*dir / "a.png");
        for (int turn = 0; turn < 4; ++turn)
            action("pG1")->trigger();
        QVERIFY(messages().isEmpty());
        QCOMPARE(ReadPicture(*dir / "a.png").convertToFormat(QImage::Format_RGB32), original);
    }

    void leftRequestEndsWithAFileThatIsNotTurned()
    {
        Save(*dir / "a.ico", Marked({32, 24}), "ico");
        Save(*dir / "b.jpg", Marked(), "jpeg");
        open(*dir / "a.ico");
        const auto icon = test::ReadFile(*dir / "a.ico");
        key(Qt::Key_F);
        QCOMPARE(test::ReadFile(*dir / "a.ico"), icon);
        key(Qt::Key_Right);
        QCOMPARE(label1(), Q(*dir / "b.jpg"));
        key(Qt::Key_G);
        const QImage turned = ReadPicture(*dir / "b.jpg");
        QCOMPARE(turned.size(), QSize(300, 400));
        QVERIFY2(Near(turned.pixel(279, 20), Qt::red, 47), "turned right, not left");
    }

    void turnStopsTheSlideShow()
    {
        Save(*dir / "a.png", {40, 30});
        Save(*dir / "b.png", {40, 30});
        key(Qt::Key_1);
        open(*dir / "a.png");
        QVERIFY(timer1()->isActive());
        key(Qt::Key_G);
        QVERIFY(!timer1()->isActive());
        QCOMPARE(panel("Panel4")->colour(), QColor(24, 167, 153));
    }

    void aFailedTurnSaysSoAndLeavesTheFile()
    {
        test::WriteText(*dir / "bad.png", "these bytes are no picture");
        open(*dir / "bad.png");
        messages().clear();
        key(Qt::Key_G);
        QCOMPARE(messages().size(), 1);
        QVERIFY2(messages()[0].startsWith("Cannot open file \"" + Q(*dir / "bad.png") + "\""), qPrintable(messages()[0]));
        QCOMPARE(test::ReadFile(*dir / "bad.png").size(), std::size_t(26));
        QCOMPARE(dir->entries(), std::vector<std::string>{"bad.png"});
    }

    // What the window shows and what its commands act on stay one file: a file that is no
    // picture shows its own path and number, an empty picture area, and the message.
    void anUndecodableFileIsTheOneShownAndActedOn_data()
    {
        QTest::addColumn<int>("step");
        QTest::newRow("forward") << int(Qt::Key_Right);
        QTest::newRow("back") << int(Qt::Key_Left);
    }

    void anUndecodableFileIsTheOneShownAndActedOn()
    {
        QFETCH(int, step);
        Save(*dir / "a.png", Marked({60, 40}), "png");
        test::WriteText(*dir / "b.png", "random bytes, not a picture");
        Save(*dir / "c.png", Marked({60, 40}), "png");
        open(*dir / (step == Qt::Key_Right ? "a.png" : "c.png"));
        QVERIFY(test::ShowsPicture(viewer.get()));
        key(step);
        QCOMPARE(model->folder.index(), 1);
        QCOMPARE(messages().size(), 1);
        QVERIFY(messages().constFirst().contains(Q(*dir / "b.png")));
        QCOMPARE(label1(), Q(*dir / "b.png"));
        QCOMPARE(child<QLabel>("Label2")->text(), QString("1"));
        QVERIFY(!test::ShowsPicture(viewer.get()));
        {
            test::ExpectModal confirm([](QWidget *modal) {
                QCOMPARE(test::Child<QLabel>(modal, "Label2")->text(), QString("\"b.png\""));
                modal->findChild<PanelButton *>("Panel1")->click();  // "Yes"
            });
            action("mn6")->trigger();
        }
        QVERIFY(!fs::exists(*dir / "b.png"));
        QVERIFY(fs::exists(*dir / "a.png") && fs::exists(*dir / "c.png"));
    }

    void turningAFileThatIsGoneShowsTheNoFileText()
    {
        Save(*dir / "a.png", {40, 30});
        open(*dir / "a.png");
        fs::remove(*dir / "a.png");
        key(Qt::Key_G);
        QCOMPARE(label1(), QString(NoFileText));
        QVERIFY(dir->entries().empty());
        QVERIFY(messages().isEmpty());
    }

    // --- Wallpaper -------------------------------------------------------------------------

    void tableSetsTheWallpaper_data()
    {
        QTest::addColumn<bool>("removed");
        QTest::addColumn<bool>("desktopWorks");
        QTest::addColumn<bool>("applied");
        QTest::addColumn<QStringList>("said");
        QTest::newRow("the shown photo") << false << true << true << QStringList();
        QTest::newRow("file gone") << true << true << false << QStringList{NoFileMessage};
        QTest::newRow("desktop refuses") << false << false << true
                                         << QStringList{"The wallpaper could not be set on this desktop."};
    }

    void tableSetsTheWallpaper()
    {
        QFETCH(bool, removed);
        QFETCH(bool, desktopWorks);
        QFETCH(bool, applied);
        QFETCH(QStringList, said);
        Save(*dir / "a.png", {40, 30});
        open(*dir / "a.png");
        if (removed)
            fs::remove(*dir / "a.png");
        scripted->wallpaper.works = desktopWorks;
        panel("Panel1")->click();
        QCOMPARE(scripted->wallpaper.applied, applied ? QStringList{Q(*dir / "a.png")} : QStringList());
        QCOMPARE(messages(), said);
    }

    void f2SetsTheWallpaperOnlyWhileTableIsEnabled()
    {
        viewer->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(viewer.get()));
        key(Qt::Key_F2);
        QVERIFY(scripted->wallpaper.applied.isEmpty());
        QVERIFY(messages().isEmpty());

        Save(*dir / "a.png", {40, 30});
        open(*dir / "a.png");
        QVERIFY(QTest::qWaitForWindowActive(viewer.get()));
        key(Qt::Key_F2);
        QCOMPARE(scripted->wallpaper.applied, QStringList{Q(*dir / "a.png")});
    }

    // --- Copy ------------------------------------------------------------------------------

    void copyLandsInTheCopiedFilesFolder_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("made");
        QTest::newRow("proposed name") << "a.jpg" << "a.jpg";
        QTest::newRow("no extension") << "b" << "b.jpg";
        QTest::newRow("extension in other letter case") << "b.JPG" << "b.JPG.jpg";
    }

    void copyLandsInTheCopiedFilesFolder()
    {
        QFETCH(QString, typed);
        QFETCH(QString, made);
        fs::create_directories(*dir / "photos");
        fs::create_directories(*dir / "dest");
        Save(*dir / "photos" / "a.jpg", Marked(), "jpeg");
        open(*dir / "photos" / "a.jpg");
        scripted->dialogs.answers.enqueue({Q(*dir / "dest") + "/" + typed});
        panel("Panel7")->click();
        const auto &request = scripted->dialogs.requests.last();
        QCOMPARE(request.startFolder, Q(*dir / "photos"));
        QCOMPARE(request.proposedName, QString("a.jpg"));
        QCOMPARE(dir->entries("dest/The copied files"), std::vector<std::string>{made.toStdString()});
        QCOMPARE(test::ReadFile(*dir / "dest" / "The copied files" / made.toStdString()),
                 test::ReadFile(*dir / "photos" / "a.jpg"));
        QVERIFY(messages().isEmpty());
    }

    // Moving asks beside the photo, never in the program's working folder.
    void moveAsksBesideThePhoto()
    {
        fs::create_directories(*dir / "photos");
        fs::create_directories(*dir / "dest");
        Save(*dir / "photos" / "a.jpg", Marked(), "jpeg");
        open(*dir / "photos" / "a.jpg");
        scripted->dialogs.answers.enqueue({Q(*dir / "dest" / "b")});
        action("mn5")->trigger();
        const auto &request = scripted->dialogs.requests.last();
        QCOMPARE(request.startFolder, Q(*dir / "photos"));
        QCOMPARE(request.proposedName, QString("a.jpg"));
        QVERIFY(fs::exists(*dir / "dest" / "b.jpg"));
        QVERIFY(!fs::exists(*dir / "photos" / "a.jpg"));
    }

    void copyRefusesAnExistingNameAndStartsWhereItLastCopied()
    {
        fs::create_directories(*dir / "photos");
        fs::create_directories(*dir / "dest");
        Save(*dir / "photos" / "a.png", {40, 30});
        open(*dir / "photos" / "a.png");
        const fs::path copy = *dir / "dest" / "The copied files" / "a.png";

        scripted->dialogs.answers.enqueue({Q(*dir / "dest" / "a.png")});
        key(Qt::Key_Up);
        QVERIFY(fs::exists(copy));
        test::WriteText(copy, "kept");

        scripted->dialogs.answers.enqueue({Q(*dir / "dest" / "a.png")});
        action("mn4")->trigger();
        QCOMPARE(scripted->dialogs.requests.last().startFolder, Q(*dir / "dest"));
        QCOMPARE(messages(), QStringList{SuchNameExistsMessage});
        QCOMPARE(test::ReadFile(copy).size(), std::size_t(4));

        fs::remove_all(*dir / "dest");
        panel("Panel7")->click();  // cancelled
        QCOMPARE(scripted->dialogs.requests.last().startFolder, Q(*dir / "photos"));
        QCOMPARE(messages().size(), 1);
    }

    // --- Other windows ---------------------------------------------------------------------

    void toolsFindTheSlideShowStoppedAndThePictureLetGo_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("hook");
        QTest::newRow("Presurvey") << "Panel8" << "presurvey";
        QTest::newRow("Space") << "Space" << "presurvey";
        QTest::newRow("To compress a photo") << "mn7" << "compress";
        QTest::newRow("To transform files") << "mn8" << "transform";
        QTest::newRow("Photo scale") << "mn10" << "scale";
    }

    void toolsFindTheSlideShowStoppedAndThePictureLetGo()
    {
        QFETCH(QString, command);
        QFETCH(QString, hook);
        Save(*dir / "a.png", {40, 30});
        Save(*dir / "b.png", {40, 30});
        key(Qt::Key_5);  // 10 s
        open(*dir / "a.png");
        QVERIFY(timer1()->isActive());
        QVERIFY(viewer->holdsPicture());

        QStringList ran;
        bool playing = true, held = true;
        const auto record = [&](const char *name) {
            return [&, name] {
                ran << name;
                playing = timer1()->isActive();
                held = viewer->holdsPicture();
            };
        };
        connect(viewer.get(), &ViewerWindow::presurveyRequested, this, record("presurvey"));
        connect(viewer.get(), &TForm7g::compressRequested, this, record("compress"));
        connect(viewer.get(), &TForm7g::transformRequested, this, record("transform"));
        connect(viewer.get(), &TForm7g::scaleRequested, this, record("scale"));

        if (command == "Space")
            key(Qt::Key_Space);
        else if (command.startsWith("Panel"))
            panel(command.toLatin1())->click();
        else
            action(command.toLatin1())->trigger();
        QCOMPARE(ran, QStringList{hook});
        QVERIFY(!playing);
        QVERIFY(!held);
        QCOMPARE(panel("Panel4")->colour(), QColor(24, 167, 153));
    }

    // --- Full screen and dropped files -----------------------------------------------------

    void dropAfterFullScreenStillOpens()
    {
        fs::create_directories(*dir / "one");
        fs::create_directories(*dir / "two");
        Save(*dir / "one" / "a.png", {40, 30});
        Save(*dir / "two" / "b.png", {30, 40});
        Save(*dir / "two" / "c.png", {30, 40});
        test::WriteText(*dir / "two" / "notes.txt", "text");
        viewer->resize(700, 480);
        const QRect before = viewer->geometry();
        open(*dir / "one" / "a.png");

        key(Qt::Key_M);
        QVERIFY(test::InFullScreen(viewer.get()));
        QVERIFY(!child("Panel2")->isVisible());
        key(Qt::Key_M);
        QVERIFY(!test::InFullScreen(viewer.get()));
        QCOMPARE(viewer->geometry(), before);
        QVERIFY(child("Panel2")->isVisible());
        QVERIFY(child("Label1")->isVisible());
        QVERIFY(viewer->acceptDrops());

        viewer->dropFiles({Q(*dir / "two" / "notes.txt"), Q(*dir / "two" / "b.png")});
        QCOMPARE(model->folder.paths(), QStringList{Q(*dir / "one" / "a.png")});

        viewer->dropFiles({Q(*dir / "two" / "c.png"), Q(*dir / "one" / "a.png")});
        QCOMPARE(model->folder.count(), 2);
        QCOMPARE(label1(), Q(*dir / "two" / "c.png"));

        // As the window system delivers it: the open runs once the drop has finished.
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(Q(*dir / "one" / "a.png"))});
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        static_cast<QObject *>(viewer.get())->event(&drop);
        QTRY_COMPARE(label1(), Q(*dir / "one" / "a.png"));
        QCOMPARE(model->folder.count(), 1);
    }
};

QTEST_MAIN(PlainViewerTest)
#include "tst_plainviewer.moc"
