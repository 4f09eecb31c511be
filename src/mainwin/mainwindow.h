#pragma once
// The main window: the viewer of ciphered photos.

#include "viewer/viewerwindow.h"

#include <memory>
#include <vector>

class QCheckBox;
class QProgressBar;
class QTimer;

namespace veilshot {
namespace cipher { class CipherEngine; }
class PutAway;
struct OriginalKept;

class TForm7 : public ViewerWindow {
    Q_OBJECT
public:
    TForm7(MainModel &model, cipher::CipherEngine &engine, platform::Platform &platform, QWidget *parent = nullptr);
    ~TForm7() override;

    // Enables or disables " Cipher" and "Viewing": off while the plain viewer exists.
    void setViewingAvailable(bool available);

    // Commands, by the control that runs them.
    void Panel6Click();  // " Open"
    void Panel8Click();  // Presurvey
    void Panel9Click();  // " Cipher"
    void Panel14Click(); // Viewing
    void mN4Click();     // Copy - Arrow upwards
    void mN5Click();     // To move a file
    void mN6Click();     // To remove a file
    void mN7Click();     // To decode all
    void mn8Click();     // Code
    void mn9Click();     // Help
    void Exit1Click();
    void Timer2Timer();

    // Takes deciphered pictures off the screen and out of memory: the shown one, the one
    // prepared ahead and a kept preview. The code stays entered; stepping shows them again.
    void hideDeciphered();

signals:
    // Viewing: the plain viewer is to be shown.
    void viewingRequested();

protected:
    void showCurrent() override;
    void enableAfterOpen(bool several) override;
    bool readyToOpen() override;
    void opening(const QString &path) override;
    void positionListed() override;
    void runViewerKey(ViewerKey key) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void unexposed() override;

private:
    QSize PictureSize;
    double PictureRatio = 0.0;
    class BatchRun;
    friend class BatchRun;

    void showCodeWindow();
    // Deciphers and decodes for the screen on the worker, with the key table of its own.
    DecodeAhead::Decode decodeAhead();
    void setKeyedFormat(bool keyed);
    // After a Cipher run that wrote and checked at least one copy: asks whether the originals
    // are to go, removes them on Yes and says what became of them.
    void offerToRemoveOriginals(PutAway &originals, std::vector<OriginalKept> notCiphered);

    MainModel &main_;
    cipher::CipherEngine &engine_;
    std::shared_ptr<const cipher::CipherEngine> aheadEngine_;  // the key table the worker deciphers with

    QFrame *Panel13;
    QProgressBar *ProgressBar1;
    PanelButton *Panel6, *Panel9, *Panel14;
    QCheckBox *CheckBox2;
    QAction *mN1, *mN2, *mN3, *mN4, *mN5, *mN6, *mN7, *mn8, *mn9, *Exit1;
    QTimer *Timer2;
    QAction *keyedFormat_;  // new files in the older keyed format, off at every start
    bool keyedFormatWarned_ = false;  // what the older format costs was said once
    QLabel *formatStatus_;  // says so while it is on

    // A close was asked for while a run was in progress: the run stops, then the window closes.
    bool closeAfterRun_ = false;
};

}  // namespace veilshot
