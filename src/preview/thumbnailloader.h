#pragma once
// The thumbnails of one load of a preview, made on worker threads and handed out in list
// order: a few are kept on their way ahead of the one drawn, and none past the end of the load.

#include "preview/previewphotos.h"
#include "viewer/foldermodel.h"

#include <QFuture>
#include <QThreadPool>

#include <deque>

namespace veilshot {

class ThumbnailLoader {
public:
    struct Pending {
        int index;
        QFuture<Prepared> picture;  // not valid for a file that is not there
    };

    ThumbnailLoader();   // as many worker threads as the machine has cores
    ~ThumbnailLoader();  // waits for the workers

    // A new load of the entries [first, end) of `folder`, made by `source`.
    void begin(const FolderModel &folder, ThumbnailSource source, int first, int end);
    // Asks for the next pictures: as many on their way as there are threads, and one more.
    void request();
    bool empty() const { return pending_.empty(); }
    const Pending &front() const { return pending_.front(); }
    void pop() { pending_.pop_front(); }
    // The load ended: pictures still on their way are let go where they are made.
    void clear();
    // Waits until every picture asked for, drawn or let go, has been made.
    void waitForDone() { pool_.waitForDone(); }

private:
    QThreadPool pool_;
    const FolderModel *folder_ = nullptr;
    ThumbnailSource source_;
    std::deque<Pending> pending_;
    int next_ = 0;  // list index of the next picture to ask for
    int end_ = 0;
};

}  // namespace veilshot
