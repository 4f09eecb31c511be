#include "imaging/decoder/metafile.h"

#include "imaging/metadata/bytes.h"

#include <QPainter>
#include <QSvgRenderer>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include <emf2svg.h>

#include <algorithm>
extern "C" {
#include <libwmf/api.h>
#include <libwmf/svg.h>
}

namespace veilshot::imaging {

namespace {

// Whether the header's description (UTF-16 text the converter reads without checking where it
// ends) lies inside the header record and the file.
bool DescriptionInside(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < 68)
        return true;  // too short to carry one; the converter refuses it
    const std::uint64_t recordSize = Le32(bytes, 4);
    const std::uint64_t count = Le32(bytes, 60);
    const std::uint64_t offset = Le32(bytes, 64);
    if (count == 0 && offset == 0)
        return true;
    // The converter reads at the offset even for an empty description: at least its end mark.
    const std::uint64_t end = offset + 2 * std::max<std::uint64_t>(count, 1);
    if (offset < 68 || end > recordSize || end > bytes.size())
        return false;
    // With a count of 0 the converter reads on past the record: only no description at all
    // (count and offset both 0, above) is safe then.
    return count != 0;
}

QByteArray EmfToSvg(std::span<const std::uint8_t> bytes)
{
    if (!DescriptionInside(bytes) || !EmfRecordsFit(bytes))
        return {};
    // The converter takes a writable buffer; give it a copy.
    std::vector<char> contents(bytes.begin(), bytes.end());
    generatorOptions options{};
    options.svgDelimiter = true;
    options.emfplus = true;
    char *svg = nullptr;
    std::size_t length = 0;
    const int ok = emf2svg(contents.data(), contents.size(), &svg, &length, &options);
    QByteArray result;
    if (ok && svg)
        result = QByteArray(svg, qsizetype(length));
    std::free(svg);
    return result;
}

// libwmf draws text with the URW base 35 Type 1 fonts from this folder, and without them it
// draws nothing at all, text or not.
bool WmfFontsInstalled()
{
    std::error_code error;
    return std::filesystem::exists("/usr/share/fonts/type1/urw-base35/NimbusSans-Regular.t1", error);
}

QByteArray WmfToSvg(std::span<const std::uint8_t> bytes)
{
    wmfAPI_Options options{};
    options.function = wmf_svg_function;
    wmfAPI *api = nullptr;
    const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
    if (wmf_api_create(&api, flags, &options) != wmf_E_None) {
        if (api)
            wmf_api_destroy(api);
        return {};
    }
    std::vector<unsigned char> contents(bytes.begin(), bytes.end());
    QByteArray result;
    wmfD_Rect bbox{};
    if (wmf_mem_open(api, contents.data(), long(contents.size())) == wmf_E_None) {
        if (wmf_scan(api, 0, &bbox) == wmf_E_None) {
            // The scan bounds what is drawn; a placeable file names its own frame, which keeps
            // the margins around the drawing (bounds are in points).
            const wmfPlaceableMetaHeader &frame = api->PlaceableMetaHeader;
            if (api->File->placeable && frame.Inch > 0 && frame.Right > frame.Left && frame.Bottom > frame.Top) {
                const float points = 72.0f / float(frame.Inch);
                bbox.TL.x = float(frame.Left) * points;
                bbox.TL.y = float(frame.Top) * points;
                bbox.BR.x = float(frame.Right) * points;
                bbox.BR.y = float(frame.Bottom) * points;
            }
            wmf_svg_t *device = WMF_SVG_GetData(api);
            device->out = wmf_stream_create(api, nullptr);
            device->Description = const_cast<char *>("picture");
            device->bbox = bbox;
            unsigned int width = 0, height = 0;
            wmf_display_size(api, &width, &height, 96, 96);
            device->width = width;
            device->height = height;
            device->flags |= WMF_SVG_INLINE_IMAGES;
            const bool played = device->out && wmf_play(api, 0, &bbox) == wmf_E_None;
            char *svg = nullptr;
            unsigned long length = 0;
            if (device->out)
                wmf_stream_destroy(api, device->out, &svg, &length);
            if (played && svg)
                result = QByteArray(svg, qsizetype(length));
            // The stream's memory belongs to the API and goes with it.
        }
        wmf_mem_close(api);
    }
    wmf_api_destroy(api);
    return result;
}

}  // namespace

QImage RenderMetafile(std::span<const std::uint8_t> bytes, bool enhanced, QSize box, qint64 maxPixels, Refusal *refusal)
{
    // One conversion per decoder process: the converters' own state (libwmf's font maps) is
    // never shared.
    const QByteArray svg = enhanced ? EmfToSvg(bytes) : WmfToSvg(bytes);
    QSvgRenderer renderer(svg);
    if (svg.isEmpty() || !renderer.isValid()) {
        *refusal = !enhanced && !WmfFontsInstalled() ? Refusal::MetafileNeedsFonts : Refusal::MetafileDamaged;
        return {};
    }
    QSizeF size = renderer.viewBoxF().size();
    if (renderer.defaultSize().isValid() && !renderer.defaultSize().isEmpty())
        size = renderer.defaultSize();
    if (size.isEmpty()) {
        *refusal = Refusal::MetafileNoSize;
        return {};
    }
    if (box.isValid() && !box.isEmpty())
        size.scale(QSizeF(box), Qt::KeepAspectRatio);
    const QSize pixels(std::max(1, int(std::lround(size.width()))), std::max(1, int(std::lround(size.height()))));
    if (qint64(pixels.width()) * pixels.height() > maxPixels) {
        *refusal = Refusal::TooLarge;
        return {};
    }
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        *refusal = Refusal::TooLarge;
        return {};
    }
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
    painter.end();
    return image;
}

}  // namespace veilshot::imaging
