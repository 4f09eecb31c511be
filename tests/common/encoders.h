#pragma once
// Photos in today's formats, made by the encoders Debian ships (heif-enc, avifenc, cjxl, cwebp)
// from a PNG the test draws, and colour references from ImageMagick's profile conversion.

#include "common/qtpath.h"
#include "common/tempdir.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <QStringList>

#include <cstdint>
#include <string>
#include <vector>

namespace veilshot::test {

inline std::vector<std::uint8_t> PngOf(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "png").write(image);
    return {bytes.begin(), bytes.end()};
}

// Runs `program` with `arguments`, in which "IN" and "OUT" stand for the PNG of `source` and
// the file it writes (named with `extension`); its output, or nothing when it failed.
inline std::vector<std::uint8_t> Encoded(const QImage &source, const QString &program, QStringList arguments,
                                         const std::string &extension)
{
    TempDir dir;
    WriteFile(dir / "in.png", PngOf(source));
    for (QString &argument : arguments) {
        if (argument == QLatin1String("IN"))
            argument = Q(dir / "in.png");
        else if (argument == QLatin1String("OUT"))
            argument = Q(dir / ("out" + extension));
    }
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(120'000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    return ReadFile(dir / ("out" + extension));
}

// The pixel ImageMagick gives for `rgb` in the colour space of `profile` converted to sRGB
// (its own sRGB profile when `target` is empty), 8 bits a channel.
inline QRgb ImageMagickConverted(QRgb rgb, const QByteArray &profile)
{
    TempDir dir;
    QImage patch(1, 1, QImage::Format_RGB32);
    patch.setPixel(0, 0, rgb);
    WriteFile(dir / "patch.png", PngOf(patch));
    WriteFile(dir / "in.icc", {profile.begin(), profile.end()});
    // The sRGB profile Qt writes stands in for ImageMagick's built-in one, which it lacks.
    const QByteArray srgb = QColorSpace(QColorSpace::SRgb).iccProfile();
    WriteFile(dir / "srgb.icc", {srgb.begin(), srgb.end()});
    QProcess process;
    process.start("convert", {Q(dir / "patch.png"), "-strip", "-profile", Q(dir / "in.icc"), "-profile",
                              Q(dir / "srgb.icc"), "-depth", "8", "rgb:-"});
    if (!process.waitForFinished(60'000) || process.exitCode() != 0)
        return 0;
    const QByteArray out = process.readAllStandardOutput();
    if (out.size() != 3)
        return 0;
    return qRgb(std::uint8_t(out[0]), std::uint8_t(out[1]), std::uint8_t(out[2]));
}

}  // namespace veilshot::test
