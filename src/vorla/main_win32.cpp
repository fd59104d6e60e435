// main_win32.cpp: the process entry on Windows. The runtime's argument
// vector is ignored: the library reads the command line whole, as the
// system gives it, and splits it by its own field rules.

#include "platform/platform.h"
#include "vorla/app.h"

int main() {
    const std::int32_t showState = PlatShowState();
    const char* commandLine = PlatCommandLine();
    void* module = PlatModuleHandle();
    return AppMain(module, 0, commandLine, showState);
}
