#include "viewer/elidedlabel.h"

#include <QFontMetrics>

namespace veilshot {

ElidedLabel::ElidedLabel(QWidget *parent)
    : QLabel(parent)
{
}

void ElidedLabel::setText(const QString &text, Qt::TextElideMode mode)
{
    full_ = text;
    mode_ = mode;
    elide();
}

void ElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::elide()
{
    // Shaping the cut text can make it a pixel or two wider than asked for: ask for less then.
    const QFontMetrics metrics = fontMetrics();
    const int width = contentsRect().width();
    QString shown = metrics.elidedText(full_, mode_, width);
    for (int less = 1; less < 16 && shown != full_ && metrics.horizontalAdvance(shown) > width; ++less)
        shown = metrics.elidedText(full_, mode_, width - less);
    QLabel::setText(shown);
    setToolTip(shown == full_ ? QString() : full_);
}

}  // namespace veilshot
