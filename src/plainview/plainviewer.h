#pragma once
// The plain viewer: ordinary photos, with rotation, wallpaper and the image tools.

#include "imaging.h"
#include "viewerwindow.h"

#include <functional>

class QTimer;

namespace veilshot {

// The photos the plain viewer lists: existing files of the 15 photo extensions.
bool IsPhotoFile(const QString &path);

class TForm7g : public ViewerWindow {
    Q_OBJECT
public:
    // `screen` is the size the main window read at its creation.
    TForm7g(PlainModel &model, platform::Platform &platform, QSize screen, QWidget *parent = nullptr);
    ~TForm7g() override;

    // The windows this one opens but does not build itself (the preview and the tools), and
    // what happens when it closes; wired by the start-up code.
    std::function<void()> openPresurvey;
    std::function<void()> closePreview;
    std::function<void()> openCompress;   // "To compress a photo"
    std::function<void()> openTransform;  // "To transform files"
    std::function<void()> openScale;      // "Photo scale"
    std::function<void()> closed;

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
    // Shows PhotoList[PhotoIndex], from its file when ReloadPending or nothing is held.
    void redraw();
    // Lets go of the held picture, so the next redraw reads the file again.
    void releasePicture();

    bool ReloadPending = true;
    bool BitmapLoaded = false;
    bool TurnLeft = false;

protected:
    void showCurrent() override;
    void enableAfterOpen(bool several) override;
    void closeKeptPreview() override;
    void fullScreenChanged() override;
    void runViewerKey(ViewerKey key) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void rotate();
    void openTool(const std::function<void()> &tool);

    PlainModel &plain_;
    QImage held_;         // the held picture, decoded for the screen
    double aspect_ = 0.0;  // width / height of the photo
    bool skipRedraw_ = false;
    QString CopyFolder;

    PanelButton *Panel7, *Panel6, *Panel1;
    QAction *mn1, *mn2, *mn3, *mn4, *mn5, *mn6, *mn7, *mn8, *mn10, *pG1, *F1, *mn11;
    QTimer *Timer2;
};

}  // namespace veilshot
