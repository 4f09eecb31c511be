#pragma once
// A fresh folder for one test, removed with everything in it afterwards, and small file helpers.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace veilshot::test {

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "veilshot-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &path() const { return path_; }
    std::filesystem::path operator/(const std::string &name) const { return path_ / name; }

    // The names of the folder's entries, sorted.
    std::vector<std::string> entries(const std::filesystem::path &sub = {}) const
    {
        std::vector<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(path_ / sub))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::filesystem::path path_;
};

inline std::vector<std::uint8_t> RandomBytes(std::size_t size, std::uint32_t seed = 1)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    for (auto &b : bytes)
        b = static_cast<std::uint8_t>(random());
    return bytes;
}

inline void WriteFile(const std::filesystem::path &file, const std::vector<std::uint8_t> &bytes)
{
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void WriteText(const std::filesystem::path &file, const std::string &text)
{
    std::ofstream out(file, std::ios::binary);
    out << text;
}

inline std::vector<std::uint8_t> ReadFile(const std::filesystem::path &file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace veilshot::test
