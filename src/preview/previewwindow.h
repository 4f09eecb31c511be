#pragma once
// The "Presurvey" window: the photos of a viewer's folder as a scrolling grid of thumbnails,
// loaded batch by batch; picking a thumbnail to view, copy or name it, and (plain photos) to
// turn it. One window serves both viewers; a PreviewKind says what differs.

#include "preview/gridrules.h"
#include "preview/previewphotos.h"
#include "preview/thumbnailloader.h"
#include "viewer/viewermodel.h"

#include <QDialog>
#include <QImage>

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

class PreviewWindow : public QDialog {
    Q_OBJECT
public:
    // `photos` makes the thumbnails and copies of the owner's kind of photo.
    PreviewWindow(ViewerModel &owner, const PreviewPhotos &photos, platform::Platform &platform, QSize screen,
                  const PreviewKind &kind, QWidget *parent);
    ~PreviewWindow() override;

    // Commands.
    void LoadGrid();
    void loadForward();  // B, mb1
    void loadBack();     // N, mb2
    bool PickCell();     // the cell under the pointer becomes the owner's current photo
    void view(bool bySpace);
    void copy();
    void name();
    void turn(bool left);
    // The owner opened another folder: the grid is cleared and the window goes for good.
    void discard();

    bool loading() const { return loading_; }
    int drawnCount() const { return owner_.preview.drawnCount(); }  // cells drawn by the last load
    // Waits until every thumbnail asked for, drawn or let go, has been made: nothing of a load
    // that ended is still at work.
    void waitForThumbnails() { loader_.waitForDone(); }

signals:
    // The picked photo, now the owner's current one, is to be viewed.
    void viewRequested(bool bySpace);

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void guarded(const std::function<void()> &command);
    void fitToScreen();
    void pump();
    void drawCell(int cell, const ThumbnailLoader::Pending &pending);
    void drawThumbnail(const QRect &frame, const Prepared &prepared);
    void drawFrame(const QRect &frame);
    QSize thumbnailBox() const;  // in the grid picture's device pixels
    void showGrid();
    void endRow(int row);
    void endLoad();
    void stopLoad();
    void showCounter();
    void growPicture(int height);
    void scrollBy(int pixels);
    bool runKey(int key);

    GridLayout Layout;  // of the current load: LayoutRows, LayoutColumns, LayoutRemainder, LayoutStart
    bool CellPicked = false;
    int CursorMaxX = 0;
    int CursorMaxY = 0;

    ViewerModel &owner_;
    const PreviewPhotos &photos_;
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
    ThumbnailLoader loader_;
    int cell_ = 0;         // the next cell to draw
    int cells_ = 0;        // the cells of the layout
    int used_ = 0;
};

}  // namespace veilshot
