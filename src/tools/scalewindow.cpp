#include "tools/scalewindow.h"

#include "files/fileoperations.h"
#include "files/folderlisting.h"
#include "platform/platform.h"
#include "tools/toolwork.h"
#include "viewer/panelbutton.h"
#include "viewer/texts.h"
#include "viewer/viewermodel.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>

namespace veilshot::tools {

namespace {

const QColor Ground(0xE6, 0xE6, 0xFA);


QLineEdit *MakeEdit(const char *name, QWidget *parent, QRect at)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setGeometry(at);
    edit->setMaxLength(7);
    edit->setContextMenuPolicy(Qt::NoContextMenu);  // no pasting
    edit->setAcceptDrops(false);
    return edit;
}

QString SizeText(qint64 width, qint64 height)
{
    return QString::number(width) + QStringLiteral(" / ") + QString::number(height);
}

}  // namespace

bool AcceptedEditKey(int qtKey, Qt::KeyboardModifiers modifiers)
{
    if (qtKey == Qt::Key_Delete || qtKey == Qt::Key_Backspace)
        return true;
    return qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9 && !(modifiers & Qt::KeypadModifier);
}

bool KeyWouldEdit(const QKeyEvent &event)
{
    for (QKeySequence::StandardKey edit : {QKeySequence::Paste, QKeySequence::Cut, QKeySequence::Undo, QKeySequence::Redo,
                                           QKeySequence::DeleteStartOfWord, QKeySequence::DeleteEndOfWord,
                                           QKeySequence::DeleteEndOfLine, QKeySequence::DeleteCompleteLine}) {
        if (event.matches(edit))
            return true;
    }
    return !event.text().isEmpty() && event.text().at(0).isPrint();
}

TForm11g::TForm11g(PlainModel &model, platform::Platform &platform, QWidget *parent)
    : ToolWindow(model, platform, {"TForm11g", "Scaling of the Photo", QSize(420, 290), Ground, QPoint(240, 8)}, parent)
{
    Label6 = MakeLabel("Label6", QStringLiteral("Fhoto"), this, {16, 14});
    Label4 = MakeLabel("Label4", QString(), this, {70, 14});
    Label4->setMinimumWidth(160);
    Gauge1->setGeometry(16, 44, 388, 16);
    StyleGauge(Gauge1);

    Panel6 = new QWidget(this);
    Panel6->setObjectName(QStringLiteral("Panel6"));
    Panel6->setGeometry(16, 72, 388, 100);
    MakeLabel("Label8", QStringLiteral("Width"), Panel6, {20, 12});
    Edit3 = MakeEdit("Edit3", Panel6, {20, 36, 120, 26});
    MakeLabel("Label9", QStringLiteral("Height"), Panel6, {200, 12});
    Edit4 = MakeEdit("Edit4", Panel6, {200, 36, 120, 26});

    Panel5 = new QWidget(this);
    Panel5->setObjectName(QStringLiteral("Panel5"));
    Panel5->setGeometry(16, 72, 388, 100);
    Panel5->hide();
    MakeLabel("Label3", QStringLiteral("Change of scale of a photo"), Panel5, {20, 4});
    Edit1 = MakeEdit("Edit1", Panel5, {20, 28, 90, 26});
    QLabel *comma = MakeLabel("Label2", QStringLiteral(","), Panel5, {114, 18});
    QFont large = comma->font();
    large.setPixelSize(26);
    large.setBold(true);
    comma->setFont(large);
    comma->adjustSize();
    Edit2 = MakeEdit("Edit2", Panel5, {130, 28, 90, 26});
    MakeLabel("Label7", QStringLiteral("Result"), Panel5, {20, 68});
    Label5 = MakeLabel("Label5", QString(), Panel5, {80, 68});
    Label5->setMinimumWidth(140);
    Panel3 = new PanelButton(QStringLiteral("Panel3"), QStringLiteral("Result"), Panel5);
    Panel3->setColour(QColor(0, 255, 255));
    Panel3->setGeometry(260, 28, 100, 26);
    connect(Panel3, &PanelButton::clicked, this, &TForm11g::Panel3Click);

    Panel4 = new QWidget(this);
    Panel4->setObjectName(QStringLiteral("Panel4"));
    Panel4->setGeometry(16, 176, 388, 32);
    const QStringList captions = {QStringLiteral("BMP"), QStringLiteral("JPEG"), QStringLiteral("GIF"), QStringLiteral("TIFF"),
                                  QStringLiteral("PNG")};
    for (int i = 0; i < captions.size(); ++i) {
        auto *button = new QRadioButton(captions[i], Panel4);
        button->setObjectName(QStringLiteral("RadioButton%1").arg(i + 1));
        button->setGeometry(8 + i * 76, 6, 72, 20);
        formats_ << button;
    }
    MakeExclusive(formats_, this);

    CheckBox1 = new QCheckBox(QStringLiteral("All files"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(24, 216, 160, 20);
    connect(CheckBox1, &QCheckBox::clicked, this, &TForm11g::CheckBox1Click);

    placeCommands({90, 248, 105, 28}, {260, 248, 89, 28});

    for (QLineEdit *edit : {Edit1, Edit2, Edit3, Edit4})
        edit->installEventFilter(this);
    connect(Edit3, &QLineEdit::textEdited, this, &TForm11g::Edit3Change);
    connect(Edit4, &QLineEdit::textEdited, this, &TForm11g::Edit4Change);

    runControls_ = {Panel1, CheckBox1, Panel5, Panel6, Panel4};
}

QSize TForm11g::photoSize() const
{
    return QSize(model_.PhotoWidth, model_.PhotoHeight);
}

bool TForm11g::sizeAllowed(qint64 width, qint64 height, qint64 limit)
{
    switch (CheckSize(width, height, limit)) {
    case SizeCheck::Small: platform_.messages.inform(this, QLatin1String(SmallMessage)); return false;
    case SizeCheck::Big: platform_.messages.inform(this, QLatin1String(BigMessage)); return false;
    case SizeCheck::Fine: break;
    }
    return true;
}

void TForm11g::showEvent(QShowEvent *event)
{
    const QSize photo = photoSize();
    Label4->setText(SizeText(photo.width(), photo.height()));
    ScaleRatio = photo.height() > 0 ? double(photo.width()) / photo.height() : 1.0;
    ToolWindow::showEvent(event);
}

bool TForm11g::eventFilter(QObject *watched, QEvent *event)
{
    if (qobject_cast<QLineEdit *>(watched)) {
        switch (event->type()) {
        case QEvent::KeyPress: {
            const auto *key = static_cast<QKeyEvent *>(event);
            if (!AcceptedEditKey(key->key(), key->modifiers()) && KeyWouldEdit(*key))
                return true;
            break;
        }
        case QEvent::InputMethod: return true;  // composed text
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent *>(event)->button() == Qt::MiddleButton)
                return true;  // the X11 selection's paste
            break;
        default: break;
        }
    }
    return ToolWindow::eventFilter(watched, event);
}

void TForm11g::CheckBox1Click()
{
    Label1->hide();
    const bool all = CheckBox1->isChecked();
    Panel4->setVisible(!all);
    Panel6->setVisible(!all);
    Panel5->setVisible(all);
}

void TForm11g::Edit3Change()
{
    Edit4->setText(HeightForWidth(Edit3->text(), ScaleRatio));
}

void TForm11g::Edit4Change()
{
    Edit3->setText(WidthForHeight(Edit4->text(), ScaleRatio));
}

std::optional<double> TForm11g::readFactor()
{
    const Factor factor = ReadFactor(Edit1->text(), Edit2->text());
    if (factor.kind == Factor::Kind::Zero) {
        platform_.messages.inform(this, QLatin1String(ZeroMessage));
        return std::nullopt;
    }
    return factor.value;
}

void TForm11g::Panel3Click()
{
    const std::optional<double> factor = readFactor();
    if (!factor)
        return;
    const Scaled size = DivideBy(photoSize(), *factor);
    if (sizeAllowed(size.width, size.height, PreviewLimit))
        Label5->setText(SizeText(size.width, size.height));
}

void TForm11g::Panel1Click()
{
    Label1->hide();
    platform::RunGuarded(platform_.messages, this, [this] {
        if (CheckBox1->isChecked())
            allFiles();
        else
            onePhoto();
    });
}

void TForm11g::onePhoto()
{
    const QString photo = model_.folder.current();
    // An empty size is no size: too small.
    const qint64 width = Edit3->text().toLongLong();
    const qint64 height = Edit4->text().toLongLong();
    if (!sizeAllowed(width, height, ExecuteLimit))
        return;
    if (!FileExists(photo)) {
        platform_.messages.inform(this, QLatin1String(NoFileMessage));
        return;
    }
    std::optional<ToolFormat> format = ScaleFormatOf(photo);
    if (const std::optional<qsizetype> chosen = CheckedOne(formats_))
        format = EncodableFormats()[*chosen];
    if (!format) {
        // Asked as for any photo; there is nothing this photo can be written as.
        platform_.dialogs.saveFile(this, {.title = windowTitle(), .startFolder = FolderOf(photo), .proposedName = FileNameOf(photo)});
        activateWindow();
        return;
    }
    const std::optional<QString> out = askOneTarget(photo, QLatin1Char('.') + format->extension);
    if (!out)
        return;
    const QSize size{int(width), int(height)};
    const Outcome outcome = runOne(
        {model_.folder.index(), photo, *out},
        [size, mime = format->mime](const Job &job, imaging::Progress &progress) { return ScaleTo(job, size, mime, &progress); },
        Qt::Key_Control);
    sayOutcome(outcome, QLatin1String(NotScaledMessage));
}

void TForm11g::allFiles()
{
    const std::optional<double> factor = readFactor();
    if (!factor)
        return;
    const Scaled size = DivideBy(photoSize(), *factor);
    if (!sizeAllowed(size.width, size.height, ExecuteLimit))
        return;
    Label5->setText(SizeText(size.width, size.height));
    if (!FileExists(model_.folder.current())) {
        platform_.messages.inform(this, QLatin1String(NoFileMessage));
        return;
    }
    const std::optional<QString> folder = askNewFolder(QString::fromUtf8(ScaledFolderProposal));
    if (!folder)
        return;
    const Plan plan = PlanRun(model_.folder.paths(), [&](const QString &file) {
        return ScaleFormatOf(file) || WithoutEncoder(file) ? JoinPath(*folder, FileNameOf(file)) : QString();
    });
    const RunResult result = runPlan(plan, [f = *factor](const Job &job) { return ScaleBy(job, f); }, Qt::Key_Control);
    finishRun(*folder, result, QLatin1String(NoneScaledMessage));
}

}  // namespace veilshot::tools
