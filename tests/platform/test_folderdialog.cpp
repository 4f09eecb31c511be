// The program's own open dialog: which names a choice of types lets through, how a folder is
// listed, and the dialog as a user drives it.

#include "common/modal.h"
#include "common/tempdir.h"
#include "platform/folderdialog.h"
#include "platform/linuxplatform.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QTreeView>

#include <filesystem>
#include <ostream>

namespace veilshot::platform {
namespace {

struct FilterRow {
    const char *rule;
    QStringList patterns;
    QString name;
    bool folder;
    bool passes;
    friend std::ostream &operator<<(std::ostream &os, const FilterRow &r) { return os << r.rule; }
};

class NameFilterRows : public testing::TestWithParam<FilterRow> {};

TEST_P(NameFilterRows, PassByExtensionInAnyCaseAndKeepFolders)
{
    const FilterRow &row = GetParam();
    EXPECT_EQ(NameFilter(row.patterns).accepts(row.name, row.folder), row.passes)
        << row.patterns.join(' ').toStdString() << " / " << row.name.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Rows, NameFilterRows,
    testing::Values(FilterRow{"Extension", {"*.veil"}, "photo.veil", false, true},
                    FilterRow{"CapitalExtension", {"*.veil"}, "PHOTO.VEIL", false, true},
                    FilterRow{"MixedCaseExtension", {"*.veil"}, "photo.Veil", false, true},
                    FilterRow{"ExtensionNotLast", {"*.veil"}, "photo.veil.jpg", false, false},
                    FilterRow{"NoDot", {"*.veil"}, "photoveil", false, false},
                    FilterRow{"OtherExtension", {"*.veil"}, "photo.jpg", false, false},
                    FilterRow{"FolderWhateverItsName", {"*.veil"}, "photos.jpg", true, true},
                    FilterRow{"SecondPattern", {"*.jpg", "*.png"}, "b.PNG", false, true},
                    FilterRow{"NeitherPattern", {"*.jpg", "*.png"}, "b.gif", false, false},
                    FilterRow{"PatternsByCase", {"*.txt", "*.TXT"}, "notes.Txt", false, true},
                    FilterRow{"Star", {"*"}, "anything", false, true},
                    FilterRow{"NoPattern", {}, "anything", false, true},
                    FilterRow{"WholeNamePattern", {"photo?.jpg"}, "PHOTO1.JPG", false, true},
                    FilterRow{"WholeNameTooLong", {"photo?.jpg"}, "photo12.jpg", false, false},
                    FilterRow{"WholeNameFromTheStart", {"photo?.jpg"}, "my photo1.jpg", false, false}),
    [](const auto &info) { return std::string(info.param.rule); });

std::vector<QString> Names(const std::vector<FolderEntry> &entries)
{
    std::vector<QString> names;
    for (const FolderEntry &entry : entries)
        names.push_back(entry.name);
    return names;
}

// Folders first, then files, each in natural order; hidden entries left out; a link counts as
// what it leads to.
TEST(Platform, AFolderIsListedFoldersFirstInNaturalOrder)
{
    test::TempDir folder;
    for (const char *name : {"photo10.veil", "photo2.veil", "Photo1.VEIL", ".hidden.veil", "notes.txt"})
        test::WriteText(folder / name, "12345");
    for (const char *name : {"b", "A10", "A9", ".config"})
        std::filesystem::create_directory(folder / name);
    std::filesystem::create_directory_symlink(folder / "b", folder / "link");
    std::filesystem::create_symlink(folder / "gone", folder / "dangling");
    const std::vector<FolderEntry> entries = ReadFolderEntries(QString::fromStdString(folder.path().string()));
    EXPECT_EQ(Names(entries), (std::vector<QString>{"A9", "A10", "b", "link", "dangling", "notes.txt", "Photo1.VEIL",
                                                    "photo2.veil", "photo10.veil"}));
    ASSERT_EQ(entries.size(), 9u);
    EXPECT_TRUE(entries[3].folder);
    EXPECT_FALSE(entries[4].folder);
    EXPECT_EQ(entries[8].size, 5);
    EXPECT_GT(entries[8].modified, 0);
    EXPECT_TRUE(ReadFolderEntries(QString::fromStdString((folder / "none").string())).empty());
}

TEST(Platform, TheFolderModelShowsWhatTheFilterLetsThrough)
{
    FolderModel model;
    model.setEntries({{"sub", true}, {"a.veil"}, {"b.jpg"}, {"C.VEIL", false, 2048}});
    EXPECT_EQ(model.rowCount(), 4);
    model.setFilter(NameFilter({"*.veil"}));
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.index(0, FolderModel::Name).data().toString(), "sub");
    EXPECT_EQ(model.index(0, FolderModel::Type).data().toString(), "Folder");
    EXPECT_EQ(model.index(2, FolderModel::Name).data().toString(), "C.VEIL");
    EXPECT_EQ(model.index(2, FolderModel::Type).data().toString(), "VEIL File");
    EXPECT_FALSE(model.index(2, FolderModel::Name).data(Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_EQ(model.rowOf("C.VEIL"), 2);
    EXPECT_EQ(model.rowOf("b.jpg"), -1);
    model.setFilter(NameFilter({"*.jpg"}));
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.rowOf("b.jpg"), 1);
}

// As a user: the list fills, the type choice narrows it, a typed folder's name walks into it,
// and two picked files come back in the order picked.
TEST(Platform, TheOpenDialogListsFiltersWalksAndPicks)
{
    test::TempDir folder;
    for (const char *name : {"a.veil", "b.VEIL", "c.jpg"})
        test::WriteText(folder / name, "x");
    std::filesystem::create_directory(folder / "sub");
    for (const char *name : {"photo10.veil", "photo9.veil", "other.jpg"})
        test::WriteText(folder / "sub" / name, "x");
    const QString start = QString::fromStdString(folder.path().string());
    LinuxFileDialogs dialogs;
    bool looked = false;
    test::OnNextModal([&](QWidget *dialog) {
        auto *list = dialog->findChild<QListView *>("listView");
        auto *details = dialog->findChild<QTreeView *>("treeView");
        auto *name = dialog->findChild<QLineEdit *>("fileNameEdit");
        auto *types = dialog->findChild<QComboBox *>("fileTypeCombo");
        ASSERT_TRUE(list && details && name && types);
        const auto shown = [list] {
            QStringList names;
            for (int row = 0; row < list->model()->rowCount(); ++row)
                names << list->model()->index(row, 0).data().toString();
            return names;
        };
        EXPECT_EQ(types->count(), 2);
        EXPECT_EQ(types->itemText(0), "Ciphered (*.veil)");
        EXPECT_TRUE(QTest::qWaitFor([&] { return shown() == QStringList{"sub", "a.veil", "b.VEIL"}; }, 20000))
            << shown().join(' ').toStdString();
        types->setCurrentIndex(1);
        EXPECT_EQ(shown(), (QStringList{"sub", "a.veil", "b.VEIL", "c.jpg"}));
        types->setCurrentIndex(0);
        name->setText("sub");
        static_cast<QDialog *>(dialog)->accept();  // walks into the folder
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(name->text(), "");
        EXPECT_TRUE(QTest::qWaitFor([&] { return shown() == QStringList{"photo9.veil", "photo10.veil"}; }, 20000))
            << shown().join(' ').toStdString();
        auto *selection = list->selectionModel();
        selection->select(list->model()->index(1, 0), QItemSelectionModel::Select);
        selection->select(list->model()->index(0, 0), QItemSelectionModel::Select);
        EXPECT_EQ(name->text(), "\"photo10.veil\" \"photo9.veil\"");
        looked = true;
        static_cast<QDialog *>(dialog)->accept();
        if (dialog->isVisible())
            static_cast<QDialog *>(dialog)->reject();
    });
    const QStringList chosen =
        dialogs.openFiles(nullptr, {.startFolder = start, .filter = "Ciphered (*.veil)|*.veil|All|*"});
    EXPECT_TRUE(looked);
    EXPECT_EQ(chosen, (QStringList{start + "/sub/photo10.veil", start + "/sub/photo9.veil"}));
}

// No name in the list is cut short: not where the first row is the shortest, nor after walking
// from a folder of short names into one of long ones.
TEST(Platform, TheOpenDialogListShowsEveryNameWhole)
{
    test::TempDir folder;
    std::filesystem::create_directory(folder / "sub");
    for (const char *name : {"a.veil", "holidays by the sea, the second week.veil"})
        test::WriteText(folder / "sub" / name, "x");
    LinuxFileDialogs dialogs;
    bool looked = false;
    test::OnNextModal([&](QWidget *dialog) {
        auto *list = dialog->findChild<QListView *>("listView");
        auto *name = dialog->findChild<QLineEdit *>("fileNameEdit");
        ASSERT_TRUE(list && name);
        const auto listed = [list](const QStringList &names) {
            QStringList shown;
            for (int row = 0; row < list->model()->rowCount(); ++row)
                shown << list->model()->index(row, 0).data().toString();
            return shown == names;
        };
        // A name is cut when its row or the list's columns are narrower than it. (Offscreen, Qt
        // sizes the rows from every name; on a screen it kept the first row's size, even one of
        // the folder shown before, and cut "green.veil" to "gree...".)
        const auto cut = [list] {
            QStringList cut;
            for (int row = 0; row < list->model()->rowCount(); ++row) {
                const QModelIndex at = list->model()->index(row, 0);
                const int width = list->fontMetrics().horizontalAdvance(at.data().toString());
                if (list->visualRect(at).width() < width || list->gridSize().width() < width)
                    cut << at.data().toString();
            }
            return cut;
        };
        EXPECT_TRUE(QTest::qWaitFor([&] { return listed({"sub"}); }, 20000));
        EXPECT_EQ(cut().join(", ").toStdString(), "");
        name->setText("sub");
        static_cast<QDialog *>(dialog)->accept();  // walks into the folder
        EXPECT_TRUE(QTest::qWaitFor([&] { return listed({"a.veil", "holidays by the sea, the second week.veil"}); }, 20000));
        EXPECT_EQ(cut().join(", ").toStdString(), "");
        looked = true;
        static_cast<QDialog *>(dialog)->reject();
    });
    dialogs.openFiles(nullptr, {.startFolder = QString::fromStdString(folder.path().string()), .filter = "Ciphered (*.veil)|*.veil"});
    EXPECT_TRUE(looked);
}

// Several typed names are taken only when every one is there; the proposed name is selected once
// its folder is listed.
TEST(Platform, TheOpenDialogTakesSeveralNamesOnlyWhenAllAreThere)
{
    test::TempDir folder;
    for (const char *name : {"a.veil", "b.veil"})
        test::WriteText(folder / name, "x");
    const QString start = QString::fromStdString(folder.path().string());
    LinuxFileDialogs dialogs;
    test::OnNextModal([](QWidget *dialog) {
        auto *list = dialog->findChild<QListView *>("listView");
        auto *name = dialog->findChild<QLineEdit *>("fileNameEdit");
        ASSERT_TRUE(list && name);
        EXPECT_TRUE(QTest::qWaitFor([&] { return list->currentIndex().data().toString() == "b.veil"; }, 20000));
        bool refused = false;
        test::OnNextModal([&refused](QWidget *box) {
            refused = true;
            box->close();
        });
        name->setText("\"a.veil\" \"gone.veil\"");
        static_cast<QDialog *>(dialog)->accept();
        EXPECT_TRUE(refused);
        EXPECT_TRUE(dialog->isVisible());
        name->setText("\"b.veil\" \"a.veil\"");
        static_cast<QDialog *>(dialog)->accept();
        if (dialog->isVisible())
            static_cast<QDialog *>(dialog)->reject();
    });
    EXPECT_EQ(dialogs.openFiles(nullptr, {.startFolder = start, .proposedName = "b.veil"}),
              (QStringList{start + "/b.veil", start + "/a.veil"}));
}

}  // namespace
}  // namespace veilshot::platform
