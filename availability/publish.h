// Replacing the page without ever showing a half-written one: the new page
// is written to a temporary file beside it and renamed over it only once
// it is complete. A failed run leaves the previous page as it
// was and no temporary file behind.
#ifndef AVAILABILITY_PUBLISH_H
#define AVAILABILITY_PUBLISH_H

#include <climits>
#include <cstdio>

namespace korvane {

struct page_file {
    char target[PATH_MAX];  // the page to replace (a symbolic link's target)
    char temp[PATH_MAX];    // the temporary file being written
    std::FILE* stream;      // open on temp while the page is being written
};

// page_open: creates the temporary file for page_path and opens a stream on
// it. Fails (-1, nothing left behind) wherever fopen(page_path, "w") would:
// the page's directory is missing or not writable, or the page exists and
// this account may not write to it. The new page gets the existing page's
// mode, or 0666 less the umask for a new page.
int page_open(const char* page_path, page_file* pf);

// page_commit: flushes and closes the stream, then renames the
// temporary file over the page. On any failure (-1) the temporary file is
// removed and the page is untouched.
int page_commit(page_file* pf);

// page_abandon: closes the stream and removes the temporary file.
void page_abandon(page_file* pf);

}  // namespace korvane

#endif
