#pragma once
// The "Presurvey" window: the photos of a viewer's folder as a scrolling grid of thumbnails,
// loaded batch by batch; picking a thumbnail to view, copy or name it, and (plain photos) to
// turn it. One window serves both viewers; a PreviewKind says what differs.

#include "decodeahead.h"
#include "gridrules.h"
#include "viewermodel.h"

#include <QDialog>
#include <QFuture>
#include <QImage>
#include <QThreadPool>

#include <deque>
#include <functional>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QScrollArea;
class QTimer;

namespace veilshot {
namespace platform { struct Platform; }

struct PreviewKind {
    QString objectName;   // TForm13, TForm14
    QSize designClient;
    bool topmost;         // above every other window, with a close button only
    QColor windowColour;
    ThumbnailFit fit;
    bool turns;           // G, F and their menu items
};
PreviewKind CipheredPreview();  // TForm13, over the main window's ".veil" files
PreviewKind PlainPreview();     // TForm14, over the plain viewer's photos

// The picture of one thumbnail, made on a worker thread; as small as still covers a cell.
using ThumbnailSource = std::function<Prepared(const QString &path)>;

class PreviewWindow : public QDialog {
    Q_OBJECT
public:
    PreviewWindow(ViewerModel &owner, platform::Platform &platform, QSize screen, const PreviewKind &kind,
                  QWidget *parent);
    ~PreviewWindow() override;

    // What the owner supplies, wired by the start-up code.
    std::function<ThumbnailSource()> thumbnails;    // a source for one load
    std::function<void(bool bySpace)> view;         // the owner shows its current photo
    std::function<QString(const QString &file)> copyExtension;  // the copy's extension
    std::function<QString(const QString &file)> copyProposal;   // the name the dialog offers
    std::function<void(const QString &file, const QString &target)> writeCopy;

    // Commands.
    void LoadGrid();
    void LoadForward();  // B, mb1
    void LoadBack();     // N, mb2
    bool PickCell();     // the cell under the pointer becomes the owner's current photo
    void View(bool bySpace);
    void Copy();
    void Name();
    void Turn(bool left);
    // The owner opened another folder: the grid is cleared and the window goes for good.
    void discard();

    bool loading() const { return loading_; }
    GridPager pager;
    GridLayout Layout;  // of the current load: LayoutRows, LayoutColumns, LayoutRemainder, LayoutStart
    bool CellPicked = false;
    int CursorMaxX = 0;
    int CursorMaxY = 0;

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Pending {
        int index;
        QFuture<Prepared> picture;  // not valid for a file that is not there
    };

    void guarded(const std::function<void()> &command);
    void request();
    void pump();
    void drawCell(int cell, const Pending &pending);
    void drawThumbnail(const QRect &frame, const Prepared &prepared);
    void drawFrame(const QRect &frame);
    void showGrid();
    void endRow(int row);
    void endLoad();
    void stopLoad();
    void growPicture(int height);
    void scrollBy(int pixels);
    bool runKey(int key);

    ViewerModel &owner_;
    platform::Platform &platform_;
    QSize screen_;
    PreviewKind kind_;

    QScrollArea *ScrollBox1;
    QLabel *Image1;
    QLabel *Label1;
    QLabel *Label2;
    QFrame *Panel1_;
    QFrame *Panel2_;
    QMenu *PopupMenu1;
    QAction *C1, *V1, *pr1, *e1, *mb1, *mb2, *pG1 = nullptr, *F1 = nullptr;
    QImage grid_;  // the grid picture
    QTimer *refresh_;  // brings the screen up to date with it during a load

    // The running load.
    bool loading_ = false;
    bool closeAfterLoad_ = false;
    GridPager::Load load_;
    ThumbnailSource source_;
    QThreadPool pool_;
    std::deque<Pending> pending_;
    int nextRequest_ = 0;  // list index of the next picture to ask for
    int cell_ = 0;         // the next cell to draw
    int cells_ = 0;        // the cells of the layout
    int used_ = 0;
};

}  // namespace veilshot
