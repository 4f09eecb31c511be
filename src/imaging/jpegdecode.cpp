#include "imaging/jpegdecode.h"

#include <QColorSpace>
#include <QIODevice>
#include <QImageReader>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>  // jpeglib.h uses FILE
#include <cstdlib>

#include <jerror.h>
#include <jpeglib.h>

namespace veilshot::imaging {

namespace {

constexpr std::size_t ChunkBytes = 64 * 1024;

// The bytes come from a Qt device a chunk at a time, so a file is never held whole.
struct Source {
    jpeg_source_mgr pub;
    QIODevice *device;
    JOCTET buffer[ChunkBytes];
};

void StartSource(j_decompress_ptr) {}
void EndSource(j_decompress_ptr) {}

boolean FillSource(j_decompress_ptr info)
{
    auto *source = reinterpret_cast<Source *>(info->src);
    const qint64 got = source->device->read(reinterpret_cast<char *>(source->buffer), qint64(ChunkBytes));
    if (got <= 0) {
        // Data that ends early: an end marker, so what was decoded is shown and the rest is grey.
        WARNMS(info, JWRN_JPEG_EOF);
        source->buffer[0] = 0xFF;
        source->buffer[1] = JPEG_EOI;
        source->pub.bytes_in_buffer = 2;
    } else {
        source->pub.bytes_in_buffer = std::size_t(got);
    }
    source->pub.next_input_byte = source->buffer;
    return TRUE;
}

void SkipSource(j_decompress_ptr info, long count)
{
    auto *source = reinterpret_cast<Source *>(info->src);
    if (count <= 0)
        return;
    while (std::size_t(count) > source->pub.bytes_in_buffer) {
        count -= long(source->pub.bytes_in_buffer);
        FillSource(info);
    }
    source->pub.next_input_byte += count;
    source->pub.bytes_in_buffer -= std::size_t(count);
}

// An error goes back to the step that was running; warnings are not printed.
struct Errors {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void Fail(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<Errors *>(info->err)->jump, 1);
}

void Quiet(j_common_ptr) {}

// The steps that can fail run under libjpeg's error handler. No C++ object lives inside them,
// so the jump back from an error skips nothing that needs destroying.
struct Header {
    JOCTET *profile = nullptr;  // malloc'ed by libjpeg
    unsigned int profileBytes = 0;
};

bool ReadHeader(jpeg_decompress_struct *info, Errors *errors, Header *header)
{
    if (setjmp(errors->jump))
        return false;
    jpeg_save_markers(info, JPEG_APP0 + 2, 0xFFFF);
    if (jpeg_read_header(info, TRUE) != JPEG_HEADER_OK)
        return false;
    if (!jpeg_read_icc_profile(info, &header->profile, &header->profileBytes))
        header->profile = nullptr;
    return true;
}

bool PlanOutput(jpeg_decompress_struct *info, Errors *errors)
{
    if (setjmp(errors->jump))
        return false;
    jpeg_calc_output_dimensions(info);
    return true;
}

bool ReadLines(jpeg_decompress_struct *info, Errors *errors, unsigned char *bits, std::size_t stride)
{
    if (setjmp(errors->jump))
        return false;
    jpeg_start_decompress(info);
    while (info->output_scanline < info->output_height) {
        JSAMPROW row = bits + std::size_t(info->output_scanline) * stride;
        jpeg_read_scanlines(info, &row, 1);
    }
    jpeg_finish_decompress(info);
    return true;
}

// The library's state, let go however the decode ends.
struct Decompress {
    jpeg_decompress_struct info{};
    Errors errors{};
    Source source{};
    Header header;

    explicit Decompress(QIODevice &device)
    {
        info.err = jpeg_std_error(&errors.pub);
        errors.pub.error_exit = Fail;
        errors.pub.output_message = Quiet;
        jpeg_create_decompress(&info);
        source.device = &device;
        source.pub.init_source = StartSource;
        source.pub.fill_input_buffer = FillSource;
        source.pub.skip_input_data = SkipSource;
        source.pub.resync_to_restart = jpeg_resync_to_restart;
        source.pub.term_source = EndSource;
        info.src = &source.pub;
    }
    ~Decompress()
    {
        std::free(header.profile);
        jpeg_destroy_decompress(&info);
    }
    Decompress(const Decompress &) = delete;
    Decompress &operator=(const Decompress &) = delete;
};

Decoded Refused(Refusal refusal, QSize claimed = {})
{
    Decoded decoded;
    decoded.refusal = refusal;
    decoded.claimedSize = claimed;
    return decoded;
}

// Four-channel JPEGs are CMYK as Adobe writes it, inverted: each channel times black.
void CmykToRgb(QImage &image)
{
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        const auto *bytes = reinterpret_cast<const unsigned char *>(line);
        for (int x = 0; x < image.width(); ++x) {
            const unsigned char *cmyk = bytes + 4 * x;
            const int k = cmyk[3];
            line[x] = qRgb(k * cmyk[0] / 255, k * cmyk[1] / 255, k * cmyk[2] / 255);
        }
    }
}

}  // namespace

int JpegScaleFor(QSize full, QSize box)
{
    if (!full.isValid() || full.isEmpty() || !box.isValid() || box.isEmpty())
        return 8;
    const double scale = std::min(double(box.width()) / full.width(), double(box.height()) / full.height());
    if (scale >= 1.0)
        return 8;
    const qint64 needWidth = qint64(std::ceil(full.width() * scale - 1e-9));
    const qint64 needHeight = qint64(std::ceil(full.height() * scale - 1e-9));
    for (int n = 1; n < 8; ++n) {
        // libjpeg's size at n/8, rounded up.
        if ((qint64(full.width()) * n + 7) / 8 >= needWidth && (qint64(full.height()) * n + 7) / 8 >= needHeight)
            return n;
    }
    return 8;
}

Decoded DecodeJpeg(QIODevice &device, std::optional<QSize> box)
{
    // The turn and mirror the file's EXIF names, read as Qt's reader reads them.
    const qint64 start = device.pos();
    const QImageIOHandler::Transformations turns = QImageReader(&device, "jpeg").transformation();
    if (!device.seek(start))
        return Refused(Refusal::Damaged);

    Decompress jpeg(device);
    jpeg_decompress_struct &info = jpeg.info;
    if (!ReadHeader(&info, &jpeg.errors, &jpeg.header))
        return Refused(Refusal::Damaged);
    const QSize stored(int(std::min<JDIMENSION>(info.image_width, 0x7FFFFFFF)),
                       int(std::min<JDIMENSION>(info.image_height, 0x7FFFFFFF)));
    if (stored.isEmpty())
        return Refused(Refusal::Damaged);
    if (qint64(stored.width()) * stored.height() > MaxPixels)
        return Refused(Refusal::TooLargeSized, stored);

    if (box) {
        // The box is upright; the stored pixels may lie turned.
        const QSize storedBox = turns & QImageIOHandler::TransformationRotate90 ? box->transposed() : *box;
        info.scale_num = unsigned(JpegScaleFor(stored, storedBox));
        info.scale_denom = 8;
    }
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    const bool grey = info.jpeg_color_space == JCS_GRAYSCALE;
    info.out_color_space = cmyk ? JCS_CMYK
                           : grey ? JCS_GRAYSCALE
                                  : (QSysInfo::ByteOrder == QSysInfo::LittleEndian ? JCS_EXT_BGRA : JCS_EXT_ARGB);
    if (!PlanOutput(&info, &jpeg.errors))
        return Refused(Refusal::Damaged);

    QImage image(int(info.output_width), int(info.output_height), grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    if (image.isNull())
        return Refused(Refusal::TooLarge);
    if (!ReadLines(&info, &jpeg.errors, image.bits(), std::size_t(image.bytesPerLine())))
        return Refused(Refusal::Damaged);
    if (cmyk)
        CmykToRgb(image);
    if (jpeg.header.profile) {
        const QColorSpace colours = QColorSpace::fromIccProfile(
            QByteArray(reinterpret_cast<const char *>(jpeg.header.profile), qsizetype(jpeg.header.profileBytes)));
        if (colours.isValid())
            image.setColorSpace(colours);
    }

    Decoded decoded;
    decoded.image = Upright(std::move(image), turns);
    decoded.fullSize = turns & QImageIOHandler::TransformationRotate90 ? stored.transposed() : stored;
    return decoded;
}

}  // namespace veilshot::imaging
