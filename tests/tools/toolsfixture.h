#pragma once
// What every image-tool test sets up: the fixture of all window tests, the viewer's model the tools
// read, a folder of small photos in three formats, and the tools opened over it.

#include "common/qtpath.h"
#include "common/windowfixture.h"
#include "imaging/imaging.h"
#include "tools/compresswindow.h"
#include "tools/scalewindow.h"
#include "tools/transformwindow.h"
#include "viewer/panelbutton.h"
#include "viewer/texts.h"
#include "viewer/viewermodel.h"

#include <QCheckBox>
#include <QClipboard>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QSlider>
#include <QtTest>

#include <filesystem>
#include <memory>
#include <vector>

namespace veilshot::test {

inline constexpr auto FolderExists = "The folder with this name already exists";

inline QImage Gradient(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb((x * 5) & 0xFF, (y * 3) & 0xFF, (x + y) & 0xFF));
    return image;
}

inline void SavePhoto(const std::filesystem::path &file, QSize size, const char *format)
{
    QVERIFY2(Gradient(size).save(Q(file), format), file.c_str());
}

inline std::vector<std::uint8_t> Bytes(const std::filesystem::path &file)
{
    return test::ReadFile(file);
}

inline void Click(QWidget *window, const char *panel)
{
    PanelButton *button = Child<PanelButton>(window, panel);
    QVERIFY2(button, panel);
    button->click();
}

class ToolsFixture : protected WindowFixture {
protected:
    std::unique_ptr<PlainModel> model;

    // A folder of the viewer: a.png 64 x 48, b.bmp 40 x 30, c.jpg 80 x 60, and a listed file
    // that is gone.
    void folderOfPhotos()
    {
        SavePhoto(*dir / "a.png", {64, 48}, "png");
        SavePhoto(*dir / "b.bmp", {40, 30}, "bmp");
        SavePhoto(*dir / "c.jpg", {80, 60}, "jpeg");
        model->folder.replace({Q(*dir / "a.png"), Q(*dir / "b.bmp"), Q(*dir / "gone.png"), Q(*dir / "c.jpg")}, 0);
        model->PhotoWidth = 64;
        model->PhotoHeight = 48;
    }

    template <typename Tool>
    std::unique_ptr<Tool> open()
    {
        auto tool = std::make_unique<Tool>(*model, scripted->platform());
        tool->show();
        return tool;
    }

    QSize sizeOf(const std::filesystem::path &file) { return QImageReader(Q(file)).size(); }
    QByteArray formatOf(const std::filesystem::path &file) { return QImageReader(Q(file)).format(); }

    void setUpTools()
    {
        setUpFixture();
        model = std::make_unique<PlainModel>();
    }
    void tearDownTools()
    {
        model.reset();
        tearDownFixture();
    }
};

}  // namespace veilshot::test
