#include "viewer/panelbutton.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace veilshot {

void PaintBackground(QWidget *widget, const QColor &colour)
{
    widget->setAutoFillBackground(true);
    QPalette p = widget->palette();
    p.setColor(QPalette::Window, colour);
    widget->setPalette(p);
}

QColor FromColourValue(int value)
{
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

PanelButton::PanelButton(const QString &name, const QString &caption, QWidget *parent)
    : QFrame(parent)
    , label_(new QLabel(caption, this))
{
    setObjectName(name);
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(2);
    setCursor(Qt::PointingHandCursor);
    setAutoFillBackground(true);
    label_->setAlignment(Qt::AlignCenter);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 0, 2, 0);
    layout->addWidget(label_);
}

void PanelButton::setColour(const QColor &colour)
{
    QPalette p = palette();
    p.setColor(QPalette::Window, colour);
    setPalette(p);
}

QColor PanelButton::colour() const
{
    return palette().color(QPalette::Window);
}

QString PanelButton::caption() const
{
    return label_->text();
}

void PanelButton::click()
{
    if (isEnabled())
        emit clicked();
}

void PanelButton::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        pressed_ = true;
        setFrameShadow(QFrame::Sunken);
    }
}

void PanelButton::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !pressed_)
        return;
    pressed_ = false;
    setFrameShadow(QFrame::Raised);
    if (rect().contains(event->position().toPoint()))
        click();
}

void PanelButton::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::EnabledChange)
        label_->setEnabled(isEnabled());
    QFrame::changeEvent(event);
}

}  // namespace veilshot
