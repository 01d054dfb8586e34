#include "publish.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <initializer_list>

namespace korvane {
namespace {

// The hidden name of a new file: "." + the target's name (cut so that the
// whole always fits in a file name) + "." + six characters.
constexpr std::size_t suffix_len = 6;
constexpr std::size_t max_stem = NAME_MAX - 2 - suffix_len;

std::size_t stem_len(const char* name) {
    const std::size_t n = std::strlen(name);
    return n < max_stem ? n : max_stem;
}

bool is_temp_name(const char* entry, const char* name) {
    const std::size_t stem = stem_len(name);
    return entry[0] == '.' && std::strncmp(entry + 1, name, stem) == 0 && entry[1 + stem] == '.' &&
           std::strlen(entry + 2 + stem) == suffix_len;
}

void make_temp_name(char (&out)[NAME_MAX + 1], const char* name, unsigned seed) {
    static constexpr char chars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    const std::size_t stem = stem_len(name);
    out[0] = '.';
    std::memcpy(out + 1, name, stem);
    out[1 + stem] = '.';
    char* s = out + 2 + stem;
    for (std::size_t i = 0; i < suffix_len; ++i, seed /= 62) s[i] = chars[seed % 62];
    s[suffix_len] = '\0';
}

unsigned next_seed() {
    static unsigned state = 0;
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    state = state * 2654435761U + static_cast<unsigned>(ts.tv_nsec) + static_cast<unsigned>(getpid());
    return state;
}

// Named new files, removed by the handler of the fatal signals. A slot is
// filled before its name exists on disk and emptied once it is gone.
constexpr int max_slots = 8;
struct named_file {
    int dir_fd;
    char name[NAME_MAX + 1];
};
named_file slots[max_slots];
volatile std::sig_atomic_t in_use[max_slots];

extern "C" void remove_named_files(int sig) {
    for (int i = 0; i < max_slots; ++i)
        if (in_use[i] != 0) unlinkat(slots[i].dir_fd, slots[i].name, 0);
    raise(sig);  // SA_RESETHAND: now the default action ends the process
}

void install_handlers() {
    static bool done = false;
    if (done) return;
    done = true;
    for (const int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGXFSZ}) {
        struct sigaction old {};
        // A signal the caller ignores stays ignored (nohup, a file size
        // limit with SIGXFSZ ignored: then the write fails and is reported).
        if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
        struct sigaction sa {};
        sa.sa_handler = remove_named_files;
        sa.sa_flags = SA_RESETHAND | SA_NODEFER;
        sigemptyset(&sa.sa_mask);
        sigaction(sig, &sa, nullptr);
    }
}

int claim_slot(int dir_fd, const char* name) {
    for (int i = 0; i < max_slots; ++i) {
        if (in_use[i] != 0) continue;
        slots[i].dir_fd = dir_fd;
        std::memcpy(slots[i].name, name, std::strlen(name) + 1);
        in_use[i] = 1;
        return i;
    }
    return -1;
}

void release_slot(int* slot) {
    if (*slot >= 0) in_use[*slot] = 0;
    *slot = -1;
}

bool copy(char (&dst)[PATH_MAX], const char* src, std::size_t n) {
    if (n >= sizeof dst) return false;
    std::memcpy(dst, src, n);
    dst[n] = '\0';
    return true;
}

// Follows symbolic links as open() would, even to a target that does not
// exist yet. False on a loop or a name too long.
bool resolve_links(const char* path, char (&out)[PATH_MAX]) {
    if (!copy(out, path, std::strlen(path))) return false;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (lstat(out, &st) != 0 || !S_ISLNK(st.st_mode)) return true;
        char link[PATH_MAX];
        const ssize_t n = readlink(out, link, sizeof link - 1);
        if (n <= 0) return false;
        link[n] = '\0';
        const char* slash = std::strrchr(out, '/');
        if (link[0] == '/' || slash == nullptr) {
            if (!copy(out, link, static_cast<std::size_t>(n))) return false;
        } else {
            const std::size_t dir_len = static_cast<std::size_t>(slash - out) + 1;
            if (dir_len + static_cast<std::size_t>(n) >= sizeof out) return false;
            std::memcpy(out + dir_len, link, static_cast<std::size_t>(n) + 1);
        }
    }
    return false;
}

// access() for the effective ids, as open() checks them.
bool may(int dir_fd, const char* name, int mode) {
    const bool setid = geteuid() != getuid() || getegid() != getgid();
    return faccessat(dir_fd, name, mode, setid ? AT_EACCESS : 0) == 0;
}

// Runs op under fresh hidden names until one is free. On success the name
// stays in pf->temp and in the signal handler's table; on failure neither.
template <class Op>
bool under_hidden_name(page_file* pf, Op op) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        make_temp_name(pf->temp, pf->name, next_seed());
        pf->slot = claim_slot(pf->dir_fd, pf->temp);
        if (pf->slot < 0) break;
        if (op()) return true;
        const int err = errno;
        release_slot(&pf->slot);
        if (err != EEXIST) break;
    }
    pf->temp[0] = '\0';
    return false;
}

// Creates the new file: unnamed where the file system allows it, else
// under a hidden name. Locked either way, so that no other run removes it.
int create_file(page_file* pf, mode_t mode, temp_kind kind) {
    int fd = -1;
    if (kind == temp_kind::unnamed_if_possible) {
        fd = openat(pf->dir_fd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        if (fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
            return -1;
    }
    if (fd < 0 && !under_hidden_name(pf, [&] {
            fd = openat(pf->dir_fd, pf->temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            return fd >= 0;
        }))
        return -1;
    pf->file_fd = fd;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) return -1;
    // A named file could have been taken for debris by another run in the
    // moment before it was locked: it must still bear its name.
    struct stat held {}, named {};
    if (pf->temp[0] != '\0' &&
        (fstat(fd, &held) != 0 || fstatat(pf->dir_fd, pf->temp, &named, AT_SYMLINK_NOFOLLOW) != 0 ||
         held.st_ino != named.st_ino))
        return -1;
    return 0;
}

// Gives an unnamed file its hidden name, through /proc, which lets any
// account link a file it has open.
bool name_file(page_file* pf) {
    if (pf->temp[0] != '\0') return true;
    char proc[64];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", pf->file_fd);
    return under_hidden_name(pf, [&] {
        return linkat(AT_FDCWD, proc, pf->dir_fd, pf->temp, AT_SYMLINK_FOLLOW) == 0;
    });
}

void reset(page_file* pf) {
    pf->dir_fd = pf->file_fd = pf->slot = -1;
    pf->temp[0] = '\0';
    pf->stream = nullptr;
    pf->name = pf->target;
}

}  // namespace

int page_open(const char* page_path, page_file* pf, temp_kind kind) {
    reset(pf);
    if (!resolve_links(page_path, pf->target)) return -1;
    char dir[PATH_MAX];
    const char* slash = std::strrchr(pf->target, '/');
    if (slash == nullptr) {
        copy(dir, ".", 1);
    } else {
        copy(dir, pf->target, slash == pf->target ? 1 : static_cast<std::size_t>(slash - pf->target));
        pf->name = slash + 1;
    }
    if (pf->name[0] == '\0') return -1;
    pf->dir_fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (pf->dir_fd < 0) pf->dir_fd = open(dir, O_PATH | O_DIRECTORY | O_CLOEXEC);
    struct stat ds {};
    if (pf->dir_fd < 0 || fstat(pf->dir_fd, &ds) != 0 || !may(pf->dir_fd, ".", W_OK | X_OK)) {
        page_abandon(pf);
        return -1;
    }

    // What the new file must look like, and whether the old one may go.
    struct stat st {};
    const bool existed = fstatat(pf->dir_fd, pf->name, &st, AT_SYMLINK_NOFOLLOW) == 0;
    mode_t mode = 0;
    if (existed) {
        const uid_t me = geteuid();
        const bool sticky_refusal =
            (ds.st_mode & S_ISVTX) != 0 && me != 0 && st.st_uid != me && ds.st_uid != me;
        // Only a regular file can be replaced by renaming.
        if (!S_ISREG(st.st_mode) || !may(pf->dir_fd, pf->name, W_OK) || sticky_refusal) {
            page_abandon(pf);
            return -1;
        }
        mode = st.st_mode & 07777;
    } else {
        if (errno != ENOENT) {
            page_abandon(pf);
            return -1;
        }
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }

    install_handlers();
    remove_stale_temporaries(*pf);
    if (create_file(pf, 0600, kind) != 0) {
        page_abandon(pf);
        return -1;
    }
    // Keep the owner and group where this account may (root may).
    if (existed && fchown(pf->file_fd, st.st_uid, st.st_gid) != 0) {
        [[maybe_unused]] const int ignored = fchown(pf->file_fd, static_cast<uid_t>(-1), st.st_gid);
    }
    if (fchmod(pf->file_fd, mode) != 0 || (pf->stream = fdopen(pf->file_fd, "w")) == nullptr) {
        page_abandon(pf);
        return -1;
    }
    std::setvbuf(pf->stream, pf->buffer, _IOFBF, sizeof pf->buffer);
    return 0;
}

int page_commit(page_file* pf) {
    bool ok = std::fflush(pf->stream) == 0 && std::ferror(pf->stream) == 0;
    ok = ok && fsync(pf->file_fd) == 0;
    ok = ok && name_file(pf);
    ok = ok && renameat(pf->dir_fd, pf->temp, pf->dir_fd, pf->name) == 0;
    if (ok) {
        release_slot(&pf->slot);
        pf->temp[0] = '\0';
        // The rename itself must reach the disk. A folder opened only as a
        // path (no read permission on it) cannot be synced.
        const int fl = fcntl(pf->dir_fd, F_GETFL);
        if (fl >= 0 && (fl & O_PATH) == 0 && fsync(pf->dir_fd) != 0) ok = false;
    }
    if (std::fclose(pf->stream) != 0) ok = false;
    pf->stream = nullptr;
    pf->file_fd = -1;
    page_abandon(pf);
    return ok ? 0 : -1;
}

void page_abandon(page_file* pf) {
    if (pf->stream != nullptr) std::fclose(pf->stream);
    else if (pf->file_fd >= 0) close(pf->file_fd);
    pf->stream = nullptr;
    pf->file_fd = -1;
    if (pf->temp[0] != '\0') unlinkat(pf->dir_fd, pf->temp, 0);
    release_slot(&pf->slot);
    pf->temp[0] = '\0';
    if (pf->dir_fd >= 0) close(pf->dir_fd);
    pf->dir_fd = -1;
}

int remove_stale_temporaries(const page_file& pf) {
    const int fd = openat(pf.dir_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* d = fd >= 0 ? fdopendir(fd) : nullptr;
    if (d == nullptr) {
        if (fd >= 0) close(fd);
        return 0;
    }
    int removed = 0;
    while (const dirent* e = readdir(d)) {
        if (!is_temp_name(e->d_name, pf.name)) continue;
        const int f = openat(pf.dir_fd, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (f < 0) continue;
        // Locked: a live run's file. Unlocked: debris. The name must still
        // be the file just locked, not one a new run made meanwhile.
        struct stat held {}, named {};
        if (flock(f, LOCK_EX | LOCK_NB) == 0 && fstat(f, &held) == 0 && S_ISREG(held.st_mode) &&
            fstatat(pf.dir_fd, e->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_ino == held.st_ino && named.st_dev == held.st_dev &&
            unlinkat(pf.dir_fd, e->d_name, 0) == 0)
            ++removed;
        close(f);
    }
    closedir(d);
    return removed;
}

}  // namespace korvane
