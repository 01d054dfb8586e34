// seccomp_run ALLOWED -- PROGRAM [ARG...]: runs PROGRAM under a seccomp
// filter that allows exactly the system calls named in the file ALLOWED
// (one a line) and kills the process at any other, as a systemd unit's
// SystemCallFilter= allow-list does without SystemCallErrorNumber=. Names
// this architecture does not know are skipped, as systemd skips them.
#include <seccomp.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc < 4 || std::strcmp(argv[2], "--") != 0) {
        std::fprintf(stderr, "usage: seccomp_run ALLOWED -- PROGRAM [ARG...]\n");
        return 2;
    }
    std::ifstream list(argv[1]);
    if (!list) {
        std::fprintf(stderr, "seccomp_run: %s: cannot be read\n", argv[1]);
        return 2;
    }
    scmp_filter_ctx ctx = seccomp_init(SCMP_ACT_KILL_PROCESS);
    if (ctx == nullptr) return 2;
    int allowed = 0;
    for (std::string name; std::getline(list, name);) {
        const int nr = seccomp_syscall_resolve_name(name.c_str());
        if (nr == __NR_SCMP_ERROR) continue;
        if (seccomp_rule_add(ctx, SCMP_ACT_ALLOW, nr, 0) != 0) {
            std::fprintf(stderr, "seccomp_run: %s: cannot be allowed\n", name.c_str());
            return 2;
        }
        ++allowed;
    }
    if (allowed == 0 || seccomp_load(ctx) != 0) {
        std::fprintf(stderr, "seccomp_run: the filter cannot be loaded\n");
        return 2;
    }
    seccomp_release(ctx);
    execv(argv[3], argv + 3);
    return 127;
}
