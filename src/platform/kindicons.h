#pragma once
// Icons by kind alone, a folder's or a file's. Qt's own provider finds each file's type by
// reading its first bytes when the name does not tell it (".veil" does not): in a folder of
// 100,000 files Qt's file dialog opened and read every one of them on the window's thread before
// it answered again.

#include <QFileIconProvider>
#include <QFileInfo>

namespace veilshot::platform {

class KindIcons final : public QFileIconProvider {
public:
    QIcon icon(IconType type) const override { return QFileIconProvider::icon(type); }
    QIcon icon(const QFileInfo &info) const override { return icon(info.isDir() ? Folder : File); }
    QString type(const QFileInfo &info) const override
    {
        return info.isDir() ? QStringLiteral("Folder") : info.suffix().toUpper() + QStringLiteral(" File");
    }
};

}  // namespace veilshot::platform
