// Runs a fuzz target once over each committed input: the files named on the command line, and
// the files in the folders named there. Built by any compiler, so that the ordinary test command
// (and its sanitizer build) replays every input that once crashed or hung a target.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<std::filesystem::path> inputsOf(const std::filesystem::path& named) {
    if (!std::filesystem::is_directory(named)) {
        return {named};
    }
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(named)) {
        if (entry.is_regular_file()) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

int main(int argc, char** argv) {
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        for (const auto& path : inputsOf(argv[i])) {
            std::ifstream in(path, std::ios::binary);
            if (!in) {
                std::fprintf(stderr, "Cannot read %s\n", path.c_str());
                return 1;
            }
            const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
            // An owned copy of exactly the input's size, so that a read past its end shows
            // under AddressSanitizer as it does under the fuzzer.
            std::vector<uint8_t> data(bytes.begin(), bytes.end());
            std::printf("%s (%zu bytes)\n", path.filename().c_str(), data.size());
            std::fflush(stdout);
            LLVMFuzzerTestOneInput(data.data(), data.size());
            ++replayed;
        }
    }
    std::printf("%d inputs replayed\n", replayed);
    // No input at all means a wrong folder, not a pass.
    return replayed > 0 ? 0 : 1;
}
