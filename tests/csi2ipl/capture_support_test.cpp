// The capture writer itself: the tests of the decoder lean on its checksums and layout.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "support/capture_writer.hpp"

namespace {

uint8_t Syndrome(uint32_t headerBits, uint8_t ecc) {
    return ecc ^ capture::HeaderEcc(static_cast<uint8_t>(headerBits), static_cast<uint16_t>(headerBits >> 8));
}

TEST(CaptureWriter, HeaderEccLocatesEverySingleBitError) {
    const uint32_t header = 0x2C | (3840u << 8);
    const uint8_t ecc = capture::HeaderEcc(0x2C, 3840);
    EXPECT_EQ(ecc & 0xC0, 0);
    std::set<uint8_t> syndromes;
    for (int bit = 0; bit < 24; ++bit) {
        const uint8_t syndrome = Syndrome(header ^ (1u << bit), ecc);
        EXPECT_GE(__builtin_popcount(syndrome), 3) << "data bit " << bit;
        syndromes.insert(syndrome);
    }
    EXPECT_EQ(syndromes.size(), 24u);
    for (int bit = 0; bit < 6; ++bit) EXPECT_EQ(Syndrome(header, ecc ^ (1u << bit)), 1u << bit);
}

TEST(CaptureWriter, PayloadCrcIsCcittTakenLsbFirstFromAllOnes) {
    const std::string check = "123456789";
    EXPECT_EQ(capture::PayloadCrc(reinterpret_cast<const uint8_t*>(check.data()), check.size()), 0x6F91);
    EXPECT_EQ(capture::PayloadCrc(nullptr, 0), 0xFFFF);
}

TEST(CaptureWriter, FrameStartsWithItsByteCountAndPlacesPackets) {
    capture::FrameWriter writer;
    writer.ShortPacket(0x00, 0);
    writer.LongPacket(0x6A, {1, 2, 3});
    const std::vector<uint8_t> frame = writer.Finish();
    ASSERT_EQ(frame.size(), 64u + 8 + 8 + 3 + 2);
    uint32_t word;
    std::memcpy(&word, frame.data(), 4);
    EXPECT_EQ(word, frame.size());
    const capture::PacketPlacement& packet = writer.Packets()[1];
    EXPECT_EQ(packet.offset, 72u);
    const uint8_t expectedHeader[] = {0xB8, 0xB8, 0xB8, 0xB8, 0x6A, 3, 0, capture::HeaderEcc(0x6A, 3)};
    EXPECT_EQ(std::memcmp(frame.data() + 72, expectedHeader, 8), 0);
    const uint16_t crc = capture::PayloadCrc(frame.data() + 80, 3);
    EXPECT_EQ(frame[83] | frame[84] << 8, crc);
}

}  // namespace
