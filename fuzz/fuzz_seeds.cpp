// Writes the starting corpus of each fuzzer into FOLDER/NAME/: serialised elements of
// every destination kind, and property texts of each form.
//   fuzz_seeds FOLDER
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz_kernel.hpp"
#include "io_element_destinations.hpp"

namespace {

namespace fs = std::filesystem;

void Write(const fs::path& folder, const std::string& name, const std::vector<unsigned char>& bytes) {
    fs::create_directories(folder);
    std::ofstream(folder / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteElementSeeds(const fs::path& folder) {
    for (unsigned int i = 0; i < fuzz::kDestinationKinds.size(); ++i) {
        fuzz::AllocatedElement allocated(fuzz::kDestinationKinds[i]);
        TARNIOEltImplementation& element = allocated.element;
        element.timestamp = 1000 * (i + 1);
        element.vectorSize = 3;
        std::vector<unsigned char> block(1 + element.Serialize(nullptr, 0));
        if (element.Serialize(block.data() + 1, static_cast<unsigned int>(block.size() - 1)) == TARNIOElt::Failure)
            continue;
        // The same block into its own kind and into a fresh element.
        block[0] = static_cast<unsigned char>(i);
        Write(folder, "kind" + std::to_string(i), block);
        block[0] = static_cast<unsigned char>(fuzz::kFreshElement);
        Write(folder, "fresh" + std::to_string(i), block);
    }
}

void WritePropertySeeds(const fs::path& folder) {
    const char* texts[] = {"3|1|red|green|blue", "0|-1", "2|5|a|b", "green", "true", "-12", "0x2c_RAW12", "1.5e3", ""};
    int n = 0;
    for (const char* text : texts)
        Write(folder, "text" + std::to_string(n++), std::vector<unsigned char>(text, text + std::strlen(text)));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds FOLDER\n");
        return 1;
    }
    fuzz::Kernel();
    const fs::path root = argv[1];
    WriteElementSeeds(root / "io_element_fuzzer");
    WritePropertySeeds(root / "property_text_fuzzer");
    return 0;
}
