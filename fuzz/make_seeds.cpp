// Makes the seed corpora of the fuzz targets from the test fixtures:
//   fuzz_seeds SOURCE_DIR OUTPUT_DIR
// OUTPUT_DIR/imaging: a small photo in every format the imaging library reads (the tests' own
// photos, JPEGs with EXIF data among them, and the metafiles and small HEIC, AVIF, WebP and
// JPEG XL photos of tests/data); OUTPUT_DIR/veil: each of them ciphered
// under the fuzzing code, and files that are refused; OUTPUT_DIR/codetext: code files in every
// encoding the reader knows.

#include "cipher/codetext.h"
#include "common/photos.h"
#include "fuzz/fuzzsupport.h"
#include "imaging/imaging.h"

#include <QBuffer>
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
    for (const char *sub : {"imaging", "veil", "codetext"})
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

    // The same, ciphered under the fuzzing code; and files that are refused.
    cipher::CipherEngine engine;
    engine.BuildKeyTable(fuzz::FuzzCode);
    for (const auto &entry : fs::directory_iterator(output / "imaging")) {
        engine.extension = cipher::Extension::fromFileName(entry.path());
        engine.Cipfoto(entry.path(), output / "veil" / (entry.path().filename().string() + ".veil"),
                       AtomicFile::Mode::Replace);
    }
    cipher::CipherEngine other;
    other.BuildKeyTable(u"another code");
    other.extension = cipher::Extension::fromText(u".png");
    other.Cipfoto(output / "imaging" / "photo.png", output / "veil" / "other-code.veil", AtomicFile::Mode::Replace);
    Write(output / "veil" / "short.veil", "tiny");

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
