#include "imaging/decoder/photodecoders.h"

#include <jxl/decode.h>
#include <jxl/resizable_parallel_runner.h>
#include <libheif/heif.h>
#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include <dlfcn.h>

namespace veilshot::imaging::decoder {

namespace {

Photo Refused(Refusal refusal, int claimedWidth = 0, int claimedHeight = 0)
{
    Photo photo;
    photo.refusal = refusal;
    photo.fullWidth = claimedWidth;
    photo.fullHeight = claimedHeight;
    return photo;
}

bool TooLarge(std::int64_t width, std::int64_t height)
{
    return width * height > PixelsLimit;
}

// Lines of `height` x `lineBytes` that the photo owns, uninitialised; false when there is no
// room for them.
bool OwnLines(Photo &photo, std::size_t lineBytes, int height)
{
    std::uint8_t *lines = new (std::nothrow) std::uint8_t[lineBytes * std::size_t(height)];
    if (!lines)
        return false;
    photo.keeper = std::shared_ptr<const std::uint8_t[]>(lines);
    photo.lines = lines;
    photo.stride = lineBytes;
    return true;
}

template <typename T, void (*Free)(T *)>
struct Releaser {
    void operator()(T *p) const { Free(p); }
};
template <typename T, void (*Free)(T *)>
using Owned = std::unique_ptr<T, Releaser<T, Free>>;

void FreeHandle(heif_image_handle *handle) { heif_image_handle_release(handle); }
void FreeContext(heif_context *context) { heif_context_free(context); }
void FreeOptions(heif_decoding_options *options) { heif_decoding_options_free(options); }
void FreeNclx(heif_color_profile_nclx *nclx) { heif_nclx_color_profile_free(nclx); }

using Handle = Owned<heif_image_handle, FreeHandle>;

Box SizeOf(const heif_image_handle *handle)
{
    return {heif_image_handle_get_width(handle), heif_image_handle_get_height(handle)};
}

// `full` fitted into `box`, its proportions kept, never larger than it is.
Box Fitted(Box full, Box box)
{
    const std::int64_t width = std::int64_t(box.height) * full.width / full.height;
    Box fitted = width <= box.width ? Box{int(width), box.height}
                                    : Box{box.width, int(std::int64_t(box.width) * full.height / full.width)};
    return {std::min(fitted.width, full.width), std::min(fitted.height, full.height)};
}

// The smallest thumbnail that still fills the picture's fitting into `box`, if the file has one.
Handle ThumbnailFor(const heif_image_handle *primary, Box full, Box box)
{
    const int count = heif_image_handle_get_number_of_thumbnails(primary);
    if (count <= 0 || box.width <= 0 || box.height <= 0)
        return nullptr;
    const Box needed = Fitted(full, box);
    std::vector<heif_item_id> ids(static_cast<std::size_t>(count));
    heif_image_handle_get_list_of_thumbnail_IDs(primary, ids.data(), count);
    Handle best;
    for (const heif_item_id id : ids) {
        heif_image_handle *thumbnail = nullptr;
        if (heif_image_handle_get_thumbnail(primary, id, &thumbnail).code != heif_error_Ok)
            continue;
        Handle owned(thumbnail);
        const Box size = SizeOf(thumbnail);
        if (size.width <= 0 || size.height <= 0)
            continue;
        // A thumbnail of another shape (cropped, or turned differently) is no reduced picture.
        const bool sameShape =
            std::abs(double(size.width) / size.height - double(full.width) / full.height) < 0.02;
        if (sameShape && size.width >= needed.width && size.height >= needed.height &&
            (!best || size.width < SizeOf(best.get()).width))
            best = std::move(owned);
    }
    return best;
}

void ColoursOf(const heif_image_handle *handle, Photo &photo)
{
    switch (heif_image_handle_get_color_profile_type(handle)) {
    case heif_color_profile_type_prof:
    case heif_color_profile_type_rICC: {
        std::vector<std::uint8_t> profile(heif_image_handle_get_raw_color_profile_size(handle));
        if (!profile.empty() && heif_image_handle_get_raw_color_profile(handle, profile.data()).code == heif_error_Ok)
            photo.profile = std::move(profile);
        return;
    }
    case heif_color_profile_type_nclx: {
        heif_color_profile_nclx *nclx = nullptr;
        const heif_error error = heif_image_handle_get_nclx_color_profile(handle, &nclx);
        const Owned<heif_color_profile_nclx, FreeNclx> owned(nclx);  // given even with an error
        if (error.code != heif_error_Ok || !nclx)
            return;
        CodedColours &colours = photo.colours;
        colours.primaries = std::int32_t(nclx->color_primaries);
        colours.transfer = std::int32_t(nclx->transfer_characteristics);
        colours.white[0] = nclx->color_primary_white_x, colours.white[1] = nclx->color_primary_white_y;
        colours.red[0] = nclx->color_primary_red_x, colours.red[1] = nclx->color_primary_red_y;
        colours.green[0] = nclx->color_primary_green_x, colours.green[1] = nclx->color_primary_green_y;
        colours.blue[0] = nclx->color_primary_blue_x, colours.blue[1] = nclx->color_primary_blue_y;
        return;
    }
    default: return;
    }
}

// libjxl, loaded for a JPEG XL picture only: the vector library under it times the machine's
// clock as it is loaded, milliseconds that every other photo would pay at each start.
struct Jxl {
#define VEILSHOT_JXL_DECODING(F)                                                                                \
    F(JxlDecoderCreate) F(JxlDecoderDestroy) F(JxlDecoderSubscribeEvents) F(JxlDecoderSetParallelRunner)        \
    F(JxlDecoderSetInput) F(JxlDecoderCloseInput) F(JxlDecoderProcessInput) F(JxlDecoderGetBasicInfo)          \
    F(JxlDecoderGetICCProfileSize) F(JxlDecoderGetColorAsICCProfile) F(JxlDecoderImageOutBufferSize)           \
    F(JxlDecoderSetImageOutBuffer)
#define VEILSHOT_JXL_THREADS(F)                                                                                 \
    F(JxlResizableParallelRunner) F(JxlResizableParallelRunnerCreate) F(JxlResizableParallelRunnerDestroy)      \
    F(JxlResizableParallelRunnerSetThreads) F(JxlResizableParallelRunnerSuggestThreads)
#define VEILSHOT_JXL_MEMBER(name) decltype(&::name) name = nullptr;
    VEILSHOT_JXL_DECODING(VEILSHOT_JXL_MEMBER)
    VEILSHOT_JXL_THREADS(VEILSHOT_JXL_MEMBER)
#undef VEILSHOT_JXL_MEMBER
    bool loaded = false;
};

Jxl LoadJxl()
{
    Jxl jxl;
    // Kept loaded for the life of the process.
    void *decoding = ::dlopen(VEILSHOT_JXL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    void *threads = ::dlopen(VEILSHOT_JXL_THREADS_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (!decoding || !threads)
        return jxl;
    bool found = true;
#define VEILSHOT_JXL_FIND(library, name)                                                                        \
    jxl.name = reinterpret_cast<decltype(jxl.name)>(::dlsym(library, #name));                                  \
    found = found && jxl.name;
#define VEILSHOT_JXL_FIND_DECODING(name) VEILSHOT_JXL_FIND(decoding, name)
#define VEILSHOT_JXL_FIND_THREADS(name) VEILSHOT_JXL_FIND(threads, name)
    VEILSHOT_JXL_DECODING(VEILSHOT_JXL_FIND_DECODING)
    VEILSHOT_JXL_THREADS(VEILSHOT_JXL_FIND_THREADS)
#undef VEILSHOT_JXL_FIND_THREADS
#undef VEILSHOT_JXL_FIND_DECODING
#undef VEILSHOT_JXL_FIND
    jxl.loaded = found;
    return jxl;
}

const Jxl &JxlLibrary()
{
    static const Jxl jxl = LoadJxl();
    return jxl;
}

}  // namespace

bool PrepareFor(PhotoFormat format)
{
    return format != PhotoFormat::Jxl || JxlLibrary().loaded;
}

Photo DecodeHeif(std::span<const std::uint8_t> bytes, std::optional<Box> box)
{
    const Owned<heif_context, FreeContext> context(heif_context_alloc());
    if (!context)
        return Refused(Refusal::TooLarge);
    // The library's own limit is a square: its side squared stays within ours.
    heif_context_set_maximum_image_size_limit(context.get(), int(std::sqrt(double(PixelsLimit))));
    if (heif_context_read_from_memory_without_copy(context.get(), bytes.data(), bytes.size(), nullptr).code !=
        heif_error_Ok)
        return Refused(Refusal::Damaged);
    heif_image_handle *primaryHandle = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &primaryHandle).code != heif_error_Ok)
        return Refused(Refusal::Damaged);
    const Handle primary(primaryHandle);
    const Box full = SizeOf(primary.get());  // turned as the file says
    if (full.width <= 0 || full.height <= 0)
        return Refused(Refusal::Damaged);
    if (TooLarge(full.width, full.height))
        return Refused(Refusal::TooLargeSized, full.width, full.height);

    const Handle thumbnail = box ? ThumbnailFor(primary.get(), full, *box) : nullptr;
    const heif_image_handle *source = thumbnail ? thumbnail.get() : primary.get();
    const bool alpha = heif_image_handle_has_alpha_channel(source);
    const bool deep = heif_image_handle_get_luma_bits_per_pixel(source) > 8;
    const heif_chroma chroma = deep ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                                    : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    const Owned<heif_decoding_options, FreeOptions> options(heif_decoding_options_alloc());
    heif_image *decoded = nullptr;
    if (heif_decode_image(source, &decoded, heif_colorspace_RGB, chroma, options.get()).code != heif_error_Ok)
        return Refused(Refusal::Damaged);
    const std::shared_ptr<const heif_image> image(decoded, heif_image_release);
    int stride = 0;
    const std::uint8_t *plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const Box size{heif_image_get_width(image.get(), heif_channel_interleaved),
                   heif_image_get_height(image.get(), heif_channel_interleaved)};
    const int bits = heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved);
    if (!plane || stride <= 0 || size.width <= 0 || size.height <= 0 || TooLarge(size.width, size.height) ||
        bits < 1 || bits > 16 || (bits > 8) != deep)
        return Refused(Refusal::Damaged);

    Photo photo;
    photo.width = size.width;
    photo.height = size.height;
    photo.fullWidth = full.width;
    photo.fullHeight = full.height;
    photo.channels = alpha ? 4 : 3;
    photo.bits = deep ? bits : 8;
    photo.alpha = alpha;
    photo.lines = plane;
    photo.stride = std::size_t(stride);
    photo.keeper = image;
    ColoursOf(primary.get(), photo);
    return photo;
}

Photo DecodeJxl(std::span<const std::uint8_t> bytes)
{
    const Jxl &jxl = JxlLibrary();
    if (!jxl.loaded)
        return Refused(Refusal::DecoderFailed);
    const std::unique_ptr<JxlDecoder, void (*)(JxlDecoder *)> decoder(jxl.JxlDecoderCreate(nullptr), jxl.JxlDecoderDestroy);
    const std::unique_ptr<void, void (*)(void *)> runner(jxl.JxlResizableParallelRunnerCreate(nullptr),
                                                         jxl.JxlResizableParallelRunnerDestroy);
    if (!decoder || !runner ||
        jxl.JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE) !=
            JXL_DEC_SUCCESS ||
        jxl.JxlDecoderSetParallelRunner(decoder.get(), jxl.JxlResizableParallelRunner, runner.get()) != JXL_DEC_SUCCESS ||
        jxl.JxlDecoderSetInput(decoder.get(), bytes.data(), bytes.size()) != JXL_DEC_SUCCESS)
        return Refused(Refusal::Damaged);
    jxl.JxlDecoderCloseInput(decoder.get());

    JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    Photo photo;
    for (;;) {
        switch (jxl.JxlDecoderProcessInput(decoder.get())) {
        case JXL_DEC_BASIC_INFO: {
            JxlBasicInfo info{};
            if (jxl.JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS)
                return Refused(Refusal::Damaged);
            int width = int(std::min<std::uint32_t>(info.xsize, 1u << 30));
            int height = int(std::min<std::uint32_t>(info.ysize, 1u << 30));
            if (info.orientation > JXL_ORIENT_ROTATE_180)
                std::swap(width, height);  // the last four orientations turn a quarter
            if (TooLarge(width, height))
                return Refused(Refusal::TooLargeSized, width, height);
            jxl.JxlResizableParallelRunnerSetThreads(runner.get(),
                                                 jxl.JxlResizableParallelRunnerSuggestThreads(info.xsize, info.ysize));
            const bool deep = info.bits_per_sample > 8;
            format.data_type = deep ? JXL_TYPE_UINT16 : JXL_TYPE_UINT8;
            photo.width = photo.fullWidth = width;
            photo.height = photo.fullHeight = height;
            photo.channels = 4;
            photo.bits = deep ? 16 : 8;
            photo.alpha = info.alpha_bits > 0;
            if (!OwnLines(photo, std::size_t(width) * (deep ? 8 : 4), height))
                return Refused(Refusal::TooLarge);
            break;
        }
        case JXL_DEC_COLOR_ENCODING: {
            std::size_t length = 0;
            if (jxl.JxlDecoderGetICCProfileSize(decoder.get(), nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &length) ==
                    JXL_DEC_SUCCESS &&
                length > 0 && length <= ProfileBytesLimit) {
                std::vector<std::uint8_t> profile(length);
                if (jxl.JxlDecoderGetColorAsICCProfile(decoder.get(), nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                                   profile.data(), length) == JXL_DEC_SUCCESS)
                    photo.profile = std::move(profile);
            }
            break;
        }
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
            const std::size_t room = photo.stride * std::size_t(photo.height);
            std::size_t needed = 0;
            if (!photo.lines || jxl.JxlDecoderImageOutBufferSize(decoder.get(), &format, &needed) != JXL_DEC_SUCCESS ||
                needed > room ||
                jxl.JxlDecoderSetImageOutBuffer(decoder.get(), &format, const_cast<std::uint8_t *>(photo.lines), room) !=
                    JXL_DEC_SUCCESS)
                return Refused(Refusal::Damaged);
            break;
        }
        case JXL_DEC_FULL_IMAGE:
            // The first frame of an animation is the picture.
            return photo;
        default:
            // An error, or input that ends before the picture does.
            return Refused(Refusal::Damaged);
        }
    }
}

Photo DecodeWebp(std::span<const std::uint8_t> bytes)
{
    WebPBitstreamFeatures features{};
    if (WebPGetFeatures(bytes.data(), bytes.size(), &features) != VP8_STATUS_OK || features.width <= 0 ||
        features.height <= 0)
        return Refused(Refusal::Damaged);
    if (TooLarge(features.width, features.height))
        return Refused(Refusal::TooLargeSized, features.width, features.height);

    Photo photo;
    const WebPData data{bytes.data(), bytes.size()};
    // The profile, from the container; a file cut short has none to give, and fails below.
    if (const std::unique_ptr<WebPDemuxer, void (*)(WebPDemuxer *)> demuxer(WebPDemux(&data), WebPDemuxDelete);
        demuxer && (WebPDemuxGetI(demuxer.get(), WEBP_FF_FORMAT_FLAGS) & ICCP_FLAG)) {
        WebPChunkIterator chunk{};
        if (WebPDemuxGetChunk(demuxer.get(), "ICCP", 1, &chunk) && chunk.chunk.size <= ProfileBytesLimit)
            photo.profile.assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
        WebPDemuxReleaseChunkIterator(&chunk);
    }
    photo.width = photo.fullWidth = features.width;
    photo.height = photo.fullHeight = features.height;
    photo.alpha = features.has_alpha;

    if (features.has_animation) {
        // The first frame, composed on the canvas.
        WebPAnimDecoderOptions options;
        if (!WebPAnimDecoderOptionsInit(&options))
            return Refused(Refusal::Damaged);
        options.color_mode = MODE_RGBA;
        options.use_threads = 0;
        const std::shared_ptr<WebPAnimDecoder> animation(WebPAnimDecoderNew(&data, &options), [](WebPAnimDecoder *d) {
            if (d)
                WebPAnimDecoderDelete(d);
        });
        WebPAnimInfo info{};
        std::uint8_t *canvas = nullptr;
        int timestamp = 0;
        if (!animation || !WebPAnimDecoderGetInfo(animation.get(), &info) ||
            info.canvas_width != std::uint32_t(features.width) || info.canvas_height != std::uint32_t(features.height) ||
            !WebPAnimDecoderGetNext(animation.get(), &canvas, &timestamp) || !canvas)
            return Refused(Refusal::Damaged);
        // Where the first frame leaves the canvas uncovered it is transparent.
        photo.alpha = true;
        photo.channels = 4;
        photo.lines = canvas;
        photo.stride = std::size_t(features.width) * 4;
        photo.keeper = animation;
        return photo;
    }

    photo.channels = photo.alpha ? 4 : 3;
    if (!OwnLines(photo, std::size_t(photo.width) * std::size_t(photo.channels), photo.height))
        return Refused(Refusal::TooLarge);
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        return Refused(Refusal::Damaged);
    config.output.colorspace = photo.alpha ? MODE_RGBA : MODE_RGB;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = const_cast<std::uint8_t *>(photo.lines);
    config.output.u.RGBA.stride = int(photo.stride);
    config.output.u.RGBA.size = photo.stride * std::size_t(photo.height);
    const VP8StatusCode status = WebPDecode(bytes.data(), bytes.size(), &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK)
        return Refused(status == VP8_STATUS_OUT_OF_MEMORY ? Refusal::TooLarge : Refusal::Damaged);
    return photo;
}

Layout AnswerLayout(const Photo &photo)
{
    if (photo.bits > 8)
        return photo.alpha ? Layout::Rgba64 : Layout::Rgbx64;
    return photo.alpha ? Layout::Argb32 : Layout::Rgb32;
}

void AnswerLine(const Photo &photo, int y, std::uint8_t *to)
{
    const std::uint8_t *line = photo.lines + photo.stride * std::size_t(y);
    const std::size_t channels = std::size_t(photo.channels);
    const std::size_t width = std::size_t(photo.width);
    if (photo.bits <= 8) {
        auto *out = reinterpret_cast<std::uint32_t *>(to);
        if (photo.alpha) {
            for (std::size_t x = 0; x < width; ++x, line += 4)
                out[x] = std::uint32_t(line[3]) << 24 | std::uint32_t(line[0]) << 16 | std::uint32_t(line[1]) << 8 | line[2];
        } else if (channels == 3) {
            for (std::size_t x = 0; x < width; ++x, line += 3)
                out[x] = 0xFF000000u | std::uint32_t(line[0]) << 16 | std::uint32_t(line[1]) << 8 | line[2];
        } else {
            for (std::size_t x = 0; x < width; ++x, line += 4)
                out[x] = 0xFF000000u | std::uint32_t(line[0]) << 16 | std::uint32_t(line[1]) << 8 | line[2];
        }
        return;
    }
    // 16-bit samples holding `bits`: the top bits repeated into the bottom ones that are missing.
    const auto *in = reinterpret_cast<const std::uint16_t *>(line);
    auto *out = reinterpret_cast<std::uint16_t *>(to);
    const unsigned bits = unsigned(photo.bits), shift = 16 - bits;
    const auto widen = [&](std::uint16_t sample) {
        return shift == 0 ? sample : std::uint16_t(sample << shift | sample >> (bits - shift));
    };
    for (std::size_t x = 0; x < width; ++x, in += channels, out += 4) {
        out[0] = widen(in[0]);
        out[1] = widen(in[1]);
        out[2] = widen(in[2]);
        out[3] = photo.alpha ? widen(in[3]) : 0xFFFF;
    }
}

}  // namespace veilshot::imaging::decoder
