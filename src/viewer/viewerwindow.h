#pragma once
// The window both viewers are built on: the picture area, the bar with the slide-show strip
// and Back, Stop and Forward, the labels, the pop-up menu, full screen, the key hook, dropped
// files, the open command and the commands on the shown file. Each viewer adds its own
// buttons, menu items and display, and says what differs in a ViewerLayout.

#include "viewer/decodeahead.h"
#include "viewer/elidedlabel.h"
#include "viewer/navigation.h"
#include "viewer/shownphoto.h"
#include "viewer/slideshow.h"
#include "viewer/viewermodel.h"
#include "viewer/viewerrules.h"

#include <QRect>
#include <QThreadPool>
#include <QWidget>

#include <functional>
#include <optional>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QRadioButton;

namespace veilshot {
class PanelButton;
namespace platform { struct Platform; }

// The colours of the bar and of the state of Forward, Stop and Back.
inline constexpr int StateOn = 10069784;   // RGB (24, 167, 153)
inline constexpr int StateOff = 15790080;  // RGB (0, 240, 240)

// What makes each viewer window its own.
struct ViewerLayout {
    Viewer viewer;
    QString objectName;
    QString caption;
    QSize minimumClient;     // the smallest client area
    QString areaName;        // the picture area's control name
    int areaColour;          // 24-bit colour value
    int belowPicture;        // height of the bar and the label row under the picture
    int barWidth;
    Centring centring;
    QString openFilter;
    bool (*accepts)(const QString &path);  // the files the viewer lists and takes from a drop
};

// Where the shared buttons of the bar end; each viewer places its own from here.
inline constexpr int SharedBarWidth = 377;
inline constexpr int BarHeight = 25;

class ViewerWindow : public QWidget {
    Q_OBJECT
public:
    ViewerWindow(ViewerModel &model, platform::Platform &platform, const ViewerLayout &layout, QSize screen,
                 QWidget *parent);
    ~ViewerWindow() override;

    // Commands, by the control that runs them.
    void Panel3Click();  // Forward
    void Panel4Click();  // Stop: the stop action other commands run first
    void Panel5Click();  // Back
    void Panel11Click(); // "< >"
    void RadioButtonClick(int choice);  // index into RadioChoices
    void Timer1Timer();  // the slide show's step
    void toggleFullScreen();
    // Opens the first of dropped files, if the viewer takes it.
    void dropFiles(const QStringList &files);

    SlideShow *slideShow() const { return slideShow_; }
    // The entry decoded ahead (or on its way), and whether it is done.
    QStringList preparedPaths() const { return ahead_.pending(); }
    bool preparedReady(const QString &path) const { return ahead_.ready(path); }
    // The screen's size as read when the window was made.
    QSize screenSize() const { return screen_; }
    bool fullScreen() const { return FullScreen; }

signals:
    // Presurvey: the preview of the folder is to be shown.
    void presurveyRequested();
    // Another folder was opened while the preview's grid was kept: that grid is out of date.
    void previewOutdated();

protected:
    bool FullScreen = false;
    bool PhotoShown = false;

    // What each viewer does its own way.
    virtual void showCurrent() = 0;                 // shows the file at the position
    virtual void enableAfterOpen(bool several) = 0;  // the commands an open makes available
    virtual bool readyToOpen() { return true; }      // false: the open command ends here
    // The file the open command shows, named before its folder is listed: a viewer may start
    // preparing it here, so that the listing does not stand before it.
    virtual void opening(const QString &path) { (void)path; }
    // The shown file's folder was listed after it was shown: its number and the photos around
    // it follow.
    virtual void positionListed() = 0;
    virtual void fullScreenChanged() {}
    // The window stopped being exposed where the window system does not say it was minimised
    // (Wayland): it may be out of sight.
    virtual void unexposed() {}
    // A key of the map that only this viewer has (Copy, the turns); true when it was handled.
    virtual void runViewerKey(ViewerKey key) { (void)key; }

    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

    // Building blocks for the viewers.
    PanelButton *addBarButton(const char *name, const char *caption, const char *hint, int x, int width,
                              const std::function<void()> &handler);
    QAction *addMenuItem(const char *name, const char *caption, bool enabled, const std::function<void()> &handler);
    void guarded(const std::function<void()> &command);
    void layoutControls();
    // The entry at the position shown, after the position moved.
    void showPosition();
    // A modal window the viewer owns (its grid, a tool) is open above it.
    bool ownWindowAbove() const;
    // Holds `prepared`'s picture of `path` as the shown photo and draws it at `geometry`. The
    // label holds it drawn once at its own size in device pixels (in a wiped buffer), so the
    // screen keeps no second copy of the whole decoded picture; `fitPicture` draws it again
    // from the shown photo when the geometry changes.
    void showPicture(const QString &path, const Prepared &prepared, const QRect &geometry);
    void fitPicture(const QRect &geometry);
    // The picture area left empty: the file at the position cannot be shown.
    void clearPicture();
    // What was prepared for `path`, waited for with the window painting; std::nullopt when
    // nothing was. Timers run meanwhile: a step of the slide show may have shown another entry
    // by the time it returns.
    std::optional<Prepared> takePrepared(const QString &path);
    // Runs `work` off the window's thread, the window painting; the slide show holds its steps
    // meanwhile, so that a photo still being prepared is shown before the next.
    void waitForPhoto(const std::function<void()> &work);
    void centreBar();
    // The open command from its choice of file on: the dropped file or the dialog's.
    void open();
    // Before a command that works on files or opens a window: the slide show stops.
    void stopForCommand();
    // What every command on the shown file does first: nothing while a run is in progress,
    // else the stop action, then the file at the position, or std::nullopt after telling the
    // user there is none.
    std::optional<QString> fileForCommand();
    // The file commands both viewers have.
    void moveCurrent(bool proposeFullPath);
    void removeCurrent();
    // A copy of the shown file into the sub-folder `subfolder` of the folder chosen in a save
    // dialog; the viewers differ in what is written and how it is named.
    struct CopyRule {
        QString title;
        QString subfolder;
        QString extension;        // appended to a chosen name that does not end in it exactly
        QString proposedName;
        QString &lastFolder;      // the folder chosen last, where the next dialog starts
        const char *existsMessage;
        std::function<void(const QString &file, const QString &target)> write;  // TargetExistsError
    };
    void copyFile(const QString &file, const CopyRule &rule);
    // Starts decoding the entry the next step in the current direction will show.
    // After the shown entry: the photos around it decoded ahead.
    void prepareAround(DecodeAhead::Decode decode);

    ViewerModel &model_;
    platform::Platform &platform_;
    ViewerLayout layout_;
    QSize screen_;
    SlideShow *slideShow_;
    // The shown photo, the one owner of its pixels; the photos decoded ahead are its cache.
    ShownPhoto photo_;
    DecodeAhead &ahead_ = photo_.ahead();
    QThreadPool lister_;  // lists an opened file's folder beside its decode

    QFrame *pictureArea_;  // Panel1 in the main window, Panel13 in the plain viewer
    QLabel *Image1;
    QFrame *Panel2;
    PanelButton *Panel11, *Panel8, *Panel5, *Panel4, *Panel3;
    QFrame *Panel12;
    QList<QRadioButton *> radios_;  // in the order of RadioChoices
    ElidedLabel *Label1;  // the shown file's path, or what keeps it from being shown
    QLabel *Label2;
    QMenu *PopupMenu1;

private:
    // Follows the shown photo: what it no longer holds leaves the screen.
    void photoChanged();
    void buildControls();
    void buildBar();
    void applyColours(ColourSet colours);
    void runKey(const KeyAction &action);

    // Full screen: the window's and the picture area's geometry before it.
    QRect savedGeometry_;
    QSize savedArea_;
    // Entering or leaving full screen hides and shows the window again: it is not out of sight
    // until it has been exposed since.
    bool reshowing_ = false;
};

}  // namespace veilshot
