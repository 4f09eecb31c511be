// The main window's question after a Cipher run: whether the originals of the photos ciphered and
// checked are to be removed, with the desktop's thumbnails and recent-files entries of them.

#include "cipher/cipherengine.h"
#include "common/qtpath.h"
#include "common/tempdir.h"
#include "mainwin/mainwindowfixture.h"
#include "platform/scriptedplatform.h"
#include "viewer/panelbutton.h"
#include "viewer/texts.h"
#include "viewer/viewermodel.h"

#include <QAction>
#include <QCheckBox>
#include <QCryptographicHash>
#include <QImage>
#include <QUrl>
#include <QtTest>

using namespace veilshot;
namespace fs = std::filesystem;

namespace {

using test::Q;

void SavePhoto(const fs::path &file, QColor colour)
{
    QImage image(32, 20, QImage::Format_RGB32);
    image.fill(colour);
    QVERIFY(image.save(Q(file), "png"));
}

// Where the desktop keeps a normal-size thumbnail of the file.
fs::path ThumbnailOf(const fs::path &cache, const fs::path &file)
{
    const QByteArray uri = QUrl::fromLocalFile(Q(file)).toEncoded();
    return cache / "thumbnails" / "normal" /
           (QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex().toStdString() + ".png");
}

// Every control's name, place and size, to see that none moved.
QStringList Layout(const QWidget *window)
{
    QStringList layout;
    for (const QWidget *child : window->findChildren<QWidget *>())
        if (!child->objectName().isEmpty())
            layout << child->objectName() + QString(" %1,%2 %3x%4").arg(child->x()).arg(child->y()).arg(child->width()).arg(child->height());
    return layout;
}

}  // namespace

class PutAwayTest : public QObject, test::MainWindowFixture {
    Q_OBJECT

private:
    fs::path plain() const { return *dir / "plain"; }
    std::vector<std::string> entries(const char *sub) { return dir->entries(sub); }

    // " Cipher" with All over the folder "plain".
    void cipherAll()
    {
        window->findChild<QCheckBox *>("CheckBox2")->setChecked(true);
        answer({Q(plain() / "one.png")});
        answer({Q(plain() / "anything")});
        panel("Panel9")->click();
    }

private slots:
    void init()
    {
        setUpMainWindow(u"put away code");
        fs::create_directories(plain());
        fs::create_directories(*dir / "cache" / "thumbnails" / "normal");
        qputenv("XDG_CACHE_HOME", QFile::encodeName(Q(*dir / "cache")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(Q(*dir / "data")));
        for (const char *name : {"one.png", "tw\xC3\xB6 two.png", "three.png"})
            SavePhoto(plain() / name, Qt::darkCyan);
    }

    void cleanup()
    {
        tearDownMainWindow();
        qunsetenv("XDG_CACHE_HOME");
        qunsetenv("XDG_DATA_HOME");
    }

    void theAnswerDecidesInEitherFormat_data()
    {
        QTest::addColumn<bool>("keyed");
        QTest::addColumn<QList<bool>>("answers");
        QTest::newRow("sealed, Yes") << false << QList<bool>{true};
        QTest::newRow("sealed, No") << false << QList<bool>{false};
        QTest::newRow("sealed, no answer given: No") << false << QList<bool>{};
        QTest::newRow("v1, Yes") << true << QList<bool>{true};
        QTest::newRow("v1, No") << true << QList<bool>{false};
    }

    void theAnswerDecidesInEitherFormat()
    {
        QFETCH(bool, keyed);
        QFETCH(QList<bool>, answers);
        const bool yes = !answers.isEmpty() && answers.constFirst();
        if (keyed)
            action("keyedFormat")->trigger();
        for (const char *name : {"one.png", "tw\xC3\xB6 two.png", "three.png"})
            test::WriteText(ThumbnailOf(*dir / "cache", plain() / name), "thumbnail");
        const QStringList layout = Layout(window.get());
        for (const bool given : answers)
            scripted->messages.answers.enqueue(given);

        cipherAll();
        QCOMPARE(scripted->messages.asked,
                 QStringList{"3 photos were ciphered and checked. Remove the 3 originals, with the desktop's "
                             "thumbnails of them?"});
        QCOMPARE(entries("plain/The ciphered photo"),
                 (std::vector<std::string>{"one.veil", "three.veil", "tw\xC3\xB6 two.veil"}));
        for (const char *name : {"one.png", "tw\xC3\xB6 two.png", "three.png"}) {
            QCOMPARE(fs::exists(plain() / name), !yes);
            QCOMPARE(fs::exists(ThumbnailOf(*dir / "cache", plain() / name)), !yes);
        }
        QCOMPARE(messages(), yes ? QStringList{"3 originals were removed, 0 kept."} : QStringList{});
        QCOMPARE(Layout(window.get()), layout);
        // The copies are whole.
        const auto copy = engine->decipherFile(plain() / "The ciphered photo" / "one.veil");
        QVERIFY(copy);
        QVERIFY(QImage::fromData(QByteArray(reinterpret_cast<const char *>(copy->data()), qsizetype(copy->size()))).width() == 32);
    }

    void onePhotoIsAskedAboutInTheSingular()
    {
        scripted->messages.answers << true;
        answer({Q(plain() / "one.png")});
        answer({Q(plain() / "one.png")});
        panel("Panel9")->click();
        QCOMPARE(scripted->messages.asked, QStringList{"1 photo was ciphered and checked. Remove the original, with "
                                                       "the desktop's thumbnails of it?"});
        QVERIFY(!fs::exists(plain() / "one.png"));
        QVERIFY(fs::exists(plain() / "three.png"));
        QCOMPARE(messages(), QStringList{"1 original was removed, 0 kept."});
    }

    // Ctrl held after the first photo: only its original is offered and removed; the others are
    // named as kept, and so is one changed while the question was open.
    void aStoppedRunAndAChangedOriginalKeepTheirs()
    {
        SavePhoto(plain() / "four.png", Qt::red);
        scripted->keys.reads[Qt::Key_Control] << false << false << true;
        scripted->messages.answers << true;
        scripted->messages.whileAsked = [this](const QString &) { SavePhoto(plain() / "four.png", Qt::blue); };
        // The folder's order: four, one, three, two.
        cipherAll();
        QCOMPARE(scripted->messages.asked.size(), 1);
        QVERIFY(scripted->messages.asked.constFirst().startsWith("2 photos were ciphered and checked."));
        QCOMPARE(entries("plain"), (std::vector<std::string>{"The ciphered photo", "four.png", "three.png",
                                                             "tw\xC3\xB6 two.png"}));
        QCOMPARE(messages(), QStringList{"1 original was removed, 3 kept.\n"
                                         "four.png: it was changed after it was read for ciphering.\n"
                                         "three.png: the run was stopped before it.\n"
                                         "tw\xC3\xB6 two.png: the run was stopped before it."});
    }
};

QTEST_MAIN(PutAwayTest)
#include "tst_putaway.moc"
