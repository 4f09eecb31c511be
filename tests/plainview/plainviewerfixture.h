#pragma once
// What every plain-viewer test sets up: the fixture of all window tests, the viewer's model and
// the viewer itself, shown on a screen of a given size, with photos marked so that a turn and a
// mirror image tell apart.

#include "common/modal.h"
#include "common/pictures.h"
#include "common/qtpath.h"
#include "common/tempdir.h"
#include "common/windowfixture.h"
#include "imaging/imaging.h"
#include "plainview/plainviewer.h"
#include "platform/scriptedplatform.h"
#include "viewer/panelbutton.h"
#include "viewer/elidedlabel.h"
#include "viewer/texts.h"
#include "viewer/viewermodel.h"

#include <QAction>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <filesystem>
#include <memory>

namespace veilshot::test {

// White, with a red block in the top-left corner and a blue one in the top-right, so that a
// turn and a mirror image tell apart.
inline QImage Marked(QSize size = {400, 300})
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    const int block = std::min({40, size.width() / 4, size.height() / 4});
    QPainter painter(&image);
    painter.fillRect(0, 0, block, block, Qt::red);
    painter.fillRect(size.width() - block, 0, block, block, Qt::blue);
    return image;
}

inline void Save(const std::filesystem::path &file, const QImage &image, const char *format)
{
    if (qstrcmp(format, "gif") == 0)  // Qt reads GIF but does not write it
        imaging::Save(image, Q(file), imaging::FindEncoderByMime("image/gif"));
    else
        QVERIFY2(image.save(Q(file), format), file.c_str());
}

inline void Save(const std::filesystem::path &file, QSize size, const char *format = "png")
{
    Save(file, Marked(size), format);
}

inline QByteArray FormatOf(const std::filesystem::path &file)
{
    QImageReader reader(Q(file));
    reader.setDecideFormatFromContent(true);
    return reader.format();
}

class PlainViewerFixture : protected WindowFixture {
protected:
    std::unique_ptr<PlainModel> model;
    std::unique_ptr<TForm7g> viewer;

    void make(QSize screen = {1280, 800})
    {
        viewer.reset();
        viewer = std::make_unique<TForm7g>(*model, scripted->platform(), screen);
        viewer->show();
        QVERIFY(QTest::qWaitForWindowExposed(viewer.get()));
    }

    template <typename T = QWidget>
    T *child(const char *name) { return test::Child<T>(viewer.get(), name); }
    PanelButton *panel(const char *name) { return child<PanelButton>(name); }
    QAction *action(const char *name) { return test::Action(viewer.get(), name); }
    QString label1() { return child<QLabel>("Label1")->text(); }
    QImage shown() { return child<QLabel>("Image1")->pixmap().toImage(); }
    QTimer *timer1() { return viewer->slideShow()->timer(); }
    void key(int k) { QTest::keyClick(viewer.get(), Qt::Key(k)); }

    void open(const std::filesystem::path &file)
    {
        answer({Q(file)});
        panel("Panel6")->click();
    }

    // Every command but "< >", the radio strip and "Open".
    static QStringList commandPanels() { return {"Panel1", "Panel3", "Panel4", "Panel5", "Panel7", "Panel8"}; }
    static QStringList menuItems()
    {
        return {"mn1", "mn2", "mn3", "mn4", "mn5", "mn6", "mn7", "mn8", "mn10", "pG1", "F1", "mn11"};
    }

    void setUpViewer()
    {
        setUpFixture();
        model = std::make_unique<PlainModel>();
        make();
    }

    void tearDownViewer()
    {
        viewer.reset();
        model.reset();
        tearDownFixture();
    }
};

}  // namespace veilshot::test
