// replay_main.cpp: feeds every file of the given corpus directories (or
// the given files) to a fuzz target once, so that the test suite replays
// the corpora without libFuzzer. A broken property aborts the program.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_support.h"

static std::vector<std::filesystem::path> Inputs(int argc, char** argv) {
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path(argv[i]);
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::directory_iterator(path)) {
                if (entry.is_regular_file()) inputs.push_back(entry.path());
            }
        } else {
            inputs.push_back(path);
        }
    }
    // A fixed order, so that a failure names the same file on every run.
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

int main(int argc, char** argv) {
    // The files are read first: a target may change the current directory
    // when it starts.
    std::vector<std::pair<std::string, std::vector<char>>> inputs;
    for (const std::filesystem::path& path : Inputs(argc, argv)) {
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "cannot read %s\n", path.c_str());
            return 1;
        }
        inputs.emplace_back(path.filename().string(),
                            std::vector<char>{std::istreambuf_iterator<char>(file),
                                              std::istreambuf_iterator<char>()});
    }
    if (inputs.empty()) {
        std::fprintf(stderr, "no inputs\n");
        return 1;
    }
    LLVMFuzzerInitialize(&argc, &argv);
    for (const auto& [name, bytes] : inputs) {
        // Named before it runs, so that a broken property names its input.
        std::fprintf(stderr, "%s\n", name.c_str());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("%zu inputs replayed\n", inputs.size());
    return 0;
}
