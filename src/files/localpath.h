#pragma once
// The one bridge from Qt's strings to the file layer's paths, for the parts of the program
// that hold names as QString. The file layer itself knows nothing of Qt.

#include <QFile>
#include <QString>

#include <filesystem>

namespace veilshot {

// A path as the file system takes it (the local 8-bit encoding of the name).
inline std::filesystem::path LocalPath(const QString &path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

}  // namespace veilshot
