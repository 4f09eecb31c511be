#pragma once
// The main window: the viewer of ciphered photos.

#include "viewer/viewerwindow.h"

#include <memory>

class QCheckBox;
class QProgressBar;
class QTimer;

namespace veilshot {
namespace cipher { class CipherEngine; }

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

private:
    QSize PictureSize;
    double PictureRatio = 0.0;
    class BatchRun;
    friend class BatchRun;

    void showCodeWindow();
    // Deciphers and decodes for the screen on the worker, with the key table of its own.
    DecodeAhead::Decode decodeAhead();
    void setKeyedFormat(bool keyed);

    MainModel &main_;
    cipher::CipherEngine &engine_;
    std::shared_ptr<const cipher::CipherEngine> aheadEngine_;  // the key table the worker deciphers with
    // Opened while its key was still to be stretched: decided before the worker starts, since
    // asking the engine while it stretches waits behind the stretch.
    QString keyAwaited_;

    QFrame *Panel13;
    QProgressBar *ProgressBar1;
    PanelButton *Panel6, *Panel9, *Panel14;
    QCheckBox *CheckBox2;
    QAction *mN1, *mN2, *mN3, *mN4, *mN5, *mN6, *mN7, *mn8, *mn9, *Exit1;
    QTimer *Timer2;
    QAction *keyedFormat_;  // new files in the older keyed format, off at every start
    QLabel *formatStatus_;  // says so while it is on

    // A close was asked for while a run was in progress: the run stops, then the window closes.
    bool closeAfterRun_ = false;
};

}  // namespace veilshot
