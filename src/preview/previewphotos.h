#pragma once
// What a preview needs from the kind of photo its owner shows: thumbnails made on worker
// threads, and copies of a picked photo.

#include "viewer/decodeahead.h"

#include <QSize>
#include <QString>

#include <functional>
#include <memory>

namespace veilshot {
namespace cipher { class CipherEngine; }

// The picture of one thumbnail, made on a worker thread; as small as still covers its box.
using ThumbnailSource = std::function<Prepared(const QString &path)>;

class PreviewPhotos {
public:
    virtual ~PreviewPhotos() = default;
    // A source for one load, with what it needs taken as the load starts; `box` is the
    // thumbnail's square in device pixels.
    virtual ThumbnailSource thumbnails(QSize box) const = 0;
    // The extension a copy gets, and the name the copy dialog offers.
    virtual QString copyExtension(const QString &file) const;
    virtual QString copyProposal(const QString &file) const;
    // Why no copy of `file` can be made, in the words the user is told; "" when it can.
    virtual QString copyRefusal(const QString &file) const;
    // Writes the copy; TargetExistsError when `target` appeared meanwhile.
    virtual void writeCopy(const QString &file, const QString &target) const = 0;
};

// Photos as they are: decoded for the thumbnail, copied byte for byte.
class PlainPhotos : public PreviewPhotos {
public:
    ThumbnailSource thumbnails(QSize box) const override;
    void writeCopy(const QString &file, const QString &target) const override;
};

// Ciphered photos: deciphered in memory only, with the key table in force when a load or a
// copy starts; a copy is the photo as it was before it was ciphered, under its own extension.
class CipheredPhotos : public PreviewPhotos {
public:
    explicit CipheredPhotos(const cipher::CipherEngine &engine)
        : engine_(engine)
    {
    }
    ThumbnailSource thumbnails(QSize box) const override;
    QString copyExtension(const QString &file) const override;
    QString copyProposal(const QString &file) const override;
    QString copyRefusal(const QString &file) const override;
    void writeCopy(const QString &file, const QString &target) const override;

private:
    const cipher::CipherEngine &engine_;
};

}  // namespace veilshot
