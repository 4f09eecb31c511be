#include "viewer/removeconfirm.h"

#include "files/fileoperations.h"
#include "platform/platform.h"
#include "viewer/panelbutton.h"
#include "viewer/texts.h"

#include <QLabel>

namespace veilshot {

TForm8::TForm8(const QString &target, platform::Platform &platform, QWidget *parent)
    : QDialog(parent)
    , target_(target)
    , platform_(platform)
{
    setObjectName(QStringLiteral("TForm8"));
    setWindowTitle(QStringLiteral("Acknowledgement of removal of a file"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(382, 146);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, FromColourValue(11992414));
    setPalette(p);
    QFont font(QStringLiteral("Sans Serif"));
    font.setPointSize(12);
    setFont(font);

    auto *question = new QLabel(QStringLiteral("You really want to remove a file"), this);
    question->setObjectName(QStringLiteral("Label1"));
    question->setGeometry(10, 6, 361, 22);
    auto *name = new QLabel(QLatin1Char('"') + FileNameOf(target) + QLatin1Char('"'), this);
    name->setObjectName(QStringLiteral("Label2"));
    name->setWordWrap(true);
    name->setGeometry(10, 30, 361, 65);
    name->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto *yes = new PanelButton(QStringLiteral("Panel1"), QStringLiteral("Yes"), this);
    yes->setColour(FromColourValue(3649535));
    yes->setGeometry(24, 104, 97, 30);
    connect(yes, &PanelButton::clicked, this, &TForm8::Panel1Click);
    auto *no = new PanelButton(QStringLiteral("Panel2"), QStringLiteral("No"), this);
    no->setColour(QColor(0, 255, 255));
    no->setGeometry(261, 104, 97, 30);
    connect(no, &PanelButton::clicked, this, &TForm8::Panel2Click);
}

void TForm8::Panel1Click()
{
    if (!FileExists(target_))
        platform_.messages.inform(this, QLatin1String(NoFileMessage));
    else
        platform::RunGuarded(platform_.messages, this, [this] { RemoveFile(target_); });
    accept();
}

void TForm8::Panel2Click()
{
    reject();
}

}  // namespace veilshot
