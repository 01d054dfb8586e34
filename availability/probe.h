// Data-file probes: is a product's L2 file for one day in the data store?
//
// The store holds one directory per day under its root, "YYYYMMDD/", and in
// it one file per product and day, "KORVANE_<name>_YYYYMMDD_V01.bin", where
// <name> is the product code and mode word (VAK_SURVEY, TOQ_VLF1024, ...).
#ifndef AVAILABILITY_PROBE_H
#define AVAILABILITY_PROBE_H

namespace korvane {

// One column of the availability page: its heading, the file name tried
// first, and the fallback tried when the first file does not exist.
struct product {
    const char* heading;
    const char* first;
    const char* fallback;  // nullptr: no fallback
};

inline constexpr int product_count = 6;

// The products in the order of the page's columns. The orbit product (WYT)
// is filed under the VAK code with the mode word ORBITO.
inline constexpr product products[product_count] = {
    {"VAK", "VAK_SURVEY", "VAK_BURSTx"},    {"TOQ", "TOQ_HFx1024", "TOQ_VLF1024"},
    {"ZELK", "ZEL_VLF1024", nullptr},       {"HUV", "HUV_BURSTx", "HUV_SURVEY"},
    {"PEX", "PEX_xxxxxx", nullptr},         {"WYT", "VAK_ORBITO", nullptr},
};

// probe: the status-change time (st_ctime seconds, cut to 32 bits) of the
// product's file for year-month-day in the store under root (which ends in
// '/'), trying the first name, then the fallback if the first does not
// exist. 0 when no file exists, its status cannot be read, or the path does
// not fit in 1024 bytes. Only existence counts: an empty file is present.
int probe(const char* root, const product& p, int year, int month, int day);

// The six probes of the page, in column order, over the store under root.
int get_dernier_VAK(const char* root, int year, int month, int day);
int get_dernier_TOQ(const char* root, int year, int month, int day);
int get_dernier_ZEL(const char* root, int year, int month, int day);
int get_dernier_HUV(const char* root, int year, int month, int day);
int get_dernier_PEX(const char* root, int year, int month, int day);
int get_dernier_WYT(const char* root, int year, int month, int day);

}  // namespace korvane

#endif
