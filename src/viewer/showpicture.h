#pragma once
// How the viewers put a picture on the screen: handed to the label that displays it.

#include <QImage>
#include <QLabel>
#include <QPixmap>

namespace veilshot {

inline void ShowPicture(QLabel &control, const QImage &image)
{
    control.setPixmap(QPixmap::fromImage(image));
}

}  // namespace veilshot
