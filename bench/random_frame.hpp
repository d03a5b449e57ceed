#pragma once
// A frame of random lines for the decoder benchmarks: frame header, then long packets back
// to back with a footer each (checksums are not looked at by the decoder, so they stay zero),
// then a frame end packet, whose preamble the decoder's checks look at in every frame.
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "csi2ipl/csi2_packet.hpp"

inline std::vector<uint8_t> RandomFrame(uint8_t packetType, uint32_t wordCount, uint32_t height) {
    std::vector<uint8_t> frame(csi2ipl::kFrameHeaderBytes, 0);
    std::mt19937 random(42);
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t header[8] = {0xB8, 0xB8, 0xB8, 0xB8, packetType, static_cast<uint8_t>(wordCount),
                                   static_cast<uint8_t>(wordCount >> 8), 0};
        frame.insert(frame.end(), header, header + 8);
        for (uint32_t i = 0; i < wordCount; ++i) frame.push_back(static_cast<uint8_t>(random()));
        frame.insert(frame.end(), {0, 0});
    }
    frame.insert(frame.end(), {0xB8, 0xB8, 0xB8, 0xB8, 0x01, 0, 0, 0});
    const uint32_t size = static_cast<uint32_t>(frame.size());
    std::memcpy(frame.data(), &size, 4);
    return frame;
}
