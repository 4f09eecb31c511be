#pragma once
// "Scaling of the Photo": the plain viewer's photo to a typed size, kept in its proportion, or
// every photo of its folder divided by one factor, each in its own format, into a new folder.

#include "tools/toolwindow.h"

class QCheckBox;
class QKeyEvent;
class QLineEdit;
class QRadioButton;

namespace veilshot::tools {

// The keys that may change the size and factor edits: the main row's digits, Delete and
// Backspace. Keypad digits, pasting and every other key that would change the text leave it as
// it is; moving about and selecting work as in any edit.
bool AcceptedEditKey(int qtKey, Qt::KeyboardModifiers modifiers);
bool KeyWouldEdit(const QKeyEvent &event);

class TForm11g : public ToolWindow {
    Q_OBJECT
public:
    TForm11g(PlainModel &model, platform::Platform &platform, QWidget *parent = nullptr);

    double ScaleRatio = 1.0;

    void CheckBox1Click();
    void Edit3Change();  // width typed: the height follows
    void Edit4Change();  // height typed: the width follows
    void Panel3Click();  // "Result"
    void Panel1Click() override;  // "To execute"

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onePhoto();
    void allFiles();
    QSize photoSize() const;
    // The factor typed in the two edits; std::nullopt, after telling the user, for none or 0.
    std::optional<double> readFactor();
    // Whether a size can be written under `limit`; the user is told why not.
    bool sizeAllowed(qint64 width, qint64 height, qint64 limit);

    QLabel *Label4, *Label5, *Label6;
    QWidget *Panel4, *Panel5, *Panel6;
    QLineEdit *Edit1, *Edit2, *Edit3, *Edit4;
    QList<QRadioButton *> formats_;  // RadioButton1..5
    QCheckBox *CheckBox1;
    PanelButton *Panel3;
};

}  // namespace veilshot::tools
