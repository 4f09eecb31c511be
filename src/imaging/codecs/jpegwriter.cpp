#include "imaging/codecs/jpegwriter.h"

#include <QSysInfo>

#include <turbojpeg.h>

#include <algorithm>
#include <span>

namespace veilshot::imaging {

namespace {

int TurboSubsampling(Subsampling subsampling)
{
    switch (subsampling) {
    case Subsampling::S444: return TJSAMP_444;
    case Subsampling::S422: return TJSAMP_422;
    case Subsampling::Gray: return TJSAMP_GRAY;
    case Subsampling::S440: return TJSAMP_440;
    case Subsampling::S411: return TJSAMP_411;
    case Subsampling::S420:
    case Subsampling::Unknown: break;
    }
    return TJSAMP_420;
}

}  // namespace

QByteArray EncodeJpeg(QImage image, int quality, const JpegMetadata &carried)
{
    image = std::move(image).convertToFormat(QImage::Format_RGB32);
    tjhandle handle = tjInitCompress();
    if (!handle)
        return {};
    unsigned char *out = nullptr;
    unsigned long outSize = 0;
    const int failed = tjCompress2(handle, image.constBits(), image.width(), int(image.bytesPerLine()), image.height(),
                                   QSysInfo::ByteOrder == QSysInfo::LittleEndian ? TJPF_BGRX : TJPF_XRGB, &out, &outSize,
                                   TurboSubsampling(carried.subsampling), std::clamp(quality, 1, 100), TJFLAG_ACCURATEDCT);
    QByteArray encoded;
    if (!failed && out && outSize > 0) {
        const auto whole = WithSegments(std::span<const std::uint8_t>(out, outSize), carried.segments);
        encoded = QByteArray(reinterpret_cast<const char *>(whole.data()), qsizetype(whole.size()));
    }
    tjFree(out);
    tjDestroy(handle);
    return encoded;
}

}  // namespace veilshot::imaging
