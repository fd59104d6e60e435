// test_support.cpp: expected texts, one start-up and a captured console for the unit tests.
#include "support/test_support.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

#include "platform/platform.h"
#include "zizezaz/core/cmdline.h"
#include "zizezaz/core/init.h"
#include "zizezaz/core/log.h"
#include "zizezaz/core/log_internal.h"

namespace fs = std::filesystem;

std::string Literal(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (std::strchr(".[]{}()\\*+?^$|", c)) out += '\\';
        out += c;
    }
    return out;
}

std::string Banner(const std::string& title) {
    std::string line = title.empty() ? "====" : "====[" + title + "]";
    return line + std::string(79 - line.size(), '=') + "\n";
}

std::string Hex(std::uintptr_t address) {
    char text[32];
    std::snprintf(text, sizeof text, "%.8" PRIXPTR, address);
    return text;
}

std::string Hex(const void* pointer) {
    return Hex(reinterpret_cast<std::uintptr_t>(pointer));
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string CrLf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

void ResetLog() {
    if (LogState.fileDescriptor != 0) PlatLogClose(LogState.fileDescriptor);
    if (LogState.mutex != nullptr) LogMutexDestroy();
    LogState = LogStateRecord{};
    LogState.lockBypass = 1;
    PlatSetTimeSource(nullptr);
}

void StartCore(const char* program, std::uint32_t flags) {
    static const std::int32_t started = [&] {
        const char* const argv[] = {program};
        CmdLineSetFromArgs(1, argv);
        return CoreInit("debug.log", flags);
    }();
    (void)started;
}

void ConsoleFileTest::SetUp() {
    savedFlags_ = LogState.flags;
    savedConsole_ = LogState.consoleHandle;
    std::random_device random;
    dir_ = fs::temp_directory_path() /
           ("zz-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
            "-" + std::to_string(random()));
    fs::create_directories(dir_);
    std::int32_t error = 0;
    console_ = PlatLogOpen((dir_ / "console.txt").string().c_str(), 0, &error);
    ASSERT_GT(console_, 2);
    LogState.consoleHandle = static_cast<std::uintptr_t>(console_);
}

void ConsoleFileTest::TearDown() {
    LogState.flags = savedFlags_;
    LogState.consoleHandle = savedConsole_;
    if (console_ > 2) PlatLogClose(console_);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
}

std::string ConsoleFileTest::Console() const {
    return ReadFile(dir_ / "console.txt");
}
