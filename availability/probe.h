// Data-file probes: is a product's L2 file for one day in the data store?
//
// The store holds one directory per day under its root, "YYYYMMDD/", and in
// it one file per product and day, "KORVANE_<name>_YYYYMMDD_V01.bin", where
// <name> is the product code and mode word (VAK_SURVEY, TOQ_VLF1024, ...).
#ifndef AVAILABILITY_PROBE_H
#define AVAILABILITY_PROBE_H

#include "clock.h"
#include "mission.h"

namespace korvane {

// Paths are formatted into buffers of path_capacity bytes: the store root,
// then at most longest_path_tail bytes ("YYYYMMDD/KORVANE_TOQ_HFx1024_
// YYYYMMDD_V01.bin") and the terminating NUL.
inline constexpr int path_capacity = 1024;
inline constexpr int longest_path_tail = 8 + 9 + 11 + 1 + 8 + 8;

// store_searchable: true when root names a folder this account may search
// (the store is there, even if empty).
bool store_searchable(const char* root);

// Which of a product's names a day's file was found under; unreadable
// when the store would not tell (the day's folder may not be searched, or
// an I/O error): the page shows it red, as a missing file.
enum class file_status : unsigned char { missing, primary, fallback, unreadable };

// present: a file was found, under its first or its fallback name.
constexpr bool present(file_status st) { return st == file_status::primary || st == file_status::fallback; }

struct probe_result {
    file_status status;  // primary: the first name exists; fallback: only the fallback does
    int ctime;           // status-change time, st_ctime seconds cut to 32 bits
    bool ctime_read;     // false: the file's status could not be read (ctime is 0)
};

// probe_file: looks for the product's file for year-month-day in the store
// under root (which ends in '/'): the first name, then the fallback if the
// first does not exist. Unreadable when neither was found and a test was
// refused (EACCES) or failed (EIO) rather than finding no file. Only existence counts: an empty file, or one this
// account may not read, is present. A path that does not fit in 1024 bytes
// is missing (the build refuses store roots that long).
probe_result probe_file(const char* root, const product& p, int year, int month, int day);

// probe_time: what a probe answers for r: the status-change time of the
// file found, 0 when none exists or its status cannot be read. A present
// file whose time cut to 32 bits is 0 (1970-01-01 00:00:00, or a multiple
// of 2^32 s later) gives 1, so that non-zero always means present.
int probe_time(const probe_result& r);

// probe: probe_time of the file probe_file finds.
int probe(const char* root, const product& p, int year, int month, int day);

// The six probes of the page, in column order, over the store under root,
// under the mission's names for them.
int get_dernier_VAK(const char* root, int year, int month, int day);
int get_dernier_TOQ(const char* root, int year, int month, int day);
int get_dernier_ZEL(const char* root, int year, int month, int day);
int get_dernier_HUV(const char* root, int year, int month, int day);
int get_dernier_PEX(const char* root, int year, int month, int day);
int get_dernier_WYT(const char* root, int year, int month, int day);

}  // namespace korvane

#endif
