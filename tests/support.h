// Helpers of the tests: temporary folders, small data stores and running a
// built program with its standard output captured.
#ifndef TESTS_SUPPORT_H
#define TESTS_SUPPORT_H

#include <filesystem>
#include <string>
#include <vector>

namespace test {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary directory, removed with all
// it holds when the object goes.
class temp_dir {
public:
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;
    const fs::path& path() const { return path_; }
    // The path as a store root, ending in '/'.
    std::string root() const { return path_.string() + "/"; }

private:
    fs::path path_;
};

// Writes text to path, creating its folders.
void write_file(const fs::path& path, const std::string& text = "");
std::string read_file(const fs::path& path);

// Creates the data file of a product name (e.g. "VAK_SURVEY") for a day in
// the store under root.
void add_data_file(const fs::path& root, const char* name, int year, int month, int day);

struct run_options {
    const char* stdout_to = nullptr;  // a file for standard output instead of a pipe
    long file_size_limit = -1;        // RLIMIT_FSIZE in bytes (SIGXFSZ at its default)
    bool as_nobody = false;           // drop root to the nobody account first
    bool reader_gone = false;         // standard output is a pipe nobody reads, SIGPIPE ignored
    bool sigpipe_default = false;     // with reader_gone: SIGPIPE left at its default
};

struct run_result {
    std::string out;  // standard output
    int status;       // exit status, or 128 + signal
};

run_result run(const std::vector<std::string>& argv, const run_options& options = {});

// Occurrences of needle in text.
int count(const std::string& text, const std::string& needle);

}  // namespace test

#endif
