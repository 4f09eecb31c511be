// Makes the seed corpora of the fuzz targets from the test fixtures:
//   fuzz_seeds SOURCE_DIR OUTPUT_DIR
// OUTPUT_DIR/imaging: a small photo in every format the imaging library reads (made as the
// tests make theirs, plus the metafiles of tests/data); OUTPUT_DIR/veil: each of them ciphered
// under the fuzzing code, and files that are refused; OUTPUT_DIR/codetext: code files in every
// encoding the reader knows.

#include "codetext.h"
#include "fuzzsupport.h"
#include "imaging.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

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

QImage Photo()
{
    QImage image(24, 16, QImage::Format_ARGB32);
    image.fill(Qt::red);
    QPainter painter(&image);
    painter.fillRect(0, 0, 12, 8, Qt::blue);
    painter.fillRect(12, 8, 12, 8, QColor(0, 200, 0, 128));
    return image;
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

    // Photos in every format read.
    const QImage photo = Photo();
    for (const char *mime : {"image/bmp", "image/jpeg", "image/png", "image/gif", "image/tiff"}) {
        const QString name = QString::fromLatin1(mime).mid(6);
        imaging::Save(photo, QString::fromStdString((output / "imaging" / ("photo." + name.toStdString())).string()),
                      imaging::FindEncoderByMime(QString::fromLatin1(mime)));
    }
    photo.save(QString::fromStdString((output / "imaging" / "photo.ico").string()), "ICO");
    for (const auto &entry : fs::directory_iterator(source / "tests" / "data")) {
        const std::string extension = entry.path().extension().string();
        if (extension == ".emf" || extension == ".wmf")
            fs::copy_file(entry.path(), output / "imaging" / entry.path().filename(), fs::copy_options::overwrite_existing);
    }

    // The same, ciphered under the fuzzing code; and files that are refused.
    cipher::CipherEngine engine;
    engine.BuildKeyTable(fuzz::FuzzCode);
    for (const auto &entry : fs::directory_iterator(output / "imaging")) {
        engine.extension = cipher::Extension::FromFileName(entry.path());
        engine.Cipfoto(entry.path(), output / "veil" / (entry.path().filename().string() + ".veil"),
                       AtomicFile::Mode::Replace);
    }
    cipher::CipherEngine other;
    other.BuildKeyTable(u"another code");
    other.extension = cipher::Extension::FromText(u".png");
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
