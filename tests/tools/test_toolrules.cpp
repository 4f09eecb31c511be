// The image tools' rules and the work they do for one file, apart from any window.

#include "common/cameraphoto.h"
#include "common/drawings.h"
#include "common/encoders.h"
#include "common/photos.h"
#include "common/qtpath.h"
#include "common/tempdir.h"
#include "files/fileoperations.h"
#include "imaging/imaging.h"
#include "tools/toolrules.h"
#include "tools/toolwork.h"

#include <QColorSpace>
#include <QImageReader>

#include <functional>

#include <gtest/gtest.h>

using namespace veilshot;
using namespace veilshot::tools;
using test::Q;
namespace fs = std::filesystem;

namespace {

void Write(const fs::path &file, const std::vector<std::uint8_t> &bytes)
{
    test::WriteFile(file, bytes);
}

std::string Text(const fs::path &file)
{
    const std::vector<std::uint8_t> bytes = test::ReadFile(file);
    return {bytes.begin(), bytes.end()};
}

// The first value of a JPEG's first quantisation table: what the quality made of it.
int FirstQuantValue(const fs::path &file)
{
    const std::vector<std::uint8_t> bytes = test::ReadFile(file);
    for (std::size_t i = 2; i + 5 < bytes.size(); ++i) {
        if (std::uint8_t(bytes[i]) == 0xFF && std::uint8_t(bytes[i + 1]) == 0xDB)
            return std::uint8_t(bytes[i + 5]);
    }
    return -1;
}

}  // namespace

TEST(ToolNames, OnePhotoTargetKeepsTheChosenNameAndSetsTheFormatsExtension)
{
    struct Row {
        const char *chosen, *source, *extension, *expected;
    };
    for (const Row &row : {
             Row{"/d/a.JPG", "/p/a.JPG", ".png", "/d/a.png"},
             Row{"/d/b", "/p/a.JPG", ".png", "/d/b.png"},
             Row{"/d/b.gif", "/p/a.JPG", ".png", "/d/b.gif.png"},
             Row{"/d/b.jpg", "/p/a.JPG", ".png", "/d/b.jpg.png"},  // letter case counts
             Row{"/d/copy.bmp", "/p/a.png", ".jpg", "/d/copy.bmp.jpg"},
             Row{"/d/a.png", "/p/a.png", ".jpg", "/d/a.jpg"},
             Row{"/d/a.jpg", "/p/a.jpg", ".jpg", "/d/a.jpg"},
         })
        EXPECT_EQ(OnePhotoTarget(QString::fromUtf8(row.chosen), QString::fromUtf8(row.source), QString::fromUtf8(row.extension)),
                  QString::fromUtf8(row.expected))
            << row.chosen;
    EXPECT_EQ(CompressFolder(QStringLiteral("/d/pics.old")), QStringLiteral("/d/pics"));
    EXPECT_EQ(CompressFolder(QStringLiteral("/d/The compressed photo1")), QStringLiteral("/d/The compressed photo1"));
}

TEST(ToolFormats, ByExtensionInAnyLetterCase)
{
    struct Row {
        const char *file, *extension;
        bool encodes;
    };
    for (const Row &row : {Row{"a.BMP", "bmp", true}, Row{"a.dib", "bmp", true}, Row{"a.rle", "bmp", true},
                           Row{"a.JPEG", "jpg", true}, Row{"a.jpe", "jpg", true}, Row{"a.jfif", "jpg", true},
                           Row{"a.gif", "gif", true}, Row{"a.tiff", "tif", true}, Row{"a.png", "png", true},
                           Row{"a.emf", "emf", false}, Row{"a.WMF", "wmf", false}, Row{"a.ico", "ico", false}}) {
        const auto format = ScaleFormatOf(QString::fromUtf8(row.file));
        ASSERT_TRUE(format) << row.file;
        EXPECT_EQ(format->extension, QString::fromUtf8(row.extension)) << row.file;
        EXPECT_EQ(format->canEncode(), row.encodes) << row.file;
    }
    EXPECT_FALSE(ScaleFormatOf(QStringLiteral("a.jpa")));
    EXPECT_FALSE(ScaleFormatOf(QStringLiteral("a.txt")));
    EXPECT_FALSE(ScaleFormatOf(QStringLiteral("noextension")));

    ASSERT_EQ(FileKinds().size(), 12);
    EXPECT_TRUE(FileKinds()[1].contains(QStringLiteral("/x/a.JFIF")));
    EXPECT_FALSE(FileKinds()[1].contains(QStringLiteral("/x/a.png")));
    EXPECT_TRUE(FileKinds()[8].contains(QStringLiteral("/x/a.HEIF")));
    EXPECT_EQ(EncodableFormats()[4].mime, QStringLiteral("image/png"));
}

TEST(ScaleArithmetic, TypedSidesKeepTheProportion)
{
    const double ratio = 1000.0 / 500.0;
    EXPECT_EQ(HeightForWidth(QStringLiteral("400"), ratio), QStringLiteral("200"));
    EXPECT_EQ(WidthForHeight(QStringLiteral("301"), ratio), QStringLiteral("602"));
    EXPECT_EQ(HeightForWidth(QString(), ratio), QString());
    EXPECT_EQ(WidthForHeight(QString(), ratio), QString());
    // Halves go to the even neighbour: 5 / 2 = 2.5 and 7 / 2 = 3.5.
    EXPECT_EQ(HeightForWidth(QStringLiteral("5"), ratio), QStringLiteral("2"));
    EXPECT_EQ(HeightForWidth(QStringLiteral("7"), ratio), QStringLiteral("4"));
    // Seven digits over a narrow photo: no overflow.
    EXPECT_EQ(HeightForWidth(QStringLiteral("9999999"), 1.0 / 1000.0), QStringLiteral("9999999000"));
}

TEST(ScaleArithmetic, FactorsAndTheSizesTheyGive)
{
    struct Row {
        const char *whole, *fraction;
        double factor;  // 0: "Number zero"
        qint64 width, height;
    };
    for (const Row &row : {
             Row{"2", "", 2.0, 500, 250},
             Row{"0", "5", 0.5, 2000, 1000},
             Row{"", "5", 0.5, 2000, 1000},
             Row{"2", "25", 2.25, 444, 222},
             Row{"4", "0", 4.0, 250, 125},
             Row{"0000003", "", 3.0, 333, 167},
             Row{"", "", 0, 0, 0},
             Row{"0", "", 0, 0, 0},
             Row{"0", "000", 0, 0, 0},
             Row{"", "0000001", 1e-7, 10'000'000'000, 5'000'000'000},
         }) {
        const Factor factor = ReadFactor(QString::fromUtf8(row.whole), QString::fromUtf8(row.fraction));
        if (row.factor == 0) {
            EXPECT_EQ(factor.kind, Factor::Kind::Zero) << row.whole << "," << row.fraction;
            continue;
        }
        ASSERT_EQ(factor.kind, Factor::Kind::Number) << row.whole << "," << row.fraction;
        EXPECT_DOUBLE_EQ(factor.value, row.factor);
        const Scaled scaled = DivideBy(QSize(1000, 500), factor.value);
        EXPECT_EQ(scaled.width, row.width) << row.whole << "," << row.fraction;
        EXPECT_EQ(scaled.height, row.height) << row.whole << "," << row.fraction;
    }
}

TEST(ScaleArithmetic, FactorsReadTheSameInEveryLocale)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German));
    const Factor german = ReadFactor(QStringLiteral("2"), QStringLiteral("5"));
    QLocale::setDefault(QLocale(QLocale::English));
    const Factor english = ReadFactor(QStringLiteral("2"), QStringLiteral("5"));
    QLocale::setDefault(saved);
    EXPECT_DOUBLE_EQ(german.value, 2.5);
    EXPECT_DOUBLE_EQ(english.value, 2.5);
}

TEST(ScaleArithmetic, LimitsSitWhereTheyBelong)
{
    struct Row {
        qint64 width, height, limit;
        SizeCheck expected;
    };
    for (const Row &row : {Row{10, 10, ExecuteLimit, SizeCheck::Fine}, Row{9, 500, ExecuteLimit, SizeCheck::Small},
                           Row{500, 9, PreviewLimit, SizeCheck::Small}, Row{99999, 10, ExecuteLimit, SizeCheck::Fine},
                           Row{100000, 50000, ExecuteLimit, SizeCheck::Big}, Row{100000, 50000, PreviewLimit, SizeCheck::Fine},
                           Row{100001, 10, PreviewLimit, SizeCheck::Big}, Row{5, 200000, PreviewLimit, SizeCheck::Small}})
        EXPECT_EQ(CheckSize(row.width, row.height, row.limit), row.expected) << row.width << " x " << row.height;
}

TEST(RunPlan, ListedFilesThatExistInListOrderAndTheLaterOfTwoSameNamesLeftOut)
{
    test::TempDir dir;
    for (const char *name : {"a.png", "a.bmp", "b.jpg", "c.txt"})
        test::WriteText(dir / name, "x");
    const QStringList list = {Q(dir / "a.png"), Q(dir / "gone.png"), Q(dir / "a.bmp"), Q(dir / "b.jpg"), Q(dir / "c.txt")};
    const Plan plan = PlanRun(list, [](const QString &file) {
        return file.endsWith(QLatin1String(".txt")) ? QString() : QStringLiteral("/out/") + ReplaceExtension(FileNameOf(file), QStringLiteral(".jpg"));
    });
    ASSERT_EQ(plan.jobs.size(), 2);
    EXPECT_EQ(plan.jobs[0].index, 0);
    EXPECT_EQ(plan.jobs[0].target, QStringLiteral("/out/a.jpg"));
    EXPECT_EQ(plan.jobs[1].index, 3);
    EXPECT_EQ(plan.jobs[1].target, QStringLiteral("/out/b.jpg"));
    ASSERT_EQ(plan.clashes.size(), 1);
    EXPECT_EQ(plan.clashes[0].source, Q(dir / "a.bmp"));
    EXPECT_EQ(plan.clashes[0].index, 2);
}

TEST(ToolWork, CompressHandsTheQualityToTheEncoderExactly)
{
    test::TempDir dir;
    Write(dir / "a.png", test::EncodedPhoto("png", Qt::red, {64, 48}));
    // libjpeg scales its standard tables (16 first) by 5000 / q below 50 and 200 - 2q above,
    // and reads 0 as 1; baseline tables stop at 255.
    struct Row {
        int quality, firstValue;
    };
    for (const Row &row : {Row{0, 255}, Row{1, 255}, Row{50, 16}, Row{70, 10}, Row{100, 1}}) {
        const fs::path out = dir / ("q" + std::to_string(row.quality) + ".jpg");
        const Outcome outcome = Compress({0, Q(dir / "a.png"), Q(out)}, row.quality);
        ASSERT_EQ(outcome.kind, Outcome::Kind::Written) << outcome.reason.toStdString();
        EXPECT_EQ(FirstQuantValue(out), row.firstValue) << "quality " << row.quality;
        EXPECT_EQ(QImageReader(Q(out)).size(), QSize(64, 48));
    }
    EXPECT_LT(fs::file_size(dir / "q0.jpg"), fs::file_size(dir / "q100.jpg"));
}

TEST(ToolWork, NeverReplacesAFileAndReportsWhatFailed)
{
    test::TempDir dir;
    Write(dir / "a.png", test::EncodedPhoto("png"));
    test::WriteText(dir / "taken.jpg", "mine");
    test::WriteText(dir / "broken.png", "\x89PNG\r\n\x1a\nnot really");

    EXPECT_THROW(Compress({0, Q(dir / "a.png"), Q(dir / "taken.jpg")}, 70), FileError);
    EXPECT_THROW(CopyFile({0, Q(dir / "a.png"), Q(dir / "taken.jpg")}), FileError);
    EXPECT_THROW(MoveFile({0, Q(dir / "a.png"), Q(dir / "taken.jpg")}), FileError);
    EXPECT_EQ(Text(dir / "taken.jpg"), "mine");
    EXPECT_TRUE(fs::exists(dir / "a.png"));

    const Outcome broken = Transform({0, Q(dir / "broken.png"), Q(dir / "broken.bmp")}, QStringLiteral("image/bmp"));
    EXPECT_EQ(broken.kind, Outcome::Kind::Failed);
    EXPECT_TRUE(broken.reason.contains(QLatin1String("broken.png"))) << broken.reason.toStdString();
    EXPECT_FALSE(fs::exists(dir / "broken.bmp"));
    EXPECT_EQ(Compress({0, Q(dir / "gone.png"), Q(dir / "gone.jpg")}, 70).kind, Outcome::Kind::PassedOver);
}

TEST(ToolWork, TransformWritesEachFormat)
{
    test::TempDir dir;
    Write(dir / "source.jpeg", test::EncodedPhoto("jpeg", Qt::green, {40, 30}));
    for (const ToolFormat &format : EncodableFormats()) {
        const fs::path out = dir / ("a." + format.extension.toStdString());
        ASSERT_EQ(Transform({0, Q(dir / "source.jpeg"), Q(out)}, format.mime).kind, Outcome::Kind::Written) << format.extension.toStdString();
        const imaging::Picture picture = imaging::OpenFile(Q(out));
        ASSERT_TRUE(picture.ok()) << format.extension.toStdString();
        EXPECT_EQ(picture.image.size(), QSize(40, 30));
        EXPECT_EQ(imaging::EncoderMime(imaging::FindEncoderByMime(format.mime)), format.mime);
    }
}

// Display P3's own red lies outside sRGB: written again by the tools it stays itself, with its
// profile, instead of being cut to what sRGB can show.
TEST(ToolWork, ColoursOutsideSrgbSurvive)
{
    test::TempDir dir;
    QImage p3(64, 48, QImage::Format_RGB32);
    p3.fill(qRgb(255, 0, 0));
    p3.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    Write(dir / "p3.png", test::PngOf(p3));
    const QString png = QStringLiteral("image/png");
    const std::vector<std::pair<const char *, std::function<Outcome(const Job &)>>> rows = {
        {"transform", [&](const Job &job) { return Transform(job, png); }},
        {"scale", [&](const Job &job) { return ScaleTo(job, QSize(32, 24), png); }},
        {"compress", [](const Job &job) { return Compress(job, 95); }},
    };
    for (const auto &[name, work] : rows) {
        const fs::path out = dir / (std::string(name) + ".out");
        ASSERT_EQ(work({0, Q(dir / "p3.png"), Q(out)}).kind, Outcome::Kind::Written) << name;
        const QImage written = QImageReader(Q(out)).read();
        EXPECT_EQ(written.colorSpace(), QColorSpace(QColorSpace::DisplayP3)) << name;
        EXPECT_LE(test::MaxChannelDifference(written.pixel(8, 8), qRgb(255, 0, 0)), 4) << name;
    }
}

TEST(ToolWork, ScalingByAFactorKeepsTheFormatAndPassesOverWhatCannotBeWritten)
{
    test::TempDir dir;
    Write(dir / "a.jpeg", test::EncodedPhoto("jpeg", Qt::red, {400, 200}));
    Write(dir / "b.png", test::EncodedPhoto("png", Qt::red, {30, 60}));
    Write(dir / "c.ico", test::EncodedPhoto("ico", Qt::red, {48, 48}));
    fs::create_directory(dir / "out");
    auto scale = [&](const char *name, double factor) {
        return ScaleBy({0, Q(dir / name), Q(dir / "out" / name)}, factor);
    };
    ASSERT_EQ(scale("a.jpeg", 4).kind, Outcome::Kind::Written);
    QImageReader jpeg(Q(dir / "out" / "a.jpeg"));
    EXPECT_EQ(jpeg.format(), "jpeg");
    EXPECT_EQ(jpeg.size(), QSize(100, 50));
    EXPECT_EQ(scale("b.png", 4).kind, Outcome::Kind::PassedOver);  // 8 x 15: too small
    EXPECT_EQ(scale("c.ico", 0.5).kind, Outcome::Kind::PassedOver);  // no encoder
    EXPECT_EQ(scale("a.jpeg", 0.00399).kind, Outcome::Kind::PassedOver);  // 100251 wide
    EXPECT_EQ(dir.entries("out"), std::vector<std::string>{"a.jpeg"});

    // To a typed size, stretched; a size beyond what memory holds is refused, not attempted.
    ASSERT_EQ(ScaleTo({0, Q(dir / "b.png"), Q(dir / "b.gif")}, QSize(90, 20), QStringLiteral("image/gif")).kind, Outcome::Kind::Written);
    EXPECT_EQ(QImageReader(Q(dir / "b.gif")).size(), QSize(90, 20));
    const Outcome huge = ScaleTo({0, Q(dir / "b.png"), Q(dir / "huge.png")}, QSize(99999, 99999), QStringLiteral("image/png"));
    EXPECT_EQ(huge.kind, Outcome::Kind::Failed);
    EXPECT_FALSE(fs::exists(dir / "huge.png"));
    EXPECT_EQ(ScaleTo({0, Q(dir / "c.ico"), Q(dir / "c2.ico")}, QSize(20, 20), QString()).kind, Outcome::Kind::Failed);
}

// A JPEG written from a camera's JPEG keeps its EXIF (made upright), profile, XMP and comments,
// its subsampling and, unless the user set one, its quality; its colours stay through its
// profile.
TEST(ToolWork, JpegsKeepTheCamerasMetadataAndColours)
{
    test::TempDir dir;
    // Shown turned by orientation 6: the stored picture, decoded as it lies, turned.
    test::WriteFile(dir / "stored.jpg", test::CameraJpeg(dir, {320, 240}, 1));
    const QImage turned = imaging::OpenFile(Q(dir / "stored.jpg")).image.transformed(QTransform().rotate(90));
    struct Row {
        const char *name;
        std::function<Outcome(const Job &)> work;
        int quality;
    };
    const QString jpeg = QStringLiteral("image/jpeg");
    const std::vector<Row> rows = {
        {"compress", [](const Job &job) { return Compress(job, 60); }, 60},
        {"transform", [&](const Job &job) { return Transform(job, jpeg); }, 85},
        {"scale", [&](const Job &job) { return ScaleTo(job, QSize(240, 320), jpeg); }, 85},
    };
    for (const int orientation : {1, 6})
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name + std::to_string(orientation));
        test::WriteFile(dir / "camera.jpg", test::CameraJpeg(dir, orientation == 6 ? QSize(320, 240) : QSize(240, 320), orientation));
        const QImage shown = orientation == 6 ? turned : imaging::OpenFile(Q(dir / "camera.jpg")).image;
        const auto out = dir / (std::string(row.name) + std::to_string(orientation) + ".jpg");
        ASSERT_EQ(row.work(Job{0, Q(dir / "camera.jpg"), Q(out)}).kind, Outcome::Kind::Written);
        const test::Bytes written = test::ReadFile(out);
        const imaging::JpegMetadata kept = imaging::ReadJpegMetadata(written);
        EXPECT_EQ(kept.quality, row.quality);
        EXPECT_EQ(kept.subsampling, imaging::Subsampling::S444);
        for (const test::Bytes &block : {test::Icc(), test::Xmp, test::Comment, test::Text("CameraX")})
            EXPECT_TRUE(test::Contains(written, block));
        const QImage now = imaging::OpenFile(Q(out)).image;
        ASSERT_EQ(now.size(), shown.size());  // upright: orientation 1
        for (const QPoint at : {QPoint(60, 80), QPoint(180, 240)}) {
            const QRgb want = shown.pixel(at), got = now.pixel(at);
            EXPECT_LE(std::max({std::abs(qRed(want) - qRed(got)), std::abs(qGreen(want) - qGreen(got)),
                                std::abs(qBlue(want) - qBlue(got))}),
                      8)
                << at.x() << "," << at.y();
        }
    }
}

// PNG and TIFF copies keep the camera's profile (their colours through it), EXIF and XMP; a photo of 16 bits a channel stays 16 bits through transform and scale.
TEST(ToolWork, PngAndTiffKeepTheProfileAndSixteenBits)
{
    test::TempDir dir;
    test::WriteFile(dir / "camera.jpg", test::CameraJpeg(dir, {320, 240}, 6));
    QImage deep(32, 24, QImage::Format_RGBX64);
    deep.fill(QColor::fromRgba64(QRgba64::fromRgba64(1000, 30000, 60001, 65535)));
    ASSERT_TRUE(deep.save(Q(dir / "deep.png"), "png"));
    const QByteArray p3 = QColorSpace(QColorSpace::DisplayP3).iccProfile();
    struct Row {
        const char *name;
        std::function<Outcome(const Job &)> work;
    };
    const QString png = QStringLiteral("image/png"), tiff = QStringLiteral("image/tiff");
    const std::vector<Row> rows = {
        {"transform.png", [&](const Job &job) { return Transform(job, png); }},
        {"transform.tif", [&](const Job &job) { return Transform(job, tiff); }},
        {"scale.png", [&](const Job &job) { return ScaleTo(job, QSize(24, 32), png); }},
        {"scale.tif", [&](const Job &job) { return ScaleTo(job, QSize(24, 32), tiff); }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const auto out = dir / row.name;
        ASSERT_EQ(row.work(Job{0, Q(dir / "camera.jpg"), Q(out)}).kind, Outcome::Kind::Written);
        const imaging::CarriedMetadata kept = imaging::ReadCarriedMetadataOf(Q(out));
        EXPECT_EQ(kept.icc, test::Bytes(p3.begin(), p3.end()));
        EXPECT_TRUE(test::Contains(kept.xmp, test::Text("kept")));
        EXPECT_TRUE(test::Contains(kept.exif, test::Text("CameraX")));

        const auto deepOut = dir / (std::string("deep-") + row.name);
        ASSERT_EQ(row.work(Job{0, Q(dir / "deep.png"), Q(deepOut)}).kind, Outcome::Kind::Written);
        const QImage back = QImageReader(Q(deepOut)).read();
        EXPECT_GT(back.pixelFormat().redSize(), 8) << back.format();
        EXPECT_EQ(back.pixelColor(5, 5).rgba64(), deep.pixelColor(5, 5).rgba64());
    }
}
