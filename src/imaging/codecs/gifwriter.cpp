#include "imaging/codecs/gifwriter.h"

#include <gif_lib.h>
#include <libimagequant.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_map>

namespace veilshot::imaging {

namespace {

constexpr int TransparentBelow = 128;  // alpha below this is written as the transparent colour

int WriteToArray(GifFileType *gif, const GifByteType *data, int length)
{
    static_cast<QByteArray *>(gif->UserData)->append(reinterpret_cast<const char *>(data), length);
    return length;
}

// The exact colours of the opaque pixels of `image` (Format_ARGB32) when there are at most
// `maxColours` (then `exact` is set); otherwise nothing.
std::vector<QRgb> ChoosePalette(const QImage &image, int maxColours, bool *exact)
{
    std::unordered_map<std::uint32_t, std::uint32_t> distinct;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(line[x]) < TransparentBelow)
                continue;
            ++distinct[line[x] & 0xFFFFFF];
            if (int(distinct.size()) > maxColours) {
                *exact = false;
                return {};
            }
        }
    }
    *exact = true;
    std::vector<QRgb> palette;
    for (const auto &entry : distinct)
        palette.push_back(0xFF000000u | entry.first);
    std::sort(palette.begin(), palette.end());
    return palette;
}

}  // namespace

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
    const int w = image.width(), h = image.height();
    std::vector<GifPixelType> indices(std::size_t(w) * std::size_t(h));
    int transparentIndex = -1;
    if (exactPalette) {
        // Few colours: each keeps its own entry, colour for colour.
        if (palette.empty())
            palette.push_back(qRgb(0, 0, 0));
        std::unordered_map<QRgb, int> index;
        for (std::size_t i = 0; i < palette.size(); ++i)
            index[palette[i] & 0xFFFFFF] = int(i);
        if (transparent) {
            transparentIndex = int(palette.size());
            palette.push_back(qRgb(0, 0, 0));
        }
        for (int y = 0; y < h; ++y) {
            const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
            for (int x = 0; x < w; ++x)
                indices[std::size_t(y) * std::size_t(w) + std::size_t(x)] =
                    GifPixelType(qAlpha(line[x]) < TransparentBelow ? transparentIndex : index.at(line[x] & 0xFFFFFF));
        }
    } else {
        // Many colours: libimagequant chooses the palette and dithers. GIF has one fully
        // transparent colour and no other alpha, so alpha is made all or nothing first.
        QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
        for (int y = 0; y < h; ++y) {
            auto *line = rgba.scanLine(y);
            for (int x = 0; x < w; ++x) {
                std::uint8_t *pixel = line + 4 * x;
                if (pixel[3] < TransparentBelow)
                    std::memset(pixel, 0, 4);
                else
                    pixel[3] = 255;
            }
        }
        liq_attr *attributes = liq_attr_create();
        liq_image *input = attributes ? liq_image_create_rgba(attributes, rgba.constBits(), w, h, 0) : nullptr;
        liq_result *result = nullptr;
        bool quantized = input && liq_set_max_colors(attributes, 256) == LIQ_OK &&
                         liq_image_quantize(input, attributes, &result) == LIQ_OK;
        if (quantized) {
            liq_set_dithering_level(result, 1.0f);
            quantized = liq_write_remapped_image(result, input, indices.data(), indices.size()) == LIQ_OK;
        }
        if (quantized) {
            const liq_palette *chosen = liq_get_palette(result);
            for (unsigned i = 0; i < chosen->count; ++i) {
                const liq_color &c = chosen->entries[i];
                if (c.a < TransparentBelow && transparentIndex < 0)
                    transparentIndex = int(i);
                palette.push_back(qRgb(c.r, c.g, c.b));
            }
        }
        if (result)
            liq_result_destroy(result);
        if (input)
            liq_image_destroy(input);
        if (attributes)
            liq_attr_destroy(attributes);
        if (!quantized)
            return {};
    }
    int bits = 1;
    while ((1 << bits) < int(palette.size()))
        ++bits;
    std::vector<GifColorType> colours(std::size_t(1) << bits, GifColorType{0, 0, 0});
    for (std::size_t i = 0; i < palette.size(); ++i)
        colours[i] = GifColorType{GifByteType(qRed(palette[i])), GifByteType(qGreen(palette[i])), GifByteType(qBlue(palette[i]))};
    transparent = transparentIndex >= 0;

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
