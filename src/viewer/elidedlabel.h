#pragma once
// A one-line label for paths: a text too long for it is cut in the middle, so that both the
// start of the folder and the file name, which tells photos apart, stay in sight; or, for a
// text that begins with what matters most, at its end. The whole text is then its tool tip.

#include <QLabel>

namespace veilshot {

class ElidedLabel : public QLabel {
public:
    explicit ElidedLabel(QWidget *parent = nullptr);

    // Hides QLabel::setText: every text goes through here.
    void setText(const QString &text, Qt::TextElideMode mode = Qt::ElideMiddle);
    QString fullText() const { return full_; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void elide();

    QString full_;
    Qt::TextElideMode mode_ = Qt::ElideMiddle;
};

}  // namespace veilshot
