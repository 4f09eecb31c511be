// The "Presurvey" on a screen of two device pixels to the logical one (run with
// QT_SCALE_FACTOR=2): its thumbnails are as sharp as the screen, not drawn small and blown up.

#include "preview/previewfixture.h"

#include <cstdlib>

using namespace veilshot;
using namespace veilshot::test;

namespace {

// Black and white squares of one pixel, as a JPEG (whose decode is reduced for a small box):
// any scaling on the way shows as grey.
QByteArray Checkerboard(int side)
{
    QImage image(side, side, QImage::Format_Grayscale8);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            image.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    return Encoded(image, "jpeg", 100);
}

struct Sharpness {
    double edges;      // the share of neighbouring pixels, across and down, differing by over half the range
    double laplacian;  // the variance of the 4-neighbour Laplacian of the grey level
};

Sharpness Measure(const QImage &picture, const QRect &area)
{
    long pairs = 0, edges = 0;
    double sum = 0, squares = 0;
    long points = 0;
    auto grey = [&](int x, int y) { return qGray(picture.pixel(x, y)); };
    for (int y = area.top() + 1; y < area.bottom(); ++y)
        for (int x = area.left() + 1; x < area.right(); ++x) {
            edges += (std::abs(grey(x, y) - grey(x + 1, y)) > 128) + (std::abs(grey(x, y) - grey(x, y + 1)) > 128);
            pairs += 2;
            const double l = 4 * grey(x, y) - grey(x - 1, y) - grey(x + 1, y) - grey(x, y - 1) - grey(x, y + 1);
            sum += l;
            squares += l * l;
            ++points;
        }
    const double mean = sum / double(points);
    return {double(edges) / double(pairs), squares / double(points) - mean * mean};
}

}  // namespace

class PreviewScaledTest : public PreviewFixture {
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void thumbnailsAreDrawnAtDevicePixels_data()
    {
        QTest::addColumn<bool>("ciphered");
        QTest::addColumn<bool>("turned");
        QTest::newRow("plain photos") << false << false;
        QTest::newRow("plain photos, the cell redrawn after a turn") << false << true;
        QTest::newRow("ciphered photos") << true << false;
    }

    // A photo of 412 x 412 pixels fills the 206-pixel thumbnail at two device pixels to one: each of
    // its pixels reaches the screen as it is.
    void thumbnailsAreDrawnAtDevicePixels()
    {
        QFETCH(bool, ciphered);
        QFETCH(bool, turned);
        const QByteArray photo = Checkerboard(2 * ThumbnailBox);
        QPixmap shown;
        int columns = 0;
        if (ciphered) {
            makeMain();
            QCOMPARE(main->devicePixelRatio(), 2);
            CipherInto(*dir / "a.veil", photo, Code, u".jpg");
            CipherInto(*dir / "b.veil", photo, Code, u".jpg");
            openInMain(*dir / "a.veil");
            duringPresurvey([&](PreviewWindow &window) {
                shown = test::Child<QLabel>(&window, "Image1")->grab();
                columns = GridColumnsFor(test::Child<QScrollArea>(&window, "ScrollBox1")->width());
            });
        } else {
            WriteBytes(*dir / "a.jpg", photo);
            WriteBytes(*dir / "b.jpg", photo);
            list({"a.jpg", "b.jpg"});
            showLoaded();
            QCOMPARE(preview->devicePixelRatio(), 2);
            columns = GridColumnsFor(scrollBox()->width());
            if (turned) {
                pointAt(CellFrame(0, columns).center());
                key(Qt::Key_G);
            }
            shown = image1()->grab();
        }
        QCOMPARE(shown.devicePixelRatio(), 2.0);
        const QRect thumbnail = CellFrame(0, columns).adjusted(2, 2, -2, -2);
        const QRect device(thumbnail.topLeft() * 2, thumbnail.size() * 2);
        const QImage screen = shown.toImage();
        const Sharpness sharpness = Measure(screen, device.adjusted(4, 4, -4, -4));
        qInfo("sharpness at device pixels: %.3f of neighbours are edges, Laplacian variance %.0f", sharpness.edges,
              sharpness.laplacian);
        QVERIFY2(sharpness.edges > 0.95, qPrintable(QString::number(sharpness.edges)));
        // Drawn where its logical frame is: the frame's pen left of it, the thumbnail from there.
        QVERIFY(Near(screen.pixel(2 * CellFrame(0, columns).left() + 1, device.center().y()), FramePen, 8));
    }
};

QTEST_MAIN(PreviewScaledTest)
#include "tst_previewscaled.moc"
