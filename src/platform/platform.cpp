#include "platform/platform.h"

#include "files/fileio.h"

#include <QApplication>
#include <QDebug>
#include <QFileInfo>
#include <QMimeData>
#include <QWidget>

#include <exception>

namespace veilshot::platform {

QList<FilterChoice> FilterChoices(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QList<FilterChoice> choices;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        // Qt reads the patterns from the parentheses of the text shown, so the real patterns
        // take the place of any the description itself carries.
        QString description = parts[i].trimmed();
        if (description.endsWith(QLatin1Char(')')) && description.contains(QLatin1Char('(')))
            description = description.left(description.lastIndexOf(QLatin1Char('('))).trimmed();
        const QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        choices.append({QStringLiteral("%1 (%2)").arg(description, patterns.join(QLatin1Char(' '))), patterns});
    }
    return choices;
}

QString QtFilter(const QString &filter)
{
    QStringList entries;
    for (const FilterChoice &choice : FilterChoices(filter))
        entries << choice.label;
    return entries.join(QStringLiteral(";;"));
}

WaitCursor::WaitCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor()
{
    QApplication::restoreOverrideCursor();
}

QMargins WindowFrame(const QWidget *window)
{
    const QRect outer = window->frameGeometry(), inner = window->geometry();
    return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
            outer.bottom() - inner.bottom()};
}

void RunGuarded(MessageBoxes &messages, QWidget *parent, const std::function<void()> &command) noexcept
{
    QString problem;
    try {
        command();
        return;
    } catch (const std::exception &error) {
        problem = QString::fromStdString(error.what());
    } catch (...) {
        problem = QStringLiteral("An unexpected error ended the command.");
    }
    try {
        messages.inform(parent, problem);
    } catch (...) {
        qWarning() << "could not show the error:" << problem;
    }
}

void WriteNew(MessageBoxes &messages, QWidget *parent, const QString &target, const QString &existsMessage,
              const std::function<void()> &write)
{
    try {
        if (QFileInfo::exists(target)) {
            messages.inform(parent, existsMessage);
            return;
        }
        write();
    } catch (const TargetExistsError &) {
        messages.inform(parent, existsMessage);
    }
}

QStringList DroppedFiles(const QMimeData *data)
{
    QStringList files;
    if (!data || !data->hasUrls())
        return files;
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile())
            files << url.toLocalFile();
    }
    return files;
}

QUrl ProjectAddress()
{
    return QUrl(QStringLiteral("https://veilshot.org/"));
}

QList<QList<Command>> WallpaperMethods(const QString &path, const QString &desktop, const QStringList &xfceProperties)
{
    const QString uri = QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    const QString lower = desktop.toLower();
    const QList<Command> gnome = {
        Command{"gsettings", {"set", "org.gnome.desktop.background", "picture-uri", uri}},
        Command{"gsettings", {"set", "org.gnome.desktop.background", "picture-uri-dark", uri}},
    };
    QList<QList<Command>> methods;
    if (lower.contains("kde")) {
        methods << QList<Command>{Command{"plasma-apply-wallpaperimage", {path}}};
    } else if (lower.contains("xfce")) {
        QList<Command> xfce;
        for (const QString &property : xfceProperties) {
            if (property.endsWith("/last-image"))
                xfce << Command{"xfconf-query", {"-c", "xfce4-desktop", "-p", property, "-s", path}};
        }
        if (!xfce.isEmpty())
            methods << xfce;
    }
    // GNOME and its relatives only: elsewhere gsettings may write to a settings store no
    // desktop reads (its memory backend) and still report success. Then feh for bare X.
    const bool gnomeLike = lower.contains("gnome") || lower.contains("unity") || lower.contains("budgie") ||
                           lower.contains("pantheon");
    if (gnomeLike)
        methods << gnome;
    methods << QList<Command>{Command{"feh", {"--no-fehbg", "--bg-fill", path}}};
    return methods;
}

}  // namespace veilshot::platform
