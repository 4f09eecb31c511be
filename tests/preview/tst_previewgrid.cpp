// The "Presurvey" grid as a user sees it: its layout for each kind, a load of a folder cell by
// cell, paging through a long folder, the picture's memory and the kept grid.

#include "preview/previewfixture.h"

using namespace veilshot;
using namespace veilshot::test;
namespace fs = std::filesystem;

class PreviewGridTest : public PreviewFixture {
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

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
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
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
        // One fixed border: neither the user nor the window manager makes it smaller, larger or
        // maximised, so no column is ever out of reach.
        const QSize size = preview->size();
        QCOMPARE(preview->minimumSize(), size);
        QCOMPARE(preview->maximumSize(), size);
        preview->resize(size - QSize(400, 300));
        QCOMPARE(preview->size(), size);
        preview->setWindowState(Qt::WindowMaximized);
        QCoreApplication::processEvents();
        QCOMPARE(preview->size(), size);
        QCOMPARE(preview->frameGeometry(), QRect(0, 0, 1280, 800));
        // The arrow keys move the pointer no further than 40 pixels from the screen's far edges.
        scripted->windows.pointerAt = {1240, 760};
        key(Qt::Key_Right);
        key(Qt::Key_Down);
        QCOMPARE(scripted->windows.pointerAt, QPoint(1240, 760));
    }

    // A window manager that frames the window late, after its first load: the window fits the
    // frame then, so that the bar along its bottom stays on the screen.
    void aLateFrameIsFittedWhenItComes()
    {
        scripted->windows.frameMargins = QMargins();  // not framed yet
        list({});
        showLoaded();
        QCOMPARE(preview->size(), QSize(1280, 800));
        const QMargins frame(1, 21, 1, 1);
        scripted->windows.frameMargins = frame;
        QMoveEvent framed(QPoint(frame.left(), frame.top()), QPoint(0, 0));  // moved into the frame
        QApplication::sendEvent(preview.get(), &framed);
        QCOMPARE(preview->size(), QSize(1278, 778));
        QCOMPARE(preview->minimumSize(), preview->maximumSize());
        QCOMPARE(child("Panel1")->geometry().bottom(), 777);
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
        QVERIFY(!model->preview.stopped());
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
            drained();  // pictures asked for ahead are made
        };

        showLoaded();
        settled();
        QCOMPARE(IndexIn(grid(), columns, columns), columns);  // the second row's first cell
        QCOMPARE(counter(), first);
        QVERIFY(model->preview.stopped());
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
        if (90 - batch > columns)
            QCOMPARE(IndexIn(grid(), columns, columns), batch + columns);
        QCOMPARE(counter(), QString("90-0"));
        QCOMPARE(IndexIn(grid(), 0, columns), batch);
        QCOMPARE(IndexIn(grid(), 89 - batch, columns), 89);
        QCOMPARE(IndexIn(grid(), 90 - batch, columns), -1);
        QCOMPARE(decodes->load(), 90 - batch);
        QVERIFY(model->preview.pagingOn());

        // N goes back to the batch before.
        key(Qt::Key_N);
        settled();
        QCOMPARE(counter(), first);
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
        QVERIFY(!model->preview.pagingOn());
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
        const int columns = GridColumnsFor(scrollBox()->width());
        QCOMPARE(counter(), QStringLiteral("%1-0").arg(count));
        QCOMPARE(IndexIn(grid(), shown - 1, columns), shown - 1);
        QCOMPARE(IndexIn(grid(), shown, columns), -1);
        const QImage before = grid();
        drained();
        *decodes = 0;
        key(Qt::Key_B);
        key(Qt::Key_N);
        QVERIFY(!preview->loading());
        drained();
        QCOMPARE(decodes->load(), 0);
        QCOMPARE(grid(), before);
    }

    // --- Memory ----------------------------------------------------------------------------

    void pictureHoldsOneBatch_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("one batch") << 80;
        QTest::newRow("1,000 photos") << 1000;
        QTest::newRow("100,000 photos") << 100000;
    }

    // However long the folder, the grid picture holds the rows of one batch (80 cells in 5
    // columns here), for the first load and for a page forward and back alike.
    void pictureHoldsOneBatch()
    {
        QFETCH(int, count);
        QStringList names;  // files that are not there: empty frames, nothing to decode
        for (int i = 0; i < count; ++i)
            names << QStringLiteral("gone%1.png").arg(i, 6, 10, QLatin1Char('0'));
        list(names);
        showLoaded();
        const QSize batch(scrollBox()->viewport()->width(), 16 * CellPitch + 2 * GridMargin);
        QCOMPARE(GridColumnsFor(scrollBox()->width()), 5);
        QCOMPARE(grid().size(), batch);
        QCOMPARE(image1()->size(), batch);
        QVERIFY(Framed(grid(), 79, 5));
        QCOMPARE(counter(), QStringLiteral("%1-%2").arg(count).arg(count > BatchLimit ? count - 80 : 0));
        if (count <= BatchLimit)
            return;
        for (const int k : {Qt::Key_B, Qt::Key_B, Qt::Key_N}) {
            key(k);
            QTRY_VERIFY(!preview->loading());
            QCOMPARE(grid().size(), batch);
            QCOMPARE(image1()->size(), batch);
        }
        QCOMPARE(counter(), QStringLiteral("%1-%2").arg(count).arg(count - 160));
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
        QVERIFY(model->preview.kept());

        *decodes = 0;
        // Shown again, the window is put back at the screen's corner, and its load decided, in
        // one step once the window manager has framed it: waited for from elsewhere.
        preview->move(100, 100);
        preview->show();
        QVERIFY(QTest::qWaitForWindowExposed(preview.get()));
        QTRY_COMPARE(preview->pos(), QPoint(0, 0));
        drained();
        QVERIFY(!preview->loading());
        QCOMPARE(decodes->load(), 0);
        QCOMPARE(grid(), before);
        QCOMPARE(counter(), QString("7-0"));

        // Another folder opened in the owner: the grid goes.
        preview->discard();
        QVERIFY(!model->preview.kept());
        QVERIFY(!preview->isVisible());
        QVERIFY(!Framed(grid(), 0, 5));
        QCOMPARE(image1()->height(), scrollBox()->viewport()->height());
        preview->show();
        QTRY_VERIFY(model->preview.kept());
        QCOMPARE(decodes->load(), 7);
        QCOMPARE(IndexIn(grid(), 6, 5), 6);
    }
};

QTEST_MAIN(PreviewGridTest)
#include "tst_previewgrid.moc"
