#include "tables/file_identity.h"

#include <mutex>
#include <sys/stat.h>
#include <vector>

namespace {

struct KnownFile {
    dev_t device;
    ino_t inode;
    FileName name;
};

std::mutex g_lock;
std::vector<KnownFile> g_known;

// Whether the recorded file is still the one under its name: a file deleted
// since (a result replaced by its rename, say) may have passed its inode on
// to a new, unrelated file.
bool still_named(const KnownFile& known)
{
    struct stat st;
    return ::stat(known.name.path.c_str(), &st) == 0 && st.st_dev == known.device && st.st_ino == known.inode;
}

void record(const FileName& name, const struct stat& st)
{
    if (!S_ISREG(st.st_mode)) return;
    std::lock_guard<std::mutex> hold(g_lock);
    // A file is recorded once, under the name it was first known by (an
    // input recorded ahead of its reading, as bamcount does with its
    // annotation, is opened again by its reader).
    for (const KnownFile& known : g_known)
        if (known.device == st.st_dev && known.inode == st.st_ino && still_named(known)) return;
    g_known.push_back({st.st_dev, st.st_ino, name});
}

} // namespace

void record_opened_file(const FileName& name, int fd)
{
    struct stat st;
    if (::fstat(fd, &st) == 0) record(name, st);
}

void record_opened_path(const FileName& name)
{
    struct stat st;
    if (::stat(name.path.c_str(), &st) == 0) record(name, st);
}

void refuse_if_already_open(const FileName& output)
{
    struct stat st;
    // A name that does not exist yet cannot be a file already opened: every
    // output before it was created as it was named.
    if (::stat(output.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    std::lock_guard<std::mutex> hold(g_lock);
    for (const KnownFile& known : g_known)
        if (known.device == st.st_dev && known.inode == st.st_ino && still_named(known))
            fail_input(describe(output) + " is the same file as " + describe(known.name) +
                       ": give each output a name of its own, apart from the inputs");
}
