// The plain viewer driven as a user drives it.

#include "plainviewer.h"
#include "scriptedplatform.h"
#include "viewermodel.h"

#include <QtTest>

using namespace veilshot;

class PlainViewerTest : public QObject {
    Q_OBJECT

private slots:
    void startsWithItsCommandsDisabled()
    {
        PlainModel model;
        platform::ScriptedPlatform scripted;
        TForm7g viewer(model, scripted.platform(), QSize(1280, 800));
        QCOMPARE(viewer.windowTitle(), QString("Veilshot Viewing"));
    }
};

QTEST_MAIN(PlainViewerTest)
#include "tst_plainviewer.moc"
