#include "viewer/elidedlabel.h"

#include <QFontMetrics>

namespace veilshot {

ElidedLabel::ElidedLabel(QWidget *parent)
    : QLabel(parent)
{
}

void ElidedLabel::setText(const QString &text)
{
    full_ = text;
    elide();
}

void ElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::elide()
{
    const QString shown = fontMetrics().elidedText(full_, Qt::ElideMiddle, contentsRect().width());
    QLabel::setText(shown);
    setToolTip(shown == full_ ? QString() : full_);
}

}  // namespace veilshot
