// Putting away the originals of ciphered photos: which are removed and which kept, and the
// desktop's traces of them, on temporary folders with the real cipher engine.

#include "cipher/cipherengine.h"
#include "common/tempdir.h"
#include "files/originals.h"

#include <gtest/gtest.h>

#include <glib.h>

#include <fcntl.h>
#include <functional>
#include <linux/fs.h>
#include <map>
#include <optional>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veilshot::test {
namespace {

namespace fs = std::filesystem;

// A folder whose entries cannot be removed, as a read-only folder is to its owner: mode 0555,
// and for root, whom modes do not stop, the immutable flag where the file system has it.
class LockedFolder {
public:
    explicit LockedFolder(fs::path folder)
        : folder_(std::move(folder))
    {
        const fs::path probe = folder_ / ".probe";
        WriteText(probe, "probe");
        ::chmod(folder_.c_str(), 0555);
        setImmutable(true);
        works_ = ::unlink(probe.c_str()) != 0;
    }
    ~LockedFolder()
    {
        setImmutable(false);
        ::chmod(folder_.c_str(), 0755);
    }
    bool works() const { return works_; }

private:
    void setImmutable(bool on)
    {
        if (::geteuid() != 0)
            return;
        const int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY);
        int flags = 0;
        if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
            ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
        }
        if (fd >= 0)
            ::close(fd);
    }

    fs::path folder_;
    bool works_ = false;
};

std::string Md5(const std::string &text)
{
    gchar *sum = g_compute_checksum_for_string(G_CHECKSUM_MD5, text.c_str(), -1);
    std::string hex(sum);
    g_free(sum);
    return hex;
}

// How a run proves its copies: at once, or behind it while the next photo is ciphered,
// removing the original there as soon as its copy is proven or leaving it to removeProven().
enum class Proof { Now, Behind, BehindRemoving };

class Originals : public ::testing::Test {
protected:
    Originals()
    {
        engine.BuildKeyTable(u"the code of these tests");
        fs::create_directories(dir / "photos");
        fs::create_directories(dir / "cache" / "thumbnails");
        fs::create_directories(dir / "data");
    }

    fs::path photo(const std::string &name) const { return dir / "photos" / name; }
    DesktopPlaces places() const { return {dir / "cache" / "thumbnails", dir / "data" / "recently-used.xbel"}; }

    // Ciphers the photo beside itself and proves its copy; `beforeReadBack` runs after the
    // copy is written, just before it is read back.
    void cipherAndProve(PutAway &originals, const fs::path &file,
                        const std::function<void(const fs::path &copy)> &beforeReadBack = {}, Proof proof = Proof::Now)
    {
        const fs::path copy = fs::path(file).replace_extension(".veil");
        const PhotoStamp read = PhotoStampOf(file);
        engine.extension = cipher::Extension::fromFileName(file);
        engine.Cipfoto(file, copy);
        if (beforeReadBack)
            beforeReadBack(copy);
        const auto decipher = [this](const fs::path &written, const PutAway::Sink &sink) {
            return engine.decipherInPieces(written, sink) == cipher::Refusal::None;
        };
        if (proof == Proof::Now)
            originals.prove(file, read, copy, decipher);
        else
            originals.proveBehind(file, read, copy, decipher, proof == Proof::BehindRemoving);
    }

    TempDir dir;
    cipher::CipherEngine engine;
};

void FlipByte(const fs::path &file, std::uint64_t at)
{
    std::vector<std::uint8_t> bytes = ReadFile(file);
    bytes.at(at) ^= 0x10;
    WriteFile(file, bytes);
}

class OriginalsProved : public Originals, public ::testing::WithParamInterface<Proof> {};

// One run over photos that fare differently: each row says what befalls its photo and whether
// its original is to be gone afterwards, or kept with a reason that says why. Proved behind the
// run, each photo's proof overlaps the ciphering of the next; removed there at once, a photo has
// no moment between its proof and its removal, and the rows that change things in that moment
// are left out.
TEST_P(OriginalsProved, OnlyOriginalsWhoseCopiesAreProvenAndUnchangedAreRemoved)
{
    const Proof proof = GetParam();
    fs::create_directories(dir / "photos" / "locked");
    // Locked once its photo's copy is written, before the copy is read back.
    std::optional<LockedFolder> locked;
    struct Row {
        std::string name;
        std::function<void(const fs::path &copy)> beforeReadBack;  // between writing and proving
        std::function<void(const fs::path &photo)> beforeRemoval;   // between proving and removing
        bool removed;
        std::string why;                                             // part of the reason it was kept
        cipher::Format format = cipher::Format::Sealed;
    };
    const auto touch = [](const fs::path &file) {
        // The same bytes written again: only the stamp tells.
        const auto bytes = ReadFile(file);
        struct timespec later[2] = {{0, UTIME_OMIT}, {4000000000, 0}};
        WriteFile(file, bytes);
        ::utimensat(AT_FDCWD, file.c_str(), later, 0);
    };
    // The copy made anew from the photo's bytes cut or lengthened: it opens under the code, and
    // only its length differs from the photo's.
    const auto copyResized = [&](std::ptrdiff_t change) {
        return [this, change](const fs::path &copy) {
            std::vector<std::uint8_t> bytes = ReadFile(fs::path(copy).replace_extension(".jpg"));
            bytes.resize(bytes.size() + change, 0x5A);
            const fs::path other = dir / "resized.jpg";
            WriteFile(other, bytes);
            engine.Cipfoto(other, copy, AtomicFile::Mode::Replace);
        };
    };
    const std::vector<Row> rows{
        {"proven.jpg", {}, {}, true, ""},
        {"damaged.jpg", [](const fs::path &copy) { FlipByte(copy, 5000); }, {}, false, "damaged"},
        {"damaged-v1.jpg", [](const fs::path &copy) { FlipByte(copy, 5000); }, {}, false, "same bytes",
         cipher::Format::Keyed},
        {"copy-shorter.jpg", copyResized(-1), {}, false, "same bytes"},
        {"copy-longer.jpg", copyResized(70000), {}, false, "same bytes"},
        {"changed-while-ciphered.jpg", [&](const fs::path &copy) { touch(fs::path(copy).replace_extension(".jpg")); },
         {}, false, "changed after it was read"},
        {"changed-before-removal.jpg", {}, touch, false, "changed after it was read"},
        {"copy-gone-before-removal.jpg", {}, [](const fs::path &file) { fs::remove(fs::path(file).replace_extension(".veil")); },
         false, "No such file"},
        {"locked/in-read-only-folder.jpg", [&](const fs::path &) { locked.emplace(dir / "photos" / "locked"); }, {},
         false, "Cannot remove file"},
        {"hard-linked.jpg", {}, {}, false, "1 other name(s) (hard links)"},
        {"symbolic-link.jpg", {}, {}, false, "symbolic link"},
        // Last, so that the run's end has a proven copy's original left to remove.
        {"proven-v1.jpg", {}, {}, true, "", cipher::Format::Keyed},
    };
    std::map<std::string, std::vector<std::uint8_t>> bytes;
    std::uint32_t seed = 1;
    for (const Row &row : rows) {
        bytes[row.name] = RandomBytes(100000 + seed, seed);
        ++seed;
        if (row.name == "symbolic-link.jpg") {
            WriteFile(photo("link-target.jpg"), bytes[row.name]);
            fs::create_symlink("link-target.jpg", photo(row.name));
        } else {
            WriteFile(photo(row.name), bytes[row.name]);
        }
    }
    fs::create_hard_link(photo("hard-linked.jpg"), photo("other-name.jpg"));

    const auto tried = [&](const Row &row) { return proof != Proof::BehindRemoving || !row.beforeRemoval; };
    PutAway originals(places());
    for (const Row &row : rows) {
        engine.setWriteFormat(row.format);
        if (tried(row))
            cipherAndProve(originals, photo(row.name), row.beforeReadBack, proof);
    }
    originals.waitBehind();
    // Only the run that removes behind itself has removed anything yet.
    EXPECT_EQ(originals.removed().size(), proof == Proof::BehindRemoving ? 2u : 0u);
    for (const Row &row : rows)
        if (row.beforeRemoval && tried(row))
            row.beforeRemoval(photo(row.name));
    originals.removeProven();

    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        if (!tried(row))
            continue;
        if (row.name.starts_with("locked/") && !locked->works()) {
            std::cerr << "no folder here refuses removal to this user; the read-only row is not tried\n";
            continue;
        }
        const auto kept = std::find_if(originals.kept().begin(), originals.kept().end(),
                                       [&](const OriginalKept &k) { return k.photo == photo(row.name); });
        EXPECT_EQ(fs::exists(fs::symlink_status(photo(row.name))), !row.removed);
        EXPECT_EQ(kept != originals.kept().end(), !row.removed);
        if (kept != originals.kept().end()) {
            EXPECT_NE(kept->why.find(row.why), std::string::npos) << kept->why;
        }
        if (row.removed) {
            const auto copy = engine.decipherFile(fs::path(photo(row.name)).replace_extension(".veil"));
            ASSERT_TRUE(copy);
            EXPECT_TRUE(std::equal(copy->bytes().begin(), copy->bytes().end(), bytes[row.name].begin(),
                                   bytes[row.name].end()));
        }
    }
    // The other name of a hard-linked photo is never touched: it still holds the photo, and so
    // does the file a symbolic link leads to.
    EXPECT_EQ(ReadFile(photo("other-name.jpg")), bytes["hard-linked.jpg"]);
    EXPECT_EQ(ReadFile(photo("link-target.jpg")), bytes["symbolic-link.jpg"]);
    EXPECT_EQ(originals.removed().size(), 2u);
    EXPECT_EQ(originals.proven(), 0u);
}

INSTANTIATE_TEST_SUITE_P(, OriginalsProved,
                         ::testing::Values(Proof::Now, Proof::Behind, Proof::BehindRemoving),
                         [](const ::testing::TestParamInfo<Proof> &info) {
                             switch (info.param) {
                             case Proof::Now: return "Now";
                             case Proof::Behind: return "Behind";
                             default: return "BehindRemoving";
                             }
                         });

// Thumbnails are named by the MD5 of the file's URI, whose path is percent-encoded byte by byte
// (UTF-8 for the non-ASCII letters); those of ciphered photos go in every size and every fail/
// folder, those of another file stay.
TEST_F(Originals, ThumbnailsOfRemovedOriginalsGoInEverySize)
{
    struct Named {
        std::string name;
        std::string uriName;  // its last part in the URI
        bool ciphered;
    };
    const std::vector<Named> files{
        {"Beach day.jpg", "Beach%20day.jpg", true},
        {"K\xC3\xB6ln \xC3\xA9t\xC3\xA9 #2.jpg", "K%C3%B6ln%20%C3%A9t%C3%A9%20%232.jpg", true},
        {"100%.png", "100%25.png", true},
        {"not ciphered.jpg", "not%20ciphered.jpg", false},
    };
    const fs::path thumbnails = dir / "cache" / "thumbnails";
    const std::vector<fs::path> folders{thumbnails / "normal", thumbnails / "large", thumbnails / "x-large",
                                        thumbnails / "xx-large", thumbnails / "fail" / "gnome-thumbnail-factory",
                                        thumbnails / "fail" / "another-thumbnailer"};
    for (const fs::path &folder : folders)
        fs::create_directories(folder);
    const auto thumbnailOf = [&](const fs::path &folder, const Named &file) {
        return folder / (Md5("file://" + (dir / "photos").string() + "/" + file.uriName) + ".png");
    };
    for (const Named &file : files) {
        WriteFile(photo(file.name), RandomBytes(5000));
        for (const fs::path &folder : folders)
            WriteText(thumbnailOf(folder, file), "a thumbnail");
    }
    WriteText(thumbnails / "normal" / "unrelated.png", "another thumbnail");

    // Where the environment says, as the program finds it.
    ::setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    EXPECT_EQ(DesktopPlaces::FromEnvironment().thumbnails, thumbnails);
    PutAway originals;
    for (const Named &file : files)
        if (file.ciphered)
            cipherAndProve(originals, photo(file.name));
    originals.removeProven();
    ::unsetenv("XDG_CACHE_HOME");
    ::unsetenv("XDG_DATA_HOME");

    EXPECT_EQ(originals.removed().size(), 3u);
    EXPECT_TRUE(originals.tracesLeft().empty());
    for (const Named &file : files)
        for (const fs::path &folder : folders)
            EXPECT_EQ(fs::exists(thumbnailOf(folder, file)), !file.ciphered) << thumbnailOf(folder, file) << " " << file.name;
    EXPECT_TRUE(fs::exists(thumbnails / "normal" / "unrelated.png"));
}

std::string Bookmark(const std::string &uri, const std::string &application)
{
    return "  <bookmark href=\"" + uri +
           "\" added=\"2024-05-01T10:00:00Z\" modified=\"2024-05-01T10:00:00Z\" visited=\"2024-05-01T10:00:00Z\">\n"
           "    <info>\n"
           "      <metadata owner=\"http://freedesktop.org\">\n"
           "        <mime:mime-type type=\"image/jpeg\"/>\n"
           "        <bookmark:applications>\n"
           "          <bookmark:application name=\"" + application + "\" exec=\"&apos;" + application +
           " %u&apos;\" modified=\"2024-05-01T10:00:00Z\" count=\"2\"/>\n"
           "        </bookmark:applications>\n"
           "      </metadata>\n"
           "    </info>\n"
           "  </bookmark>\n";
}

// The recent-files list loses the entries of the removed originals, however their URIs are
// spelt, and nothing else; GLib reads it afterwards, and it stays readable by its owner alone.
TEST_F(Originals, RecentFilesLoseOnlyTheRemovedOriginalsEntries)
{
    const std::string folder = "file://" + (dir / "photos").string() + "/";
    WriteFile(photo("Beach day.jpg"), RandomBytes(3000, 1));
    WriteFile(photo("K\xC3\xB6ln.jpg"), RandomBytes(3000, 2));
    WriteFile(photo("kept.jpg"), RandomBytes(3000, 3));
    const fs::path list = dir / "data" / "recently-used.xbel";
    WriteText(list, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<xbel version=\"1.0\"\n"
                    "      xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\"\n"
                    "      xmlns:mime=\"http://www.freedesktop.org/standards/shared-mime-info\"\n>\n" +
                        Bookmark(folder + "Beach%20day.jpg", "eog") +
                        Bookmark(folder + "K%c3%b6ln.jpg", "gimp") +  // lower-case escapes
                        Bookmark(folder + "kept.jpg", "eog") +
                        Bookmark("file:///home/someone/letter.odt", "libreoffice") + "</xbel>\n");
    ::chmod(list.c_str(), 0600);

    PutAway originals(places());
    for (const char *name : {"Beach day.jpg", "K\xC3\xB6ln.jpg", "kept.jpg"})
        cipherAndProve(originals, photo(name));
    // kept.jpg keeps its original: it has another name.
    fs::create_hard_link(photo("kept.jpg"), dir / "kept-elsewhere.jpg");
    originals.removeProven();
    originals.finish();
    ASSERT_EQ(originals.removed().size(), 2u);
    EXPECT_TRUE(originals.tracesLeft().empty());

    GBookmarkFile *read = g_bookmark_file_new();
    GError *error = nullptr;
    ASSERT_TRUE(g_bookmark_file_load_from_file(read, list.c_str(), &error)) << (error ? error->message : "");
    EXPECT_EQ(g_bookmark_file_get_size(read), 2);
    EXPECT_FALSE(g_bookmark_file_has_item(read, (folder + "Beach%20day.jpg").c_str()));
    EXPECT_TRUE(g_bookmark_file_has_item(read, (folder + "kept.jpg").c_str()));
    EXPECT_TRUE(g_bookmark_file_has_item(read, "file:///home/someone/letter.odt"));
    gchar *mime = g_bookmark_file_get_mime_type(read, "file:///home/someone/letter.odt", nullptr);
    EXPECT_STREQ(mime, "image/jpeg");
    g_free(mime);
    EXPECT_TRUE(g_bookmark_file_has_application(read, "file:///home/someone/letter.odt", "libreoffice", nullptr));
    g_bookmark_file_free(read);
    EXPECT_EQ(fs::status(list).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(dir.entries("data"), std::vector<std::string>{"recently-used.xbel"});

    // A list that holds none of them is not written at all; one GLib cannot read is left as it is.
    const auto before = ReadFile(list);
    const auto modified = fs::last_write_time(list);
    EXPECT_EQ(ForgetRecent({photo("absent.jpg")}, places()), "");
    EXPECT_EQ(ReadFile(list), before);
    EXPECT_EQ(fs::last_write_time(list), modified);
    const std::string broken = "<xbel version=\"1.0\"><bookmark";
    WriteText(list, broken);
    EXPECT_NE(ForgetRecent({photo("Beach day.jpg")}, places()).find("Cannot read the recent-files list"), std::string::npos);
    EXPECT_EQ(ReadFile(list).size(), broken.size());
}

}  // namespace
}  // namespace veilshot::test
