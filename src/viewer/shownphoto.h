#pragma once
// The photo a viewer shows, held in one place: its pixels as decoded for the screen, the photo's
// own size, its colour space and the stamp of the file they were read from; beside them, as
// their cache, the photos around it decoded ahead. Windows draw what it holds and follow
// `changed`; forget() lets go of all of it at once. Pixels decoded from deciphered photos sit in
// wiped buffers (imaging/wipedimage.h), so letting go of them wipes them.

#include "viewer/decodeahead.h"

#include <QColorSpace>
#include <QImage>
#include <QObject>
#include <QString>

namespace veilshot {

class ShownPhoto : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Holds `picture`, made from the file at `path` as `stamp` says it was.
    void hold(const QString &path, const imaging::Picture &picture, const FileStamp &stamp);
    // Lets go of the pixels; what is decoded ahead stays.
    void release();
    // Lets go of the pixels and of everything decoded ahead: nothing of the photos stays.
    void forget();

    bool held() const { return !pixels_.isNull(); }
    const QImage &pixels() const { return pixels_; }
    QSize fullSize() const { return fullSize_; }
    QColorSpace colourSpace() const { return pixels_.colorSpace(); }
    const QString &path() const { return path_; }
    const FileStamp &stamp() const { return stamp_; }

    DecodeAhead &ahead() { return ahead_; }
    const DecodeAhead &ahead() const { return ahead_; }

signals:
    // What is held changed: the windows draw it again, or clear what they drew.
    void changed();

private:
    QString path_;
    QImage pixels_;
    QSize fullSize_;
    FileStamp stamp_;
    DecodeAhead ahead_;
};

}  // namespace veilshot
