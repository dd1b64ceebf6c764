// zfk: a demo of the frame library on a built-in scene, a raw-frame converter, a list of the frame
// types it knows, and a synthetic camera.
#include <cstdio>

#include "CommandLine.h"

int main(int argc, char** argv) { return zfk::runCommandLine(argc, argv, zfk::Console{stdout, stderr}); }
