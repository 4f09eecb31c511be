// The platform layer's own rules: filters, wallpaper commands, the command guard, drops, and
// the file dialog leaving no history behind.

#include "common/modal.h"
#include "common/tempdir.h"
#include "files/fileio.h"
#include "platform/linuxplatform.h"
#include "platform/scriptedplatform.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QTreeView>
#include <QTimer>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>

#include <functional>
#include <stdexcept>
#include <vector>

#include <sys/inotify.h>
#include <unistd.h>

namespace veilshot::platform {
namespace {

TEST(Platform, DialogFiltersBecomeQtFilters)
{
    EXPECT_EQ(QtFilter("Text files|*.txt|Text files|*.TXT"), "Text files (*.txt);;Text files (*.TXT)");
    EXPECT_EQ(QtFilter("Зашифрованное фото (*.veil)|*.veil"), "Зашифрованное фото (*.veil)");
    EXPECT_EQ(QtFilter("Photos (*.jpg;*.png;)|*.jpg;*.png;*.tiff"), "Photos (*.jpg *.png *.tiff)");
    EXPECT_EQ(QtFilter(""), "");
}

TEST(Platform, WallpaperCommandsCarryAnyNameAsOneArgument)
{
    const QString path = "/home/u/it's a \"photo\"; rm -rf ~ $(id) `x`.jpg";
    const auto gnome = WallpaperMethods(path, "ubuntu:GNOME");
    ASSERT_EQ(gnome.size(), 2);  // GNOME's settings, then feh
    ASSERT_EQ(gnome[0].size(), 2);
    EXPECT_EQ(gnome[0][0].program, "gsettings");
    EXPECT_EQ(gnome[0][0].arguments.size(), 4);
    EXPECT_EQ(gnome[0][1].arguments[2], "picture-uri-dark");
    const QString uri = gnome[0][0].arguments[3];
    EXPECT_TRUE(uri.startsWith("file:///home/u/"));
    EXPECT_FALSE(uri.contains(' ') || uri.contains('"') || uri.contains('`'));
    EXPECT_EQ(QUrl(uri).toLocalFile(), path);
    EXPECT_EQ(gnome[1][0], (Command{"feh", {"--no-fehbg", "--bg-fill", path}}));

    const auto kde = WallpaperMethods(path, "KDE");
    EXPECT_EQ(kde[0][0], (Command{"plasma-apply-wallpaperimage", {path}}));
    EXPECT_EQ(kde.size(), 2);  // then feh, never GNOME's settings outside GNOME

    // No desktop named (a bare X server): gsettings would "succeed" into its memory backend.
    const auto bare = WallpaperMethods(path, "");
    ASSERT_EQ(bare.size(), 1);
    EXPECT_EQ(bare[0][0].program, "feh");

    const auto xfce = WallpaperMethods(path, "XFCE", {"/backdrop/screen0/monitor0/workspace0/last-image",
                                                       "/backdrop/screen0/monitor0/workspace0/image-style"});
    ASSERT_EQ(xfce[0].size(), 1);
    EXPECT_EQ(xfce[0][0].arguments.last(), path);
}

TEST(Platform, GuardShowsTheMessageAndTheProgramGoesOn)
{
    ScriptedPlatform scripted;
    bool ran = false;
    RunGuarded(scripted.messages, nullptr, [&] { ran = true; });
    RunGuarded(scripted.messages, nullptr, [] { throw FileError("Cannot open file \"x\". Permission denied"); });
    RunGuarded(scripted.messages, nullptr, [] { throw std::runtime_error("other"); });
    RunGuarded(scripted.messages, nullptr, [] { throw 42; });
    EXPECT_TRUE(ran);
    ASSERT_EQ(scripted.messages.shown.size(), 3);
    EXPECT_EQ(scripted.messages.shown[0], "Cannot open file \"x\". Permission denied");
    EXPECT_EQ(scripted.messages.shown[1], "other");
}

TEST(Platform, DroppedFilesAreTheLocalFilesInOrder)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile("/a/b.veil"), QUrl("https://example.org/x.veil"), QUrl::fromLocalFile("/c d.jpg")});
    EXPECT_EQ(DroppedFiles(&data), (QStringList{"/a/b.veil", "/c d.jpg"}));
    EXPECT_TRUE(DroppedFiles(nullptr).isEmpty());
}

TEST(Platform, TheFileDialogLeavesNoHistoryOfNames)
{
    test::TempDir config;
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.path().string()));
    test::TempDir photos;
    test::WriteText(photos / "secret name.veil", "x");
    // The user's own settings of Qt's dialog stay as they are, byte for byte.
    const std::string own = "[FileDialog]\nviewMode=Detail\n";
    test::WriteText(config / "QtProject.conf", own);
    LinuxFileDialogs dialogs;
    test::OnNextModal([](QWidget *dialog) { static_cast<QDialog *>(dialog)->accept(); });
    dialogs.openFile(nullptr, {.startFolder = QString::fromStdString(photos.path().string()),
                               .proposedName = "secret name.veil"});
    EXPECT_EQ(config.entries(), std::vector<std::string>{"QtProject.conf"});
    const auto after = test::ReadFile(config / "QtProject.conf");
    EXPECT_EQ(std::string(after.begin(), after.end()), own);
}

// Qt's dialog writes its state into the user's config folder when it closes, creating the
// folder if need be: nothing may appear there, not even for the moment the dialog is open.
TEST(Platform, TheFileDialogWritesNothingUnderAFreshConfigFolder)
{
    test::TempDir home;
    const std::filesystem::path config = home / "config";  // not there yet, as on a new account
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.string()));
    test::TempDir photos;
    test::WriteText(photos / "a.veil", "x");
    LinuxFileDialogs dialogs;
    const QString start = QString::fromStdString(photos.path().string());
    bool seenDuring = false;
    const auto closeAndLook = [&](bool accept) {
        return [&, accept](QWidget *dialog) {
            seenDuring = seenDuring || std::filesystem::exists(config);
            if (accept)
                static_cast<QDialog *>(dialog)->accept();
            else
                static_cast<QDialog *>(dialog)->reject();
        };
    };
    test::OnNextModal(closeAndLook(true));
    dialogs.openFile(nullptr, {.startFolder = start, .proposedName = "a.veil"});
    test::OnNextModal(closeAndLook(false));
    dialogs.openFiles(nullptr, {.startFolder = start});
    test::OnNextModal(closeAndLook(true));
    dialogs.saveFile(nullptr, {.startFolder = start, .proposedName = "b.jpg"});
    EXPECT_FALSE(seenDuring);
    EXPECT_EQ(home.entries(), std::vector<std::string>{});
}

// Asked for a new folder's name, the dialog hands back an existing folder's name, proposed or
// typed, so the command can refuse it; it never walks into that folder to nest another there.
TEST(Platform, ANewFolderQuestionReturnsAnExistingFoldersName)
{
    test::TempDir photos;
    std::filesystem::create_directory(photos / "X");
    std::filesystem::create_directory(photos / "Y");
    const QString folder = QString::fromStdString(photos.path().string());
    LinuxFileDialogs dialogs;
    const auto acceptTyped = [](std::optional<QString> typed) {
        test::OnNextModal([typed](QWidget *dialog) {
            auto *name = dialog->findChild<QLineEdit *>("fileNameEdit");
            ASSERT_NE(name, nullptr);
            if (typed) {
                name->setFocus();
                name->setText(*typed);
            }
            static_cast<QDialog *>(dialog)->accept();  // what Enter in the name does
            if (dialog->isVisible())
                static_cast<QDialog *>(dialog)->reject();
        });
    };
    acceptTyped(std::nullopt);
    EXPECT_EQ(dialogs.saveFile(nullptr, {.startFolder = folder, .proposedName = "X", .newFolder = true}), folder + "/X");
    acceptTyped("Y");
    EXPECT_EQ(dialogs.saveFile(nullptr, {.startFolder = folder, .proposedName = "X", .newFolder = true}), folder + "/Y");
    acceptTyped("Z");
    EXPECT_EQ(dialogs.saveFile(nullptr, {.startFolder = folder, .proposedName = "X", .newFolder = true}), folder + "/Z");
    EXPECT_EQ(photos.entries(), (std::vector<std::string>{"X", "Y"}));
}

TEST(Platform, ScriptedKeyStatePlaysItsAnswersInOrder)
{
    ScriptedKeyState keys;
    keys.reads[Qt::Key_Control] << false << true;
    EXPECT_FALSE(keys.isDown(Qt::Key_Control));
    EXPECT_TRUE(keys.isDown(Qt::Key_Control));
    EXPECT_FALSE(keys.isDown(Qt::Key_Control));
    keys.held.insert(Qt::Key_S);
    EXPECT_TRUE(keys.isDown(Qt::Key_S));
}

// A typed name need not exist: the command that opened the dialog answers for it.
TEST(Platform, OpenDialogsReturnATypedNameThatIsNotThere)
{
    test::TempDir photos;
    test::WriteText(photos / "here.veil", "x");
    const QString folder = QString::fromStdString(photos.path().string());
    LinuxFileDialogs dialogs;
    bool refused = false;  // the dialog put up a message of its own
    const auto typeAndAccept = [&refused](const QString &typed) {
        test::OnNextModal([typed, &refused](QWidget *dialog) {
            auto *name = dialog->findChild<QLineEdit *>("fileNameEdit");
            ASSERT_NE(name, nullptr);
            name->setText(typed);
            auto *watch = new QTimer(dialog);
            QObject::connect(watch, &QTimer::timeout, [dialog, &refused] {
                if (QWidget *other = QApplication::activeModalWidget(); other && other != dialog) {
                    refused = true;
                    other->close();
                }
            });
            watch->start(5);
            static_cast<QDialog *>(dialog)->accept();
            if (dialog->isVisible())
                static_cast<QDialog *>(dialog)->reject();
        });
    };
    typeAndAccept("gone.veil");
    EXPECT_EQ(dialogs.openFile(nullptr, {.startFolder = folder}), folder + "/gone.veil");
    typeAndAccept("gone.jpg");
    EXPECT_EQ(dialogs.openFiles(nullptr, {.startFolder = folder}), QStringList{folder + "/gone.jpg"});
    typeAndAccept("here.veil");
    EXPECT_EQ(dialogs.openFile(nullptr, {.startFolder = folder}), folder + "/here.veil");
    EXPECT_FALSE(refused);
}

// A dialog lists a folder from its entries alone and opens none of its files: Qt's own icons
// and types read each file whose name does not tell its type, which held the window's thread
// for many seconds in a folder of 100,000 ".veil" files.
TEST(Platform, FileDialogsListAFolderWithoutOpeningItsFiles)
{
    test::TempDir photos;
    constexpr int Files = 30;
    for (int i = 0; i < Files; ++i)
        test::WriteText(photos / ("photo" + std::to_string(i) + ".veil"), "not a picture");
    const QString folder = QString::fromStdString(photos.path().string());
    const int opens = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(opens, 0);
    ASSERT_GE(::inotify_add_watch(opens, photos.path().c_str(), IN_OPEN), 0);
    int listed = 0;
    const auto look = [&listed](QWidget *dialog) {
        auto *list = dialog->findChild<QListView *>(QStringLiteral("listView"));
        auto *details = dialog->findChild<QTreeView *>(QStringLiteral("treeView"));
        ASSERT_TRUE(list && details);
        EXPECT_TRUE(QTest::qWaitFor([&] { return list->model()->rowCount(list->rootIndex()) == Files; }, 20000));
        listed = list->model()->rowCount(list->rootIndex());
        list->grab();  // every name with its icon, and in the detail view its type
        details->grab();
        static_cast<QDialog *>(dialog)->reject();
    };
    LinuxFileDialogs dialogs;
    test::OnNextModal(look);
    dialogs.openFile(nullptr, {.startFolder = folder, .filter = "Photos (*.veil)|*.veil"});
    test::OnNextModal(look);
    dialogs.saveFile(nullptr, {.startFolder = folder, .proposedName = "copy.veil"});
    EXPECT_EQ(listed, Files);
    QStringList opened;
    alignas(inotify_event) char buffer[64 * 1024];
    for (ssize_t got; (got = ::read(opens, buffer, sizeof buffer)) > 0;) {
        for (char *at = buffer; at < buffer + got;) {
            const auto *event = reinterpret_cast<const inotify_event *>(at);
            if (event->len > 0 && !(event->mask & IN_ISDIR))
                opened << QString::fromLocal8Bit(event->name);
            at += sizeof(inotify_event) + event->len;
        }
    }
    ::close(opens);
    EXPECT_TRUE(opened.isEmpty()) << opened.join(' ').toStdString();
}

// A message is read whole: nothing is cut off, however long its lines, and the box is wide
// enough for its title however short the text.
TEST(Platform, MessageBoxesShowTheirWholeText)
{
    LinuxMessageBoxes messages;
    for (const QString &text : {QStringLiteral("There is no file."),
                               QStringLiteral("The file with such name already exists.\n\rREPLACE the FOLDER or the NAME of the FILE."),
                               QStringLiteral("This file will not be transformed to a format png type"),
                               QStringLiteral("These files were not written:\nbroken.png: Cannot open file \"/home/someone/Pictures/"
                                              "holidays/2026/broken.png\". The picture is damaged or incomplete.")}) {
        bool seen = false;
        test::OnNextModal([&](QWidget *box) {
            seen = true;
            auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
            ASSERT_NE(label, nullptr);
            EXPECT_GE(box->width(), 260) << text.toStdString();
            EXPECT_TRUE(box->rect().contains(label->geometry())) << text.toStdString();
            if (label->wordWrap()) {
                EXPECT_GE(label->height(), label->heightForWidth(label->width())) << text.toStdString();
            } else {
                for (const QString &line : text.split(QRegularExpression(QStringLiteral("[\\n\\r]+"))))
                    EXPECT_LE(label->fontMetrics().horizontalAdvance(line), label->contentsRect().width()) << line.toStdString();
            }
            box->close();
        });
        messages.inform(nullptr, text);
        EXPECT_TRUE(seen);
    }
}

// A question is answered No unless Yes is chosen: Enter, Escape and closing the box say No.
TEST(Platform, QuestionsAnswerNoUnlessYesIsChosen)
{
    LinuxMessageBoxes messages;
    const QString question = QStringLiteral("3 photos were ciphered and checked. Remove the 3 originals?");
    struct Row {
        const char *name;
        std::function<void(QMessageBox *)> act;
        bool yes;
    };
    const std::vector<Row> rows{
        {"Enter", [](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Return); }, false},
        {"Escape", [](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Escape); }, false},
        {"closed", [](QMessageBox *box) { box->close(); }, false},
        {"Yes", [](QMessageBox *box) { box->button(QMessageBox::Yes)->click(); }, true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        bool seen = false;
        test::OnNextModal([&](QWidget *modal) {
            seen = true;
            auto *box = qobject_cast<QMessageBox *>(modal);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->text(), question);
            EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
            row.act(box);
        });
        EXPECT_EQ(messages.ask(nullptr, question), row.yes);
        EXPECT_TRUE(seen);
    }
}

}  // namespace
}  // namespace veilshot::platform
