// One run of check_korvane_web: survey the store, replace the page, keep
// the survey in the state file, then replace every other output from the
// last complete survey, and print the page's address.
#ifndef AVAILABILITY_RUN_H
#define AVAILABILITY_RUN_H

#include <cstdio>

#include "page.h"

namespace korvane {

// What a build of the program fixes: its store, its outputs and their
// names, the account it runs as. An empty path turns an output off.
struct config {
    const char* data_root;      // ends in '/'
    const char* page_path;
    const char* page_name;      // in the printed address and the overview's link
    const char* web_host;       // in the printed address
    const char* overview_path;
    const char* status_path;
    const char* status_name;    // in the overview's link
    const char* metrics_path;
    const char* state_path;
    const char* run_as;         // the account a run started as root becomes; "" none
    banner_identity banner;
    double lock_wait_seconds;   // how long a run waits for another one to end
    const char* lock_metrics_path;  // whether the last run was locked out; "" none
};

// run: one run under c, reporting on report (the program's standard
// output): the page's address after a complete run, else the run's first
// FATAL line. Returns the exit status, 0 or 255. Not reentrant (the
// survey's large records are the run's own statics); runs in one process
// follow each other.
//
// Before anything else, a run started as root becomes c.run_as ("FATAL
// ERROR ACCOUNT <account>" when it cannot). It then takes the run lock
// kept beside the state (beside the page when no state is kept), creating
// the state's folder if it is missing; another run holding it for longer
// than c.lock_wait_seconds, or a lock that cannot be taken, gives "FATAL
// ERROR LOCK <folder>" and touches nothing but the lock's metrics file,
// which says so until a run takes the lock again. Then the page, as it always was: "FATAL ERROR OPEN WRITE MODE
// <page>", "FATAL ERROR WRITE <page>" or "FATAL ERROR DATA STORE <root>"
// leave the previous page; "FATAL ERROR SYNC <path>" says a file was
// replaced but its folder could not be synced. The state and the other
// outputs that cannot be replaced give the same messages with their path.
// Only the first failure is printed; the overview, the status file and
// the metrics are written after a failure too, and report it.
int run(const config& c, std::FILE* report);

}  // namespace korvane

#endif
