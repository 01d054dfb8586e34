#include "process.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace korvane {

bool switch_account(const char* account) {
    if (account[0] == '\0' || geteuid() != 0) return true;
    errno = 0;
    const passwd* pw = getpwnam(account);
    if (pw == nullptr) return false;
    const uid_t uid = pw->pw_uid;
    const gid_t gid = pw->pw_gid;
    // Groups first: once the user is no longer root, they cannot change.
    if (initgroups(account, gid) != 0 || setgid(gid) != 0 || setuid(uid) != 0) return false;
    // An account with uid 0 is root itself; otherwise root must be gone.
    return uid == 0 || (setuid(0) != 0 && geteuid() == uid && getegid() == gid);
}

namespace {

// The folder whose lock serialises the runs of the file at path: made for
// this account alone, and refused when it is anything else (another
// account's folder, a link to one).
int open_lock_folder(const char* path) {
    const char* slash = std::strrchr(path, '/');
    const int dir_len = slash == nullptr ? 0 : static_cast<int>(slash - path) + 1;
    char lock[PATH_MAX];
    const int n = std::snprintf(lock, sizeof lock, "%.*s.%s.lock", dir_len, path, path + dir_len);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof lock) return -1;
    if (mkdir(lock, 0700) != 0 && errno != EEXIST) return -1;
    const int fd = open(lock, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st {};
    const bool ours = fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
                      ((st.st_mode & 07777) == 0700 || fchmod(fd, 0700) == 0);
    if (!ours) {
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

int lock_runs(const char* path, double wait_seconds) {
    const int fd = open_lock_folder(path);
    if (fd < 0) return -1;
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
        if (errno != EWOULDBLOCK && errno != EINTR) break;
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const double waited = static_cast<double>(now.tv_sec - start.tv_sec) +
                              static_cast<double>(now.tv_nsec - start.tv_nsec) / 1e9;
        if (waited >= wait_seconds) {
            close(fd);
            return lock_held_elsewhere;
        }
        const timespec pause{0, 50'000'000};
        nanosleep(&pause, nullptr);
    }
    close(fd);
    return -1;
}

bool make_folder(const char* dir) {
    if (mkdir(dir, 0755) == 0) {
        // Whatever the umask: the folder must be searchable by the readers
        // of its files, as a folder the package makes is.
        chmod(dir, 0755);
        return true;
    }
    struct stat st {};
    return errno == EEXIST && stat(dir, &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace korvane
