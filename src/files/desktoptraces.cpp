#include "files/desktoptraces.h"

#include "files/fileio.h"

#include <glib.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace veilshot {

namespace fs = std::filesystem;

namespace {

struct GFreeDeleter {
    void operator()(void *p) const { g_free(p); }
};
using GText = std::unique_ptr<char, GFreeDeleter>;

// An XDG base folder: the variable when it names an absolute path (the XDG rules ignore a
// relative one), else $HOME and `fallback`.
fs::path BaseFolder(const char *variable, const char *fallback)
{
    const char *value = std::getenv(variable);
    if (value && value[0] == '/')
        return value;
    const char *home = std::getenv("HOME");
    return fs::path(home ? home : g_get_home_dir()) / fallback;
}

// The ways the file's path may have been spelt by whoever made its traces.
std::vector<fs::path> Spellings(const fs::path &file)
{
    std::error_code ec;
    const fs::path absolute = fs::absolute(file, ec).lexically_normal();
    std::vector<fs::path> spellings{absolute};
    const fs::path real = fs::weakly_canonical(absolute, ec);
    if (!ec && real != absolute)
        spellings.push_back(real);
    return spellings;
}

std::string UriOf(const fs::path &absolute)
{
    const GText uri(g_filename_to_uri(absolute.c_str(), nullptr, nullptr));
    return uri ? std::string(uri.get()) : std::string();
}

}  // namespace

DesktopPlaces DesktopPlaces::FromEnvironment()
{
    return {BaseFolder("XDG_CACHE_HOME", ".cache") / "thumbnails",
            BaseFolder("XDG_DATA_HOME", ".local/share") / "recently-used.xbel"};
}

std::vector<std::string> ThumbnailNames(const fs::path &file)
{
    std::vector<std::string> names;
    for (const fs::path &spelling : Spellings(file)) {
        const std::string uri = UriOf(spelling);
        if (uri.empty())
            continue;
        const GText md5(g_compute_checksum_for_string(G_CHECKSUM_MD5, uri.c_str(), -1));
        names.push_back(std::string(md5.get()) + ".png");
    }
    return names;
}

std::string ForgetThumbnails(const std::vector<std::string> &names, const DesktopPlaces &places)
{
    std::vector<fs::path> folders;
    for (const char *size : {"normal", "large", "x-large", "xx-large"})
        folders.push_back(places.thumbnails / size);
    // Each program that failed to make a thumbnail marks it under a folder of its own.
    std::error_code ec;
    for (fs::directory_iterator it(places.thumbnails / "fail", ec), end; !ec && it != end; it.increment(ec))
        if (it->is_directory(ec))
            folders.push_back(it->path());

    std::string problems;
    for (const fs::path &folder : folders) {
        for (const std::string &name : names) {
            const fs::path thumbnail = folder / name;
            if (::unlink(thumbnail.c_str()) != 0 && errno != ENOENT && errno != ENOTDIR) {
                if (!problems.empty())
                    problems += '\n';
                problems += FileMessage("Cannot remove file", thumbnail, errno);
            }
        }
    }
    return problems;
}

std::string ForgetRecent(const std::vector<fs::path> &files, const DesktopPlaces &places)
{
    std::set<fs::path> removed;
    for (const fs::path &file : files)
        for (fs::path &spelling : Spellings(file))
            removed.insert(std::move(spelling));
    struct stat st {};
    if (removed.empty() || ::stat(places.recentFiles.c_str(), &st) != 0)
        return {};  // no list, nothing in it

    const std::unique_ptr<GBookmarkFile, decltype(&g_bookmark_file_free)> list(g_bookmark_file_new(),
                                                                               &g_bookmark_file_free);
    GError *error = nullptr;
    const auto failed = [&](const char *verb) {
        std::string why = FileMessage(verb, places.recentFiles, error ? error->message : "");
        g_clear_error(&error);
        return why;
    };
    if (!g_bookmark_file_load_from_file(list.get(), places.recentFiles.c_str(), &error))
        return failed("Cannot read the recent-files list");

    gsize count = 0;
    const std::unique_ptr<gchar *, decltype(&g_strfreev)> uris(g_bookmark_file_get_uris(list.get(), &count),
                                                               &g_strfreev);
    bool changed = false;
    for (gsize i = 0; i < count; ++i) {
        // Compared as paths, so that any spelling of the URI is found.
        const GText path(g_filename_from_uri(uris.get()[i], nullptr, nullptr));
        if (path && removed.contains(fs::path(path.get()).lexically_normal())) {
            g_bookmark_file_remove_item(list.get(), uris.get()[i], nullptr);
            changed = true;
        }
    }
    if (!changed)
        return {};

    gsize length = 0;
    const GText data(g_bookmark_file_to_data(list.get(), &length, &error));
    if (!data)
        return failed("Cannot write the recent-files list");
    try {
        // A list others could not read stays so.
        AtomicFile out(places.recentFiles, AtomicFile::Naming::Unnamed,
                       (st.st_mode & 077) == 0 ? AtomicFile::Access::OwnerOnly : AtomicFile::Access::Usual);
        out.write(data.get(), length);
        out.commit(AtomicFile::Mode::Replace);
    } catch (const FileError &writeError) {
        return writeError.what();
    }
    return {};
}

}  // namespace veilshot
