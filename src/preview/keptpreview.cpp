#include "preview/keptpreview.h"

#include "platform/platform.h"

namespace veilshot {

KeptPreview::KeptPreview(QWidget &owner, ViewerModel &model, std::unique_ptr<PreviewPhotos> photos,
                         platform::Platform &platform, const PreviewKind &kind, QSize screen)
    : QObject(&owner)
    , owner_(owner)
    , model_(model)
    , photos_(std::move(photos))
    , platform_(platform)
    , kind_(kind)
    , screen_(screen)
{
}

void KeptPreview::open()
{
    platform::RunGuarded(platform_.messages, &owner_, [this] {
        if (!window_) {
            window_ = new PreviewWindow(model_, *photos_, platform_, screen_, kind_, &owner_);
            connect(window_, &PreviewWindow::viewRequested, this, &KeptPreview::viewRequested);
        }
        window_->exec();
        if (window_ && !model_.preview.kept())
            delete window_.data();
    });
}

void KeptPreview::discard()
{
    if (window_) {
        window_->discard();
        delete window_.data();
    }
}

}  // namespace veilshot
