#pragma once
// What every window test sets up: a fresh folder and the scripted platform, made anew for each
// test function, and a window's controls found by their names.

#include "common/tempdir.h"
#include "platform/scriptedplatform.h"

#include <QAction>
#include <QLabel>
#include <QWidget>

#include <memory>

namespace veilshot::test {

template <typename T = QWidget>
T *Child(const QWidget *window, const char *name)
{
    return window->findChild<T *>(QLatin1String(name));
}

inline QAction *Action(const QWidget *window, const char *name)
{
    return window->findChild<QAction *>(QLatin1String(name));
}

// A viewer shows a picture: its picture control holds one.
inline bool ShowsPicture(const QWidget *viewer)
{
    const auto *picture = Child<QLabel>(viewer, "Image1");
    return picture && !picture->pixmap().isNull() && picture->isVisible();
}

// A viewer in full screen: frameless, over the whole screen, its bar and labels hidden.
inline bool InFullScreen(const QWidget *viewer)
{
    return viewer->windowFlags().testFlag(Qt::FramelessWindowHint) && viewer->geometry().topLeft() == QPoint(0, 0) &&
           !Child<QWidget>(viewer, "Panel2")->isVisible() && !Child<QWidget>(viewer, "Label1")->isVisible();
}

class WindowFixture {
protected:
    std::unique_ptr<TempDir> dir;
    std::unique_ptr<platform::ScriptedPlatform> scripted;

    void setUpFixture()
    {
        dir = std::make_unique<TempDir>();
        scripted = std::make_unique<platform::ScriptedPlatform>();
    }
    void tearDownFixture()
    {
        scripted.reset();
        dir.reset();
    }

    // The next file dialog's answer: the chosen paths (several for a multiple pick).
    void answer(const QStringList &paths) { scripted->dialogs.answers.enqueue(paths); }
    QStringList &messages() { return scripted->messages.shown; }
};

}  // namespace veilshot::test
