// PERIODE: lists every date between two YYYYMMDD dates, both included.
//
//   PERIODE 20040227 20040302
//
// Everything goes to standard output. Exit status 0, or 255 after the usage
// text, "Date incorrecte : <date>", or when standard output could not be
// written (a full disk, a closed pipe).
#include <unistd.h>

#include "period.h"

int main(int argc, char** argv) {
    static periode::output out{STDOUT_FILENO};
    return periode::run(&out, argc, argv);
}
