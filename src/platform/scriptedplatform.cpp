#include "platform/scriptedplatform.h"

#include <QWidget>

namespace veilshot::platform {

QStringList ScriptedFileDialogs::next(const DialogRequest &request)
{
    requests << request;
    return answers.isEmpty() ? QStringList() : answers.dequeue();
}

std::optional<QString> ScriptedFileDialogs::openFile(QWidget *, const DialogRequest &request)
{
    const QStringList answer = next(request);
    return answer.isEmpty() ? std::nullopt : std::optional<QString>(answer.constFirst());
}

QStringList ScriptedFileDialogs::openFiles(QWidget *, const DialogRequest &request)
{
    return next(request);
}

std::optional<QString> ScriptedFileDialogs::saveFile(QWidget *, const DialogRequest &request)
{
    const QStringList answer = next(request);
    return answer.isEmpty() ? std::nullopt : std::optional<QString>(answer.constFirst());
}

void ScriptedMessageBoxes::inform(QWidget *parent, const QString &text)
{
    shown << text;
    parents << parent;
}

bool ScriptedMessageBoxes::ask(QWidget *, const QString &text)
{
    asked << text;
    if (whileAsked)
        whileAsked(text);
    return !answers.isEmpty() && answers.dequeue();
}

bool ScriptedKeyState::isDown(int qtKey) const
{
    if (beforeRead)
        beforeRead(qtKey);
    auto &queue = const_cast<QHash<int, QQueue<bool>> &>(reads)[qtKey];
    if (!queue.isEmpty())
        return queue.dequeue();
    return held.contains(qtKey);
}

bool ScriptedWallpaper::set(const QString &path)
{
    applied << path;
    return works;
}

bool ScriptedUrlOpener::open(const QUrl &url)
{
    opened << url;
    return true;
}

void ScriptedWindowServices::enterFullScreen(QWidget *window)
{
    window->setWindowFlag(Qt::FramelessWindowHint, true);
    window->setGeometry(QRect(QPoint(0, 0), screen));
    window->show();
}

void ScriptedWindowServices::leaveFullScreen(QWidget *window, const QRect &restore)
{
    window->setWindowFlag(Qt::FramelessWindowHint, false);
    window->setGeometry(restore);
    window->show();
}

ScriptedPlatform::ScriptedPlatform()
    : platform_{dialogs, messages, keys, keepAwake, wallpaper, urls, windows, session}
{
}

}  // namespace veilshot::platform
