#include "viewer/shownphoto.h"

namespace veilshot {

void ShownPhoto::hold(const QString &path, const imaging::Picture &picture, const FileStamp &stamp)
{
    path_ = path;
    pixels_ = picture.image;
    fullSize_ = picture.fullSize.isEmpty() ? picture.image.size() : picture.fullSize;
    stamp_ = stamp;
    emit changed();
}

void ShownPhoto::release()
{
    if (!held() && path_.isEmpty())
        return;
    path_.clear();
    pixels_ = QImage();
    fullSize_ = QSize();
    stamp_ = FileStamp();
    emit changed();
}

void ShownPhoto::forget()
{
    ahead_.drop();
    release();
}

}  // namespace veilshot
