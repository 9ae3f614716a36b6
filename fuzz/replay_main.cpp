// Replays a corpus through a fuzz target without libFuzzer, so that ordinary builds (gcc)
// check every input found so far. Arguments: files or directories of inputs.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    std::size_t replayed = 0;
    auto replay = [&](const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        ++replayed;
    };
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path arg = argv[i];
        if (std::filesystem::is_directory(arg)) {
            for (const auto& entry : std::filesystem::directory_iterator(arg))
                if (entry.is_regular_file()) replay(entry.path());
        } else {
            replay(arg);
        }
    }
    std::printf("replayed %zu inputs\n", replayed);
    return 0;
}
