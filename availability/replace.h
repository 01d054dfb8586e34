// Replacing an output file (the page, and any file made from the same
// survey) so that readers only ever see the old file or the complete new
// one, and a run leaves nothing behind however it ends (but SIGKILL in the
// instant between naming the new file and renaming it, which leaves one
// hidden file for the next run to remove).
//
// The new file is written unnamed in the target's folder (O_TMPFILE), made
// durable with fsync, given a hidden name through /proc and renamed over
// the target, and the folder is synced. Where the file system cannot make
// unnamed files, or /proc is missing, it is written under the hidden name
// ".<name>.korvane-new.XXXXXX" from the start; that name is removed on
// SIGTERM, SIGINT, SIGHUP and SIGQUIT. SIGXFSZ is ignored, so that a file
// size limit fails the write instead of ending the run. Every hidden file
// carries an exclusive lock while its run lives: a later run removes the
// hidden files of its own account that nobody locks (left by a killed run)
// and never touches another live run's file.
#ifndef AVAILABILITY_REPLACE_H
#define AVAILABILITY_REPLACE_H

#include <sys/types.h>

#include <climits>
#include <cstdio>

namespace korvane {

struct replacement {
    char target[PATH_MAX];  // the file to replace (symbolic links followed)
    int dir_fd;             // its folder
    const char* name;       // its name in that folder (points into target)
    char temp[NAME_MAX + 1];  // the hidden name in the folder, "" while unnamed
    int file_fd;            // the new file
    int slot;               // its entry in the signal handler's table, -1 none
    std::FILE* stream;      // open on file_fd while the file is written
    char buffer[1 << 16];   // the stream's buffer: the file goes out in big blocks
};

// replace_open: prepares the replacement of path and opens a stream on
// the new file. Fails (-1, nothing left behind, nothing changed) wherever
// fopen(path, "w") would fail and wherever the replacement would be
// refused at the end: the folder is missing or not writable, the target
// exists and is not a regular file or is not writable by this account, or
// it belongs to another account in a sticky folder, or it is a symbolic
// link that belongs neither to this account nor to root (in any folder).
// A link that is followed stays, and its target is replaced (created,
// when the link dangles). The new file gets the existing file's mode less
// its set-id bits, owner and group (only where they differ, and the owner
// only where this account may set it), or 0666 less the umask. Checks
// permissions without opening the existing file.
// kind: named_only skips the unnamed file (as on a file system without
// O_TMPFILE); the program always uses unnamed_if_possible.
enum class temp_kind { unnamed_if_possible, named_only };
[[nodiscard]] int replace_open(const char* path, replacement* pf, temp_kind kind = temp_kind::unnamed_if_possible);

// follow_links: path with its symbolic links followed as replace_open
// follows them (a link only of this account or of root, even to a target
// that does not exist yet), so that a file is read where it is written.
// False where replace_open would refuse the path for its links.
[[nodiscard]] bool follow_links(const char* path, char (&out)[PATH_MAX]);

// folder_of: the folder part of path ("." when it has none, "/" for a
// name in the root); "" when it does not fit.
void folder_of(const char* path, char (&dir)[PATH_MAX]);

// replace_commit: flushes and closes the stream, syncs the file, names it and
// renames it over the target, then syncs the folder. Returns 0;
// commit_failed when the target is untouched (nothing remains of the new
// file); commit_unsynced when the new file replaced the target but the
// folder could not be synced, so that a crash may still bring the old one
// back.
inline constexpr int commit_failed = -1;
inline constexpr int commit_unsynced = -2;
[[nodiscard]] int replace_commit(replacement* pf);

// replace_abandon: closes the stream and removes whatever replace_open made.
void replace_abandon(replacement* pf);

// remove_stale_temporaries: removes from the folder of the page the hidden
// files ".<page name>.korvane-new.XXXXXX" of this account that no live
// run holds. Returns how many.
int remove_stale_temporaries(const replacement& pf);

}  // namespace korvane

#endif
