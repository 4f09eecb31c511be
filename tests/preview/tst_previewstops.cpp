// The grid's load stopped: the stop key held before the first cell or pressed midway, and the
// window closed while a load runs.

#include "preview/previewfixture.h"

using namespace veilshot;
using namespace veilshot::test;
namespace fs = std::filesystem;

class PreviewStopsTest : public PreviewFixture {
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

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
        QVERIFY(model->preview.stopped());
        QVERIFY(model->preview.kept());
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

        // With Ctrl let go, loading forward goes on from where the stop was.
        scripted->keys.held.clear();
        key(Qt::Key_B);
        QTRY_VERIFY(!preview->loading());
        QCOMPARE(IndexIn(grid(), 0, 5), start);
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
        drained();
        const int drawn = pressedAtRead - 1;
        QCOMPARE(reads, pressedAtRead);  // nothing is read after the stop
        QVERIFY(model->preview.stopped());
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
        drained();
        const QImage picture = grid();
        for (int cell = 0; cell < 12; ++cell)
            QCOMPARE(IndexIn(picture, cell, 5), cell < drawn ? cell : -1);
        QVERIFY(model->preview.stopped());
        QCOMPARE(viewed, how == "Space" ? QList<bool>{true} : QList<bool>{});
        if (how == "Space")
            QCOMPARE(model->folder.index(), 2);
        QVERIFY(messages().isEmpty());
    }
};

QTEST_MAIN(PreviewStopsTest)
#include "tst_previewstops.moc"
