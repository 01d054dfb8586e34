// The temps command: converts each value of its arguments, or each line of
// its input, from one time format to another.
//
//   temps [--leap-seconds FILE] [--correlation FILE] [--precision N]
//         --from FORMAT --to FORMAT [VALUE...]
//
// Results go to standard output, one line per value converted, in order;
// a value that cannot be converted gets "temps: <value>: <reason>" on
// standard error and no line, and the exit status becomes 1. A usage
// error exits with 2, and so does a leap-second or correlation file that
// cannot be used, once a conversion needs it.
#ifndef CONVERSION_RUN_H
#define CONVERSION_RUN_H

namespace conversion {

// run: the whole command; reads values from in_fd when argv has none,
// writes results to out_fd and messages to err_fd. Returns the exit status.
int run(int argc, const char* const* argv, int in_fd, int out_fd, int err_fd);

}  // namespace conversion

#endif
