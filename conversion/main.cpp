// temps: converts times between UTC, TAI, TT, GPS, TU, Julian day numbers
// and on-board clock readings (see temps(1)).
#include <unistd.h>

#include "run.h"

int main(int argc, char** argv) { return conversion::run(argc, argv, STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO); }
