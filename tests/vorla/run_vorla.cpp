// run_vorla.cpp: process plumbing for the end-to-end tests.

#include "vorla/run_vorla.h"

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

static void DrainPipes(int outFd, int errFd, VorlaRun* run) {
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    int open = 2;
    char buf[4096];
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) continue;
        for (int k = 0; k < 2; k++) {
            if (fds[k].fd < 0 || fds[k].revents == 0) continue;
            ssize_t n = read(fds[k].fd, buf, sizeof buf);
            if (n > 0) {
                (k == 0 ? run->out : run->err).append(buf, static_cast<size_t>(n));
            } else {
                close(fds[k].fd);
                fds[k].fd = -1;
                open--;
            }
        }
    }
}

// VORLA_E2E_WRAPPER split at white space: a program and its options run in
// front of the binary, such as a memory checker.
static const std::vector<std::string>& WrapperWords() {
    static const std::vector<std::string> words = [] {
        std::vector<std::string> split;
        const char* text = std::getenv("VORLA_E2E_WRAPPER");
        std::istringstream in(text ? text : "");
        for (std::string word; in >> word;)
            split.push_back(word);
        return split;
    }();
    return words;
}

// The account of a user a run can be started as.
struct Account {
    bool found = false;
    uid_t uid = 0;
    gid_t gid = 0;
    std::string home;
    std::string name;
};

static Account LookUp(const passwd* entry) {
    if (entry == nullptr) return {};
    return {true, entry->pw_uid, entry->pw_gid, entry->pw_dir, entry->pw_name};
}

// Who an unprivileged run becomes when the suite runs as root.
static const Account& Nobody() {
    static const Account nobody = LookUp(getpwnam("nobody"));
    return nobody;
}

static bool DropsToNobody(const VorlaOptions& options) {
    return options.unprivileged && geteuid() == 0;
}

bool HandToUnprivileged(const std::string& path) {
    if (geteuid() != 0) return true;
    if (!Nobody().found) return false;
    const auto give = [](const fs::path& to) {
        return lchown(to.c_str(), Nobody().uid, Nobody().gid) == 0;
    };
    std::error_code ec;
    bool given = give(path);
    for (const auto& entry : fs::recursive_directory_iterator(path, ec))
        given = give(entry.path()) && given;
    return given && !ec;
}

VorlaRun RunVorla(const std::vector<std::string>& args, const VorlaOptions& options) {
    std::string binary = options.binary.empty() ? VORLA_BINARY : options.binary;
    std::vector<std::string> words;
    // Only the program's run drops its rights; the test keeps root's.
    if (DropsToNobody(options)) {
        words.insert(words.begin(), {"setpriv", "--reuid=" + std::to_string(Nobody().uid),
                                     "--regid=" + std::to_string(Nobody().gid), "--clear-groups"});
    }
    words.insert(words.end(), WrapperWords().begin(), WrapperWords().end());
    words.push_back(binary);
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    // Made before the fork: the child may only set what it is given.
    const Account user = DropsToNobody(options) ? Nobody() : LookUp(getpwuid(geteuid()));

    int outPipe[2], errPipe[2], inPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0 || pipe(inPipe) != 0) return {};
    pid_t pid = fork();
    if (pid == 0) {
        dup2(inPipe[0], 0);
        dup2(outPipe[1], 1);
        if (!options.outputFile.empty()) {
            const int file = open(options.outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (file < 0 || dup2(file, 1) < 0) _exit(126);
            close(file);
        }
        dup2(errPipe[1], 2);
        for (int fd : {inPipe[0], inPipe[1], outPipe[0], outPipe[1], errPipe[0], errPipe[1]})
            close(fd);
        if (options.cron) {
            setsid();
            close(0);
        }
        if (!options.directory.empty() && chdir(options.directory.c_str()) != 0) _exit(126);
        if (options.cron) {
            clearenv();
            setenv("PATH", "/usr/bin:/bin", 1);
            setenv("SHELL", "/bin/sh", 1);
            setenv("HOME", user.home.c_str(), 1);
            setenv("LOGNAME", user.name.c_str(), 1);
        } else {
            setenv("TZ", "UTC", 1);
        }
        if (!options.frozenTime.empty()) {
            // faketime's library is preloaded here, not by the faketime
            // command: that 64-bit command leaves a semaphore that a 32-bit
            // process waits on for ever. The path suits either word size
            // (tests/CMakeLists.txt says how).
            setenv("FAKETIME", options.frozenTime.c_str(), 1);
            setenv("LD_PRELOAD", VORLA_CLOCK_PRELOAD, 1);
            // The preload comes ahead of a sanitizer runtime, which the
            // sanitizer would otherwise refuse.
            const char* asan = getenv("ASAN_OPTIONS");
            std::string merged = std::string(asan ? asan : "") + ":verify_asan_link_order=0";
            setenv("ASAN_OPTIONS", merged.c_str(), 1);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(inPipe[0]);
    close(outPipe[1]);
    close(errPipe[1]);
    if (!options.stdinText.empty()) {
        ssize_t ignored = write(inPipe[1], options.stdinText.data(), options.stdinText.size());
        (void)ignored;
    }
    close(inPipe[1]);
    VorlaRun run;
    DrainPipes(outPipe[0], errPipe[0], &run);
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (!options.outputFile.empty()) run.out = ReadFile(options.outputFile);
    return run;
}

std::string MakeTempDir() {
    std::string pattern = (fs::temp_directory_path() / "vorla-e2e-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return {};
    return pattern;
}

void RemoveTree(const std::string& path) {
    std::error_code ec;
    // A test may have made the directory read-only; give the rights back first.
    for (auto& entry : fs::recursive_directory_iterator(path, ec)) {
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path, ec);
}

std::string CopyBinaryTo(const std::string& dir) {
    fs::path to = fs::path(dir) / "vorla";
    fs::copy_file(VORLA_BINARY, to, fs::copy_options::overwrite_existing);
    return to.string();
}

bool FileExists(const std::string& path) {
    return fs::exists(path);
}

bool HaveFaketime() {
    return std::system("command -v faketime >/dev/null 2>&1") == 0;
}
