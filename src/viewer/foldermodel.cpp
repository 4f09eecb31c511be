#include "viewer/foldermodel.h"

namespace veilshot {

FolderModel::FolderModel(QObject *parent)
    : QObject(parent)
{
}

int FolderModel::neighbour(bool backward, int steps) const
{
    int i = index_;
    for (int step = 0; step < steps; ++step) {
        if (backward)
            i = i != 0 ? i - 1 : lastIndex();
        else
            i = i + 1 > lastIndex() ? 0 : i + 1;
    }
    return i;
}

void FolderModel::replace(PathList paths, int index)
{
    paths_ = std::move(paths);
    setIndex(index);
}

void FolderModel::relist(PathList paths, int index)
{
    paths_ = std::move(paths);
    index_ = index;
    emit listChanged();
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
