#include "imaging/jpegdecode.h"

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

class RowShrinker;
void Shrink(RowShrinker *shrinker, const unsigned char *line);

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
            Shrink(lines->shrinker, row);
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

Decoded Refused(Refusal refusal, QSize claimed = {})
{
    Decoded decoded;
    decoded.refusal = refusal;
    decoded.claimedSize = claimed;
    return decoded;
}


// Shrinks rows of pixels to a smaller size as they come from the decoder, each pixel of the
// result the average of the area it covers (the box filter of smooth shrinking), so the decoded
// picture at its n/8 scale is never held whole beside the shrunk one. Weights are in 1/256ths
// and each output pixel's add up to exactly 256 across and down.
class RowShrinker {
public:
    RowShrinker(QSize from, QSize to, int channels, QImage &target)
        : channels_(std::size_t(channels)), to_(to), target_(target), across_(Spans(from.width(), to.width())),
          down_(Spans(from.height(), to.height())), width_(std::size_t(from.width()) * channels_),
          sums_{std::vector<std::uint32_t>(width_), std::vector<std::uint32_t>(width_)}
    {
        // Each input row's share of the output rows it falls in: at most two, as output rows
        // are at least one input row high.
        rows_.resize(std::size_t(from.height()));
        for (std::size_t out = 0; out < down_.size(); ++out) {
            const Span &span = down_[out];
            for (std::size_t i = 0; i < span.weights.size(); ++i) {
                RowShare &share = rows_[span.first + i];
                (share.first ? share.second : share.first) = {int(out), span.weights[i]};
            }
        }
    }

    // Built twice, for processors with AVX2 and for any other, the loader picking the one that
    // runs here: the wide steps halve the time of shrinking a photo for the screen.
    __attribute__((target_clones("avx2", "default"))) void add(const unsigned char *line)
    {
        // Down first, on whole input rows, where the work runs in wide steps; across once for
        // each output row, on its sums.
        const RowShare &share = rows_[std::size_t(inRow_++)];
        for (const Share &part : {share.first, share.second}) {
            if (part.weight == 0)
                continue;
            std::uint32_t *sums = sums_[part.out == outRow_ ? 0 : 1].data();
            const std::uint32_t weight = part.weight;
            for (std::size_t i = 0; i < width_; ++i)
                sums[i] += weight * line[i];
        }
        // An output row is whole once its last input row is in.
        while (outRow_ < to_.height() && inRow_ >= int(down_[std::size_t(outRow_)].first + down_[std::size_t(outRow_)].weights.size())) {
            if (channels_ == 4)
                across<4>(sums_[0].data(), target_.scanLine(outRow_));
            else
                across<1>(sums_[0].data(), target_.scanLine(outRow_));
            std::swap(sums_[0], sums_[1]);
            std::fill(sums_[1].begin(), sums_[1].end(), 0u);
            ++outRow_;
        }
    }

private:
    struct Span {
        std::size_t first = 0;  // the first input pixel it covers
        std::vector<std::uint16_t> weights;
    };
    struct Share {
        int out = -1;
        std::uint16_t weight = 0;
        explicit operator bool() const { return weight != 0; }
    };
    struct RowShare {
        Share first, second;
    };

    // Across: a row of sums (each up to 255 x 256) averaged into the output's columns, whole
    // pixels at a time: the four bytes of a pixel are one vector of lanes.
    template <std::size_t C>
    void across(const std::uint32_t *sums, unsigned char *out) const
    {
        if constexpr (C == 4) {
            using Ints = std::int32_t __attribute__((vector_size(16)));
            using Lanes = float __attribute__((vector_size(16)));
            for (const Span &span : across_) {
                Lanes sum = {};
                const std::uint32_t *in = sums + span.first * 4;
                for (const std::uint16_t weight : span.weights) {
                    Ints pixel;
                    std::memcpy(&pixel, in, sizeof pixel);
                    sum += float(weight) * __builtin_convertvector(pixel, Lanes);
                    in += 4;
                }
                const Ints rounded = __builtin_convertvector(sum * (1.0f / 65536.0f) + 0.5f, Ints);
                for (std::size_t k = 0; k < 4; ++k)
                    out[k] = static_cast<unsigned char>(rounded[k]);
                out += 4;
            }
        } else {
            for (const Span &span : across_) {
                std::uint32_t sum = 0;
                const std::uint32_t *in = sums + span.first;
                for (const std::uint16_t weight : span.weights)
                    sum += std::uint32_t(weight) * *in++;
                *out++ = static_cast<unsigned char>((sum + 32768) >> 16);
            }
        }
    }

    // For each of `to` output pixels, the input pixels of `from` it covers and their weights.
    static std::vector<Span> Spans(int from, int to)
    {
        const double step = double(from) / to;
        std::vector<Span> spans(static_cast<std::size_t>(to));
        for (int out = 0; out < to; ++out) {
            const double start = out * step, end = std::min(double(from), (out + 1) * step);
            Span &span = spans[std::size_t(out)];
            span.first = std::size_t(start);
            int total = 0;
            std::size_t largest = 0;
            for (std::size_t i = span.first; double(i) < end; ++i) {
                const double covered = std::min(double(i + 1), end) - std::max(double(i), start);
                const auto weight = std::uint16_t(std::lround(covered / step * 256));
                span.weights.push_back(weight);
                total += weight;
                if (weight > span.weights[largest])
                    largest = span.weights.size() - 1;
            }
            span.weights[largest] = std::uint16_t(span.weights[largest] + 256 - total);
        }
        return spans;
    }

    std::size_t channels_;
    QSize to_;
    QImage &target_;
    std::vector<Span> across_, down_;
    std::vector<RowShare> rows_;
    std::size_t width_;  // input bytes a row
    std::vector<std::uint32_t> sums_[2];
    int inRow_ = 0, outRow_ = 0;
};

void Shrink(RowShrinker *shrinker, const unsigned char *line)
{
    shrinker->add(line);
}

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
