#pragma once
// A frame of random lines for the decoder benchmarks: frame header, then long packets back
// to back with a footer each (checksums are not looked at by the decoder, so they stay zero),
// then a frame end packet, whose preamble the decoder's checks look at in every frame, as
// they look at the packets before the first line and behind the last.
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "csi2ipl/csi2_packet.hpp"

// With `markers`, a frame start packet before the lines and a line start and end packet
// around each line, as sensors that mark every line send them.
inline std::vector<uint8_t> RandomFrame(uint8_t packetType, uint32_t wordCount, uint32_t height,
                                        bool markers = false) {
    std::vector<uint8_t> frame(csi2ipl::kFrameHeaderBytes, 0);
    const auto shortPacket = [&](uint8_t type, uint32_t value) {
        frame.insert(frame.end(), {0xB8, 0xB8, 0xB8, 0xB8, type, static_cast<uint8_t>(value),
                                   static_cast<uint8_t>(value >> 8), 0});
    };
    std::mt19937 random(42);
    if (markers) shortPacket(0x00, 1);
    for (uint32_t y = 0; y < height; ++y) {
        if (markers) shortPacket(0x02, y);
        const uint8_t header[8] = {0xB8, 0xB8, 0xB8, 0xB8, packetType, static_cast<uint8_t>(wordCount),
                                   static_cast<uint8_t>(wordCount >> 8), 0};
        frame.insert(frame.end(), header, header + 8);
        for (uint32_t i = 0; i < wordCount; ++i) frame.push_back(static_cast<uint8_t>(random()));
        frame.insert(frame.end(), {0, 0});
        if (markers) shortPacket(0x03, y);
    }
    shortPacket(0x01, 1);
    const uint32_t size = static_cast<uint32_t>(frame.size());
    std::memcpy(frame.data(), &size, 4);
    return frame;
}
