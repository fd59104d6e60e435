// entry_posix.cpp: the process entry. POSIX hands over argv already split
// by the shell; the entry joins it back into one command line so that the
// library's own field rules see what a Windows program would.

#include "platform/platform.h"
#include "vorla/app.h"

int main(int argc, char** argv) {
    PlatSetCommandLine(argc, argv);
    return AppMain(nullptr, 0, PlatCommandLine(), 0);
}
