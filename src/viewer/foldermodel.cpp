#include "viewer/foldermodel.h"

namespace veilshot {

FolderModel::FolderModel(QObject *parent)
    : QObject(parent)
{
}

int FolderModel::neighbour(bool backward) const
{
    if (backward)
        return index_ != 0 ? index_ - 1 : lastIndex();
    return index_ + 1 > lastIndex() ? 0 : index_ + 1;
}

void FolderModel::replace(QStringList paths, int index)
{
    paths_ = std::move(paths);
    setIndex(index);
}

void FolderModel::setIndex(int index)
{
    index_ = index;
    emit currentChanged();
}

void FolderModel::step(bool backward)
{
    setIndex(neighbour(backward));
}

}  // namespace veilshot
