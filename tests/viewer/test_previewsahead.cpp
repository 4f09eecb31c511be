// A cipher run's previews made ahead come back for the photo asked for, whichever were passed
// over, and not at all for the keyed format.

#include "common/photos.h"
#include "common/qtpath.h"
#include "common/tempdir.h"
#include "imaging/imaging.h"
#include "viewer/previewsahead.h"

#include <gtest/gtest.h>

namespace veilshot {
namespace {

using test::Q;

QColor Shown(const std::vector<std::uint8_t> &preview)
{
    const auto picture = imaging::PreviewPicture(preview, "photo.veil", {40, 40});
    return picture ? QColor(picture->image.pixel(picture->image.rect().center())) : QColor();
}

// The test photos tell themselves apart by their red and blue, 128 levels apart at least; a
// JPEG preview of their busy green blurs them somewhat.
bool Near(const QColor &a, const QColor &b)
{
    return a.isValid() && std::abs(a.red() - b.red()) + std::abs(a.blue() - b.blue()) < 60;
}

TEST(PreviewsAhead, EachPhotoGetsItsOwnInTheOrderAskedFor)
{
    test::TempDir dir;
    const std::vector<std::pair<std::string, QColor>> photos = {
        {"a.png", QColor(255, 0, 0)}, {"b.png", QColor(0, 0, 255)}, {"c.png", QColor(255, 0, 255)},
        {"d.png", QColor(0, 0, 0)}, {"e.png", QColor(128, 0, 128)}};
    QStringList sources;
    for (const auto &[name, colour] : photos) {
        test::WriteFile(dir / name, test::EncodedPhoto("png", colour, {60, 40}));
        sources << Q(dir / name);
    }
    sources.insert(1, Q(dir / "missing.png"));  // no photo: no preview, and the run goes on

    PreviewsAhead ahead(sources, true);
    EXPECT_TRUE(Near(Shown(ahead.take(0)), photos[0].second));
    EXPECT_TRUE(ahead.take(1).empty());
    EXPECT_TRUE(Near(Shown(ahead.take(4)), photos[3].second));  // two passed over
    EXPECT_TRUE(Near(Shown(ahead.take(2)), photos[1].second));  // asked for after all
    EXPECT_TRUE(Near(Shown(ahead.take(5)), photos[4].second));
    EXPECT_TRUE(ahead.take(6).empty());

    PreviewsAhead none(sources, false);
    for (int i = 0; i < sources.size(); ++i)
        EXPECT_TRUE(none.take(i).empty()) << i;
}

}  // namespace
}  // namespace veilshot
