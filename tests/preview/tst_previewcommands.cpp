// What a user does on the "Presurvey" grid: picking a thumbnail with the pointer, the keys and
// the wheel, Name, Copy and turning a photo.

#include "preview/previewfixture.h"
#include "viewer/texts.h"

using namespace veilshot;
using namespace veilshot::test;
namespace fs = std::filesystem;

class PreviewCommandsTest : public PreviewFixture {
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

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
            QVERIFY(scripted->dialogs.requests.isEmpty());
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
        QVERIFY(scripted->dialogs.requests.isEmpty());
        QCOMPARE(model->folder.index(), 1);
        // On a cell whose file has gone.
        fs::remove(*dir / "a.png");
        pointAt(CellFrame(0, 5).center());
        key(command);
        QVERIFY(scripted->dialogs.requests.isEmpty());
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


    // A photo of a format that is read but never written is not turned; the box says why, on
    // top of the grid.
    void aPhotoWithoutAnEncoderIsNotTurnedAndSaysWhy()
    {
        WriteBytes(*dir / "a.heic", Encoded(Marked({400, 300}), "png"));  // read by its content
        Photo(*dir / "b.png", {20, 20}, Qt::gray);
        list({"b.png", "a.heic"});
        showLoaded();
        const auto bytes = test::ReadFile(*dir / "a.heic");
        pointAt(CellFrame(1, 5).center());
        key(Qt::Key_G);
        QCOMPARE(test::ReadFile(*dir / "a.heic"), bytes);
        QCOMPARE(messages(), QStringList{QString::fromUtf8(NotTurnedMessage)});
        QVERIFY(scripted->messages.parents.value(0) == preview.get());
    }
};

QTEST_MAIN(PreviewCommandsTest)
#include "tst_previewcommands.moc"
