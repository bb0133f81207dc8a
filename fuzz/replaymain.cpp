// Runs a fuzz target's entry point over files, without libFuzzer. The normal and sanitizer
// builds link every target with this main and feed it the seeds in fuzz/corpus/TARGET/, so
// the targets keep building with gcc and every input kept there (among them those that once
// broke a reader) runs again in each suite run.
//   replay_TARGET PATH...   each PATH a file or a folder of files (not recursive)
// Exit status: 0 when at least one input ran and none failed; a failing input aborts, as it
// would under libFuzzer, so ctest reports it with its name printed just before.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv);

namespace fs = std::filesystem;

int main(int argc, char **argv)
{
    // Paths are made absolute first: a target's initialisation may change the current folder.
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const fs::path p = fs::absolute(argv[i]);
        if (fs::is_directory(p)) {
            std::vector<fs::path> files;
            for (const fs::directory_entry &e : fs::directory_iterator(p))
                if (e.is_regular_file())
                    files.push_back(e.path());
            std::sort(files.begin(), files.end());
            inputs.insert(inputs.end(), files.begin(), files.end());
        } else if (fs::is_regular_file(p)) {
            inputs.push_back(p);
        } else {
            std::fprintf(stderr, "%s: no such file or folder\n", p.c_str());
            return 2;
        }
    }
    if (inputs.empty()) {
        std::fprintf(stderr, "usage: %s FILE|FOLDER...\n", argv[0]);
        return 2;
    }

    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    for (const fs::path &p : inputs) {
        std::ifstream in(p, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof()) {
            std::fprintf(stderr, "%s: cannot read\n", p.c_str());
            return 2;
        }
        // A buffer of exactly the input's size, as libFuzzer gives, so that the address
        // sanitizer sees a read one byte past the end.
        std::unique_ptr<uint8_t[]> data(new uint8_t[bytes.size()]);
        std::copy(bytes.begin(), bytes.end(), data.get());
        std::printf("%s (%zu bytes)\n", p.filename().c_str(), bytes.size());
        std::fflush(stdout);
        LLVMFuzzerTestOneInput(data.get(), bytes.size());
    }
    std::printf("%zu inputs ran\n", inputs.size());
    return 0;
}
