#include "publish.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace korvane {
namespace {

// A large buffer: the page is written in a few big blocks.
char stream_buffer[1 << 16];

bool copy(char (&dst)[PATH_MAX], const char* src) {
    const std::size_t n = std::strlen(src);
    if (n >= sizeof dst) return false;
    std::memcpy(dst, src, n + 1);
    return true;
}

// The mode, owner and group that fopen(path, "w") would leave the page with.
struct page_mode {
    mode_t mode;
    uid_t uid;
    gid_t gid;
    bool existed;
};

// Opens the existing page for writing without truncating it, as the
// permission check of a "w" open; a missing page is fine.
bool writable(const char* path, page_mode* pm) {
    const int fdw = open(path, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fdw < 0) {
        if (errno != ENOENT) return false;
        const mode_t mask = umask(0);
        umask(mask);
        *pm = page_mode{static_cast<mode_t>(0666 & ~mask), 0, 0, false};
        return true;
    }
    struct stat st {};
    const bool regular = fstat(fdw, &st) == 0 && S_ISREG(st.st_mode);
    close(fdw);
    // Only a regular file can be replaced by renaming.
    if (!regular) return false;
    *pm = page_mode{static_cast<mode_t>(st.st_mode & 07777), st.st_uid, st.st_gid, true};
    return true;
}

}  // namespace

int page_open(const char* page_path, page_file* pf) {
    pf->stream = nullptr;
    pf->temp[0] = '\0';
    // Replace what the page names: a link to the page stays a link.
    char resolved[PATH_MAX];
    struct stat lst {};
    const char* target = page_path;
    if (lstat(page_path, &lst) == 0 && S_ISLNK(lst.st_mode) && realpath(page_path, resolved) != nullptr)
        target = resolved;
    if (!copy(pf->target, target)) return -1;

    page_mode pm{};
    if (!writable(pf->target, &pm)) return -1;

    // The temporary file: ".<page name>.XXXXXX" in the page's directory,
    // hidden from directory listings, on the same filesystem for rename.
    const char* slash = std::strrchr(pf->target, '/');
    const int dir_len = slash != nullptr ? static_cast<int>(slash - pf->target) + 1 : 0;
    const int n = std::snprintf(pf->temp, sizeof pf->temp, "%.*s.%s.XXXXXX", dir_len, pf->target,
                                slash != nullptr ? slash + 1 : pf->target);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof pf->temp) return -1;
    const int fdt = mkostemp(pf->temp, O_CLOEXEC);
    if (fdt < 0) {
        pf->temp[0] = '\0';
        return -1;
    }
    // Keep the page's group and owner where this account may (root may);
    // the mode is what the web server needs to read it.
    if (pm.existed && fchown(fdt, pm.uid, pm.gid) != 0) {
        [[maybe_unused]] const int ignored = fchown(fdt, static_cast<uid_t>(-1), pm.gid);
    }
    if (fchmod(fdt, pm.mode) != 0 || (pf->stream = fdopen(fdt, "w")) == nullptr) {
        close(fdt);
        unlink(pf->temp);
        pf->temp[0] = '\0';
        return -1;
    }
    std::setvbuf(pf->stream, stream_buffer, _IOFBF, sizeof stream_buffer);
    return 0;
}

int page_commit(page_file* pf) {
    std::FILE* s = pf->stream;
    pf->stream = nullptr;
    bool ok = std::fflush(s) == 0 && std::ferror(s) == 0;
    // No fsync: it would cost as much as a tenth of the whole run on a
    // plain disk, for a page that the next run rewrites anyway; filesystems
    // such as ext4 write a file replaced by rename before the rename itself.
    // Write errors, including a network filesystem's late ones, show in the
    // flush and the close.
    if (std::fclose(s) != 0) ok = false;
    if (ok && std::rename(pf->temp, pf->target) != 0) ok = false;
    if (!ok) unlink(pf->temp);
    pf->temp[0] = '\0';
    return ok ? 0 : -1;
}

void page_abandon(page_file* pf) {
    if (pf->stream != nullptr) std::fclose(pf->stream);
    pf->stream = nullptr;
    if (pf->temp[0] != '\0') unlink(pf->temp);
    pf->temp[0] = '\0';
}

}  // namespace korvane
