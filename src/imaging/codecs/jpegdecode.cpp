#include "imaging/codecs/jpegdecode.h"

#include "imaging/codecs/rowshrinker.h"
#include "imaging/common/format.h"

#include <QBuffer>
#include <QColorSpace>
#include <QIODevice>
#include <QImageReader>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>  // jpeglib.h uses FILE
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

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

// Four-channel JPEGs are CMYK as Adobe writes it, inverted: each channel times black.
void CmykToRgb(unsigned char *line, JDIMENSION width)
{
    auto *pixels = reinterpret_cast<QRgb *>(line);
    for (JDIMENSION x = 0; x < width; ++x) {
        const unsigned char *cmyk = line + 4 * x;
        const int k = cmyk[3];
        pixels[x] = qRgb(k * cmyk[0] / 255, k * cmyk[1] / 255, k * cmyk[2] / 255);
    }
}

// Where the decoded lines go: straight into the picture, or through a shrinker by way of one
// line's room.
struct Lines {
    unsigned char *bits;
    std::size_t stride;
    bool cmyk;
    RowShrinker *shrinker;
    unsigned char *line;
};

bool ReadLines(jpeg_decompress_struct *info, Errors *errors, const Lines *lines)
{
    if (setjmp(errors->jump))
        return false;
    jpeg_start_decompress(info);
    while (info->output_scanline < info->output_height) {
        JSAMPROW row = lines->shrinker ? lines->line : lines->bits + std::size_t(info->output_scanline) * lines->stride;
        jpeg_read_scanlines(info, &row, 1);
        if (lines->cmyk)
            CmykToRgb(row, info->output_width);
        if (lines->shrinker)
            lines->shrinker->add(row);
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

    // Reads from `device`, or, without one, straight from the bytes in memory.
    Decompress(QIODevice *device, std::span<const std::uint8_t> bytes)
    {
        info.err = jpeg_std_error(&errors.pub);
        errors.pub.error_exit = Fail;
        errors.pub.output_message = Quiet;
        jpeg_create_decompress(&info);
        if (!device) {
            jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
            return;
        }
        source.device = device;
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

}  // namespace

QSize FittedSize(QSize full, QSize box)
{
    if (!full.isValid() || full.isEmpty() || !box.isValid() || box.isEmpty())
        return full;
    const double scale = std::min(double(box.width()) / full.width(), double(box.height()) / full.height());
    if (scale >= 1.0)
        return full;
    return QSize(std::max(1, int(std::ceil(full.width() * scale - 1e-9))),
                 std::max(1, int(std::ceil(full.height() * scale - 1e-9))));
}

int JpegScaleFor(QSize full, QSize box)
{
    const QSize need = FittedSize(full, box);
    for (int n = 1; n < 8; ++n) {
        // libjpeg's size at n/8, rounded up.
        if ((qint64(full.width()) * n + 7) / 8 >= need.width() && (qint64(full.height()) * n + 7) / 8 >= need.height())
            return n;
    }
    return 8;
}

namespace {

Decoded DecodeWith(Decompress &jpeg, QImageIOHandler::Transformations turns, std::optional<QSize> box);

}  // namespace

Decoded DecodeJpeg(QIODevice &device, std::optional<QSize> box)
{
    // The turn and mirror the file's EXIF names, read as Qt's reader reads them.
    const qint64 start = device.pos();
    const QImageIOHandler::Transformations turns = QImageReader(&device, "jpeg").transformation();
    if (!device.seek(start))
        return Refused(Refusal::Damaged);
    Decompress jpeg(&device, {});
    return DecodeWith(jpeg, turns, box);
}

Decoded DecodeJpeg(std::span<const std::uint8_t> bytes, std::optional<QSize> box)
{
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    const QImageIOHandler::Transformations turns = QImageReader(&buffer, "jpeg").transformation();
    Decompress jpeg(nullptr, bytes);
    return DecodeWith(jpeg, turns, box);
}

namespace {

Decoded DecodeWith(Decompress &jpeg, QImageIOHandler::Transformations turns, std::optional<QSize> box)
{
    jpeg_decompress_struct &info = jpeg.info;
    if (!ReadHeader(&info, &jpeg.errors, &jpeg.header))
        return Refused(Refusal::Damaged);
    const QSize stored(int(std::min<JDIMENSION>(info.image_width, 0x7FFFFFFF)),
                       int(std::min<JDIMENSION>(info.image_height, 0x7FFFFFFF)));
    if (stored.isEmpty())
        return Refused(Refusal::Damaged);
    if (qint64(stored.width()) * stored.height() > MaxPixels)
        return Refused(Refusal::TooLargeSized, stored);

    QSize fitted = stored;
    if (box) {
        // The box is upright; the stored pixels may lie turned.
        const QSize storedBox = turns & QImageIOHandler::TransformationRotate90 ? box->transposed() : *box;
        info.scale_num = unsigned(JpegScaleFor(stored, storedBox));
        info.scale_denom = 8;
        fitted = FittedSize(stored, storedBox);
    }
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    const bool grey = info.jpeg_color_space == JCS_GRAYSCALE;
    info.out_color_space = cmyk ? JCS_CMYK
                           : grey ? JCS_GRAYSCALE
                                  : (QSysInfo::ByteOrder == QSysInfo::LittleEndian ? JCS_EXT_BGRA : JCS_EXT_ARGB);
    if (!PlanOutput(&info, &jpeg.errors))
        return Refused(Refusal::Damaged);

    // At its n/8 scale the picture is at most a little larger than the box needs; it is shrunk
    // the rest of the way line by line.
    const QSize decodedSize(int(info.output_width), int(info.output_height));
    const QSize size = fitted.width() < decodedSize.width() && fitted.height() < decodedSize.height() ? fitted : decodedSize;
    QImage image(size, grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    if (image.isNull())
        return Refused(Refusal::TooLarge);
    const int channels = grey ? 1 : 4;
    std::optional<RowShrinker> shrinker;
    std::vector<unsigned char> line;
    if (size != decodedSize) {
        shrinker.emplace(decodedSize, size, channels, image);
        line.resize(std::size_t(decodedSize.width()) * std::size_t(channels));
    }
    const Lines lines{image.bits(), std::size_t(image.bytesPerLine()), cmyk, shrinker ? &*shrinker : nullptr, line.data()};
    if (!ReadLines(&info, &jpeg.errors, &lines))
        return Refused(Refusal::Damaged);
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

}  // namespace

}  // namespace veilshot::imaging
