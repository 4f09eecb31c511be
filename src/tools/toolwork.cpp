#include "tools/toolwork.h"

#include "files/fileio.h"
#include "files/fileoperations.h"
#include "files/folderlisting.h"
#include "imaging/imaging.h"
#include "viewer/texts.h"

#include <cmath>

namespace veilshot::tools {

namespace {

// The share of one photo's work its decode is counted as; the encoding takes the rest.
constexpr int DecodeShare = imaging::Progress::Whole / 4;

// Counts the decode as done, unless the work was stopped meanwhile.
void Decoded(imaging::Progress *progress)
{
    imaging::Advance(progress, 1, 1);
    if (progress)
        progress->setStage(DecodeShare, imaging::Progress::Whole);
}

Outcome Encode(const QImage &image, const Job &job, const QString &mime, std::optional<int> quality = std::nullopt,
               imaging::Progress *progress = nullptr)
{
    // The photo's metadata goes wherever the format can hold it; a JPEG made from a JPEG also
    // keeps its subsampling and, unless told, its quality.
    const imaging::CarriedMetadata carried = imaging::ReadCarriedMetadataOf(job.source);
    imaging::Save(image, job.target, imaging::FindEncoderByMime(mime), quality, AtomicFile::Mode::KeepExisting, &carried,
                  progress);
    return Outcome::written();
}

// The photo decoded (for `box`, when given), then `then` with it; stopped work ends as such.
Outcome Decoding(const Job &job, std::optional<QSize> box, imaging::Progress *progress,
                 const std::function<Outcome(const QImage &)> &then)
{
    if (progress)
        progress->setStage(0, DecodeShare);
    try {
        // In the photo's own colours: what the display cannot show survives the way through.
        const imaging::Picture picture = imaging::OpenFile(job.source, box, imaging::Colours::Own);
        if (!picture.ok())
            return Outcome::failed(picture.error);
        Decoded(progress);
        return then(picture.image);
    } catch (const imaging::WorkStopped &) {
        return Outcome::stopped();
    }
}

// The box whose fitting of `full` covers `size` on both sides, however their proportions differ.
QSize Covering(QSize full, QSize size)
{
    const double scale = std::max(double(size.width()) / full.width(), double(size.height()) / full.height());
    return QSize(int(std::ceil(full.width() * scale)), int(std::ceil(full.height() * scale)));
}

// The photo of `full` pixels (empty when its header could not tell) drawn stretched to `size`.
Outcome Stretch(const Job &job, QSize full, QSize size, const QString &mime, imaging::Progress *progress = nullptr)
{
    if (imaging::FindEncoderByMime(mime) < 0)
        return Outcome::failed(QString::fromUtf8(NoEncoderReason));
    if (qint64(size.width()) * size.height() > imaging::MaxPixels)
        return Outcome::failed(QString::fromUtf8(TooLargeReason).arg(size.width()).arg(size.height()));
    // Decoded no larger than the size needs on either side: a JPEG reduces as it decodes.
    const std::optional<QSize> box = full.isEmpty() ? std::nullopt : std::optional(Covering(full, size));
    return Decoding(job, box, progress, [&](const QImage &image) {
        return Encode(imaging::StretchedTo(image, size), job, mime, std::nullopt, progress);
    });
}

}  // namespace

Outcome Compress(const Job &job, int quality, imaging::Progress *progress)
{
    if (!FileExists(job.source))
        return Outcome::passedOver();
    return Decoding(job, std::nullopt, progress, [&](const QImage &image) {
        return Encode(image, job, QStringLiteral("image/jpeg"), quality, progress);
    });
}

Outcome Transform(const Job &job, const QString &mime, imaging::Progress *progress)
{
    if (!FileExists(job.source))
        return Outcome::passedOver();
    return Decoding(job, std::nullopt, progress, [&](const QImage &image) { return Encode(image, job, mime, std::nullopt, progress); });
}

Outcome ScaleTo(const Job &job, QSize size, const QString &mime, imaging::Progress *progress)
{
    return Stretch(job, imaging::MeasureFile(job.source), size, mime, progress);
}

Outcome ScaleBy(const Job &job, double factor)
{
    if (!FileExists(job.source))
        return Outcome::passedOver();
    if (WithoutEncoder(job.source))
        return Outcome::failed(QString::fromUtf8(NoEncoderReason));  // named, not passed over
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
