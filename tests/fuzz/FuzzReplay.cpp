// Runs every file of the given folders (or single files) through the fuzz entry point once, so that the
// samples and the fuzz corpus are replayed on every build without libFuzzer.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        const fs::path path(argv[i]);
        if (fs::is_directory(path)) {
            for (const auto& entry : fs::directory_iterator(path)) {
                if (entry.is_regular_file()) {
                    files.push_back(entry.path());
                }
            }
        } else if (fs::is_regular_file(path)) {
            files.push_back(path);
        } else {
            std::fprintf(stderr, "missing input: %s\n", argv[i]);
            return 1;
        }
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // Metafiles are told by name: the fuzz entry point reads a leading 'W' or 'E' as that name (on a
        // small surface), 'w' or 'e' at the size the file asks for; samples are played both ways.
        const std::string extension = file.extension().string();
        const bool metafile = extension == ".wmf" || extension == ".emf";
        if (metafile)
            bytes.insert(bytes.begin(), extension == ".wmf" ? 'W' : 'E');
        std::printf("%s (%zu bytes)\n", file.c_str(), bytes.size());
        std::fflush(stdout);
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        if (metafile) {
            bytes[0] = extension == ".wmf" ? 'w' : 'e';
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        }
    }
    std::printf("replayed %zu inputs\n", files.size());
    // An empty replay means the folders moved and the test would prove nothing.
    return files.empty() ? 1 : 0;
}
