// main_posix.cpp: the process entry on POSIX. The shell hands over argv
// already split; the entry joins it back into one command line so that the
// library's own field rules see what a Windows program would.

#include "platform/platform.h"
#include "vorla/app.h"
#include "zizezaz/core/cmdline.h"

int main(int argc, char** argv) {
    CmdLineSetFromArgs(argc, argv);
    return AppMain(nullptr, 0, PlatCommandLine(), 0);
}
