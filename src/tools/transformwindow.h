#pragma once
// "To transform a photo": the plain viewer's photo, or every file of its folder, in another
// format; or every file of one format copied or moved into a new folder.

#include "tools/toolwindow.h"

class QCheckBox;
class QRadioButton;

namespace veilshot::tools {

class TForm10g : public ToolWindow {
    Q_OBJECT
public:
    enum class Mode { None, Transform, Copy, Move };

    TForm10g(PlainModel &model, platform::Platform &platform, QWidget *parent = nullptr);

    Mode ToolMode = Mode::None;

    void Label2Click();  // "To transform to other format"
    void Label3Click();  // "To copy all files of a format"
    void Label4Click();  // "To move all files of a format"
    void Panel1Click() override;  // "To execute"

private:
    void choose(Mode mode);
    void transformFiles();
    void copyOrMove();

    QLabel *Label2, *Label3, *Label4;
    QCheckBox *CheckBox1, *CheckBox2;
    QWidget *Panel3, *Panel4;
    QList<QRadioButton *> targets_;  // RadioButton1..5
    QList<QRadioButton *> kinds_;    // RadioButton6..13
};

}  // namespace veilshot::tools
