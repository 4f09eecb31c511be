#pragma once
// The main window: the viewer of ciphered photos.

#include "navigation.h"

#include <QRect>
#include <QWidget>

#include <functional>
#include <optional>

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QMenu;
class QProgressBar;
class QRadioButton;
class QTimer;

namespace veilshot {
namespace cipher { class CipherEngine; }
struct SharedState;
class PanelButton;
enum class MainKey;
namespace platform { struct Platform; }

// The colours of the bar and of the state of Forward, Stop and Back.
inline constexpr int StateOn = 10069784;   // RGB (24, 167, 153)
inline constexpr int StateOff = 15790080;  // RGB (0, 240, 240)

class TForm7 : public QWidget {
    Q_OBJECT
public:
    TForm7(SharedState &state, platform::Platform &platform, QWidget *parent = nullptr);
    ~TForm7() override;

    // The windows this one opens but does not build itself, wired by the application.
    std::function<void()> openViewing;    // the plain viewer
    std::function<void()> openPresurvey;  // the preview of the folder
    std::function<void()> closePreview;   // discards a kept preview when another folder opens

    // Commands, by the control that runs them.
    void Panel3Click();  // Forward
    void Panel4Click();  // Stop: the stop action other commands run first
    void Panel5Click();  // Back
    void Panel6Click();  // " Open"
    void Panel8Click();  // Presurvey
    void Panel9Click();  // " Cipher"
    void Panel11Click(); // "< >"
    void Panel14Click(); // Viewing
    void RadioButtonClick(int choice);  // index into RadioChoices
    void mN4Click();     // Copy - Arrow upwards
    void mN5Click();     // To move a file
    void mN6Click();     // To remove a file
    void mN7Click();     // To decode all
    void mn8Click();     // Code
    void mn9Click();     // Help
    void Exit1Click();
    void Timer1Timer();
    void Timer2Timer();
    void ToggleFullScreen();
    // Shows FileList[FileIndex].
    void ipl();
    // Opens the first of dropped files, if it is a ".veil" file.
    void DropFiles(const QStringList &files);

    // The window's own state.
    bool FullScreen = false;
    bool PhotoShown = false;
    double PictureRatio = 0.0;
    QSize PictureSize;
    Navigator navigator;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    class BatchRun;
    friend class BatchRun;

    void buildControls();
    void layoutControls();
    void centreBar();
    void applyEffect(const Navigator::Effect &effect);
    void applyColours(ColourSet colours);
    void guarded(const std::function<void()> &command);
    void showCodeWindow();
    // Before a command that works on files: the slide show stops, in every mode.
    void stopForCommand();
    // What Open and Cipher do first: nothing while a run is in progress, the code window while
    // no code was entered, else the slide show stops and the command goes on (true).
    bool readyWithCode();
    // What every command on the shown file does first: nothing while a run is in progress, else
    // the stop action, then the file at the current position, or std::nullopt after telling the
    // user there is none.
    std::optional<QString> fileForCommand();
    // Deciphers `entry` with `engine` and writes its picture to `target`; false for another code.
    bool writeDecodedCopy(cipher::CipherEngine &engine, const QString &entry, const QString &target);
    bool runKey(MainKey key);
    void open();

    SharedState &state_;
    platform::Platform &platform_;

    QFrame *Panel1;
    QLabel *Image1;
    QFrame *Panel13;
    QProgressBar *ProgressBar1;
    QFrame *Panel2;
    PanelButton *Panel11, *Panel8, *Panel5, *Panel4, *Panel3, *Panel6, *Panel9, *Panel14;
    QFrame *Panel12;
    QList<QRadioButton *> radios_;  // in the order of RadioChoices
    QCheckBox *CheckBox2;
    QLabel *Label1;
    QLabel *Label2;
    QMenu *PopupMenu1;
    QAction *mN1, *mN2, *mN3, *mN4, *mN5, *mN6, *mN7, *mn8, *mn9, *Exit1;
    QTimer *Timer1;
    QTimer *Timer2;

    // Full screen: the window's and the picture area's geometry before it.
    QRect savedGeometry_;
    QSize savedPanel1_;

    // A close was asked for while a run was in progress: the run stops, then the window closes.
    bool closeAfterRun_ = false;

    // A dropped file waiting for the open command (a code had to be entered first).
    QString DroppedPath;
    bool dropped_ = false;
};

// Texts of the status label.
inline constexpr auto NoFileText = "                     THERE IS NO FILE. THE FILE IS MISSED";
inline constexpr auto OtherCodeText = "                     THE PHOTO IS CIPHERED OTHER CODE";

}  // namespace veilshot
