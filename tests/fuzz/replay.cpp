// Replays a fuzz regression corpus: every file of the directories named on
// the command line (or every file named there) goes once through the fuzz
// target's entry function, in name order, within one process as under the
// fuzzing engine. A crash, a trap, a sanitizer report or a hang fails the
// test that runs it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> inputsOf(const fs::path& argument)
{
    if (!fs::is_directory(argument)) {
        return {argument};
    }
    std::vector<fs::path> inputs;
    for (const fs::directory_entry& entry : fs::directory_iterator(argument)) {
        if (entry.is_regular_file()) {
            inputs.push_back(entry.path());
        }
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

// The exact bytes of the file, in a buffer of exactly their size so that an
// overread shows under the address sanitizer as it would under the engine.
std::vector<std::uint8_t> contentsOf(const fs::path& input)
{
    std::ifstream stream(input, std::ios::binary);
    if (!stream) {
        throw fs::filesystem_error("cannot read corpus input", input, std::make_error_code(std::errc::io_error));
    }
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << "usage: " << argv[0] << " CORPUS_DIR|INPUT...\n";
        return 2;
    }
    std::size_t replayed = 0;
    try {
        for (int i = 1; i < argc; ++i) {
            for (const fs::path& input : inputsOf(argv[i])) {
                std::cerr << "replaying " << input.filename().string() << '\n';
                const std::vector<std::uint8_t> bytes = contentsOf(input);
                LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
                ++replayed;
            }
        }
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        return 1;
    }
    if (replayed == 0) {
        std::cerr << "no corpus inputs found\n";
        return 1;
    }
    std::cerr << replayed << " inputs replayed\n";
    return 0;
}
