// app_fuzz.cpp: the whole option loop and run sequence, fed arbitrary
// argument vectors: the words are joined into a command line as the POSIX
// entry joins argv, the options are read into a configuration with the
// defaults of start-up, and the run decodes, reports, creates the target
// directory and runs an empty command through the shell.
//
// The run works in a scratch directory of its own. Directories are created
// only inside it: this program's own mkdir, which the platform layer's call
// binds to, refuses any path that is not plainly inside (the run then sees
// a directory it cannot create, as under a directory without write
// permission). The scratch directory is emptied now and then and removed
// at exit.
//
// Checked: every option value within its 999 characters (1,000 for a
// normalised path), a run that decodes every field reaches the empty
// command and ends with result 0, one that refuses a field ends with 1,
// and the tracked allocator holds as many blocks and bytes after the run
// as before it.
//
// Input: the words after the program's own, each up to a zero byte.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/platform.h"
#include "vorla/app.h"
#include "vorla/app_internal.h"
#include "vorla/dir.h"
#include "zizezaz/core/cmdline.h"
#include "zizezaz/core/init.h"
#include "zizezaz/mem/mem.h"
#include "zizezaz/mem/mem_internal.h"
#include "zizezaz/str/str.h"

namespace fs = std::filesystem;

static constexpr std::size_t LINE_LIMIT = 999;  // AppMain refuses longer lines
static constexpr std::size_t MAX_WORDS = 64;
static constexpr std::int32_t VALUE_LIMIT = 999;
static constexpr std::int32_t CLEAN_EVERY = 2000;
// A run of this many characters that could be digits of one number: a
// time field's parameter or /OFFSET of that kind ends the program (a
// number that long is refused outright), so such a configuration is not
// run.
static constexpr std::size_t NUMBER_RUN = 69;

static std::string scratch;  // canonical, without a trailing separator
static std::int32_t runs = 0;
// Only the run is guarded: libFuzzer's own directories (fork mode) are not
// the application's business.
static bool guarding = false;

// ---- The directory guard -------------------------------------------------

// 1 when path, taken from the scratch directory (the current one), names
// the scratch directory or something below it without a ".." part.
static bool InsideScratch(const char* path) {
    std::string full = path[0] == '/' ? std::string(path) : scratch + "/" + path;
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= full.size()) {
        std::size_t end = full.find('/', start);
        if (end == std::string::npos) end = full.size();
        const std::string part = full.substr(start, end - start);
        if (part == "..") return false;
        if (!part.empty() && part != ".") parts.push_back(part);
        start = end + 1;
    }
    std::string joined;
    for (const std::string& part : parts)
        joined += "/" + part;
    return joined.size() > scratch.size() && joined.compare(0, scratch.size(), scratch) == 0 &&
           joined[scratch.size()] == '/';
}

// Binds the platform layer's mkdir to the guard.
extern "C" int mkdir(const char* path, mode_t mode) noexcept {
    if (guarding && !InsideScratch(path)) {
        errno = EACCES;
        return -1;
    }
    return mkdirat(AT_FDCWD, path, mode);
}

static void RemoveScratch() {
    std::error_code error;
    fs::current_path(fs::temp_directory_path(), error);
    fs::remove_all(scratch, error);
}

static void EmptyScratch() {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(scratch, error))
        fs::remove_all(entry.path(), error);
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::random_device random;
    const fs::path dir = fs::temp_directory_path() / ("vorla-app-fuzz-" + std::to_string(random()));
    fs::create_directories(dir);
    scratch = fs::canonical(dir).string();
    fs::current_path(scratch);
    std::atexit(RemoveScratch);

    const char* const argv[] = {"app_fuzz"};
    CmdLineSetFromArgs(1, argv);
    // No console and no log file: the messages are formatted, not shown.
    CoreInit("debug.log", 0);
    MemInit(0x7FFFFFFF);
    return 0;
}

// ---- One run ---------------------------------------------------------------

static bool HasNumberRun(const char* text) {
    std::size_t run = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        const char c = *p;
        const bool part = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
                          (c >= 'A' && c <= 'F') || c == 'x' || c == 'X' || c == '+' || c == '-';
        run = part ? run + 1 : 0;
        if (run >= NUMBER_RUN) return true;
    }
    return false;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in{data, size, 0};
    std::vector<std::string> words{"vorla"};
    while (FuzzLeft(&in) > 0 && words.size() < MAX_WORDS)
        words.push_back(FuzzText(&in));
    std::vector<const char*> argv;
    for (const std::string& word : words)
        argv.push_back(word.c_str());
    std::int64_t length = 0;
    const auto count = static_cast<std::int32_t>(argv.size());
    CmdLineJoin(count, argv.data(), nullptr, 0, &length);
    if (length > static_cast<std::int64_t>(LINE_LIMIT)) return 0;
    char line[1024];
    CmdLineJoin(count, argv.data(), line, sizeof line, &length);
    std::int32_t fields = 0;
    CmdLineCountFields(line, &fields);
    if (fields < 2) return 0;  // the usage text

    if (++runs % CLEAN_EVERY == 0) EmptyScratch();

    // The defaults of start-up, then the options.
    auto config = std::make_unique<AppConfig>();
    AppGetCurrentDir(config->source, 320);
    StrCopy(config->filename, "archive.zip");
    config->localTime = PlatTime{5, 38, 1, 6, 11, 126};
    config->result = 1;
    AppReadOptions(config.get(), line, fields);

    const char* values[] = {config->offset, config->wildcard, config->filename,
                            config->source, config->target,   config->execute};
    for (const char* value : values) {
        const std::int32_t limit =
            value == config->source || value == config->target ? VALUE_LIMIT + 1 : VALUE_LIMIT;
        FUZZ_CHECK(StrLength(value) <= limit, "[%s]: a value of %d characters",
                   FuzzShow(line, static_cast<std::size_t>(length)).c_str(), StrLength(value));
        if (HasNumberRun(value)) return 0;
    }

    // Nothing but the empty command ever reaches the shell.
    config->execute[0] = '\0';
    const std::int32_t blocks = MemState.blockCount;
    const std::int32_t bytes = MemState.bytesInUse;
    guarding = true;
    const std::int32_t ran = AppRun(config.get());
    guarding = false;
    FUZZ_CHECK(config->result == (ran ? 0 : 1), "[%s]: run %d ended with result %d",
               FuzzShow(line, static_cast<std::size_t>(length)).c_str(), ran, config->result);
    FUZZ_CHECK(MemState.blockCount == blocks && MemState.bytesInUse == bytes,
               "[%s]: %d blocks of %d bytes before the run, %d of %d after",
               FuzzShow(line, static_cast<std::size_t>(length)).c_str(), blocks, bytes,
               MemState.blockCount, MemState.bytesInUse);
    return 0;
}
