#pragma once
// The program's own dialog for opening files, and the rules it lists a folder by. A folder is
// read beside the window's thread, once, and what the dialog shows of it is filtered and drawn
// from memory: in a folder of 100,000 files Qt's own dialog filtered and sorted the growing
// list again and again on the window's thread and did not answer for many seconds.

#include "platform/platform.h"

#include <QAbstractTableModel>
#include <QDialog>
#include <QFutureWatcher>
#include <QIcon>
#include <QRegularExpression>

#include <vector>

class QComboBox;
class QLineEdit;
class QListView;
class QStackedWidget;
class QTreeView;

namespace veilshot::platform {

// One entry of a folder as the dialog shows it.
struct FolderEntry {
    QString name;
    bool folder = false;
    qint64 size = 0;
    qint64 modified = 0;  // seconds since the epoch
};

// The entries of `folder` that a user sees there: every one but the hidden ones (a leading
// "."), folders first, each group in natural order (photo2 before photo10). Only the folder
// and each entry's status are read, never a file's contents. Empty when the folder cannot be read.
std::vector<FolderEntry> ReadFolderEntries(const QString &folder);

// A folder and its entries, as read beside the window's thread.
struct FolderListing {
    QString folder;
    std::vector<FolderEntry> entries;
};

// Which entries a choice of file types lets through. A pattern "*.veil" is an extension, taken
// in any letter case ("A.VEIL" too), as users of a desktop expect; "*" lets everything through;
// any other pattern is matched against the whole name. Folders always pass, so the user can
// walk through them.
class NameFilter {
public:
    NameFilter() = default;  // everything
    explicit NameFilter(const QStringList &patterns);
    bool accepts(QStringView name, bool folder) const;

private:
    bool all_ = true;
    QStringList endings_;  // ".veil", compared without regard to case
    QList<QRegularExpression> others_;
};

// A folder's entries as rows of Name, Size, Type and Date Modified, filtered: the views of the
// dialog show it.
class FolderModel final : public QAbstractTableModel {
public:
    enum Column { Name, Size, Type, Modified, Columns };

    explicit FolderModel(QObject *parent = nullptr);
    void setEntries(std::vector<FolderEntry> entries);
    void setFilter(NameFilter filter);

    const FolderEntry &entry(int row) const { return entries_[std::size_t(shown_[std::size_t(row)])]; }
    // The row of the entry named `name` (letter case counting), or -1 when it is not shown.
    int rowOf(const QString &name) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    void refilter();

    std::vector<FolderEntry> entries_;
    std::vector<int> shown_;  // the entries that pass the filter, in order
    NameFilter filter_;
    QIcon folderIcon_, fileIcon_;
};

// The dialog: a folder's entries in a list or in details, the name field, the choice of file
// types, and Open and Cancel. A typed name is returned whether or not it is there (the command
// that asked answers for it); several typed names must all be there.
class FolderDialog final : public QDialog {
public:
    FolderDialog(QWidget *parent, const DialogRequest &request, bool several);

    // The chosen files' full paths, in the order picked; valid once the dialog was accepted.
    const QStringList &chosen() const { return chosen_; }
    const QString &folder() const { return folder_; }
    // Shows `folder`, listed beside the window's thread.
    void setFolder(const QString &folder);

protected:
    void accept() override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void listed();
    void fitListToNames();
    void selectionChanged();
    void activated(const QModelIndex &index);
    QStringList typedNames() const;

    bool several_;
    QString folder_;
    QString proposed_;  // selected once its folder is listed
    QStringList chosen_;
    FolderModel model_;
    QFutureWatcher<FolderListing> listing_;
    QComboBox *lookIn_;
    QStackedWidget *views_;
    QListView *list_;
    QTreeView *details_;
    QLineEdit *name_;
    QComboBox *types_;
};

}  // namespace veilshot::platform
