#include "tools/transformwindow.h"

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
#include <QRadioButton>

namespace veilshot::tools {

namespace {

const QColor Ground(0xC8, 0xF0, 0xFF);
const QColor Navy(0, 0, 128);
const QColor Red(255, 0, 0);

QString NotTransformed(const QString &extension)
{
    return QStringLiteral("This file will not be transformed to a format ") + extension + QStringLiteral(" type");
}

QString FolderProposal(const QString &extension)
{
    return QStringLiteral("Photo1 of a format ") + extension;
}

void SetColour(QLabel *label, const QColor &colour)
{
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colour);
    label->setPalette(p);
}

}  // namespace

TForm10g::TForm10g(PlainModel &model, platform::Platform &platform, QWidget *parent)
    : ToolWindow(model, platform, {"TForm10g", "To transform a photo", QSize(470, 300), Ground, QPoint(160, 8)}, parent)
{

    QFont commandFont = font();
    commandFont.setPixelSize(15);
    commandFont.setUnderline(true);
    int y = 44;
    for (auto [label, name, text] : {std::tuple{&Label2, "Label2", "To transform to other format"},
                                     std::tuple{&Label3, "Label3", "To copy all files of a format"},
                                     std::tuple{&Label4, "Label4", "To move all files of a format"}}) {
        *label = MakeLabel(name, QLatin1String(text), this, {16, y});
        (*label)->setFont(commandFont);
        (*label)->adjustSize();
        SetColour(*label, Navy);
        y += 28;
    }
    OnClick(Label2, [this] { Label2Click(); });
    OnClick(Label3, [this] { Label3Click(); });
    OnClick(Label4, [this] { Label4Click(); });

    Panel3 = new QWidget(this);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setGeometry(16, 132, 438, 64);
    PaintBackground(Panel3, Ground.darker(108));
    Panel3->hide();
    const QStringList targetCaptions = {QStringLiteral("BMP"), QStringLiteral("JPEG"), QStringLiteral("GIF"),
                                        QStringLiteral("TIFF"), QStringLiteral("PNG")};
    for (int i = 0; i < targetCaptions.size(); ++i) {
        auto *button = new QRadioButton(targetCaptions[i], Panel3);
        button->setObjectName(QStringLiteral("RadioButton%1").arg(i + 1));
        button->setGeometry(12 + i * 84, 22, 80, 20);
        targets_ << button;
    }
    Panel4 = new QWidget(Panel3);
    Panel4->setObjectName(QStringLiteral("Panel4"));
    Panel4->setGeometry(0, 0, 438, 64);
    PaintBackground(Panel4, Ground.darker(108));
    Panel4->hide();
    const QStringList kindCaptions = targetCaptions + QStringList{QStringLiteral("EMF"), QStringLiteral("WMF"), QStringLiteral("ICO"),
                                                                  QStringLiteral("HEIC"), QStringLiteral("AVIF"),
                                                                  QStringLiteral("WebP"), QStringLiteral("JXL")};
    for (int i = 0; i < kindCaptions.size(); ++i) {
        auto *button = new QRadioButton(kindCaptions[i], Panel4);
        button->setObjectName(QStringLiteral("RadioButton%1").arg(i + 6));
        button->setGeometry(12 + (i % 6) * 70, 8 + (i / 6) * 28, 68, 20);
        kinds_ << button;
    }
    MakeExclusive(targets_, this);
    MakeExclusive(kinds_, this);
    kinds_[1]->setChecked(true);  // JPEG

    CheckBox1 = new QCheckBox(QStringLiteral("All files"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(290, 48, 160, 20);
    CheckBox2 = new QCheckBox(QStringLiteral("One expansion"), this);
    CheckBox2->setObjectName(QStringLiteral("CheckBox2"));
    CheckBox2->setGeometry(290, 76, 160, 20);

    Gauge1->setGeometry(16, 210, 438, 20);
    StyleGauge(Gauge1);

    placeCommands({100, 252, 105, 28}, {300, 252, 89, 28});

    runControls_ = {Panel1, Label2, Label3, Label4, CheckBox1, CheckBox2, Panel3};
}

void TForm10g::choose(Mode mode)
{
    Label1->hide();
    ToolMode = mode;
    Panel3->show();
    Panel4->setVisible(mode != Mode::Transform);
    SetColour(Label2, mode == Mode::Transform ? Red : Navy);
    SetColour(Label3, mode == Mode::Copy ? Red : Navy);
    SetColour(Label4, mode == Mode::Move ? Red : Navy);
}

void TForm10g::Label2Click()
{
    choose(Mode::Transform);
}

void TForm10g::Label3Click()
{
    choose(Mode::Copy);
}

void TForm10g::Label4Click()
{
    choose(Mode::Move);
}

void TForm10g::Panel1Click()
{
    Label1->hide();
    platform::RunGuarded(platform_.messages, this, [this] {
        switch (ToolMode) {
        case Mode::None: break;
        case Mode::Transform: transformFiles(); break;
        case Mode::Copy:
        case Mode::Move: copyOrMove(); break;
        }
    });
}

void TForm10g::transformFiles()
{
    const std::optional<qsizetype> chosen = CheckedOne(targets_);
    if (!chosen)
        return;
    const ToolFormat format = EncodableFormats()[*chosen];  // TargetExt, TargetMime
    const QString photo = model_.folder.current();

    if (!CheckBox1->isChecked()) {
        if (!FileExists(photo)) {
            platform_.messages.inform(this, QLatin1String(NoFileMessage));
            return;
        }
        const std::optional<QString> out = askOneTarget(photo, QLatin1Char('.') + format.extension);
        if (!out)
            return;
        // Stopped with S, as the run over the folder is; then nothing was transformed.
        const OneWork transform = [mime = format.mime](const Job &job, imaging::Progress &progress) {
            return tools::Transform(job, mime, &progress);
        };
        sayOutcome(runOne({model_.folder.index(), photo, *out}, transform, Qt::Key_S), NotTransformed(format.extension));
        return;
    }

    const std::optional<QString> folder = askNewFolder(FolderProposal(format.extension));
    if (!folder)
        return;
    const Plan plan = PlanRun(model_.folder.paths(), [&](const QString &file) {
        return JoinPath(*folder, ReplaceExtension(FileNameOf(file), QLatin1Char('.') + format.extension));
    });
    const RunResult result = runPlan(plan, [mime = format.mime](const Job &job) { return tools::Transform(job, mime); }, Qt::Key_S);
    finishRun(*folder, result, NotTransformed(format.extension));
}

void TForm10g::copyOrMove()
{
    const std::optional<qsizetype> chosen = CheckedOne(kinds_);
    if (!chosen)
        return;
    const FileKind kind = FileKinds()[*chosen];
    const bool oneExpansion = CheckBox2->isChecked();
    const bool move = ToolMode == Mode::Move;

    const std::optional<QString> folder = askNewFolder(FolderProposal(kind.extension));
    if (!folder)
        return;
    const Plan plan = PlanRun(model_.folder.paths(), [&](const QString &file) {
        if (!kind.contains(file))
            return QString();
        const QString name = FileNameOf(file);
        return JoinPath(*folder, oneExpansion ? ReplaceExtension(name, QLatin1Char('.') + kind.extension) : name);
    });
    const RunResult result = runPlan(plan, move ? Work(MoveFile) : Work(CopyFile), Qt::Key_Control);
    finishRun(*folder, result);
}

}  // namespace veilshot::tools
