#include "codewin/codewindow.h"

#include "cipher/cipherengine.h"
#include "cipher/codetext.h"
#include "files/fileio.h"
#include "files/localpath.h"
#include "files/securememory.h"
#include "platform/platform.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>

namespace veilshot {

namespace {

constexpr auto NoCodeText = "There is no code";
constexpr auto SaveExistsText = "The file with such name already exists. Replace a name of a file";

QPushButton *MakeButton(QWidget *parent, const char *name, const QString &caption, QRect geometry)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

// The memo's text with its lines ended by CR LF, as the key table reads a code.
std::u16string CodeOf(const QString &text)
{
    QString lines = text;
    lines.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    std::u16string code(reinterpret_cast<const char16_t *>(lines.utf16()), std::size_t(lines.size()));
    std::fill(lines.begin(), lines.end(), QChar(u' '));
    return code;
}

}  // namespace

TForm2::TForm2(cipher::CipherEngine &engine, platform::Platform &platform, QWidget *parent)
    : QDialog(parent)
    , engine_(engine)
    , platform_(platform)
    , Memo1(new QPlainTextEdit(this))
{
    setObjectName(QStringLiteral("TForm2"));
    setWindowTitle(QStringLiteral("Code Veilshot"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(603, 397);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(0, 0, 160));
    setPalette(p);

    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(2, 2, 599, 353);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setUndoRedoEnabled(false);  // no copies of the code in an undo history
    QFont font(QStringLiteral("Sans Serif"));
    font.setPixelSize(16);
    Memo1->setFont(font);

    connect(MakeButton(this, "Button1", QStringLiteral("Help"), {24, 364, 81, 25}), &QPushButton::clicked, this,
            &TForm2::Button1Click);
    connect(MakeButton(this, "Button2", QStringLiteral("Visit Web Site"), {128, 364, 97, 25}), &QPushButton::clicked,
            this, &TForm2::Button2Click);
    connect(MakeButton(this, "Button3", QStringLiteral("Open"), {248, 364, 91, 25}), &QPushButton::clicked, this,
            &TForm2::Button3Click);
    connect(MakeButton(this, "Button4", QStringLiteral("Save"), {368, 364, 89, 25}), &QPushButton::clicked, this,
            &TForm2::Button4Click);
    QPushButton *photo = MakeButton(this, "Button5", QStringLiteral("Photo"), {488, 364, 83, 25});
    photo->setToolTip(QStringLiteral("Press a key - F1"));
    photo->setAutoDefault(false);
    connect(photo, &QPushButton::clicked, this, &TForm2::Button5Click);
    auto *f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    f1->setContext(Qt::WindowShortcut);
    connect(f1, &QShortcut::activated, this, &TForm2::Button5Click);
    for (auto *button : findChildren<QPushButton *>())
        button->setAutoDefault(false);  // Enter belongs to the text
    Memo1->setFocus();
}

TForm2::~TForm2()
{
    wipeText();
}

void TForm2::wipeText()
{
    // Qt's text buffers cannot be overwritten from here; cleared, they are released with the
    // window. What this window copied out of them it overwrites itself.
    Memo1->clear();
}

void TForm2::done(int result)
{
    wipeText();
    QDialog::done(result);
}

void TForm2::Button1Click()
{
    TForm5 help(this);
    help.exec();
}

void TForm2::Button2Click()
{
    platform_.urls.open(platform::ProjectAddress());
}

void TForm2::Button3Click()
{
    platform::RunGuarded(platform_.messages, this, [this] {
        const auto chosen = platform_.dialogs.openFile(
            this, {.title = QStringLiteral("Open"), .filter = QStringLiteral("Text files|*.txt|Text files|*.TXT")});
        if (chosen && QFileInfo(*chosen).isFile()) {
            const platform::WaitCursor wait;
            std::u16string text = ReadCodeFile(LocalPath(*chosen));  // over 1 MiB: refused unread
            QString shown = QString::fromUtf16(text.data(), qsizetype(text.size()));
            SecureWipe(text.data(), text.size() * sizeof(char16_t));
            shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
            if (shown.endsWith(QLatin1Char('\n')))  // the line end of the last line
                shown.chop(1);
            Memo1->setPlainText(shown);
            std::fill(shown.begin(), shown.end(), QChar(u' '));
        }
    });
    activateWindow();
    Memo1->setFocus();
}

void TForm2::Button4Click()
{
    platform::RunGuarded(platform_.messages, this, [this] {
        const auto chosen = platform_.dialogs.saveFile(
            this, {.title = QStringLiteral("Save"), .filter = QStringLiteral("Text files|*.txt"), .defaultSuffix = QStringLiteral("txt")});
        if (!chosen)
            return;
        if (QFileInfo::exists(*chosen)) {
            platform_.messages.inform(this, QLatin1String(SaveExistsText));
            return;
        }
        std::u16string code = CodeOf(Memo1->toPlainText());
        std::string bytes = EncodeCodeText(code);
        SecureWipe(code.data(), code.size() * sizeof(char16_t));
        // The code is the one secret: its file is for its owner alone.
        AtomicFile file(LocalPath(*chosen), AtomicFile::Naming::Unnamed, AtomicFile::Access::OwnerOnly);
        file.write(bytes.data(), bytes.size());
        SecureWipe(bytes.data(), bytes.size());
        try {
            file.commit(AtomicFile::Mode::KeepExisting);
        } catch (const TargetExistsError &) {
            platform_.messages.inform(this, QLatin1String(SaveExistsText));
        }
    });
    activateWindow();
    Memo1->setFocus();
}

void TForm2::Button5Click()
{
    std::u16string code = CodeOf(Memo1->toPlainText());
    const auto result = [&] {
        const platform::WaitCursor wait;
        return engine_.BuildKeyTable(code);
    }();
    SecureWipe(code.data(), code.size() * sizeof(char16_t));
    if (result == cipher::CipherEngine::BuildResult::NoCode) {
        platform_.messages.inform(this, QLatin1String(NoCodeText));
        return;
    }
    accept();
}

TForm5::TForm5(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("TForm5"));
    setWindowTitle(QStringLiteral("Help"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    resize(642, 436);
    setMinimumSize(642, 436);
    auto *memo = new QPlainTextEdit(this);
    memo->setObjectName(QStringLiteral("Memo1"));
    memo->setGeometry(8, 8, 627, 417);
    memo->setReadOnly(true);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont font(QStringLiteral("Verdana"));
    font.setPixelSize(19);
    memo->setFont(font);
    QPalette p = memo->palette();
    p.setColor(QPalette::Base, QColor(204, 255, 204));
    memo->setPalette(p);
    memo->setPlainText(QStringLiteral("The program is intended for viewing ciphered\n"
                                      "and not ciphered photo. The program does not demand \n"
                                      "installation. At decoding, there is no time storage\n"
                                      "the decoded photo on a hard disk, all is loaded\n"
                                      "in operative memory, it will be decoded and displayed\n"
                                      "on the monitor.\n"
                                      "That the program has earned it is necessary to enter\n"
                                      "code which consists from 1 to 8000 symbols, with the help\n"
                                      "this code the photo will be ciphered.\n"
                                      "To stop a photo encryption, it is necessary\n"
                                      "to keep in pressed a condition a key - Ctrl.\n"
                                      "The small, big size of the screen a key - M.\n"
                                      "\n"
                                      "New ciphered photos are written in the sealed format,\n"
                                      "which finds a damaged file and gives every photo a key\n"
                                      "of its own. Files of the older keyed format (v1) are\n"
                                      "read as before; \"New files in the older format (v1)\"\n"
                                      "in the right-click menu writes it for older versions\n"
                                      "until the program ends. The command\n"
                                      "    veil reseal FILE.veil\n"
                                      "turns v1 files into sealed ones in their place.\n"
                                      "When the session locks, the screen saver starts or the\n"
                                      "window is minimised, the shown photo is taken off the\n"
                                      "screen; the code stays entered, and a step shows it again.\n"));
}

void TForm5::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    if (auto *memo = findChild<QPlainTextEdit *>(QStringLiteral("Memo1")))
        memo->setGeometry(8, 8, width() - 15, height() - 19);  // anchored to all four sides
}

}  // namespace veilshot
