#include "tools/toolwork.h"

#include "files/fileio.h"
#include "files/fileoperations.h"
#include "imaging/imaging.h"
#include "viewer/texts.h"

#include <cmath>

namespace veilshot::tools {

namespace {

Outcome Encode(const QImage &image, const Job &job, const QString &mime, std::optional<int> quality = std::nullopt)
{
    // A JPEG made from a JPEG keeps its metadata, subsampling and, unless told, its quality.
    const imaging::JpegMetadata carried = imaging::ReadJpegMetadataOf(job.source);
    imaging::Save(image, job.target, imaging::FindEncoderByMime(mime), quality, AtomicFile::Mode::KeepExisting, &carried);
    return Outcome::written();
}

// The box whose fitting of `full` covers `size` on both sides, however their proportions differ.
QSize Covering(QSize full, QSize size)
{
    const double scale = std::max(double(size.width()) / full.width(), double(size.height()) / full.height());
    return QSize(int(std::ceil(full.width() * scale)), int(std::ceil(full.height() * scale)));
}

// The photo of `full` pixels (empty when its header could not tell) drawn stretched to `size`.
Outcome Stretch(const Job &job, QSize full, QSize size, const QString &mime)
{
    if (imaging::FindEncoderByMime(mime) < 0)
        return Outcome::failed(QString::fromUtf8(NoEncoderReason));
    if (qint64(size.width()) * size.height() > imaging::MaxPixels)
        return Outcome::failed(QString::fromUtf8(TooLargeReason).arg(size.width()).arg(size.height()));
    // Decoded no larger than the size needs on either side: a JPEG reduces as it decodes.
    const imaging::Picture picture =
        imaging::OpenFile(job.source, full.isEmpty() ? std::nullopt : std::optional(Covering(full, size)), imaging::Colours::Own);
    if (!picture.ok())
        return Outcome::failed(picture.error);
    return Encode(imaging::StretchedTo(picture.image, size), job, mime);
}

}  // namespace

Outcome Compress(const Job &job, int quality)
{
    if (!FileExists(job.source))
        return Outcome::passedOver();
    const imaging::Picture picture = imaging::OpenFile(job.source, std::nullopt, imaging::Colours::Own);
    if (!picture.ok())
        return Outcome::failed(picture.error);
    return Encode(picture.image, job, QStringLiteral("image/jpeg"), quality);
}

Outcome Transform(const Job &job, const QString &mime)
{
    if (!FileExists(job.source))
        return Outcome::passedOver();
    const imaging::Picture picture = imaging::OpenFile(job.source, std::nullopt, imaging::Colours::Own);
    if (!picture.ok())
        return Outcome::failed(picture.error);
    return Encode(picture.image, job, mime);
}

Outcome ScaleTo(const Job &job, QSize size, const QString &mime)
{
    return Stretch(job, imaging::MeasureFile(job.source), size, mime);
}

Outcome ScaleBy(const Job &job, double factor)
{
    if (!FileExists(job.source))
        return Outcome::passedOver();
    const std::optional<ToolFormat> format = ScaleFormatOf(job.source);
    if (!format || !format->canEncode())
        return Outcome::passedOver();
    const QSize full = imaging::MeasureFile(job.source);
    if (full.isEmpty())
        return Outcome::failed(imaging::OpenFile(job.source).error);
    const Scaled scaled = DivideBy(full, factor);
    if (CheckSize(scaled.width, scaled.height, PreviewLimit) != SizeCheck::Fine)
        return Outcome::passedOver();
    return Stretch(job, full, QSize(int(scaled.width), int(scaled.height)), format->mime);
}

Outcome CopyFile(const Job &job)
{
    if (!FileExists(job.source))
        return Outcome::passedOver();
    CopyFileTo(job.source, job.target);
    return Outcome::written();
}

Outcome MoveFile(const Job &job)
{
    if (!FileExists(job.source))
        return Outcome::passedOver();
    MoveFileTo(job.source, job.target);
    return Outcome::written();
}

}  // namespace veilshot::tools
