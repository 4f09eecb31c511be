// What the main window and its preview do for the privacy of what they show: files of both
// formats side by side, the code stretched once per salt, the older format chosen for new files,
// and deciphered pictures taken away when the session locks or the window is minimised.

#include "app/application.h"
#include "cipher/cipherengine.h"
#include "common/modal.h"
#include "common/pictures.h"
#include "common/qtpath.h"
#include "common/tempdir.h"
#include "common/windowfixture.h"
#include "mainwin/mainwindow.h"
#include "platform/scriptedplatform.h"
#include "preview/previewwindow.h"
#include "viewer/texts.h"
#include "viewer/viewermodel.h"

#include <QAction>
#include <QLabel>
#include <QWindow>
#include <QtTest>

#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <unordered_map>

using namespace veilshot;

namespace {

using test::Q;
namespace fs = std::filesystem;

constexpr auto Code = u"privacy test code";

void Cipher(cipher::CipherEngine &engine, const fs::path &target, QColor colour, cipher::Format format)
{
    engine.setWriteFormat(format);
    test::CipherWith(engine, target, test::Png({40, 30}, colour));
}

// Photos of random pixels, each row found nowhere else, and a search of the process's own
// memory for those rows as a decode lays them out (32 bits a pixel: blue, green, red, 255).
// The test holds the rows only masked, so that its own copy is never found; the photos are
// 24-bit BMP files, whose rows (3 bytes a pixel) do not look like decoded ones either.
class UniqueRows {
public:
    static constexpr int Width = 64, Height = 40;
    static constexpr std::uint8_t Mask = 0x5A;

    // A BMP photo of fresh rows, remembered for the search.
    std::vector<std::uint8_t> photo()
    {
        const int line = Width * 3;  // a multiple of 4: no padding
        std::vector<std::uint8_t> bmp(54 + std::size_t(line) * Height);
        const auto put32 = [&](std::size_t at, std::uint32_t value) {
            for (int i = 0; i < 4; ++i)
                bmp[at + std::size_t(i)] = std::uint8_t(value >> (8 * i));
        };
        bmp[0] = 'B';
        bmp[1] = 'M';
        put32(2, std::uint32_t(bmp.size()));
        put32(10, 54);
        put32(14, 40);
        put32(18, Width);
        put32(22, Height);
        bmp[26] = 1;
        bmp[28] = 24;
        put32(34, std::uint32_t(line * Height));
        for (int y = 0; y < Height; ++y) {
            std::vector<std::uint8_t> masked(std::size_t(Width) * 4);
            std::uint8_t *stored = &bmp[54 + std::size_t(Height - 1 - y) * std::size_t(line)];  // bottom-up
            for (int x = 0; x < Width; ++x) {
                for (int c = 0; c < 3; ++c) {
                    const auto value = std::uint8_t(random_());
                    stored[x * 3 + c] = value;
                    masked[std::size_t(x) * 4 + std::size_t(c)] = value ^ Mask;
                }
                masked[std::size_t(x) * 4 + 3] = 0xFF ^ Mask;
            }
            std::uint64_t key = 0;
            std::memcpy(&key, masked.data(), sizeof key);
            byPrefix_.emplace(key, rows_.size());
            rows_.push_back(std::move(masked));
        }
        return bmp;
    }

    // How many of the rows are found in the process's readable and writable memory: the heap,
    // the threads' arenas and stacks, anonymous mappings.
    int foundInMemory() const
    {
        int found = 0;
        std::ifstream maps("/proc/self/maps");
        std::string entry;
        while (std::getline(maps, entry)) {
            std::istringstream fields(entry);
            std::string range, perms, offset, device, inode, name;
            fields >> range >> perms >> offset >> device >> inode >> name;
            if (perms.size() < 2 || perms[0] != 'r' || perms[1] != 'w' || name == "[vvar]" || name == "[vsyscall]")
                continue;
            const std::uintptr_t begin = std::stoull(range.substr(0, range.find('-')), nullptr, 16);
            const std::uintptr_t end = std::stoull(range.substr(range.find('-') + 1), nullptr, 16);
            found += foundIn(reinterpret_cast<const std::uint8_t *>(begin), end - begin);
        }
        return found;
    }

private:
    int foundIn(const std::uint8_t *memory, std::size_t length) const
    {
        constexpr std::size_t RowBytes = std::size_t(Width) * 4;
        constexpr std::uint64_t Opaque = 0xFF000000FF000000ull;  // two pixels' fourth bytes
        int found = 0;
        for (std::size_t at = 0; at + RowBytes <= length; at += 4) {
            std::uint64_t head;
            std::memcpy(&head, memory + at, sizeof head);
            if ((head & Opaque) != Opaque)
                continue;
            const std::uint64_t maskedHead = head ^ (0x0101010101010101ull * Mask);
            const auto [first, last] = byPrefix_.equal_range(maskedHead);
            for (auto candidate = first; candidate != last; ++candidate) {
                const std::vector<std::uint8_t> &row = rows_[candidate->second];
                std::size_t i = 0;
                while (i < RowBytes && std::uint8_t(memory[at + i] ^ Mask) == row[i])
                    ++i;
                found += i == RowBytes;
            }
        }
        return found;
    }

    std::mt19937 random_{std::random_device{}()};
    std::vector<std::vector<std::uint8_t>> rows_;
    std::unordered_multimap<std::uint64_t, std::size_t> byPrefix_;
};

}  // namespace

class PrivacyTest : public QObject, test::WindowFixture {
    Q_OBJECT

private:
    std::unique_ptr<MainModel> model;
    std::unique_ptr<cipher::CipherEngine> engine;
    std::unique_ptr<TForm7> window;

    QLabel *label(const char *name) { return test::Child<QLabel>(window.get(), name); }
    QRgb shownPixel()
    {
        const QPixmap pixmap = label("Image1")->pixmap();
        return pixmap.isNull() ? 0 : pixmap.toImage().pixel(pixmap.width() / 2, pixmap.height() / 2);
    }

    void makeMain()
    {
        model = std::make_unique<MainModel>();
        engine = std::make_unique<cipher::CipherEngine>();
        window = std::make_unique<TForm7>(*model, *engine, scripted->platform());
        ConnectPresurvey(*window, *model, *engine, scripted->platform());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        engine->BuildKeyTable(Code);
    }

    // a.veil sealed in one session, b.veil keyed, c.veil sealed in another session: red,
    // green, blue.
    void mixedFolder()
    {
        cipher::CipherEngine first, second;
        first.BuildKeyTable(Code);
        second.BuildKeyTable(Code);
        Cipher(first, *dir / "a.veil", Qt::red, cipher::Format::Sealed);
        Cipher(first, *dir / "b.veil", Qt::green, cipher::Format::Keyed);
        Cipher(second, *dir / "c.veil", Qt::blue, cipher::Format::Sealed);
    }

    void open(const fs::path &file)
    {
        answer({Q(file)});
        window->Panel6Click();
    }

private slots:
    void init() { setUpFixture(); }
    void cleanup()
    {
        window.reset();
        engine.reset();
        model.reset();
        tearDownFixture();
    }

    // Stepping through a folder of both formats shows every photo; each session's salt costs
    // one stretch of the code, however often its files are shown.
    void bothFormatsSideBySide()
    {
        mixedFolder();
        makeMain();
        open(*dir / "a.veil");
        QCOMPARE(shownPixel(), qRgb(255, 0, 0));
        for (QRgb expected : {qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)}) {
            window->Panel3Click();
            QTRY_COMPARE(shownPixel(), expected);
            QVERIFY(!label("Label1")->text().contains(QLatin1String("OTHER CODE")));
        }
        QCOMPARE(engine->keysStretched(), 2);
        QVERIFY(messages().isEmpty());

        // The preview shows all three, with no cell taken for another code.
        bool shown = false;
        test::OnNextModal([&](QWidget *modal) {
            auto *preview = qobject_cast<PreviewWindow *>(modal);
            QVERIFY(preview);
            QVERIFY(QTest::qWaitFor([&] { return model->preview.kept() && !preview->loading(); }, 20000));
            const QImage grid = test::Child<QLabel>(preview, "Image1")->pixmap().toImage();
            int red = 0, green = 0, blue = 0;
            for (int y = 0; y < grid.height(); ++y)
                for (int x = 0; x < grid.width(); ++x) {
                    const QRgb p = grid.pixel(x, y);
                    red += p == qRgb(255, 0, 0);
                    green += p == qRgb(0, 255, 0);
                    blue += p == qRgb(0, 0, 255);
                }
            QVERIFY(red > 100 && green > 100 && blue > 100);
            shown = true;
            preview->close();
        });
        window->Panel8Click();
        QVERIFY(shown);
        QCOMPARE(engine->keysStretched(), 2);
    }

    // A sealed file under another code is "another code", exactly as a keyed one.
    void anotherCodeReadsTheSameInBothFormats()
    {
        cipher::CipherEngine theirs;
        theirs.BuildKeyTable(u"their code");
        Cipher(theirs, *dir / "a.veil", Qt::red, cipher::Format::Sealed);
        Cipher(theirs, *dir / "b.veil", Qt::green, cipher::Format::Keyed);
        makeMain();
        for (const char *name : {"a.veil", "b.veil"}) {
            open(*dir / name);
            QCOMPARE(label("Label1")->text(), QLatin1String(OtherCodeText));
        }
        QVERIFY(messages().isEmpty());
    }

    // New files are sealed unless the menu asks for the older format, which the status line
    // then says; nothing is remembered across starts.
    void theOlderFormatIsChosenInTheMenu()
    {
        makeMain();
        QAction *keyed = test::Action(window.get(), "keyedFormat");
        QVERIFY(keyed && keyed->isCheckable() && !keyed->isChecked());
        QVERIFY(!label("formatStatus")->isVisible());
        QCOMPARE(engine->writeFormat(), cipher::Format::Sealed);

        keyed->trigger();
        QCOMPARE(engine->writeFormat(), cipher::Format::Keyed);
        QVERIFY(label("formatStatus")->isVisible());
        QCOMPARE(label("formatStatus")->text(), QLatin1String(KeyedFormatStatus));
        test::WriteFile(*dir / "p.png", test::Png({40, 30}, Qt::red));
        answer({Q(*dir / "p.png")});
        answer({Q(*dir / "p.png")});
        window->Panel9Click();
        const fs::path made = *dir / "The ciphered photo" / "p.veil";
        QVERIFY(fs::exists(made));
        QCOMPARE(cipher::FormatOf(made), cipher::Format::Keyed);

        keyed->trigger();
        QVERIFY(!label("formatStatus")->isVisible());
        fs::remove(made);
        answer({Q(*dir / "p.png")});
        answer({Q(*dir / "p.png")});
        window->Panel9Click();
        QCOMPARE(cipher::FormatOf(made), cipher::Format::Sealed);
    }

    // A lock of the session, or the screen saver starting, takes the picture off the screen and
    // the pictures prepared ahead out of memory; stepping shows them again, the code entered.
    void lockingOrMinimisingHidesThePicture_data()
    {
        QTest::addColumn<bool>("minimise");
        QTest::newRow("the session locks") << false;
        QTest::newRow("the window is minimised") << true;
    }
    void lockingOrMinimisingHidesThePicture()
    {
        QFETCH(bool, minimise);
        mixedFolder();
        makeMain();
        open(*dir / "a.veil");
        QCOMPARE(shownPixel(), qRgb(255, 0, 0));
        QTRY_VERIFY(window->preparedReady(Q(*dir / "b.veil")));
        if (minimise)
            window->showMinimized();
        else
            emit scripted->session.locked();
        QTRY_VERIFY(label("Image1")->pixmap().isNull());
        QVERIFY(window->preparedPaths().isEmpty());
        QVERIFY(engine->CodeEntered());
        window->showNormal();
        // Nothing deciphered is kept to be drawn again when the window changes size.
        window->resize(window->size() + QSize(40, 30));
        QTest::qWait(50);
        QVERIFY(label("Image1")->pixmap().isNull());
        window->Panel3Click();
        QTRY_COMPARE(shownPixel(), qRgb(0, 255, 0));
    }

    // A lock in full screen leaves full screen first: the user comes back to a framed window
    // with its bar, not to a blank one over the whole screen. Under Wayland, where no one says
    // that the window was minimised, its no longer being exposed hides too; entering full
    // screen, which hides and shows the window again, does not.
    void hidingLeavesFullScreen_data()
    {
        QTest::addColumn<bool>("wayland");
        QTest::newRow("the session locks") << false;
        QTest::newRow("the window stops being exposed under Wayland") << true;
    }
    void hidingLeavesFullScreen()
    {
        QFETCH(bool, wayland);
        scripted->windows.minimiseTold = !wayland;
        mixedFolder();
        makeMain();
        open(*dir / "a.veil");
        QCOMPARE(shownPixel(), qRgb(255, 0, 0));
        window->toggleFullScreen();
        QVERIFY(window->fullScreen());
        QTRY_VERIFY(window->windowHandle()->isExposed());
        QCOMPARE(shownPixel(), qRgb(255, 0, 0));  // full screen hid nothing
        if (wayland)
            window->hide();
        else
            emit scripted->session.locked();
        QTRY_VERIFY(!window->fullScreen());
        QTRY_VERIFY(label("Image1")->pixmap().isNull());
        QVERIFY(window->preparedPaths().isEmpty());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QVERIFY(test::Child<QWidget>(window.get(), "Panel2")->isVisible());
        QVERIFY(label("Label1")->isVisible());
        window->Panel3Click();
        QTRY_COMPARE(shownPixel(), qRgb(0, 255, 0));
    }

    // Full screen is left by M whatever is shown, a file that cannot be shown included.
    void fullScreenIsLeftWithNothingShown()
    {
        cipher::CipherEngine theirs;
        theirs.BuildKeyTable(u"their code");
        mixedFolder();
        Cipher(theirs, *dir / "d.veil", Qt::red, cipher::Format::Sealed);
        makeMain();
        open(*dir / "c.veil");
        window->toggleFullScreen();
        QVERIFY(window->fullScreen());
        window->Panel3Click();
        QCOMPARE(label("Label1")->text(), QLatin1String(OtherCodeText));
        QVERIFY(label("Image1")->pixmap().isNull());
        QTest::keyClick(window.get(), Qt::Key_M);
        QVERIFY(!window->fullScreen());
    }

    // A step to a neighbour whose key is still being stretched on the worker waits for it with
    // the window painting: the window's thread never waits for a stretch.
    void steppingToANeighbourStillPreparedKeepsTheWindowPainting()
    {
        cipher::CipherEngine first, second;  // two sessions: a key each
        first.BuildKeyTable(Code);
        second.BuildKeyTable(Code);
        Cipher(first, *dir / "a.veil", Qt::red, cipher::Format::Sealed);
        Cipher(second, *dir / "b.veil", Qt::green, cipher::Format::Sealed);
        makeMain();
        open(*dir / "a.veil");
        QCOMPARE(shownPixel(), qRgb(255, 0, 0));
        const QString b = Q(*dir / "b.veil");
        QVERIFY(window->preparedPaths().contains(b));
        if (window->preparedReady(b))
            QSKIP("the neighbour's key was stretched before the step");
        // Ticks of the window's thread while the step waits for b: the number shown is b's,
        // its picture not yet.
        int ticks = 0;
        QTimer watch;
        watch.setInterval(1);
        connect(&watch, &QTimer::timeout,
                [&] { ticks += label("Label2")->text() == QLatin1String("1") && !window->preparedReady(b); });
        watch.start();
        window->Panel3Click();
        watch.stop();
        QCOMPARE(shownPixel(), qRgb(0, 255, 0));
        QVERIFY(ticks > 0);
    }

    // After a lock, no row of the photos shown, decoded ahead or drawn in the grid is left
    // anywhere in the process's memory, freed memory included: every buffer that held their
    // pixels was wiped when it was let go.
    void noPixelsOutliveALock()
    {
        UniqueRows rows;
        {
            cipher::CipherEngine engine;
            engine.BuildKeyTable(Code);
            for (const char *name : {"a.veil", "b.veil", "c.veil"})
                test::CipherWith(engine, *dir / name, rows.photo(), u".bmp");
        }
        makeMain();
        open(*dir / "a.veil");
        QVERIFY(!label("Image1")->pixmap().isNull());
        window->Panel3Click();  // b shown, a and c decoded around it
        QTRY_VERIFY(window->preparedReady(Q(*dir / "c.veil")));
        test::OnNextModal([&](QWidget *modal) {
            auto *preview = qobject_cast<PreviewWindow *>(modal);
            QVERIFY(preview);
            QVERIFY(QTest::qWaitFor([&] { return model->preview.kept() && !preview->loading(); }, 20000));
            preview->close();
        });
        window->Panel8Click();
        QVERIFY(rows.foundInMemory() > 0);  // the search finds what is held

        emit scripted->session.locked();
        QTRY_VERIFY(label("Image1")->pixmap().isNull());
        QCOMPARE(rows.foundInMemory(), 0);
    }

    // A kept preview holds deciphered thumbnails: a lock discards it.
    void lockingDiscardsAKeptPreview()
    {
        mixedFolder();
        makeMain();
        open(*dir / "a.veil");
        QPointer<PreviewWindow> kept;
        test::OnNextModal([&](QWidget *modal) {
            kept = qobject_cast<PreviewWindow *>(modal);
            QVERIFY(QTest::qWaitFor([&] { return model->preview.kept() && !kept->loading(); }, 20000));
            kept->close();
        });
        window->Panel8Click();
        QVERIFY(kept && model->preview.kept());
        emit scripted->session.locked();
        QVERIFY(!kept);
        QVERIFY(!model->preview.kept());

        // A lock while the preview is open closes it and drops its thumbnails too.
        QPointer<PreviewWindow> open;
        test::OnNextModal([&](QWidget *modal) {
            open = qobject_cast<PreviewWindow *>(modal);
            QVERIFY(QTest::qWaitFor([&] { return !open->loading(); }, 20000));
            emit scripted->session.locked();
        });
        window->Panel8Click();
        QVERIFY(!open);
        QVERIFY(!model->preview.kept());
    }
};

QTEST_MAIN(PrivacyTest)
#include "tst_privacy.moc"
