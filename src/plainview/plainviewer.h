#pragma once
// The plain viewer: ordinary photos, with rotation, wallpaper and the image tools.

#include "imaging/imaging.h"
#include "viewer/viewerwindow.h"


class QTimer;

namespace veilshot {

class TForm7g : public ViewerWindow {
    Q_OBJECT
public:
    // `screen` is the size the main window read at its creation.
    TForm7g(PlainModel &model, platform::Platform &platform, QSize screen, QWidget *parent = nullptr);
    ~TForm7g() override;

    // Commands, by the control that runs them.
    void Panel1Click();  // "Table": the wallpaper
    void Panel6Click();  // "Open"
    void Panel8Click();  // Presurvey
    void mn4Click();     // To copy a file (also "Copy" and the Up arrow)
    void mn5Click();     // To move a file
    void mn6Click();     // To remove a file
    void mn7Click();     // To compress a photo
    void mn8Click();     // To transform files
    void mn10Click();    // Photo scale
    void pG1Click();     // To turn to the right - G
    void F1Click();      // To turn to the left - F
    void Timer2Timer();
    // Shows the photo at the position again, read from its file (the preview picked it).
    void reloadCurrent();

    // Starts decoding `file` on the worker, for when it is opened: the windows are built and
    // shown meanwhile.
    void prepareOpening(const QString &file);

    // A picture is held in memory, read from the shown file (BitmapLoaded).
    bool holdsPicture() const { return BitmapLoaded; }

signals:
    // The image tools are to be shown over the viewer's folder.
    void compressRequested();   // "To compress a photo"
    void transformRequested();  // "To transform files"
    void scaleRequested();      // "Photo scale"
    void closed();

protected:
    void showCurrent() override;
    void enableAfterOpen(bool several) override;
    void positionListed() override;
    void fullScreenChanged() override;
    void runViewerKey(ViewerKey key) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // Shows PhotoList[PhotoIndex], from its file when ReloadPending or nothing is held.
    void redraw();
    // A file decoded for the screen, as large as full screen needs and no larger.
    DecodeAhead::Decode decodeForScreen() const;
    // Lets go of the held picture, so the next redraw reads the file again.
    void releasePicture();
    // Where the picture sits: fitted into the area above the bar, or the whole screen.
    QRect pictureGeometry() const;
    void rotate(bool left);
    // Before another window works on the folder's files.
    void handOver();

    bool ReloadPending = true;
    bool BitmapLoaded = false;
    PlainModel &plain_;
    double aspect_ = 0.0;  // width / height of the photo
    bool skipRedraw_ = false;
    QString CopyFolder;

    PanelButton *Panel7, *Panel6, *Panel1;
    QAction *mn1, *mn2, *mn3, *mn4, *mn5, *mn6, *mn7, *mn8, *mn10, *pG1, *F1, *mn11;
    QTimer *Timer2;
};

}  // namespace veilshot
