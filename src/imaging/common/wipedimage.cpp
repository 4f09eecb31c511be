#include "imaging/common/wipedimage.h"

#include "files/securememory.h"

#include <QColorSpace>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace veilshot::imaging {

namespace {

struct Mapping {
    void *address;
    std::size_t length;
};

void WipeAndUnmap(void *info)
{
    auto *mapping = static_cast<Mapping *>(info);
    SecureWipe(mapping->address, mapping->length);
    ::munmap(mapping->address, mapping->length);
    delete mapping;
}

}  // namespace

QImage WipedImage(QSize size, QImage::Format format)
{
    if (size.isEmpty() || format == QImage::Format_Invalid)
        return {};
    // Lines aligned as Qt aligns its own.
    const qsizetype line = ((qsizetype(size.width()) * QImage::toPixelFormat(format).bitsPerPixel() + 31) >> 5) << 2;
    const std::size_t page = std::size_t(::sysconf(_SC_PAGESIZE));
    const std::size_t bytes = std::size_t(line) * std::size_t(size.height());
    const std::size_t length = (bytes + page - 1) / page * page;
    void *address = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (address == MAP_FAILED)
        return {};
    ::madvise(address, length, MADV_DONTDUMP);
    return QImage(static_cast<uchar *>(address), size.width(), size.height(), line, format, WipeAndUnmap,
                  new Mapping{address, length});
}

QImage IntoWiped(QImage image, bool wipeSource)
{
    if (image.isNull())
        return {};
    QImage wiped = WipedImage(image.size(), image.format());
    if (!wiped.isNull()) {
        const qsizetype line = std::min(image.bytesPerLine(), wiped.bytesPerLine());
        for (int y = 0; y < image.height(); ++y)
            std::memcpy(wiped.scanLine(y), image.constScanLine(y), std::size_t(line));
        wiped.setColorSpace(image.colorSpace());
        wiped.setDevicePixelRatio(image.devicePixelRatio());
        wiped.setDotsPerMeterX(image.dotsPerMeterX());
        wiped.setDotsPerMeterY(image.dotsPerMeterY());
        if (image.format() == QImage::Format_Indexed8 || image.format() == QImage::Format_Mono ||
            image.format() == QImage::Format_MonoLSB)
            wiped.setColorTable(image.colorTable());
    }
    if (wipeSource)
        Wipe(image);
    return wiped;
}

void Wipe(QImage &image)
{
    // bits() of an image held here alone and not read-only gives its own pixels, no copy.
    if (!image.isNull() && image.isDetached())
        SecureWipe(image.bits(), std::size_t(image.sizeInBytes()));
    image = QImage();
}

}  // namespace veilshot::imaging
