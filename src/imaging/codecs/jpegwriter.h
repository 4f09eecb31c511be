#pragma once
// JPEG encoding with libjpeg-turbo, keeping what the photo it is made from carries: its metadata
// blocks and its chroma subsampling.

#include "imaging/metadata/metadata.h"

#include <QByteArray>
#include <QImage>

namespace veilshot::imaging {

// The picture as a JPEG file's bytes at `quality` (clamped to 1..100), with the subsampling of
// `carried` (4:2:0 when unknown) and its metadata blocks put in after the start; the pixels are
// encoded as they are, whatever their colour space. Empty when it cannot be encoded.
QByteArray EncodeJpeg(QImage image, int quality, const JpegMetadata &carried);

}  // namespace veilshot::imaging
