#pragma once
// Helpers for window tests: answer the modal window that the next command opens.

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace veilshot::test {

// When the next modal window appears, runs `act` on it (by default it is closed).
inline void OnNextModal(std::function<void(QWidget *)> act = {})
{
    auto *poll = new QTimer;
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        poll->stop();
        poll->deleteLater();
        if (act)
            act(modal);
        else
            modal->close();
    });
    poll->start();
}

}  // namespace veilshot::test
