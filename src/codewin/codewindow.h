#pragma once
// The code window: the user types the code, or opens and saves it as a text file; "Photo" (or
// F1) builds the key table from it and closes the window.

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace veilshot {
namespace cipher { class CipherEngine; }
namespace platform { struct Platform; }

class TForm2 : public QDialog {
    Q_OBJECT
public:
    TForm2(cipher::CipherEngine &engine, platform::Platform &platform, QWidget *parent);
    ~TForm2() override;

    void Button1Click();  // "Help"
    void Button2Click();  // "Visit Web Site"
    void Button3Click();  // "Open"
    void Button4Click();  // "Save"
    void Button5Click();  // "Photo", also F1

protected:
    void done(int result) override;

private:
    void wipeText();

    cipher::CipherEngine &engine_;
    platform::Platform &platform_;
    QPlainTextEdit *Memo1;
};

// The help window.
class TForm5 : public QDialog {
    Q_OBJECT
public:
    explicit TForm5(QWidget *parent);

protected:
    void resizeEvent(QResizeEvent *event) override;
};

}  // namespace veilshot
