#include "mainwin/originalsreport.h"

#include "viewer/texts.h"

#include <QStringList>

namespace veilshot {

namespace {

constexpr qsizetype MostNamed = 10;

// "NAME: why" for each, the first MostNamed of them.
QStringList KeptLines(const std::vector<OriginalKept> &kept)
{
    QStringList lines;
    for (const OriginalKept &one : kept) {
        if (lines.size() == MostNamed) {
            lines << QString::fromUtf8(MoreNotWrittenLine).arg(kept.size() - MostNamed);
            break;
        }
        lines << QString::fromStdString(one.photo.filename().string()) + QStringLiteral(": ") +
                     QString::fromStdString(one.why);
    }
    return lines;
}

}  // namespace

QString RemoveOriginalsQuestionText(std::size_t checked)
{
    if (checked == 1)
        return QString::fromUtf8(RemoveOriginalQuestion);
    return QString::fromUtf8(RemoveOriginalsQuestion).arg(checked);
}

QString PutAwayReport(std::size_t removed, const std::vector<OriginalKept> &kept,
                      const std::vector<std::string> &tracesLeft)
{
    QStringList lines{removed == 1 ? QString::fromUtf8(OriginalRemovedMessage).arg(kept.size())
                                   : QString::fromUtf8(OriginalsRemovedMessage).arg(removed).arg(kept.size())};
    lines << KeptLines(kept);
    if (!tracesLeft.empty()) {
        lines << QString::fromUtf8(TracesLeftMessage);
        for (const std::string &left : tracesLeft)
            lines << QString::fromStdString(left);
    }
    return lines.join(QLatin1Char('\n'));
}

QString CheckFailedReport(const std::vector<OriginalKept> &kept)
{
    return (QStringList{QString::fromUtf8(CheckFailedMessage)} + KeptLines(kept)).join(QLatin1Char('\n'));
}

}  // namespace veilshot
