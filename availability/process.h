// What a run does with its process before it touches any file: it drops
// root for the service's account, and takes the lock that lets only one
// run at a time replace the outputs and the state.
#ifndef AVAILABILITY_PROCESS_H
#define AVAILABILITY_PROCESS_H

namespace korvane {

// switch_account: when this process runs as root and account is not "",
// becomes that account: its supplementary groups, then its group, then
// its user, each checked, and root out of reach afterwards. True when
// there was nothing to do or every step held; false (nothing else done
// after the failed step) when the account does not exist or a step
// failed.
[[nodiscard]] bool switch_account(const char* account);

// lock_runs: takes an exclusive lock that belongs with the file at path
// (the state, or the page when no state is kept): a flock on the folder
// ".<name>.lock" beside it, which this account makes with mode 0700 and
// opens without following a link, so that no other account can open it,
// let alone hold its lock, whatever the mode of the folder around it.
// Waits up to wait_seconds for a run that holds it. Returns a descriptor
// that holds the lock until it is closed or the process ends; -1 when the
// lock cannot be taken at all (the lock folder cannot be made, is a link,
// or belongs to another account); -2 when another run still held it at
// the end of the wait. A run must not go on without it.
inline constexpr int lock_held_elsewhere = -2;
[[nodiscard]] int lock_runs(const char* path, double wait_seconds);

// make_folder: creates the folder (one level, not its parents) for this
// account with mode 0755 when it is missing. False when it is still
// missing.
bool make_folder(const char* dir);

}  // namespace korvane

#endif
