#pragma once
// What every main-window test sets up: the fixture of all window tests, plus the main window's
// model, the engine (with a code entered, or none) and the window itself, shown.

#include "cipher/cipherengine.h"
#include "common/windowfixture.h"
#include "mainwin/mainwindow.h"
#include "viewer/panelbutton.h"
#include "viewer/viewermodel.h"

#include <QtTest>

#include <memory>
#include <string_view>

namespace veilshot::test {

class MainWindowFixture : protected WindowFixture {
protected:
    std::unique_ptr<MainModel> state;
    std::unique_ptr<cipher::CipherEngine> engine;
    std::unique_ptr<TForm7> window;

    // An empty code leaves the engine without one, as at start.
    void setUpMainWindow(std::u16string_view code = {})
    {
        setUpFixture();
        state = std::make_unique<MainModel>();
        engine = std::make_unique<cipher::CipherEngine>();
        if (!code.empty())
            engine->BuildKeyTable(code);
        window = std::make_unique<TForm7>(*state, *engine, scripted->platform());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void tearDownMainWindow()
    {
        window.reset();
        state.reset();
        engine.reset();
        tearDownFixture();
    }

    template <typename T = QWidget>
    T *child(const char *name) { return Child<T>(window.get(), name); }
    PanelButton *panel(const char *name) { return child<PanelButton>(name); }
    QAction *action(const char *name) { return Action(window.get(), name); }
};

}  // namespace veilshot::test
