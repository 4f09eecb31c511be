#pragma once
// What the desktop keeps of a file beside the file itself: its thumbnails in the shared
// thumbnail cache of the freedesktop thumbnail specification, and its entries in the list of
// recently used files. Removed with a file that is to leave no plain trace.

#include <filesystem>
#include <string>
#include <vector>

namespace veilshot {

// Where the desktop keeps them: $XDG_CACHE_HOME/thumbnails and $XDG_DATA_HOME/recently-used.xbel,
// or their places under $HOME when those are not set.
struct DesktopPlaces {
    std::filesystem::path thumbnails;
    std::filesystem::path recentFiles;

    // Read from the environment at each call, never kept.
    static DesktopPlaces FromEnvironment();
};

// The names a file's thumbnails are saved under: the MD5 of its URI, as the desktop spells it,
// for its absolute path and, when a folder on the way is a symbolic link, its real one.
std::vector<std::string> ThumbnailNames(const std::filesystem::path &file);

// Removes the file's thumbnails in every size (normal, large, x-large, xx-large) and the
// marks of failed thumbnailing (fail/*/). `names` from ThumbnailNames(), taken while the file's
// folder still leads where it did. Empty when none is left, else what could not be removed.
std::string ForgetThumbnails(const std::vector<std::string> &names, const DesktopPlaces &places);

// Removes the entries of `files` from the recent-files list, as GLib's GBookmarkFile reads and
// writes it, leaving every other entry as it was; the list is written anew in one step, and
// only when it held one of them. Empty when done (or there was nothing to do), else why not.
std::string ForgetRecent(const std::vector<std::filesystem::path> &files, const DesktopPlaces &places);

}  // namespace veilshot
