#pragma once
// Helpers for window tests: answer the modal window that the next command opens.

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <functional>
#include <memory>

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

// The same for a modal window the test counts on: when none has appeared by the time this
// goes out of scope, the test fails there (a Qt Test), instead of passing by not looking.
class ExpectModal {
public:
    explicit ExpectModal(std::function<void(QWidget *)> act = {}, const char *file = __builtin_FILE(),
                         int line = __builtin_LINE())
        : seen_(std::make_shared<bool>(false))
        , poll_(new QTimer)
        , file_(file)
        , line_(line)
    {
        poll_->setInterval(5);
        QObject::connect(poll_, &QTimer::timeout, [poll = poll_, seen = seen_, act] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal || *seen)
                return;
            *seen = true;
            poll->stop();
            if (act)
                act(modal);
            else
                modal->close();
        });
        poll_->start();
    }
    ~ExpectModal()
    {
        poll_->stop();
        poll_->deleteLater();
        if (!*seen_)
            QTest::qFail("the modal window the test expected never appeared", file_, line_);
    }
    ExpectModal(const ExpectModal &) = delete;
    ExpectModal &operator=(const ExpectModal &) = delete;

    bool seen() const { return *seen_; }

private:
    std::shared_ptr<bool> seen_;
    QTimer *poll_;
    const char *file_;
    int line_;
};

}  // namespace veilshot::test
