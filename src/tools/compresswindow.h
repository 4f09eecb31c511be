#pragma once
// "To compress a photo": JPEG copies at a chosen quality, of the plain viewer's photo or of every
// photo of its folder into a new folder. The photos themselves are never changed.

#include "tools/toolwindow.h"

class QCheckBox;
class QSlider;

namespace veilshot::tools {

class TForm9g : public ToolWindow {
    Q_OBJECT
public:
    TForm9g(PlainModel &model, platform::Platform &platform, QWidget *parent = nullptr);

    void Panel1Click() override;  // "To execute": Compress

protected:
    void showProgress(bool shown) override;  // the gauge over the slider, as a run shows it

private:
    QWidget *Panel3, *Panel4;
    QLabel *Label2, *Label3;
    QSlider *TrackBar1;
    QCheckBox *CheckBox1;
};

}  // namespace veilshot::tools
