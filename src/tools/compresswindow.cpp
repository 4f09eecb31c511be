#include "tools/compresswindow.h"

#include "files/fileoperations.h"
#include "files/folderlisting.h"
#include "platform/platform.h"
#include "tools/toolwork.h"
#include "viewer/panelbutton.h"
#include "viewer/texts.h"
#include "viewer/viewermodel.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QSlider>

namespace veilshot::tools {

namespace {

const QColor Ground(0x16, 0xFA, 0xAF);

}  // namespace

TForm9g::TForm9g(PlainModel &model, platform::Platform &platform, QWidget *parent)
    : ToolWindow(model, platform, {"TForm9g", "To compress a photo", QSize(514, 223), Ground, QPoint(200, 16)}, parent)
{

    Panel3 = new QWidget(this);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setGeometry(8, 56, 489, 89);
    PaintBackground(Panel3, Ground);
    Label2 = MakeLabel("Label2", QStringLiteral("Choose size of compression"), Panel3, {16, 16});
    Label3 = MakeLabel("Label3", QStringLiteral("70"), Panel3, {424, 8});
    Label3->setFont(Label1->font());
    Label3->setPalette(Label1->palette());
    Label3->setMinimumWidth(48);
    TrackBar1 = new QSlider(Qt::Horizontal, Panel3);
    TrackBar1->setObjectName(QStringLiteral("TrackBar1"));
    TrackBar1->setGeometry(8, 40, 473, 45);
    TrackBar1->setRange(0, 100);
    TrackBar1->setSingleStep(2);  // the arrow keys
    TrackBar1->setPageStep(10);
    TrackBar1->setTickPosition(QSlider::TicksBelow);
    TrackBar1->setTickInterval(10);
    TrackBar1->setValue(70);
    connect(TrackBar1, &QSlider::valueChanged, this, [this](int value) { Label3->setText(QString::number(value)); });

    Panel4 = new QWidget(Panel3);
    Panel4->setObjectName(QStringLiteral("Panel4"));
    Panel4->setGeometry(0, 0, 489, 89);
    PaintBackground(Panel4, Ground);
    Panel4->hide();
    Gauge1->setParent(Panel4);
    Gauge1->setGeometry(8, 32, 473, 20);
    StyleGauge(Gauge1);

    CheckBox1 = new QCheckBox(QStringLiteral("To compress all files"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(16, 176, 160, 17);

    placeCommands({184, 176, 105, 25}, {400, 176, 89, 25});

    runControls_ = {Panel1, CheckBox1, TrackBar1};
    TrackBar1->setFocus();
}

void TForm9g::showProgress(bool shown)
{
    Panel4->setVisible(shown);
}

void TForm9g::Panel1Click()
{
    platform::RunGuarded(platform_.messages, this, [this] {
        Label1->hide();
        const int quality = TrackBar1->value();  // CompressQuality
        const QString name = model_.folder.current();

        if (!CheckBox1->isChecked()) {
            if (!FileExists(name)) {
                platform_.messages.inform(this, QLatin1String(NoFileMessage));
                return;
            }
            const std::optional<QString> out = askOneTarget(name, QStringLiteral(".jpg"));
            if (!out)
                return;
            const Outcome outcome = runOne(
                {model_.folder.index(), name, *out},
                [quality](const Job &job, imaging::Progress &progress) { return Compress(job, quality, &progress); },
                Qt::Key_Control);
            sayOutcome(outcome, outcome.reason.isEmpty() ? QLatin1String(NoFileMessage) : outcome.reason);
            return;
        }

        const std::optional<QString> folder = askNewFolder(QString::fromUtf8(CompressedFolderProposal), CompressFolder);
        if (!folder)
            return;
        const Plan plan = PlanRun(model_.folder.paths(), [&folder](const QString &photo) {
            return JoinPath(*folder, ReplaceExtension(FileNameOf(photo), QStringLiteral(".jpg")));
        });
        Panel4->show();
        const RunResult result = runPlan(plan, [quality](const Job &job) { return Compress(job, quality); }, Qt::Key_Control);
        Panel4->hide();
        finishRun(*folder, result);
    });
}

}  // namespace veilshot::tools
