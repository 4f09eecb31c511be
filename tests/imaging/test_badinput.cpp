// Bad input is a clear refusal that names the file, never a crash: cut files, bombs that claim
// vast sizes, chunks and records that claim more than the file holds.

#include "common/drawings.h"
#include "common/qtpath.h"
#include "common/memorylimit.h"
#include "common/tempdir.h"
#include "imaging/decoding.h"
#include "imaging/imaging.h"

#include <gtest/gtest.h>

#include <fstream>

namespace veilshot::imaging {
namespace {

using test::Distinct;
using test::Emf;
using test::EmfPlusCommentBeyondItsRecord;
using test::Encode;
using test::MaxChannelDifference;
using test::Put32;
using test::Q;
using test::Quadrants;
using test::TempDir;
using test::Turn;

// 188 bytes of EMF that made the converter read past its buffer (found by fuzzing).
std::vector<std::uint8_t> EmfFoundByFuzzing()
{
    const QByteArray bytes = QByteArray::fromBase64(
        "AQAAAGwAAAAAAAAAAAAAAGMAAAAxAAAAAAAAAAAAAABVCgAAKgUAACBFTUYAAAEAvAAAAAUAAAACAAAAAAAAAAAAAAAAAAAAgAcAADgEAAD8"
        "AQAAHgEAAAAAAAAAAAAAAAAAAGDABwA2XAQAJwAAEBgAAAABAAAAAAAAAP8AAAAAAAAAJQAAAAwAAAABAAAAKwAAABgAAAAKAAAACgAAAFoA"
        "AAAoDgAAAAAAABQAAAAAAAAAEAAAABQAAAA=");
    return {bytes.begin(), bytes.end()};
}

struct BadInput {
    const char *name;
    std::vector<std::uint8_t> bytes;
    friend std::ostream &operator<<(std::ostream &os, const BadInput &c) { return os << c.name; }
};

std::vector<std::uint8_t> Truncated(const char *format, std::size_t keep)
{
    auto bytes = Encode(Distinct(300, 200), format);
    bytes.resize(std::min(keep, bytes.size()));
    return bytes;
}

std::vector<std::uint8_t> PngDeclaring(std::uint32_t w, std::uint32_t h)
{
    auto bytes = Encode(Distinct(4, 4), "png");
    for (int i = 0; i < 4; ++i) {
        bytes[16 + std::size_t(i)] = std::uint8_t(w >> (24 - 8 * i));
        bytes[20 + std::size_t(i)] = std::uint8_t(h >> (24 - 8 * i));
    }
    return bytes;
}

void PutChunk(std::vector<std::uint8_t> &png, const char *type, std::uint32_t claimedLength, std::size_t dataLength)
{
    Put32(png, claimedLength, true);
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), dataLength, 'x');
    Put32(png, 0, true);  // CRC: never reached
}

// A PNG's signature and header chunk, then `chunks` appended by the caller.
std::vector<std::uint8_t> PngStart()
{
    const auto png = Encode(Distinct(4, 4), "png");
    return {png.begin(), png.begin() + 33};
}

std::vector<std::uint8_t> PngEnd(std::vector<std::uint8_t> png)
{
    PutChunk(png, "IEND", 0, 0);
    return png;
}

// 218 bytes whose text chunk claims 0x63000019 bytes: libpng would allocate and clear 1.6 GB.
std::vector<std::uint8_t> PngWithTextBomb()
{
    std::vector<std::uint8_t> png = PngStart();
    Put32(png, 0x63000019, true);
    png.insert(png.end(), {'t', 'E', 'X', 't'});
    png.resize(218, 'x');
    return png;
}

// A WMF header of 18 bytes and one more: its largest record claims 2^32 - 1 words.
// A GIF of a few dozen bytes whose screen claims `width` x `height` pixels, with one real pixel:
// its reader would make the whole canvas.
std::vector<std::uint8_t> GifClaiming(std::uint16_t width, std::uint16_t height)
{
    return {'G', 'I', 'F', '8', '7', 'a', std::uint8_t(width), std::uint8_t(width >> 8), std::uint8_t(height),
            std::uint8_t(height >> 8), 0x80, 0, 0,                  // a global table of two colours
            0, 0, 0, 255, 255, 255,                                  // black, white
            0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0,                         // one image of 1 x 1 at 0, 0
            2, 2, 0x44, 0x01, 0,                                     // LZW: clear, pixel 0, end
            0x3B};
}

std::vector<std::uint8_t> WmfAskingForGigabytes()
{
    return {0x01, 0x00, 0x09, 0x00, 0x00, 0x03, 0xFF, 0xFF, 0xFF, 0xFF,
            0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00};
}

class BadInputs : public ::testing::TestWithParam<BadInput> {};

TEST_P(BadInputs, AreRefusedWithTheNameAndNeverCrash)
{
    const ImagingLibrary library;  // the limits the program runs with
    const auto &bytes = GetParam().bytes;
    const Picture picture = DecodeMemory(bytes, "/photos/bad.jpg");
    EXPECT_FALSE(picture.ok());
    EXPECT_TRUE(picture.error.startsWith("Cannot open file \"/photos/bad.jpg\". ")) << picture.error.toStdString();
    EXPECT_FALSE(DecodeMemory(bytes, "x", QSize(100, 100)).ok());

    TempDir dir;
    test::WriteFile(dir / "bad.png", bytes);
    const Picture fromFile = OpenFile(Q(dir / "bad.png"));
    EXPECT_FALSE(fromFile.ok());
    EXPECT_NE(fromFile.error.indexOf("bad.png"), -1);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, BadInputs,
    ::testing::Values(BadInput{"Empty", {}}, BadInput{"Text", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'}},
                      BadInput{"PngCutAfterItsHeader", Truncated("png", 40)},
                      BadInput{"JpegCutAfterItsHeader", Truncated("jpeg", 200)},
                      BadInput{"GifCutAfterItsHeader", Truncated("gif", 20)},
                      BadInput{"BmpCutAfterItsHeader", Truncated("bmp", 60)},
                      BadInput{"TiffCutAfterItsHeader", Truncated("tiff", 16)},
                      BadInput{"PngDeclaringAHugeSize", PngDeclaring(100000, 100000)},
                      BadInput{"JpegSignatureOnly", {0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10}},
                      BadInput{"EmfSignatureThenNoise", [] {
                                   std::vector<std::uint8_t> b(120, 0x41);
                                   b[0] = 1, b[1] = b[2] = b[3] = 0;
                                   b[40] = 0x20, b[41] = 0x45, b[42] = 0x4D, b[43] = 0x46;
                                   return b;
                               }()},
                      BadInput{"PngTextChunkClaimingMoreThanTheFile", PngWithTextBomb()},
                      BadInput{"EmfDescriptionBeyondItsRecord", Emf(0x4000, {})},
                      BadInput{"EmfEmptyDescriptionAtItsEnd", [] {
                                   std::vector<std::uint8_t> b = Emf(0, {});
                                   const std::uint32_t end = std::uint32_t(b.size());
                                   for (int i = 0; i < 4; ++i)
                                       b[64 + i] = std::uint8_t(end >> (8 * i));
                                   return b;
                               }()},
                      BadInput{"WmfAskingForGigabytes", WmfAskingForGigabytes()},
                      BadInput{"EmfRecordsTheConverterReadsPast", EmfFoundByFuzzing()},
                      BadInput{"GifOfFewBytesClaimingAHugeCanvas", GifClaiming(16408, 13328)}),
    [](const auto &info) { return std::string(info.param.name); });

// Each record of an EMF is checked against the file before the converter, which trusts them,
// is given it.
TEST(EmfRecordsFit, RefusesARecordTheFormatHasNotOrThatClaimsMoreThanTheFileHolds)
{
    const auto withRecord = [](std::uint32_t type, std::uint32_t claimed, std::size_t present) {
        std::vector<std::uint8_t> record;
        Put32(record, type);
        Put32(record, claimed);
        record.resize(present, 0);
        return record;
    };
    std::vector<std::uint8_t> cut = Emf(0, withRecord(43, 24, 24));
    cut.resize(88 + 12);
    const struct {
        const char *name;
        std::vector<std::uint8_t> bytes;
        bool fits;
    } table[] = {
        {"a header and the end record", Emf(0, {}), true},
        {"a rectangle", Emf(0, withRecord(43, 24, 24)), true},
        {"the EMF+ comment (its inner record is the converter's care)", EmfPlusCommentBeyondItsRecord(), true},
        {"the 188 bytes found by fuzzing", EmfFoundByFuzzing(), false},
        {"a record claiming more than the file", Emf(0, withRecord(43, 3624, 24)), false},
        {"a record cut off", cut, false},
        {"a size below a record's own 8 bytes", Emf(0, withRecord(43, 4, 24)), false},
        {"a size that is no multiple of 4", Emf(0, withRecord(43, 22, 24)), false},
        {"a type the format has not", Emf(0, withRecord(0x10000027, 24, 24)), false},
        {"a type of 0", Emf(0, withRecord(0, 24, 24)), false},
    };
    for (const auto &row : table)
        EXPECT_EQ(EmfRecordsFit(row.bytes), row.fits) << row.name;
}

// Memory too short for a picture refuses that picture with a message; the command and the
// program go on.
TEST(OpenFile, MemoryTooShortForAPictureRefusesIt)
{
    if (test::AddressSanitizer())
        GTEST_SKIP() << "the sanitizer's allocator takes no address-space limit";
    TempDir dir;
    const auto big = dir / "big.png";
    {
        std::ofstream out(big, std::ios::binary);
        out.seekp(std::streamoff(256) << 20);
        out.put('x');  // a file of holes: no disk taken
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            test::LimitAddressSpace(64 << 20);
            const Picture picture = OpenFile(Q(big));
            std::_Exit(picture.error.endsWith("There is not enough memory for it.") ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(OpenFile, MissingFileIsAnOpenError)
{
    const Picture picture = OpenFile("/no/such/photo.jpg");
    EXPECT_FALSE(picture.ok());
    EXPECT_EQ(picture.error.toStdString(), "Cannot open file \"/no/such/photo.jpg\". No such file or directory");
}

TEST(PngChunksFit, RefusesAChunkThatClaimsMoreThanTheFileHolds)
{
    const auto withChunk = [](std::uint32_t claimed, std::size_t present) {
        std::vector<std::uint8_t> png = PngStart();
        PutChunk(png, "tEXt", claimed, present);
        return PngEnd(png);
    };
    std::vector<std::uint8_t> cutHeader = PngStart();
    cutHeader.insert(cutHeader.end(), {0, 0, 0, 4, 't', 'E'});
    std::vector<std::uint8_t> noEnd = PngStart();
    PutChunk(noEnd, "tEXt", 3, 3);
    std::vector<std::uint8_t> trailing = PngEnd(PngStart());
    trailing.insert(trailing.end(), {0x7F, 0xFF, 0xFF, 0xFF, 'j', 'u', 'n', 'k'});
    const struct {
        const char *name;
        std::vector<std::uint8_t> bytes;
        bool fits;
    } table[] = {
        {"an encoded picture", Encode(Distinct(40, 30), "png"), true},
        {"a chunk that holds what it claims", withChunk(100, 100), true},
        {"an empty chunk", withChunk(0, 0), true},
        {"the 218-byte text bomb", PngWithTextBomb(), false},
        {"a chunk one byte short", withChunk(101, 100), false},
        {"a length above 2^31 - 1", withChunk(0x80000000u, 10), false},
        {"a chunk header cut off", cutHeader, false},
        {"no end chunk, every chunk whole (left to the decoder)", noEnd, true},
        {"anything after the end chunk", trailing, true},
    };
    for (const auto &row : table)
        EXPECT_EQ(PngChunksFit(row.bytes), row.fits) << row.name;

    const Picture bomb = DecodeMemory(PngWithTextBomb(), "bomb.png");
    EXPECT_EQ(bomb.error.toStdString(),
              "Cannot open file \"bomb.png\". The picture is damaged: a part of it claims more bytes than the file holds.");
}

}  // namespace
}  // namespace veilshot::imaging
