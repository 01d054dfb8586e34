// The temps command's input: values one a line, of any count, in constant
// memory.
#ifndef CONVERSION_LINES_H
#define CONVERSION_LINES_H

#include "convert.h"

namespace conversion {

// each_line: converts each line of fd (LF or CRLF ends, a CR before the
// end of the input too; blank lines are no value, and a line longer than
// 65,535 bytes is refused) until the input ends or the converter is done.
void each_line(int fd, converter& cv);

}  // namespace conversion

#endif
