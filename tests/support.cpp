#include "support.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace test {

temp_dir::temp_dir() {
    std::string tmpl = (fs::temp_directory_path() / "korvane-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

temp_dir::~temp_dir() {
    std::error_code ec;
    // Folders a test made read-only must be writable again to be removed.
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::end(it); ++it)
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

void write_file(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string read_file(const fs::path& path) {
    std::ostringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

void add_data_file(const fs::path& root, const char* name, int year, int month, int day) {
    char rel[128];
    std::snprintf(rel, sizeof rel, "%04d%02d%02d/KORVANE_%s_%04d%02d%02d_V01.bin", year, month,
                  day, name, year, month, day);
    write_file(root / rel);
}

run_result run(const std::vector<std::string>& argv, const run_options& options) {
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        int out = pipe_fds[1];
        if (options.stdout_to) out = open(options.stdout_to, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || dup2(out, STDOUT_FILENO) < 0) _exit(127);
        close(pipe_fds[0]);
        if (options.file_size_limit >= 0) {
            const rlimit lim{static_cast<rlim_t>(options.file_size_limit),
                             static_cast<rlim_t>(options.file_size_limit)};
            if (setrlimit(RLIMIT_FSIZE, &lim) != 0) _exit(127);
        }
        std::signal(SIGPIPE, options.reader_gone && !options.sigpipe_default ? SIG_IGN : SIG_DFL);
        if (options.as_nobody && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(127);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(pipe_fds[1]);
    if (options.reader_gone) close(pipe_fds[0]);
    run_result r{{}, -1};
    char buf[65536];
    for (ssize_t n; !options.reader_gone && (n = read(pipe_fds[0], buf, sizeof buf)) != 0;) {
        if (n > 0) r.out.append(buf, static_cast<std::size_t>(n));
        else if (errno != EINTR) break;
    }
    if (!options.reader_gone) close(pipe_fds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

int count(const std::string& text, const std::string& needle) {
    int n = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos;
         at = text.find(needle, at + needle.size()))
        ++n;
    return n;
}

}  // namespace test
