// The plain viewer driven as a user drives it: opening a folder of photos, fitting the picture,
// the held picture and the redraw delay, the key map, the windows it hands over to, full screen
// and dropped files.

#include "plainview/plainviewerfixture.h"

#include <QtTest>

using namespace veilshot;
namespace fs = std::filesystem;

using test::FormatOf;
using test::Marked;
using test::Near;
using test::Q;
using test::ReadPicture;
using test::Save;

class PlainViewerTest : public QObject, test::PlainViewerFixture {
    Q_OBJECT

private slots:
    void init() { setUpViewer(); }
    void cleanup() { tearDownViewer(); }

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
