#include "imaging/decoder/photodecoders.h"

#include <libheif/heif.h>
#include <jxl/decode.h>
#include <jxl/resizable_parallel_runner.h>

#include <QPointF>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace veilshot::imaging::decoder {

namespace {

Decoded Refused(Refusal refusal, QSize claimed = {})
{
    Decoded decoded;
    decoded.refusal = refusal;
    decoded.claimedSize = claimed;
    return decoded;
}

bool TooLarge(QSize size)
{
    return qint64(size.width()) * size.height() > MaxPixels;
}

template <typename T, void (*Free)(T *)>
struct Releaser {
    void operator()(T *p) const { Free(p); }
};
template <typename T, void (*Free)(T *)>
using Owned = std::unique_ptr<T, Releaser<T, Free>>;

void FreeHandle(heif_image_handle *handle) { heif_image_handle_release(handle); }
void FreeImage(heif_image *image) { heif_image_release(image); }
void FreeContext(heif_context *context) { heif_context_free(context); }
void FreeOptions(heif_decoding_options *options) { heif_decoding_options_free(options); }
void FreeNclx(heif_color_profile_nclx *nclx) { heif_nclx_color_profile_free(nclx); }

using Handle = Owned<heif_image_handle, FreeHandle>;

QSize SizeOf(const heif_image_handle *handle)
{
    return {heif_image_handle_get_width(handle), heif_image_handle_get_height(handle)};
}

// The smallest thumbnail that still fills the picture's fitting into `box`, if the file has one.
Handle ThumbnailFor(const heif_image_handle *primary, QSize full, QSize box)
{
    const int count = heif_image_handle_get_number_of_thumbnails(primary);
    if (count <= 0 || box.isEmpty())
        return nullptr;
    const QSize needed = full.scaled(box, Qt::KeepAspectRatio).boundedTo(full);
    std::vector<heif_item_id> ids(static_cast<std::size_t>(count));
    heif_image_handle_get_list_of_thumbnail_IDs(primary, ids.data(), count);
    Handle best;
    for (const heif_item_id id : ids) {
        heif_image_handle *thumbnail = nullptr;
        if (heif_image_handle_get_thumbnail(primary, id, &thumbnail).code != heif_error_Ok)
            continue;
        Handle owned(thumbnail);
        const QSize size = SizeOf(thumbnail);
        // A thumbnail of another shape (cropped, or turned differently) is no reduced picture.
        const bool sameShape = std::abs(double(size.width()) / size.height() - double(full.width()) / full.height()) < 0.02;
        if (sameShape && size.width() >= needed.width() && size.height() >= needed.height() &&
            (!best || size.width() < SizeOf(best.get()).width()))
            best = std::move(owned);
    }
    return best;
}

QColorSpace ProfileOf(const heif_image_handle *handle)
{
    switch (heif_image_handle_get_color_profile_type(handle)) {
    case heif_color_profile_type_prof:
    case heif_color_profile_type_rICC: {
        QByteArray profile(qsizetype(heif_image_handle_get_raw_color_profile_size(handle)), Qt::Uninitialized);
        if (profile.isEmpty() || heif_image_handle_get_raw_color_profile(handle, profile.data()).code != heif_error_Ok)
            return {};
        return QColorSpace::fromIccProfile(profile);
    }
    case heif_color_profile_type_nclx: {
        heif_color_profile_nclx *nclx = nullptr;
        const heif_error error = heif_image_handle_get_nclx_color_profile(handle, &nclx);
        const Owned<heif_color_profile_nclx, FreeNclx> owned(nclx);  // given even with an error
        if (error.code != heif_error_Ok || !nclx)
            return {};
        CodedColours colours;
        colours.primaries = int(nclx->color_primaries);
        colours.transfer = int(nclx->transfer_characteristics);
        colours.white[0] = nclx->color_primary_white_x, colours.white[1] = nclx->color_primary_white_y;
        colours.red[0] = nclx->color_primary_red_x, colours.red[1] = nclx->color_primary_red_y;
        colours.green[0] = nclx->color_primary_green_x, colours.green[1] = nclx->color_primary_green_y;
        colours.blue[0] = nclx->color_primary_blue_x, colours.blue[1] = nclx->color_primary_blue_y;
        return ColourSpaceOf(colours);
    }
    default: return {};
    }
}

// Lines of 16-bit samples of `depth` significant bits, stretched to the whole 16 bits.
void WidenSamples(QImage &image, int depth)
{
    if (depth >= 16 || depth <= 8)
        return;
    const int shift = 16 - depth;
    const qsizetype samples = qsizetype(image.width()) * 4;
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<quint16 *>(image.scanLine(y));
        for (qsizetype i = 0; i < samples; ++i)
            line[i] = quint16(line[i] << shift | line[i] >> (depth - shift));
    }
}

}  // namespace

QColorSpace ColourSpaceOf(const CodedColours &colours)
{
    // Transfer: 1, 6, 14 and 15 are the television curves, shown as sRGB as every decoder does;
    // curves Qt cannot express (PQ, HLG) are shown the same way.
    QColorSpace::TransferFunction transfer = QColorSpace::TransferFunction::SRgb;
    float gamma = 0;
    switch (colours.transfer) {
    case 4: transfer = QColorSpace::TransferFunction::Gamma, gamma = 2.2f; break;
    case 5: transfer = QColorSpace::TransferFunction::Gamma, gamma = 2.8f; break;
    case 8: transfer = QColorSpace::TransferFunction::Linear; break;
    default: break;
    }
    const bool srgbPrimaries = colours.primaries == 1 || colours.primaries == 2;
    if (srgbPrimaries && transfer == QColorSpace::TransferFunction::SRgb)
        return {};
    if (srgbPrimaries)
        return QColorSpace(QColorSpace::Primaries::SRgb, transfer, gamma);
    if (colours.primaries == 12)
        return QColorSpace(QColorSpace::Primaries::DciP3D65, transfer, gamma);
    return QColorSpace(QPointF(colours.white[0], colours.white[1]), QPointF(colours.red[0], colours.red[1]),
                       QPointF(colours.green[0], colours.green[1]), QPointF(colours.blue[0], colours.blue[1]),
                       transfer, gamma);
}

Decoded DecodeHeif(std::span<const std::uint8_t> bytes, std::optional<QSize> box)
{
    const Owned<heif_context, FreeContext> context(heif_context_alloc());
    if (!context)
        return Refused(Refusal::TooLarge);
    // The library's own limit is a square: its side squared stays within ours.
    heif_context_set_maximum_image_size_limit(context.get(), int(std::sqrt(double(MaxPixels))));
    if (heif_context_read_from_memory_without_copy(context.get(), bytes.data(), bytes.size(), nullptr).code !=
        heif_error_Ok)
        return Refused(Refusal::Damaged);
    heif_image_handle *primaryHandle = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &primaryHandle).code != heif_error_Ok)
        return Refused(Refusal::Damaged);
    const Handle primary(primaryHandle);
    const QSize full = SizeOf(primary.get());  // turned as the file says
    if (full.isEmpty())
        return Refused(Refusal::Damaged);
    if (TooLarge(full))
        return Refused(Refusal::TooLargeSized, full);

    const Handle thumbnail = box ? ThumbnailFor(primary.get(), full, *box) : nullptr;
    const heif_image_handle *source = thumbnail ? thumbnail.get() : primary.get();
    const bool alpha = heif_image_handle_has_alpha_channel(source);
    const bool deep = heif_image_handle_get_luma_bits_per_pixel(source) > 8;
    const heif_chroma chroma = deep ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                                    : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    const Owned<heif_decoding_options, FreeOptions> options(heif_decoding_options_alloc());
    heif_image *decodedImage = nullptr;
    if (heif_decode_image(source, &decodedImage, heif_colorspace_RGB, chroma, options.get()).code != heif_error_Ok)
        return Refused(Refusal::Damaged);
    const Owned<heif_image, FreeImage> image(decodedImage);
    int stride = 0;
    const std::uint8_t *plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const QSize size(heif_image_get_width(image.get(), heif_channel_interleaved),
                     heif_image_get_height(image.get(), heif_channel_interleaved));
    if (!plane || size.isEmpty() || TooLarge(size))
        return Refused(Refusal::Damaged);

    Decoded decoded;
    decoded.fullSize = full;
    if (deep) {
        // Three or four 16-bit samples a pixel, little-endian, as this machine keeps them.
        decoded.image = QImage(size, alpha ? QImage::Format_RGBA64 : QImage::Format_RGBX64);
        if (decoded.image.isNull())
            return Refused(Refusal::TooLarge);
        const int channels = alpha ? 4 : 3;
        for (int y = 0; y < size.height(); ++y) {
            const auto *in = reinterpret_cast<const quint16 *>(plane + qsizetype(stride) * y);
            auto *out = reinterpret_cast<quint16 *>(decoded.image.scanLine(y));
            for (int x = 0; x < size.width(); ++x, in += channels, out += 4) {
                std::memcpy(out, in, sizeof(quint16) * 3);
                out[3] = alpha ? in[3] : quint16((1 << 16) - 1);
            }
        }
        const int depth = heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved);
        WidenSamples(decoded.image, depth);
    } else {
        const QImage view(plane, size.width(), size.height(), stride,
                          alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
        decoded.image = view.convertToFormat(alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
        if (decoded.image.isNull())
            return Refused(Refusal::TooLarge);
    }
    decoded.image.setColorSpace(ProfileOf(primary.get()));
    return decoded;
}

Decoded DecodeJxl(std::span<const std::uint8_t> bytes)
{
    const std::unique_ptr<JxlDecoder, void (*)(JxlDecoder *)> decoder(JxlDecoderCreate(nullptr), JxlDecoderDestroy);
    const std::unique_ptr<void, void (*)(void *)> runner(JxlResizableParallelRunnerCreate(nullptr),
                                                         JxlResizableParallelRunnerDestroy);
    if (!decoder || !runner ||
        JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE) !=
            JXL_DEC_SUCCESS ||
        JxlDecoderSetParallelRunner(decoder.get(), JxlResizableParallelRunner, runner.get()) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(decoder.get(), bytes.data(), bytes.size()) != JXL_DEC_SUCCESS)
        return Refused(Refusal::Damaged);
    JxlDecoderCloseInput(decoder.get());

    JxlBasicInfo info{};
    JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    Decoded decoded;
    QColorSpace colours;
    for (;;) {
        switch (JxlDecoderProcessInput(decoder.get())) {
        case JXL_DEC_BASIC_INFO: {
            if (JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS)
                return Refused(Refusal::Damaged);
            QSize size(int(std::min<std::uint32_t>(info.xsize, 1u << 30)), int(std::min<std::uint32_t>(info.ysize, 1u << 30)));
            if (info.orientation > JXL_ORIENT_ROTATE_180)
                size.transpose();  // the last four orientations turn a quarter
            if (TooLarge(size))
                return Refused(Refusal::TooLargeSized, size);
            JxlResizableParallelRunnerSetThreads(runner.get(),
                                                 JxlResizableParallelRunnerSuggestThreads(info.xsize, info.ysize));
            const bool deep = info.bits_per_sample > 8;
            format.data_type = deep ? JXL_TYPE_UINT16 : JXL_TYPE_UINT8;
            const bool alpha = info.alpha_bits > 0;
            decoded.image = QImage(size, deep ? (alpha ? QImage::Format_RGBA64 : QImage::Format_RGBX64)
                                              : (alpha ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888));
            if (decoded.image.isNull())
                return Refused(Refusal::TooLarge);
            decoded.fullSize = size;
            format.align = std::size_t(decoded.image.bytesPerLine());
            break;
        }
        case JXL_DEC_COLOR_ENCODING: {
            std::size_t length = 0;
            if (JxlDecoderGetICCProfileSize(decoder.get(), nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &length) ==
                    JXL_DEC_SUCCESS &&
                length > 0 && length < (std::size_t(1) << 24)) {
                QByteArray profile(qsizetype(length), Qt::Uninitialized);
                if (JxlDecoderGetColorAsICCProfile(decoder.get(), nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                                   reinterpret_cast<std::uint8_t *>(profile.data()),
                                                   length) == JXL_DEC_SUCCESS)
                    colours = QColorSpace::fromIccProfile(profile);
            }
            break;
        }
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
            std::size_t needed = 0;
            if (decoded.image.isNull() ||
                JxlDecoderImageOutBufferSize(decoder.get(), &format, &needed) != JXL_DEC_SUCCESS ||
                needed > std::size_t(decoded.image.sizeInBytes()) ||
                JxlDecoderSetImageOutBuffer(decoder.get(), &format, decoded.image.bits(),
                                            std::size_t(decoded.image.sizeInBytes())) != JXL_DEC_SUCCESS)
                return Refused(Refusal::Damaged);
            break;
        }
        case JXL_DEC_FULL_IMAGE:
            // The first frame of an animation is the picture.
            decoded.image.setColorSpace(colours);
            return decoded;
        default:
            // An error, or input that ends before the picture does.
            return Refused(Refusal::Damaged);
        }
    }
}

}  // namespace veilshot::imaging::decoder
