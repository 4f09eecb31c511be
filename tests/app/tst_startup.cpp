// What the start-up code wires between the windows.

#include "application.h"
#include "cipherengine.h"
#include "mainwindow.h"
#include "scriptedplatform.h"
#include "viewermodel.h"

#include <QtTest>

using namespace veilshot;

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void viewingOpensOnePlainViewer()
    {
    }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
