#pragma once
// A viewer's folder: the full paths of the files of its kind and the position of the shown
// one. The model is the only writer of the position; whatever shows the position (labels,
// picture, the preview's cell, the decoding ahead) follows `currentChanged`.

#include "files/folderlisting.h"

#include <QObject>
#include <QString>
#include <QStringList>

namespace veilshot {

class FolderModel : public QObject {
    Q_OBJECT
public:
    explicit FolderModel(QObject *parent = nullptr);

    // The entries as a list of their own, for a run over all of them.
    QStringList paths() const { return paths_.toList(); }
    int index() const { return index_; }
    int count() const { return int(paths_.size()); }
    int lastIndex() const { return count() - 1; }
    bool inList() const { return index_ >= 0 && index_ < count(); }
    // The entry at `index`, or "" outside the list.
    QString at(int index) const { return paths_.at(index); }
    // The entry at the position, or "" when the position is outside the list.
    QString current() const { return at(index_); }
    // The position `steps` steps would give, wrapping at either end, without taking it.
    int neighbour(bool backward, int steps = 1) const;

    // A new list and the position in it.
    void replace(PathList paths, int index);
    // The list around the entry at the position, now listed whole, with that same entry at
    // `index`: nothing new is shown, the views follow `listChanged`.
    void relist(PathList paths, int index);
    // The position set anew; views show the entry there again even when it is the same.
    void setIndex(int index);
    void step(bool backward);

signals:
    void currentChanged();
    void listChanged();

private:
    PathList paths_;
    int index_ = 0;
};

}  // namespace veilshot
