#pragma once
// What the benchmarks that work on folders of photos share: 24-megapixel photos with detail
// for the encoders, and the process's peak memory and processor time.

#include <QImage>
#include <QImageWriter>
#include <QString>

#include <random>

#include <sys/resource.h>

namespace veilshot::bench {

// The processor time the process's threads have taken so far, user and system, in seconds.
inline double CpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The process's peak resident size so far, in MB.
inline double PeakMB()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

// Writes photo `i` of a series as a JPEG at quality 90, 6000 x 4000 unless told: gradients under
// noise, each photo of the series a little different.
inline bool WritePhoto(const QString &path, int i, std::mt19937 &random, QSize size = {6000, 4000})
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int n = int(random() % 24);
            line[x] = qRgb((x / 24 + n + i * 9) % 256, (y / 16 + n) % 256, ((x + y) / 40 + n) % 256);
        }
    }
    QImageWriter writer(path, "jpeg");
    writer.setQuality(90);
    return writer.write(image);
}

}  // namespace veilshot::bench
