#pragma once
// A viewer's preview: made on first use and shown modally; kept hidden while its grid is kept,
// discarded otherwise, and discarded when the viewer opens another folder.

#include "preview/previewwindow.h"

#include <QObject>
#include <QPointer>

#include <memory>

namespace veilshot {

class KeptPreview : public QObject {
    Q_OBJECT
public:
    // Lives as long as `owner`, over whose folder the preview works.
    KeptPreview(QWidget &owner, ViewerModel &model, std::unique_ptr<PreviewPhotos> photos, platform::Platform &platform,
                const PreviewKind &kind, QSize screen);

    // Shows the preview modally until it closes; errors are reported over the owner.
    void open();
    // The owner opened another folder: the kept grid goes for good.
    void discard();

signals:
    // A picked photo is to be viewed (picking made it the owner's current one).
    void viewRequested(bool bySpace);

private:
    QWidget &owner_;
    ViewerModel &model_;
    std::unique_ptr<PreviewPhotos> photos_;
    platform::Platform &platform_;
    PreviewKind kind_;
    QSize screen_;
    QPointer<PreviewWindow> window_;
};

}  // namespace veilshot
