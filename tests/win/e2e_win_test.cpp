// e2e_win_test.cpp: vorla.exe end to end on Windows. Each run is typed
// into cmd.exe from a directory of its own on the drive D:, which the test
// set-up maps to a fresh directory, with a copy of the program there; its
// console output and exit status are compared byte for byte, and the files
// it leaves are checked. Every process starts its clock at 6 December 2026,
// 01:38:00 UTC (the test's emulator runs it under faketime), so a run whose
// dates come out right also shows that the fixed clock reached it.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "support/test_support.h"
#include "vorla/expected.h"

namespace {

struct CmdRun {
    std::string out;  // standard output and standard error, as they came
    DWORD status = 0xFFFFFFFF;
};

// Runs "cmd.exe /c line" in directory, its output and errors into one pipe.
CmdRun RunThroughCmd(const std::string& line, const std::string& directory) {
    CmdRun run;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process{};
    std::string command = "cmd.exe /c " + line;
    const BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        directory.c_str(), &startup, &process);
    CloseHandle(writeEnd);  // the pipe ends when the last process holding it does
    if (started) {
        char buffer[4096];
        DWORD n = 0;
        while (ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0)
            run.out.append(buffer, n);
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &run.status);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(readEnd);
    return run;
}

// The built program as Windows names it: Wine's drive Z: is the root.
std::string BuiltProgram() {
    std::string path = "Z:" + std::string(VORLA_BINARY);
    for (char& ch : path)
        if (ch == '/') ch = '\\';
    return path;
}

std::string Replace(std::string text, char mark, const std::string& with) {
    for (std::size_t at = text.find(mark); at != std::string::npos;
         at = text.find(mark, at + with.size()))
        text.replace(at, 1, with);
    return text;
}

// The code of the error that the call just made failed with, as the
// program prints it.
std::string SystemError(BOOL failed) {
    const DWORD error = failed ? 0 : GetLastError();
    char text[32];
    std::snprintf(text, sizeof text, "%lu:%.8lX", error, error);
    return text;
}

constexpr const char DIRECTORY[] = "<directory>";
constexpr const char NOTHING[] = "<nothing>";
constexpr const char CONSOLE[] = "<console>";  // what the run printed, stored CR LF

using Files = std::vector<std::pair<std::string, std::string>>;

struct Case {
    const char* name;  // the run's directory under D:\, which '@' stands for
    Files before;      // written first
    bool damaged;      // one byte of the program's copy changed
    std::string line;  // typed after "cmd /c"
    std::string out;
    DWORD status;
    Files after;  // the bytes, or one of the marks above
};

TEST(VorlaOnWindows, RunsThroughCmdWithDriveLetters) {
    ASSERT_NE(GetDriveTypeA("D:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR))
        << "D: is not mapped: run this test through CTest, whose set-up maps it";
    SYSTEMTIME now;
    GetSystemTime(&now);
    ASSERT_TRUE(now.wYear == 2026 && now.wMonth == 12 && now.wDay == 6 && now.wHour == 1)
        << "the fixed clock (faketime) has not reached this Wine process";
    const std::string program = BuiltProgram();
    const std::vector<Case> cases = {
        // Yesterday's logs packed into an archive named for their day, in a
        // directory for their year that does not exist yet, and removed.
        {"full",
         {{"D:\\logs\\ex261204.log", "the 4th\r\n"},
          {"D:\\logs\\ex261205.log", "the 5th, first\r\nthe 5th, last\r\n"},
          {"D:\\logs\\ex261205.txt", "not a log\r\n"},
          {"D:\\logs\\ex261206.log", "today\r\n"}},
         false,
         "@\\vorla.exe /SOURCE D:\\logs /TARGET D:\\archive\\{Time.Year4} "
         "/FILENAME ex{Time.Year2}{Time.MonthPad}{Time.DayPad}.zip "
         "/WILDCARD ex{Time.Year2}{Time.MonthPad}{Time.DayPad}*.log /OFFSET -1d "
         "/EXECUTE \"copy /b {Config.Source}{Config.Wildcard} {Config.Target}{Config.Filename} "
         ">nul && del {Config.Source}{Config.Wildcard}\"",
         Report("-1d", "ex261205*.log", "ex261205.zip", "D:\\logs\\", "D:\\archive\\2026\\",
                "copy /b D:\\logs\\ex261205*.log D:\\archive\\2026\\ex261205.zip >nul && del "
                "D:\\logs\\ex261205*.log"),
         0,
         {{"D:\\archive\\2026\\ex261205.zip", "the 5th, first\r\nthe 5th, last\r\n"},
          {"D:\\logs\\ex261205.log", NOTHING},
          {"D:\\logs\\ex261204.log", "the 4th\r\n"},
          {"D:\\logs\\ex261205.txt", "not a log\r\n"},
          {"D:\\logs\\ex261206.log", "today\r\n"}}},
        // Any status but 0 is a failure; the current directory is the source.
        {"status",
         {},
         false,
         "@\\vorla.exe /EXECUTE \"exit /b 3\"",
         Report("", "", "archive.zip", "@\\", "", "exit /b 3"),
         1,
         {{"@\\debug.log", NOTHING}}},
        // The target exists by the time the command runs, as cmd.exe sees it.
        {"builtin",
         {},
         false,
         "@\\vorla.exe /TARGET @\\made\\{Time.Year4} "
         "/EXECUTE \"if exist {Config.Target} (exit /b 0) else (exit /b 4)\"",
         Report("", "", "archive.zip", "@\\", "@\\made\\2026\\",
                "if exist @\\made\\2026\\ (exit /b 0) else (exit /b 4)"),
         0,
         {{"@\\made\\2026", DIRECTORY}}},
        // A quoted value keeps its blank; slashes become backslashes.
        {"quoted",
         {},
         false,
         "@\\vorla.exe /SOURCE \"@\\my logs\" /TARGET @/out/sub /EXECUTE \"exit /b 0\"",
         Report("", "", "archive.zip", "@\\my logs\\", "@\\out\\sub\\", "exit /b 0"),
         0,
         {{"@\\out\\sub", DIRECTORY}}},
        {"usage", {}, false, "@\\vorla.exe", USAGE, 0, {{"@\\debug.log", NOTHING}}},
        // The log lies beside the program, every line feed stored as CR LF;
        // an empty command is run all the same, and cmd.exe is content.
        {"logged",
         {},
         false,
         "@\\vorla.exe /debug",
         "ZizEzaz v0.50 (rev: 9.517.1219.04)\n"
         "====[Memory Init]==============================================================\n"
         "Memory Initialized (Maximum)\n"
         "===============================================================================\n"
         "Unknown command [/debug]\n" +
             Report("", "", "archive.zip", "@\\", "", "") +
             MEMORY_REMOVE,
         0,
         {{"@\\debug.log", CONSOLE}}},
        {"damaged",
         {},
         true,
         "@\\vorla.exe /EXECUTE \"exit /b 0\"",
         "\n\nABORT: Vorla has been corrupted, please re-install to correct the problem.\n"
         "       (winmain/340)\n",
         1,
         {}},
        // A drive that does not exist: reported at its first level, and the
        // command still runs.
        {"nodrive",
         {},
         false,
         "@\\vorla.exe /TARGET Q:\\x\\y /EXECUTE \"exit /b 0\"",
         Report("", "", "archive.zip", "@\\", "Q:\\x\\y\\", "exit /b 0") + "Unable to create [" +
             SystemError(CreateDirectoryA("Q:\\x", nullptr)) + "] Dir = Q:\\x\n",
         0,
         {}},
    };
    for (const Case& run : cases) {
        SCOPED_TRACE(run.name);
        const std::string here = std::string("D:\\") + run.name;
        std::filesystem::create_directories(here);
        for (const auto& [path, bytes] : run.before) {
            std::filesystem::create_directories(std::filesystem::path(path).parent_path());
            std::ofstream(path, std::ios::binary) << bytes;
        }
        const std::string copy = here + "\\vorla.exe";
        ASSERT_TRUE(CopyFileA(program.c_str(), copy.c_str(), FALSE)) << program;
        if (run.damaged) {
            std::fstream file(copy, std::ios::in | std::ios::out | std::ios::binary);
            file.seekg(1000);
            const char byte = static_cast<char>(file.get() ^ 0x20);
            file.seekp(1000);
            file.put(byte);
        }

        const CmdRun result = RunThroughCmd(Replace(run.line, '@', here), here);
        EXPECT_EQ(result.out, Replace(run.out, '@', here));
        EXPECT_EQ(result.status, run.status);
        for (const auto& [where, bytes] : run.after) {
            const std::string path = Replace(where, '@', here);
            const DWORD attributes = GetFileAttributesA(path.c_str());
            if (bytes == NOTHING) {
                EXPECT_EQ(attributes, INVALID_FILE_ATTRIBUTES) << path;
            } else if (bytes == DIRECTORY) {
                EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES &&
                            (attributes & FILE_ATTRIBUTE_DIRECTORY))
                    << path;
            } else {
                EXPECT_EQ(ReadFile(path), bytes == CONSOLE ? CrLf(result.out) : bytes) << path;
            }
        }
    }
}

}  // namespace
