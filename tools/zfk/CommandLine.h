// zfk's command line: reads the arguments, runs the command they name, and turns every mistake into
// a message on the console's error stream and exit status 2.
#ifndef ZFK_COMMANDLINE_H
#define ZFK_COMMANDLINE_H

#include "Commands.h"

namespace zfk {

// argv[0] is the program's name, as main() has it. Returns the exit status.
int runCommandLine(int argc, const char* const* argv, const Console& console);

}  // namespace zfk

#endif  // ZFK_COMMANDLINE_H
