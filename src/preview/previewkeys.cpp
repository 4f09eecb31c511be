// The "Presurvey" window's keys and mouse: scrolling, moving the pointer, and the commands'
// keys, seen before the focused control.

#include "preview/previewwindow.h"

#include "platform/platform.h"

#include <QKeyEvent>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>

namespace veilshot {

void PreviewWindow::scrollBy(int pixels)
{
    QScrollBar *bar = ScrollBox1->verticalScrollBar();
    bar->setValue(bar->value() + pixels);
}

bool PreviewWindow::runKey(int key)
{
    const QPoint at = platform_.windows.pointer();
    switch (key) {
    case Qt::Key_Z:
    case Qt::Key_X:
        if (!ScrollBox1->hasFocus())
            ScrollBox1->setFocus();
        scrollBy(key == Qt::Key_Z ? -10 : 10);
        return true;
    case Qt::Key_Up:
        if (at.y() > 60)
            platform_.windows.movePointer(at - QPoint(0, 5));
        return true;
    case Qt::Key_Down:
        if (at.y() < CursorMaxY)
            platform_.windows.movePointer(at + QPoint(0, 5));
        return true;
    case Qt::Key_Right:
        if (at.x() < CursorMaxX)
            platform_.windows.movePointer(at + QPoint(5, 0));
        return true;
    case Qt::Key_Left:
        if (at.x() > 30)
            platform_.windows.movePointer(at - QPoint(5, 0));
        return true;
    case Qt::Key_Space:
        guarded([this] {
            if (PickCell())
                view(true);
        });
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        close();
        return true;
    case Qt::Key_C:
        guarded([this] {
            PickCell();
            copy();
        });
        return true;
    case Qt::Key_V:
        guarded([this] {
            PickCell();
            name();
        });
        return true;
    case Qt::Key_B:
        guarded([this] { loadForward(); });
        return true;
    case Qt::Key_N:
        guarded([this] { loadBack(); });
        return true;
    case Qt::Key_G:
    case Qt::Key_F:
        if (!kind_.turns)
            return false;
        guarded([this, key] {
            PickCell();
            turn(key == Qt::Key_F);
        });
        return true;
    default:
        return false;
    }
}

bool PreviewWindow::eventFilter(QObject *watched, QEvent *event)
{
    const auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || widget->window() != this)
        return QDialog::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress:
        return runKey(static_cast<QKeyEvent *>(event)->key());
    case QEvent::MouseButtonDblClick:
        if (watched == Image1) {
            guarded([this] {
                if (PickCell())
                    view(false);
            });
            return true;
        }
        break;
    case QEvent::Wheel:
        if (watched == ScrollBox1->viewport() || watched == Image1) {
            scrollBy(static_cast<QWheelEvent *>(event)->angleDelta().y() > 0 ? -8 : 8);
            return true;
        }
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace veilshot
