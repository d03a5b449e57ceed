// Writes the starting corpus of each fuzzer into FOLDER/NAME/: serialised elements of
// every destination kind, property texts of each form, and CSI-2 frames of every data
// type written by the tests' capture writer.
//   fuzz_seeds FOLDER
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "csi2ipl/data_formats.hpp"
#include "dataflow/io_element_implementation.hpp"
#include "fuzz_kernel.hpp"
#include "io_element_destinations.hpp"
#include "support/capture_writer.hpp"

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

// The decoder fuzzer's options (choice, flags, overwrite) before one frame, or before two
// frames with the split bit set.
void WriteDecoderSeeds(const fs::path& folder) {
    int n = 0;
    auto write = [&](uint8_t choice, uint8_t flags, const std::vector<uint8_t>& frames) {
        std::vector<unsigned char> bytes = {choice, flags, 0};
        bytes.insert(bytes.end(), frames.begin(), frames.end());
        Write(folder, "frame" + std::to_string(n++), bytes);
    };
    for (uint8_t dataType : capture::type::kAll) {
        uint8_t choice = 0;
        for (uint8_t i = 0; i < 11; ++i)
            if (csi2ipl::DataTypeOfChoice(i) == dataType) choice = i;
        capture::FrameSpec spec;
        spec.dataType = dataType;
        spec.width = 8 * capture::PixelsPerGroup(dataType);
        spec.height = 3;
        const std::vector<uint8_t> plain = capture::WriteFrame(spec).bytes;
        write(choice, 0x00, plain);  // the type chosen, 16 bits
        write(choice, 0x01, plain);  // limited to 8 bits
        write(0, 0x04, plain);       // detected
        spec.frameMarkers = spec.lineMarkers = true;
        spec.embeddedLines = 1;
        spec.alternateVirtualChannels = true;
        const std::vector<uint8_t> marked = capture::WriteFrame(spec).bytes;
        write(0, 0x08, marked);
        // A stream: the geometry from one frame, another decoded at its offsets.
        std::vector<uint8_t> two = plain;
        two.insert(two.end(), plain.begin(), plain.end());
        write(choice, 0x80 | 0x10, two);
    }
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
    WriteDecoderSeeds(root / "csi2_decoder_fuzzer");
    return 0;
}
