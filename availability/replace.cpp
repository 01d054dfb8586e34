#include "replace.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <initializer_list>

namespace korvane {
namespace {

// The hidden name of a new file: "." + the target's name (cut so that the
// whole always fits in a file name) + ".korvane-new." + six characters.
// The marker keeps an operator's own ".page.html.backup" out of the sweep.
constexpr char marker[] = ".korvane-new.";
constexpr std::size_t marker_len = sizeof marker - 1;
constexpr std::size_t suffix_len = 6;
constexpr std::size_t max_stem = NAME_MAX - 1 - marker_len - suffix_len;
constexpr char name_chars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

std::size_t stem_len(const char* name) {
    const std::size_t n = std::strlen(name);
    return n < max_stem ? n : max_stem;
}

bool is_temp_name(const char* entry, const char* name) {
    const std::size_t stem = stem_len(name);
    if (entry[0] != '.' || std::strncmp(entry + 1, name, stem) != 0 ||
        std::strncmp(entry + 1 + stem, marker, marker_len) != 0)
        return false;
    const char* s = entry + 1 + stem + marker_len;
    return std::strlen(s) == suffix_len && std::strspn(s, name_chars) == suffix_len;
}

void make_temp_name(char (&out)[NAME_MAX + 1], const char* name, unsigned seed) {
    const std::size_t stem = stem_len(name);
    out[0] = '.';
    std::memcpy(out + 1, name, stem);
    std::memcpy(out + 1 + stem, marker, marker_len);
    char* s = out + 1 + stem + marker_len;
    for (std::size_t i = 0; i < suffix_len; ++i, seed /= 62) s[i] = name_chars[seed % 62];
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
// filled once its name exists on disk (the signals blocked meanwhile, so
// that no name is ever left unlisted) and emptied before the name goes or
// passes to the target. The fences keep the compiler from publishing a
// slot before its name is written.
constexpr int max_slots = 8;
struct named_file {
    int dir_fd;
    char name[NAME_MAX + 1];
};
named_file slots[max_slots];
volatile std::sig_atomic_t in_use[max_slots];
constexpr int fatal_signals[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};

extern "C" void remove_named_files(int sig) {
    for (int i = 0; i < max_slots; ++i) {
        if (in_use[i] == 0) continue;
        std::atomic_signal_fence(std::memory_order_seq_cst);
        unlinkat(slots[i].dir_fd, slots[i].name, 0);
    }
    raise(sig);  // SA_RESETHAND: now the default action ends the process
}

void install_handlers() {
    static bool done = false;
    if (done) return;
    done = true;
    for (const int sig : fatal_signals) {
        struct sigaction old {};
        // A signal the caller ignores stays ignored (nohup).
        if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
        struct sigaction sa {};
        sa.sa_handler = remove_named_files;
        sa.sa_flags = SA_RESETHAND | SA_NODEFER;
        sigemptyset(&sa.sa_mask);
        sigaction(sig, &sa, nullptr);
    }
    // A file size limit must fail the write (EFBIG, reported), not kill
    // the run before it can say so.
    struct sigaction old {};
    if (sigaction(SIGXFSZ, nullptr, &old) == 0 && old.sa_handler == SIG_DFL) {
        struct sigaction sa {};
        sa.sa_handler = SIG_IGN;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGXFSZ, &sa, nullptr);
    }
}

// The fatal signals held back while a name is made and listed.
class signals_held {
public:
    signals_held() {
        sigset_t set;
        sigemptyset(&set);
        for (const int sig : fatal_signals) sigaddset(&set, sig);
        sigprocmask(SIG_BLOCK, &set, &old_);
    }
    ~signals_held() { sigprocmask(SIG_SETMASK, &old_, nullptr); }
    signals_held(const signals_held&) = delete;
    signals_held& operator=(const signals_held&) = delete;

private:
    sigset_t old_{};
};

int claim_slot(int dir_fd, const char* name) {
    for (int i = 0; i < max_slots; ++i) {
        if (in_use[i] != 0) continue;
        slots[i].dir_fd = dir_fd;
        std::memcpy(slots[i].name, name, std::strlen(name) + 1);
        std::atomic_signal_fence(std::memory_order_seq_cst);
        in_use[i] = 1;
        return i;
    }
    return -1;
}

void release_slot(int* slot) {
    if (*slot >= 0) {
        in_use[*slot] = 0;
        std::atomic_signal_fence(std::memory_order_seq_cst);
    }
    *slot = -1;
}

bool copy(char (&dst)[PATH_MAX], const char* src, std::size_t n) {
    if (n >= sizeof dst) return false;
    std::memcpy(dst, src, n);
    dst[n] = '\0';
    return true;
}

// Whether a link is followed: only one of this account or of root, in any
// folder. Another account's link planted beside an output could otherwise
// make the run replace any file that link points to, with the run's
// rights.
bool may_follow(const struct stat& link_st) { return link_st.st_uid == geteuid() || link_st.st_uid == 0; }

// Follows symbolic links as open() would, even to a target that does not
// exist yet. False on a loop, a name too long, or a link open() would
// refuse to follow.
bool resolve_links(const char* path, char (&out)[PATH_MAX]) {
    if (!copy(out, path, std::strlen(path))) return false;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (lstat(out, &st) != 0 || !S_ISLNK(st.st_mode)) return true;
        if (!may_follow(st)) return false;
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

// Makes a name with make(name) under fresh hidden names until one is free,
// and lists it for the signal handler. make returns false with errno set;
// EEXIST tries another name. On success the name is in pf->temp and in
// the handler's table; on failure in neither.
template <class Make>
bool under_hidden_name(replacement* pf, Make make) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        make_temp_name(pf->temp, pf->name, next_seed());
        const signals_held held;
        if (make()) {
            pf->slot = claim_slot(pf->dir_fd, pf->temp);
            if (pf->slot >= 0) return true;
            unlinkat(pf->dir_fd, pf->temp, 0);
            break;
        }
        if (errno != EEXIST) break;
    }
    pf->temp[0] = '\0';
    return false;
}

// Takes the lock that tells other runs' sweeps this file is live. Another
// run's sweep may hold it for a moment while it looks at the file.
bool lock(int fd) {
    for (int tries = 0; tries < 1000; ++tries) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
        if (errno != EWOULDBLOCK && errno != EINTR) return false;
        const timespec ms{0, 1000000};
        nanosleep(&ms, nullptr);
    }
    return false;
}

// Whether an unnamed file can be given a name through /proc (absent in
// some chroots and containers).
bool proc_link_works(int fd) {
    char proc[64];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    return faccessat(AT_FDCWD, proc, F_OK, 0) == 0;
}

// Creates the new file: unnamed where the file system and /proc allow it,
// else under a hidden name. Locked either way, so that no other run
// removes it.
int create_file(replacement* pf, mode_t mode, temp_kind kind) {
    if (kind == temp_kind::unnamed_if_possible) {
        const int fd = openat(pf->dir_fd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        if (fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
            return -1;
        if (fd >= 0 && proc_link_works(fd) && lock(fd)) {
            pf->file_fd = fd;
            return 0;
        }
        if (fd >= 0) close(fd);
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        int fd = -1;
        if (!under_hidden_name(pf, [&] {
                fd = openat(pf->dir_fd, pf->temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
                return fd >= 0;
            }))
            return -1;
        pf->file_fd = fd;
        // Another run's sweep may have taken the file for debris in the
        // moment before it was locked: then the name is gone (or another
        // file's), and a new name is tried.
        const bool locked = lock(fd);
        struct stat held {}, named {};
        const bool still_ours = fstat(fd, &held) == 0 &&
                                fstatat(pf->dir_fd, pf->temp, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                                held.st_ino == named.st_ino && held.st_dev == named.st_dev;
        if (locked && still_ours) return 0;
        if (still_ours) unlinkat(pf->dir_fd, pf->temp, 0);
        release_slot(&pf->slot);
        pf->temp[0] = '\0';
        close(fd);
        pf->file_fd = -1;
    }
    return -1;
}

// Gives an unnamed file its hidden name, through /proc, which lets any
// account link a file it has open.
bool name_file(replacement* pf) {
    if (pf->temp[0] != '\0') return true;
    char proc[64];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", pf->file_fd);
    return under_hidden_name(pf, [&] {
        return linkat(AT_FDCWD, proc, pf->dir_fd, pf->temp, AT_SYMLINK_FOLLOW) == 0;
    });
}

void reset(replacement* pf) {
    pf->dir_fd = pf->file_fd = pf->slot = -1;
    pf->temp[0] = '\0';
    pf->stream = nullptr;
    pf->name = pf->target;
}

}  // namespace

bool follow_links(const char* path, char (&out)[PATH_MAX]) { return resolve_links(path, out); }

void folder_of(const char* path, char (&dir)[PATH_MAX]) {
    const char* slash = std::strrchr(path, '/');
    const bool fits = slash == nullptr ? copy(dir, ".", 1)
                                       : copy(dir, path, slash == path ? 1 : static_cast<std::size_t>(slash - path));
    if (!fits) dir[0] = '\0';
}

int replace_open(const char* path, replacement* pf, temp_kind kind) {
    reset(pf);
    if (!resolve_links(path, pf->target)) return -1;
    char dir[PATH_MAX];
    folder_of(pf->target, dir);
    if (const char* slash = std::strrchr(pf->target, '/')) pf->name = slash + 1;
    if (pf->name[0] == '\0') return -1;
    pf->dir_fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (pf->dir_fd < 0) pf->dir_fd = open(dir, O_PATH | O_DIRECTORY | O_CLOEXEC);
    struct stat ds {};
    if (pf->dir_fd < 0 || fstat(pf->dir_fd, &ds) != 0 || !may(pf->dir_fd, ".", W_OK | X_OK)) {
        replace_abandon(pf);
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
            replace_abandon(pf);
            return -1;
        }
        mode = st.st_mode & 07777 & ~06000;  // never a set-id page
    } else {
        if (errno != ENOENT) {
            replace_abandon(pf);
            return -1;
        }
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }

    install_handlers();
    remove_stale_temporaries(*pf);
    if (create_file(pf, 0600, kind) != 0) {
        replace_abandon(pf);
        return -1;
    }
    // Keep the owner and group where this account may (root may). Only
    // when they differ: a sandbox may forbid changing owners at all (the
    // unit's system-call filter kills a run that tries), and a run of the
    // account that owns the file has nothing to change.
    struct stat made {};
    const bool same_owner = fstat(pf->file_fd, &made) == 0 && made.st_uid == st.st_uid && made.st_gid == st.st_gid;
    if (existed && !same_owner && fchown(pf->file_fd, st.st_uid, st.st_gid) != 0 && made.st_gid != st.st_gid) {
        [[maybe_unused]] const int ignored = fchown(pf->file_fd, static_cast<uid_t>(-1), st.st_gid);
    }
    if (fchmod(pf->file_fd, mode) != 0 || (pf->stream = fdopen(pf->file_fd, "w")) == nullptr) {
        replace_abandon(pf);
        return -1;
    }
    std::setvbuf(pf->stream, pf->buffer, _IOFBF, sizeof pf->buffer);
    return 0;
}

int replace_commit(replacement* pf) {
    bool ok = std::fflush(pf->stream) == 0 && std::ferror(pf->stream) == 0;
    ok = ok && fsync(pf->file_fd) == 0;
    ok = ok && name_file(pf);
    // The stream is closed (and its last error seen) before the rename; a
    // second descriptor keeps the file and its lock.
    const int held = ok ? fcntl(pf->file_fd, F_DUPFD_CLOEXEC, 0) : -1;
    ok = ok && held >= 0;
    if (std::fclose(pf->stream) != 0) ok = false;
    pf->stream = nullptr;
    pf->file_fd = held;
    ok = ok && renameat(pf->dir_fd, pf->temp, pf->dir_fd, pf->name) == 0;
    if (!ok) {
        replace_abandon(pf);
        return commit_failed;
    }
    release_slot(&pf->slot);
    pf->temp[0] = '\0';
    // The rename itself must reach the disk. A folder opened only as a
    // path (no read permission on it) cannot be synced: its file system is.
    const int fl = fcntl(pf->dir_fd, F_GETFL);
    const bool synced = fl >= 0 && ((fl & O_PATH) == 0 ? fsync(pf->dir_fd) : syncfs(held)) == 0;
    replace_abandon(pf);
    return synced ? 0 : commit_unsynced;
}

void replace_abandon(replacement* pf) {
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

int remove_stale_temporaries(const replacement& pf) {
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
            held.st_uid == geteuid() && unlinkat(pf.dir_fd, e->d_name, 0) == 0)
            ++removed;
        close(f);
    }
    closedir(d);
    return removed;
}

}  // namespace korvane
