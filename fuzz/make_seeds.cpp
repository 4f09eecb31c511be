// Makes the seed corpora of the fuzz targets from the test fixtures:
//   fuzz_seeds SOURCE_DIR OUTPUT_DIR
// OUTPUT_DIR/imaging: a small photo in every format the imaging library reads (the tests' own
// photos, JPEGs with EXIF data among them, the metafiles and small HEIC, AVIF, WebP and JPEG XL
// photos of tests/data, and, made by the Debian encoders where they are installed, those formats
// in the shapes the photo decoder treats apart: a thumbnail, alpha, deep samples, a profile, an
// animation); OUTPUT_DIR/veil: each of them ciphered
// under the fuzzing code, and files that are refused; OUTPUT_DIR/codetext: code files in every
// encoding the reader knows; OUTPUT_DIR/metadata: a camera's JPEG with every block (EXIF in
// either byte order), and the PNG and TIFF written from it carrying them.

#include "cipher/codetext.h"
#include "common/cameraphoto.h"
#include "common/encoders.h"
#include "common/photos.h"
#include "fuzz/fuzzsupport.h"
#include "imaging/imaging.h"

#include <QBuffer>
#include <QColorSpace>
#include <QGuiApplication>
#include <QImage>

#include <filesystem>
#include <fstream>
#include <iostream>

using namespace veilshot;
namespace fs = std::filesystem;

namespace {

void Write(const fs::path &file, const std::string &bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void Write(const fs::path &file, const std::vector<std::uint8_t> &bytes)
{
    Write(file, std::string(bytes.begin(), bytes.end()));
}

// 16 x 12 of shading, with alpha across it when asked, in 16 bits a channel for `deep`.
QImage Small(bool alpha, bool deep = false)
{
    QImage image(16, 12, deep ? QImage::Format_RGBA64 : QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgba(x * 16, y * 20, 128, alpha ? x * 16 : 255));
    return image;
}

// Today's photos in the shapes the photo decoder treats apart, made by their encoders; those
// whose encoder is missing are left out.
void WriteTodaysShapes(const fs::path &folder)
{
    QImage profiled = Small(false);
    profiled.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    test::TempDir dir;
    QImage second = Small(false);
    second.invertPixels();
    test::WriteFile(dir / "second.png", test::PngOf(second));
    const struct {
        const char *name;
        QImage source;
        const char *program;
        QStringList arguments;
    } shapes[] = {
        {"thumbnail.heic", Small(false), "heif-enc", {"IN", "-t", "8", "-o", "OUT"}},
        {"deep-alpha.heic", Small(true, true), "heif-enc", {"-b", "10", "IN", "-o", "OUT"}},
        {"profile.heic", profiled, "heif-enc", {"IN", "-o", "OUT"}},
        {"alpha.avif", Small(true), "avifenc", {"IN", "OUT"}},
        {"profile.webp", profiled, "cwebp", {"-quiet", "-metadata", "icc", "IN", "-o", "OUT"}},
        {"alpha.webp", Small(true), "cwebp", {"-quiet", "IN", "-o", "OUT"}},
        {"animated.webp", Small(false), "img2webp", {"-lossless", "IN", test::Q(dir / "second.png"), "-o", "OUT"}},
        {"deep-alpha.jxl", Small(true, true), "cjxl", {"IN", "OUT", "--quiet"}},
    };
    for (const auto &shape : shapes) {
        const std::string extension = fs::path(shape.name).extension().string();
        const std::vector<std::uint8_t> bytes = test::Encoded(shape.source, shape.program, shape.arguments, extension);
        if (!bytes.empty())
            Write(folder / shape.name, bytes);
    }
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::cerr << "usage: fuzz_seeds SOURCE_DIR OUTPUT_DIR\n";
        return 2;
    }
    fuzz::StartImaging(&argc, &argv);
    const fs::path source = argv[1];
    const fs::path output = argv[2];
    for (const char *sub : {"imaging", "veil", "codetext", "metadata"})
        fs::create_directories(output / sub);

    // Photos in every format read; GIF through the program's own encoder, as Qt writes none.
    for (const char *format : {"bmp", "jpeg", "png", "tiff", "ico"})
        Write(output / "imaging" / (std::string("photo.") + format), test::EncodedPhoto(format));
    Write(output / "imaging" / "exif.jpeg", test::JpegWithExif(false));
    Write(output / "imaging" / "exif-damaged.jpeg", test::JpegWithExif(true));
    const std::vector<std::uint8_t> png = test::EncodedPhoto("png", Qt::green);
    imaging::Save(imaging::DecodeMemory(png, QStringLiteral("seed")).image,
                  QString::fromStdString((output / "imaging" / "photo.gif").string()),
                  imaging::FindEncoderByMime(QStringLiteral("image/gif")));
    for (const auto &entry : fs::directory_iterator(source / "tests" / "data")) {
        const std::string extension = entry.path().extension().string();
        if (extension == ".emf" || extension == ".wmf" || extension == ".heic" || extension == ".avif" ||
            extension == ".webp" || extension == ".jxl")
            fs::copy_file(entry.path(), output / "imaging" / entry.path().filename(), fs::copy_options::overwrite_existing);
    }

    WriteTodaysShapes(output / "imaging");
    // The same, ciphered under the fuzzing code; and files that are refused.
    cipher::CipherEngine engine;
    engine.BuildKeyTable(fuzz::FuzzCode);
    for (const auto &entry : fs::directory_iterator(output / "imaging")) {
        engine.extension = cipher::Extension::fromFileName(entry.path());
        engine.Cipfoto(entry.path(), output / "veil" / (entry.path().filename().string() + ".veil"),
                       AtomicFile::Mode::Replace);
    }
    // A sealed file with its preview, as the main window ciphers photos.
    engine.extension = cipher::Extension::fromText(u".png");
    engine.Cipfoto(output / "imaging" / "photo.png", output / "veil" / "with-preview.veil", AtomicFile::Mode::Replace,
                   imaging::MakePreview(QString::fromStdString((output / "imaging" / "photo.png").string())));
    cipher::CipherEngine other;
    other.BuildKeyTable(u"another code");
    other.extension = cipher::Extension::fromText(u".png");
    other.Cipfoto(output / "imaging" / "photo.png", output / "veil" / "other-code.veil", AtomicFile::Mode::Replace);
    Write(output / "veil" / "short.veil", "tiny");

    // A camera's photo, and what the tools write of it.
    {
        test::TempDir dir;
        const fs::path metadata = output / "metadata";
        const std::vector<std::uint8_t> camera = test::CameraJpeg(dir, {16, 12}, 6);
        Write(metadata / "camera.jpeg", camera);
        Write(metadata / "exif.jpeg", test::JpegWithExif(false));
        Write(metadata / "camera-mm.jpeg", imaging::WithSegments(test::CameraJpeg(dir, {16, 8}, 1), {test::Exif(8, true)}));
        const imaging::CarriedMetadata carried = imaging::ReadCarriedMetadata(camera);
        const QImage pixels = imaging::DecodeMemory(camera, QStringLiteral("seed")).image;
        for (const char *format : {"png", "tiff"}) {
            imaging::Save(pixels, QString::fromStdString((metadata / (std::string("camera.") + format)).string()),
                          imaging::FindEncoderByMime(QStringLiteral("image/") + QLatin1String(format)), std::nullopt,
                          AtomicFile::Mode::Replace, &carried);
        }
    }

    // Code files: as the code window saves them, UTF-8 with and without a byte-order mark,
    // UTF-16 big-endian, Latin-1.
    const std::u16string code = u"correct horse\r\nbattery staple\r\n\u0416\u0443\u043A 17";
    Write(output / "codetext" / "saved.txt", EncodeCodeText(code));
    Write(output / "codetext" / "utf8.txt", Utf16ToUtf8(code));
    Write(output / "codetext" / "utf8-bom.txt", "\xEF\xBB\xBF" + Utf16ToUtf8(u"another code"));
    std::string bigEndian = "\xFE\xFF";
    for (const char16_t c : code) {
        bigEndian.push_back(static_cast<char>(c >> 8));
        bigEndian.push_back(static_cast<char>(c & 0xFF));
    }
    Write(output / "codetext" / "utf16be.txt", bigEndian);
    Write(output / "codetext" / "latin1.txt", "caf\xE9 cr\xE8me\n\xA7 12");
    return 0;
}
