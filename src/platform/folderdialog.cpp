#include "platform/folderdialog.h"

#include "files/folderlisting.h"

#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QToolButton>
#include <QTreeView>
#include <QtConcurrent>

#include <algorithm>
#include <numeric>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veilshot::platform {

// --- Listing ---------------------------------------------------------------------------------

std::vector<FolderEntry> ReadFolderEntries(const QString &folder)
{
    std::vector<FolderEntry> entries;
    const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return entries;
    const QStringList names = ListFolder(folder);
    entries.reserve(std::size_t(names.size()));
    for (const QString &name : names) {
        if (name.startsWith(QLatin1Char('.')))
            continue;
        FolderEntry entry{name};
        // Followed through links, as a user means the folder or file a link leads to; a link
        // that leads nowhere stays a file of no size.
        struct stat status {};
        if (::fstatat(dir, QFile::encodeName(name).constData(), &status, 0) == 0) {
            entry.folder = S_ISDIR(status.st_mode);
            entry.size = status.st_size;
            entry.modified = status.st_mtim.tv_sec;
        }
        entries.push_back(std::move(entry));
    }
    ::close(dir);
    std::stable_partition(entries.begin(), entries.end(), [](const FolderEntry &entry) { return entry.folder; });
    return entries;
}

NameFilter::NameFilter(const QStringList &patterns) : all_(patterns.isEmpty())
{
    const auto wild = [](QStringView text) {
        return text.contains(QLatin1Char('*')) || text.contains(QLatin1Char('?')) || text.contains(QLatin1Char('['));
    };
    for (const QString &given : patterns) {
        const QString pattern = given.trimmed();
        if (pattern == QLatin1String("*"))
            all_ = true;
        else if (pattern.startsWith(QLatin1String("*.")) && !wild(QStringView(pattern).mid(1)))
            endings_ << pattern.mid(1);
        else if (!pattern.isEmpty())
            others_ << QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern),
                                          QRegularExpression::CaseInsensitiveOption);
    }
}

bool NameFilter::accepts(QStringView name, bool folder) const
{
    if (folder || all_)
        return true;
    for (const QString &ending : endings_) {
        if (name.endsWith(ending, Qt::CaseInsensitive))
            return true;
    }
    return std::any_of(others_.begin(), others_.end(),
                       [name](const QRegularExpression &other) { return other.match(name.toString()).hasMatch(); });
}

// --- Model -----------------------------------------------------------------------------------

FolderModel::FolderModel(QObject *parent) : QAbstractTableModel(parent)
{
    // Icons by kind alone: a lookup by each file's type would read the files.
    const QFileIconProvider icons;
    folderIcon_ = icons.icon(QFileIconProvider::Folder);
    fileIcon_ = icons.icon(QFileIconProvider::File);
}

void FolderModel::setEntries(std::vector<FolderEntry> entries)
{
    beginResetModel();
    entries_ = std::move(entries);
    refilter();
    endResetModel();
}

void FolderModel::setFilter(NameFilter filter)
{
    beginResetModel();
    filter_ = std::move(filter);
    refilter();
    endResetModel();
}

void FolderModel::refilter()
{
    shown_.clear();
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (filter_.accepts(entries_[i].name, entries_[i].folder))
            shown_.push_back(int(i));
    }
}

int FolderModel::rowOf(const QString &name) const
{
    for (std::size_t row = 0; row < shown_.size(); ++row) {
        if (entries_[std::size_t(shown_[row])].name == name)
            return int(row);
    }
    return -1;
}

int FolderModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(shown_.size());
}

int FolderModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Columns;
}

QVariant FolderModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const FolderEntry &shown = entry(index.row());
    if (role == Qt::DecorationRole && index.column() == Name)
        return shown.folder ? folderIcon_ : fileIcon_;
    if (role == Qt::TextAlignmentRole && index.column() == Size)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    switch (index.column()) {
    case Name: return shown.name;
    case Size: return shown.folder ? QString() : QLocale().formattedDataSize(shown.size, 1, QLocale::DataSizeTraditionalFormat);
    case Type: {
        if (shown.folder)
            return QStringLiteral("Folder");
        const qsizetype dot = shown.name.lastIndexOf(QLatin1Char('.'));
        return dot > 0 ? shown.name.mid(dot + 1).toUpper() + QStringLiteral(" File") : QStringLiteral("File");
    }
    case Modified: return QLocale().toString(QDateTime::fromSecsSinceEpoch(shown.modified), QLocale::ShortFormat);
    default: return {};
    }
}

QVariant FolderModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case Name: return QStringLiteral("Name");
    case Size: return QStringLiteral("Size");
    case Type: return QStringLiteral("Type");
    case Modified: return QStringLiteral("Date Modified");
    default: return {};
    }
}

// --- Dialog ----------------------------------------------------------------------------------

namespace {

QToolButton *ToolButton(QWidget *parent, const char *name, QStyle::StandardPixmap icon, const QString &tip)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setIcon(parent->style()->standardIcon(icon, nullptr, parent));
    button->setToolTip(tip);
    button->setAutoRaise(true);
    return button;
}

}  // namespace

FolderDialog::FolderDialog(QWidget *parent, const DialogRequest &request, bool several)
    : QDialog(parent), several_(several), proposed_(request.proposedName), model_(this)
{
    setWindowTitle(request.title.isEmpty() ? QStringLiteral("Open") : request.title);
    setSizeGripEnabled(true);

    lookIn_ = new QComboBox(this);
    lookIn_->setObjectName(QStringLiteral("lookInCombo"));
    lookIn_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    QToolButton *toParent = ToolButton(this, "toParentButton", QStyle::SP_FileDialogToParent, QStringLiteral("Parent Directory"));
    QToolButton *listMode = ToolButton(this, "listModeButton", QStyle::SP_FileDialogListView, QStringLiteral("List View"));
    QToolButton *detailMode = ToolButton(this, "detailModeButton", QStyle::SP_FileDialogDetailedView, QStringLiteral("Detail View"));
    for (QToolButton *mode : {listMode, detailMode}) {
        mode->setCheckable(true);
        mode->setAutoExclusive(true);
    }
    listMode->setChecked(true);

    const auto selection = several ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection;
    list_ = new QListView(this);
    list_->setObjectName(QStringLiteral("listView"));
    list_->setModel(&model_);
    list_->setViewMode(QListView::ListMode);
    list_->setFlow(QListView::TopToBottom);
    list_->setWrapping(true);
    list_->setResizeMode(QListView::Adjust);
    // Every row as high as the first and its column as wide as the widest name (fitListToNames):
    // the view never measures 100,000 names to lay them out.
    list_->setUniformItemSizes(true);
    list_->setSelectionMode(selection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    details_ = new QTreeView(this);
    details_->setObjectName(QStringLiteral("treeView"));
    details_->setModel(&model_);
    details_->setSelectionModel(list_->selectionModel());
    details_->setRootIsDecorated(false);
    details_->setItemsExpandable(false);
    details_->setUniformRowHeights(true);
    details_->setSelectionMode(selection);
    details_->setSelectionBehavior(QAbstractItemView::SelectRows);
    details_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    details_->header()->resizeSection(FolderModel::Name, 260);
    details_->header()->resizeSection(FolderModel::Modified, 150);
    views_ = new QStackedWidget(this);
    views_->addWidget(list_);
    views_->addWidget(details_);

    name_ = new QLineEdit(this);
    name_->setObjectName(QStringLiteral("fileNameEdit"));
    name_->setText(request.proposedName);
    types_ = new QComboBox(this);
    types_->setObjectName(QStringLiteral("fileTypeCombo"));
    QList<FilterChoice> choices = FilterChoices(request.filter);
    if (choices.isEmpty())
        choices.append({QStringLiteral("All Files (*)"), {QStringLiteral("*")}});
    for (const FilterChoice &choice : choices)
        types_->addItem(choice.label, choice.patterns);
    model_.setFilter(NameFilter(choices.constFirst().patterns));

    auto *open = new QPushButton(QStringLiteral("&Open"), this);
    open->setObjectName(QStringLiteral("openButton"));
    open->setDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));

    auto *grid = new QGridLayout(this);
    auto *top = new QHBoxLayout;
    top->addWidget(lookIn_);
    top->addWidget(toParent);
    top->addWidget(listMode);
    top->addWidget(detailMode);
    grid->addWidget(new QLabel(QStringLiteral("Look in:"), this), 0, 0);
    grid->addLayout(top, 0, 1, 1, 2);
    grid->addWidget(views_, 1, 0, 1, 3);
    auto *nameLabel = new QLabel(QStringLiteral("File &name:"), this);
    nameLabel->setBuddy(name_);
    grid->addWidget(nameLabel, 2, 0);
    grid->addWidget(name_, 2, 1);
    grid->addWidget(open, 2, 2);
    auto *typesLabel = new QLabel(QStringLiteral("Files of type:"), this);
    typesLabel->setBuddy(types_);
    grid->addWidget(typesLabel, 3, 0);
    grid->addWidget(types_, 3, 1);
    grid->addWidget(cancel, 3, 2);
    resize(720, 460);

    connect(open, &QPushButton::clicked, this, &FolderDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &FolderDialog::reject);
    connect(toParent, &QToolButton::clicked, this, [this] {
        if (folder_ != QLatin1String("/"))
            setFolder(FolderOf(folder_));
    });
    connect(listMode, &QToolButton::clicked, this, [this] { views_->setCurrentWidget(list_); });
    connect(detailMode, &QToolButton::clicked, this, [this] { views_->setCurrentWidget(details_); });
    connect(lookIn_, &QComboBox::activated, this, [this](int index) { setFolder(lookIn_->itemText(index)); });
    connect(types_, &QComboBox::currentIndexChanged, this,
            [this](int index) { model_.setFilter(NameFilter(types_->itemData(index).toStringList())); });
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &FolderDialog::selectionChanged);
    for (QAbstractItemView *view : {static_cast<QAbstractItemView *>(list_), static_cast<QAbstractItemView *>(details_)}) {
        connect(view, &QAbstractItemView::activated, this, &FolderDialog::activated);
        view->installEventFilter(this);
    }
    connect(&listing_, &QFutureWatcher<FolderListing>::finished, this, &FolderDialog::listed);
    connect(&model_, &QAbstractItemModel::modelReset, this, &FolderDialog::fitListToNames);

    const QFileInfo start(request.startFolder.isEmpty() ? QDir::currentPath() : request.startFolder);
    setFolder(start.isDir() ? start.absoluteFilePath() : QDir::currentPath());
    name_->setFocus();
}

void FolderDialog::setFolder(const QString &folder)
{
    folder_ = QDir::cleanPath(QDir(folder).absolutePath());
    // The folder, the folders it is in, and the user's home folder.
    lookIn_->clear();
    for (QString at = folder_;; at = FolderOf(at)) {
        lookIn_->addItem(at);
        if (at == QLatin1String("/"))
            break;
    }
    if (const QString home = QDir::homePath(); lookIn_->findText(home) < 0)
        lookIn_->addItem(home);
    model_.setEntries({});
    views_->setCursor(Qt::BusyCursor);
    listing_.setFuture(QtConcurrent::run([folder = folder_] { return FolderListing{folder, ReadFolderEntries(folder)}; }));
}

void FolderDialog::listed()
{
    FolderListing listing = listing_.future().takeResult();
    if (listing.folder != folder_)
        return;  // another folder was asked for meanwhile
    model_.setEntries(std::move(listing.entries));
    views_->unsetCursor();
    if (!proposed_.isEmpty() && name_->text() == proposed_) {
        if (const int row = model_.rowOf(proposed_); row >= 0) {
            const QModelIndex at = model_.index(row, FolderModel::Name);
            list_->setCurrentIndex(at);
            list_->scrollTo(at);
            details_->scrollTo(at);
        }
    }
    proposed_.clear();
}

// The list's columns as wide as the widest name shown, so that no name is cut short, whatever
// the first row or the folder shown before. Only the names longest in letters are measured.
void FolderDialog::fitListToNames()
{
    const int rows = model_.rowCount();
    if (rows == 0) {
        list_->setGridSize({});
        return;
    }
    std::vector<int> longest(std::size_t(rows), 0);
    std::iota(longest.begin(), longest.end(), 0);
    const auto measured = longest.begin() + std::min(rows, 64);
    std::partial_sort(longest.begin(), measured, longest.end(),
                      [this](int a, int b) { return model_.entry(a).name.size() > model_.entry(b).name.size(); });
    const QFontMetrics metrics = list_->fontMetrics();
    int widest = 0;
    for (auto row = longest.begin(); row != measured; ++row)
        widest = std::max(widest, metrics.horizontalAdvance(model_.entry(*row).name));
    // What a row holds beside its name (icon, margins) is what the first row's size adds to its.
    const QSize first = list_->sizeHintForIndex(model_.index(0, FolderModel::Name));
    const int beside = first.width() - metrics.horizontalAdvance(model_.entry(0).name);
    list_->setGridSize({widest + beside + metrics.averageCharWidth(), first.height()});
}

void FolderDialog::selectionChanged()
{
    QList<int> rows;
    for (const QModelIndex &index : list_->selectionModel()->selectedIndexes()) {
        if (!rows.contains(index.row()))
            rows << index.row();
    }
    if (rows.isEmpty())
        return;
    if (rows.size() == 1) {
        name_->setText(model_.entry(rows.constFirst()).name);
        return;
    }
    QStringList quoted;
    for (const int row : rows) {
        if (!model_.entry(row).folder)
            quoted << QLatin1Char('"') + model_.entry(row).name + QLatin1Char('"');
    }
    name_->setText(quoted.join(QLatin1Char(' ')));
}

void FolderDialog::activated(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    const FolderEntry &entry = model_.entry(index.row());
    if (entry.folder) {
        setFolder(JoinPath(folder_, entry.name));
        name_->clear();
        return;
    }
    if (!several_ || list_->selectionModel()->selectedIndexes().size() <= 1)
        name_->setText(entry.name);
    accept();
}

QStringList FolderDialog::typedNames() const
{
    const QString text = name_->text().trimmed();
    if (!several_ || !text.startsWith(QLatin1Char('"')))
        return text.isEmpty() ? QStringList() : QStringList{text};
    QStringList names;
    static const QRegularExpression quoted(QStringLiteral("\"([^\"]+)\""));
    for (auto match = quoted.globalMatch(text); match.hasNext();)
        names << match.next().captured(1);
    return names;
}

void FolderDialog::accept()
{
    if (!isVisible())
        return;
    const QStringList names = typedNames();
    if (names.isEmpty())
        return;
    QStringList paths;
    for (const QString &name : names) {
        QString path = name;
        if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
            path = QDir::homePath() + path.mid(1);
        else if (!path.startsWith(QLatin1Char('/')))
            path = JoinPath(folder_, path);
        paths << QDir::cleanPath(path);
    }
    if (paths.size() == 1) {
        if (QFileInfo(paths.constFirst()).isDir()) {
            setFolder(paths.constFirst());
            name_->clear();
            return;
        }
        if (names.constFirst().endsWith(QLatin1Char('/')))
            return;  // a folder that is not there
        chosen_ = paths;
        QDialog::accept();
        return;
    }
    for (qsizetype i = 0; i < paths.size(); ++i) {
        if (!QFileInfo(paths[i]).isFile()) {
            QMessageBox::warning(this, windowTitle(),
                                 QStringLiteral("%1\nFile not found.\nPlease verify the correct file name was given.").arg(names[i]));
            return;
        }
    }
    chosen_ = paths;
    QDialog::accept();
}

bool FolderDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && (watched == list_ || watched == details_)) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            accept();  // the selected entry is in the name field: a folder is entered, a file taken
            return true;
        }
        if (key->key() == Qt::Key_Backspace) {
            if (folder_ != QLatin1String("/"))
                setFolder(FolderOf(folder_));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace veilshot::platform
