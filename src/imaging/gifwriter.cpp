#include "gifwriter.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_map>

namespace veilshot::imaging {

namespace {

constexpr int TransparentBelow = 128;  // alpha below this is written as the transparent colour

struct Box {
    std::vector<std::uint32_t> colours;  // 0x00RRGGBB, one per histogram bin in use
    std::uint64_t weight = 0;
};

int Channel(std::uint32_t colour, int channel)
{
    return int(colour >> (16 - 8 * channel) & 0xFF);
}

// Median cut over a 5-bit-per-channel histogram, weighted by pixel counts.
std::vector<QRgb> MedianCut(const std::unordered_map<std::uint32_t, std::uint32_t> &histogram, int maxColours)
{
    std::vector<Box> boxes(1);
    for (const auto &[colour, count] : histogram) {
        boxes[0].colours.push_back(colour);
        boxes[0].weight += count;
    }
    while (int(boxes.size()) < maxColours) {
        // Split the box with the widest channel range, weighted by its pixel count.
        std::size_t best = boxes.size();
        std::uint64_t bestScore = 0;
        int bestChannel = 0;
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            if (boxes[i].colours.size() < 2)
                continue;
            for (int channel = 0; channel < 3; ++channel) {
                int lo = 255, hi = 0;
                for (std::uint32_t c : boxes[i].colours) {
                    lo = std::min(lo, Channel(c, channel));
                    hi = std::max(hi, Channel(c, channel));
                }
                const std::uint64_t score = std::uint64_t(hi - lo) * (boxes[i].weight + 1);
                if (score > bestScore) {
                    bestScore = score, best = i, bestChannel = channel;
                }
            }
        }
        if (best == boxes.size())
            break;
        Box &box = boxes[best];
        std::sort(box.colours.begin(), box.colours.end(),
                  [&](std::uint32_t a, std::uint32_t b) { return Channel(a, bestChannel) < Channel(b, bestChannel); });
        // Cut at the weighted median.
        std::uint64_t half = 0;
        std::size_t cut = 0;
        while (cut + 1 < box.colours.size() && half * 2 < box.weight)
            half += histogram.at(box.colours[cut++]);
        cut = std::clamp<std::size_t>(cut, 1, box.colours.size() - 1);
        Box upper;
        upper.colours.assign(box.colours.begin() + std::ptrdiff_t(cut), box.colours.end());
        box.colours.resize(cut);
        box.weight = 0;
        for (std::uint32_t c : box.colours)
            box.weight += histogram.at(c);
        for (std::uint32_t c : upper.colours)
            upper.weight += histogram.at(c);
        boxes.push_back(std::move(upper));
    }
    std::vector<QRgb> palette;
    for (const Box &box : boxes) {
        std::array<std::uint64_t, 3> sum{};
        std::uint64_t weight = 0;
        for (std::uint32_t c : box.colours) {
            const std::uint32_t count = histogram.at(c);
            for (int channel = 0; channel < 3; ++channel)
                sum[std::size_t(channel)] += std::uint64_t(Channel(c, channel)) * count;
            weight += count;
        }
        if (weight == 0)
            continue;
        palette.push_back(qRgb(int(sum[0] / weight), int(sum[1] / weight), int(sum[2] / weight)));
    }
    return palette;
}

int Nearest(const std::vector<QRgb> &palette, int r, int g, int b)
{
    int best = 0;
    int bestDistance = INT32_MAX;
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const int dr = qRed(palette[i]) - r, dg = qGreen(palette[i]) - g, db = qBlue(palette[i]) - b;
        const int distance = 2 * dr * dr + 4 * dg * dg + 3 * db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = int(i);
        }
    }
    return best;
}

int WriteToArray(GifFileType *gif, const GifByteType *data, int length)
{
    static_cast<QByteArray *>(gif->UserData)->append(reinterpret_cast<const char *>(data), length);
    return length;
}

}  // namespace

std::vector<QRgb> ChoosePalette(const QImage &image, int maxColours, bool *exact)
{
    std::unordered_map<std::uint32_t, std::uint32_t> distinct;
    bool tooMany = false;
    for (int y = 0; y < image.height() && !tooMany; ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(line[x]) < TransparentBelow)
                continue;
            ++distinct[line[x] & 0xFFFFFF];
            if (int(distinct.size()) > maxColours) {
                tooMany = true;
                break;
            }
        }
    }
    *exact = !tooMany;
    if (!tooMany) {
        std::vector<QRgb> palette;
        for (const auto &entry : distinct)
            palette.push_back(0xFF000000u | entry.first);
        std::sort(palette.begin(), palette.end());
        return palette;
    }
    std::unordered_map<std::uint32_t, std::uint32_t> histogram;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(line[x]) >= TransparentBelow)
                ++histogram[line[x] & 0xF8F8F8];
        }
    }
    return MedianCut(histogram, maxColours);
}

QByteArray EncodeGif(const QImage &source)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    if (image.isNull())
        return {};
    bool transparent = false;
    for (int y = 0; y < image.height() && !transparent; ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(line[x]) < TransparentBelow) {
                transparent = true;
                break;
            }
        }
    }
    bool exactPalette = false;
    std::vector<QRgb> palette = ChoosePalette(image, transparent ? 255 : 256, &exactPalette);
    if (palette.empty())
        palette.push_back(qRgb(0, 0, 0));
    const int transparentIndex = transparent ? int(palette.size()) : -1;
    if (transparent)
        palette.push_back(qRgb(0, 0, 0));
    int bits = 1;
    while ((1 << bits) < int(palette.size()))
        ++bits;
    std::vector<GifColorType> colours(std::size_t(1) << bits, GifColorType{0, 0, 0});
    for (std::size_t i = 0; i < palette.size(); ++i)
        colours[i] = GifColorType{GifByteType(qRed(palette[i])), GifByteType(qGreen(palette[i])), GifByteType(qBlue(palette[i]))};

    // Map every pixel. An exact palette maps colour to colour; a reduced one diffuses the
    // error to the neighbours (Floyd-Steinberg), with a cache of nearest colours for the
    // 5-bit-per-channel cube.
    const int w = image.width(), h = image.height();
    std::vector<GifPixelType> indices(std::size_t(w) * std::size_t(h));
    const std::vector<QRgb> opaque(palette.begin(), palette.begin() + (transparent ? transparentIndex : int(palette.size())));
    std::unordered_map<QRgb, int> exactIndex;
    if (exactPalette) {
        for (std::size_t i = 0; i < opaque.size(); ++i)
            exactIndex[opaque[i] & 0xFFFFFF] = int(i);
    }
    std::vector<std::int16_t> cache(32768, -1);
    std::vector<std::array<int, 3>> errorNow(std::size_t(w) + 2), errorNext(std::size_t(w) + 2);
    for (int y = 0; y < h; ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        std::fill(errorNext.begin(), errorNext.end(), std::array<int, 3>{0, 0, 0});
        for (int x = 0; x < w; ++x) {
            GifPixelType &out = indices[std::size_t(y) * std::size_t(w) + std::size_t(x)];
            if (qAlpha(line[x]) < TransparentBelow) {
                out = GifPixelType(transparentIndex);
                continue;
            }
            if (exactPalette) {
                out = GifPixelType(exactIndex.at(line[x] & 0xFFFFFF));
                continue;
            }
            const auto &carried = errorNow[std::size_t(x) + 1];
            const int r = std::clamp(qRed(line[x]) + carried[0] / 16, 0, 255);
            const int g = std::clamp(qGreen(line[x]) + carried[1] / 16, 0, 255);
            const int b = std::clamp(qBlue(line[x]) + carried[2] / 16, 0, 255);
            std::int16_t &cached = cache[std::size_t((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3))];
            if (cached < 0)
                cached = std::int16_t(Nearest(opaque, r, g, b));
            const QRgb chosen = opaque[std::size_t(cached)];
            out = GifPixelType(cached);
            const std::array<int, 3> err{r - qRed(chosen), g - qGreen(chosen), b - qBlue(chosen)};
            for (std::size_t c = 0; c < 3; ++c) {
                errorNow[std::size_t(x) + 2][c] += err[c] * 7;
                errorNext[std::size_t(x)][c] += err[c] * 3;
                errorNext[std::size_t(x) + 1][c] += err[c] * 5;
                errorNext[std::size_t(x) + 2][c] += err[c];
            }
        }
        std::swap(errorNow, errorNext);
    }

    QByteArray encoded;
    int error = 0;
    GifFileType *gif = EGifOpen(&encoded, WriteToArray, &error);
    if (!gif)
        return {};
    ColorMapObject *map = GifMakeMapObject(int(colours.size()), colours.data());
    bool ok = map && EGifPutScreenDesc(gif, w, h, bits, 0, map) == GIF_OK;
    if (ok && transparent) {
        EGifSetGifVersion(gif, true);
        GraphicsControlBlock control{};
        control.DisposalMode = DISPOSAL_UNSPECIFIED;
        control.TransparentColor = transparentIndex;
        GifByteType extension[4];
        const std::size_t length = EGifGCBToExtension(&control, extension);
        ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(length), extension) == GIF_OK;
    }
    ok = ok && EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr) == GIF_OK;
    for (int y = 0; ok && y < h; ++y)
        ok = EGifPutLine(gif, indices.data() + std::size_t(y) * std::size_t(w), w) == GIF_OK;
    if (map)
        GifFreeMapObject(map);
    if (EGifCloseFile(gif, &error) != GIF_OK)
        ok = false;
    return ok ? encoded : QByteArray();
}

}  // namespace veilshot::imaging
