#pragma once
// Ciphered photos made for window tests, and pictures read back and compared by colour.

#include "cipher/cipherengine.h"
#include "common/tempdir.h"
#include "files/fileio.h"

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <vector>

namespace veilshot::test {

// A picture of one colour, as PNG bytes.
inline std::vector<std::uint8_t> Png(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "png").write(image);
    return {bytes.begin(), bytes.end()};
}

// Ciphers `bytes` into `target` with `engine` as it stands (its code and write format),
// storing `extension` as the photo's own.
inline void CipherWith(cipher::CipherEngine &engine, const std::filesystem::path &target,
                       const std::vector<std::uint8_t> &bytes, std::u16string_view extension = u".png")
{
    const auto plain = target.parent_path() / (".plain-" + target.filename().string());
    WriteFile(plain, bytes);
    engine.extension = cipher::Extension::fromText(extension);
    engine.Cipfoto(plain, target, AtomicFile::Mode::Replace);
    std::filesystem::remove(plain);
}

// Ciphers `bytes` into `target` under `code`, storing `extension` as the photo's own.
inline void CipherInto(const std::filesystem::path &target, const std::vector<std::uint8_t> &bytes,
                       std::u16string_view code, std::u16string_view extension = u".png")
{
    cipher::CipherEngine engine;
    engine.BuildKeyTable(code);
    CipherWith(engine, target, bytes, extension);
}

inline void CipherInto(const std::filesystem::path &target, const QByteArray &bytes, std::u16string_view code,
                       std::u16string_view extension = u".png")
{
    CipherInto(target, std::vector<std::uint8_t>(bytes.begin(), bytes.end()), code, extension);
}

// Whether each channel of `pixel` is within `tolerance` of `colour`'s.
inline bool Near(QRgb pixel, QColor colour, int tolerance = 24)
{
    return std::abs(qRed(pixel) - colour.red()) <= tolerance && std::abs(qGreen(pixel) - colour.green()) <= tolerance
        && std::abs(qBlue(pixel) - colour.blue()) <= tolerance;
}

// The picture of a file, whatever its name says it is.
inline QImage ReadPicture(const std::filesystem::path &file)
{
    QImageReader reader(QString::fromStdString(file.string()));
    reader.setDecideFormatFromContent(true);
    return reader.read();
}

}  // namespace veilshot::test
