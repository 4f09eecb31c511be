// The bar of both viewers: Back, Stop and Forward with the colours of the slide show's state,
// the strip of slide-show intervals and "< >" that widens it.

#include "viewer/viewerwindow.h"

#include "files/fileoperations.h"
#include "viewer/panelbutton.h"

#include <QRadioButton>
#include <QSignalBlocker>

namespace veilshot {

namespace {

constexpr int StripNarrow = 48;
constexpr int StripWide = 257;

}  // namespace

void ViewerWindow::buildBar()
{
    Panel2 = new QFrame(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    PaintBackground(Panel2, FromColourValue(StateOff));
    QFont barFont(QStringLiteral("Sans Serif"));
    barFont.setPointSize(10);
    Panel2->setFont(barFont);
    Panel2->resize(layout_.barWidth, BarHeight);

    // Left to right; the radio strip, when wide, lies over the buttons up to Stop, which ends
    // where the wide strip does (40 + 257).
    Panel11 = addBarButton("Panel11", "< >", "Press a key 9", 0, 40, [this] { Panel11Click(); });
    Panel8 = addBarButton("Panel8", "Presurvey", "Press a key - Enter, the Blank", 88, 78, {});
    Panel5 = addBarButton("Panel5", "Back", "Arrow to the left", 166, 66, [this] { Panel5Click(); });
    Panel4 = addBarButton("Panel4", "Stop", "Arrow downwards", 232, 65, [this] { Panel4Click(); });
    Panel3 = addBarButton("Panel3", "Forward", "Arrow to the right", 297, 80, [this] { Panel3Click(); });
    for (PanelButton *disabled : {Panel8, Panel5, Panel4, Panel3})
        disabled->setEnabled(false);

    Panel12 = new QFrame(Panel2);
    Panel12->setObjectName(QStringLiteral("Panel12"));
    Panel12->setGeometry(40, 0, StripNarrow, BarHeight);
    PaintBackground(Panel12, FromColourValue(StateOff));
    QFont stripFont = barFont;
    stripFont.setPointSize(8);  // "Man." fits the narrow strip
    Panel12->setFont(stripFont);
    const int radioX[] = {2, 50, 80, 110, 140, 170, 212};
    static const char *hints[] = {"Press a key 8", "Press a key 1", "Press a key 2", "Press a key 3",
                                  "Press a key 5", "Press a key 6", "Press a key 7"};
    for (int i = 0; i < int(std::size(RadioChoices)); ++i) {
        auto *radio = new QRadioButton(QLatin1String(RadioChoices[i].caption), Panel12);
        radio->setObjectName(QLatin1String(RadioChoices[i].name));
        radio->setGeometry(radioX[i], 0, i == 0 ? 46 : i < 5 ? 30 : 40, BarHeight);
        radio->setToolTip(QLatin1String(hints[i]));
        connect(radio, &QRadioButton::toggled, this, [this, i](bool checked) {
            if (checked)
                RadioButtonClick(i);
        });
        radios_ << radio;
    }
    {
        const QSignalBlocker quiet(radios_[0]);  // "Man." is the state at creation, not a choice
        radios_[0]->setChecked(true);
    }
    Panel12->raise();
}

PanelButton *ViewerWindow::addBarButton(const char *name, const char *caption, const char *hint, int x, int width,
                                        const std::function<void()> &handler)
{
    auto *panel = new PanelButton(QLatin1String(name), QString::fromUtf8(caption), Panel2);
    panel->setGeometry(x, 0, width, BarHeight);
    panel->setColour(FromColourValue(StateOff));
    if (hint)
        panel->setToolTip(QString::fromUtf8(hint));
    if (handler)
        connect(panel, &PanelButton::clicked, this, handler);
    return panel;
}

void ViewerWindow::centreBar()
{
    if (Panel2->width() <= pictureArea_->width())
        Panel2->move((pictureArea_->width() - Panel2->width()) / 2, Panel2->y());
}

void ViewerWindow::applyColours(ColourSet colours)
{
    Panel3->setColour(FromColourValue(colours == ColourSet::PlayingForward ? StateOn : StateOff));
    Panel4->setColour(FromColourValue(colours == ColourSet::Stopped ? StateOn : StateOff));
    Panel5->setColour(FromColourValue(colours == ColourSet::PlayingBackward ? StateOn : StateOff));
}

// --- Navigation ------------------------------------------------------------------------------

void ViewerWindow::Panel3Click()
{
    slideShow_->forward();
}

void ViewerWindow::Panel4Click()
{
    slideShow_->stop();
}

void ViewerWindow::Panel5Click()
{
    slideShow_->back();
}

void ViewerWindow::prepareAround(DecodeAhead::Decode decode)
{
    ahead_.prepare(model_.folder.current(), slideShow_->ahead(), std::move(decode));
}

void ViewerWindow::RadioButtonClick(int choice)
{
    slideShow_->chooseRadio(choice);
}

void ViewerWindow::Timer1Timer()
{
    slideShow_->timerFired();
}

void ViewerWindow::Panel11Click()
{
    Panel12->resize(Panel12->width() < StripNarrow + 1 ? StripWide : StripNarrow, Panel12->height());
}

void ViewerWindow::stopForCommand()
{
    activateWindow();
    slideShow_->stopForCommand();
}

}  // namespace veilshot
