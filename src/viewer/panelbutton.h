#pragma once
// The program's buttons: clickable coloured panels with a raised bevel and a hand cursor.

#include <QColor>
#include <QFrame>

class QLabel;

namespace veilshot {

// A colour written as a 24-bit value with red in the low byte (15790080 is R 0, G 240, B 240).
QColor FromColourValue(int value);

// Fills the widget's background with `colour`.
void PaintBackground(QWidget *widget, const QColor &colour);

class PanelButton : public QFrame {
    Q_OBJECT
public:
    PanelButton(const QString &name, const QString &caption, QWidget *parent);

    void setColour(const QColor &colour);
    QColor colour() const;
    QString caption() const;
    // Runs the click as a user's click would: only while enabled.
    void click();

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QLabel *label_;
    bool pressed_ = false;
};

}  // namespace veilshot
