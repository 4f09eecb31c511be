// A 12-megapixel HEIC: shown by the program (decoded in the decoder process, colours included),
// decoded by the same code in this process (what the confinement costs), and libheif's own
// decode as heif-convert makes it before its PNG encode, the peer, in one run. Targets: shown
// at most 1.1x the peer. And a grid of 84 HEICs against the same grid of JPEGs of the same
// size, each decoded for a thumbnail's cell: at most 1.2x. The HEICs carry a thumbnail, as
// those of phones do.
//
// Made by heif-enc once and kept in the temporary folder; VEILSHOT_BENCH_HEIC=/path/to/photo.heic
// measures a photo of one's own for the single decode.

#include "imaging/decoder/photodecoders.h"
#include "imaging/decoding.h"
#include "imaging/imaging.h"

#include <benchmark/benchmark.h>

#include <libheif/heif.h>

#include <QBuffer>
#include <QGuiApplication>
#include <QImageWriter>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

namespace {

using namespace veilshot::imaging;
namespace fs = std::filesystem;

constexpr QSize PhotoSize(4000, 3000);
constexpr QSize Cell(160, 120);  // a thumbnail's cell in the grid
constexpr int GridPhotos = 84;

std::vector<std::uint8_t> Read(const fs::path &file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Photo-like content: smooth shading with fine noise.
QImage PhotoLike(QSize size, unsigned seed)
{
    QImage image(size, QImage::Format_RGB32);
    std::mt19937 random(seed);
    for (int y = 0; y < image.height(); ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int n = int(random() % 24);
            line[x] = qRgb((x / 24 + n) % 256, (y / 16 + n) % 256, ((x + y) / 40 + n) % 256);
        }
    }
    return image;
}

// The photo as HEIC (with a 320-pixel thumbnail) and as JPEG, made once.
struct Pair {
    std::vector<std::uint8_t> heic, jpeg;
};

Pair Made(const std::string &name, QSize size, unsigned seed)
{
    const fs::path folder = fs::temp_directory_path() / "veilshot-bench-heic";
    fs::create_directories(folder);
    const fs::path png = folder / (name + ".png"), heic = folder / (name + ".heic"), jpeg = folder / (name + ".jpg");
    if (!fs::exists(heic) || !fs::exists(jpeg)) {
        const QImage photo = PhotoLike(size, seed);
        photo.save(QString::fromStdString(png.string()), "png");
        photo.save(QString::fromStdString(jpeg.string()), "jpeg", 90);
        const std::string command = "heif-enc -q 80 -t 320 -o " + heic.string() + " " + png.string() + " > /dev/null";
        if (std::system(command.c_str()) != 0)
            return {};
        fs::remove(png);
    }
    return {Read(heic), Read(jpeg)};
}

const Pair &Photo()
{
    static const Pair photo = [] {
        Pair made = Made("12mp", PhotoSize, 3);
        if (const char *own = std::getenv("VEILSHOT_BENCH_HEIC"))
            made.heic = Read(own);
        return made;
    }();
    return photo;
}

const std::vector<Pair> &Grid()
{
    static const std::vector<Pair> grid = [] {
        // A few distinct photos, repeated: each decode starts from nothing all the same.
        std::vector<Pair> distinct;
        for (unsigned i = 0; i < 4; ++i)
            distinct.push_back(Made("grid" + std::to_string(i), PhotoSize, 10 + i));
        std::vector<Pair> all;
        for (int i = 0; i < GridPhotos; ++i)
            all.push_back(distinct[std::size_t(i) % distinct.size()]);
        return all;
    }();
    return grid;
}

void Check(benchmark::State &state, const QImage &image)
{
    if (image.isNull())
        state.SkipWithError("the decode failed");
    benchmark::DoNotOptimize(image.constBits());
}

// The photo decoder's work without its process: decoded, and brought to the layout it answers in.
QImage DecodedHere(std::span<const std::uint8_t> bytes, std::optional<decoder::Box> box)
{
    const decoder::Photo photo = decoder::DecodeHeif(bytes, box);
    if (!photo.ok())
        return {};
    QImage image(photo.width, photo.height, decoder::AnswerLayout(photo) == decoder::Layout::Rgb32 ? QImage::Format_RGB32
                                                                                                  : QImage::Format_ARGB32);
    for (int y = 0; y < photo.height; ++y)
        decoder::AnswerLine(photo, y, image.scanLine(y));
    return image;
}

void HeicShown(benchmark::State &state)
{
    for (auto _ : state)
        Check(state, DecodeMemory(Photo().heic, "photo.heic").image);
}
BENCHMARK(HeicShown)->Unit(benchmark::kMillisecond)->UseRealTime();

void HeicDecodedInThisProcess(benchmark::State &state)
{
    for (auto _ : state)
        Check(state, DecodedHere(Photo().heic, std::nullopt));
}
BENCHMARK(HeicDecodedInThisProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

// heif-convert's decode: the primary image to interleaved RGB with the default options.
void LibheifPeer(benchmark::State &state)
{
    for (auto _ : state) {
        heif_context *context = heif_context_alloc();
        heif_image_handle *handle = nullptr;
        heif_image *image = nullptr;
        heif_context_read_from_memory_without_copy(context, Photo().heic.data(), Photo().heic.size(), nullptr);
        heif_context_get_primary_image_handle(context, &handle);
        heif_decoding_options *options = heif_decoding_options_alloc();
        const heif_error error = heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB, options);
        if (error.code != heif_error_Ok)
            state.SkipWithError("libheif failed");
        int stride = 0;
        benchmark::DoNotOptimize(heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride));
        heif_decoding_options_free(options);
        heif_image_release(image);
        heif_image_handle_release(handle);
        heif_context_free(context);
    }
}
BENCHMARK(LibheifPeer)->Unit(benchmark::kMillisecond)->UseRealTime();

// Arg 0: the JPEGs; 1: the HEICs; 2: the HEICs decoded in this process (what the decoder
// process adds to each).
void GridOf84(benchmark::State &state)
{
    for (auto _ : state) {
        for (const Pair &photo : Grid()) {
            if (state.range(0) == 2)
                Check(state, DecodedHere(photo.heic, decoder::Box{Cell.width(), Cell.height()}));
            else
                Check(state, DecodeMemory(state.range(0) ? photo.heic : photo.jpeg, "photo", Cell).image);
        }
    }
}
BENCHMARK(GridOf84)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ImagingLibrary imaging;
    // The files are made before anything is timed.
    if (Photo().heic.empty() || Grid().front().heic.empty()) {
        std::fprintf(stderr, "heif-enc could not make the photos (Debian: libheif-examples)\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
