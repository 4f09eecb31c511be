#pragma once
// A test's std::filesystem path as the QString the program's windows and imaging take.

#include <QString>

#include <filesystem>

namespace veilshot::test {

inline QString Q(const std::filesystem::path &path)
{
    return QString::fromStdString(path.string());
}

}  // namespace veilshot::test
