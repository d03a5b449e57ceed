#include "support/capture_writer.hpp"

#include <fstream>
#include <stdexcept>

namespace capture {

namespace {

// Which of the 24 header bits (identifier bits 0..7, word count bits 8..23) each of the
// six parity bits covers. Every data bit has its own pattern of three or more parity
// bits, so one flipped bit can be found and mended.
constexpr uint32_t kParityCover[6] = {
    (1u << 0) | (1u << 1) | (1u << 2) | (1u << 4) | (1u << 5) | (1u << 7) | (1u << 10) | (1u << 11) | (1u << 13) |
        (1u << 16) | (1u << 20) | (1u << 21) | (1u << 22) | (1u << 23),
    (1u << 0) | (1u << 1) | (1u << 3) | (1u << 4) | (1u << 6) | (1u << 8) | (1u << 10) | (1u << 12) | (1u << 14) |
        (1u << 17) | (1u << 20) | (1u << 21) | (1u << 22) | (1u << 23),
    (1u << 0) | (1u << 2) | (1u << 3) | (1u << 5) | (1u << 6) | (1u << 9) | (1u << 11) | (1u << 12) | (1u << 15) |
        (1u << 18) | (1u << 20) | (1u << 21) | (1u << 22),
    (1u << 1) | (1u << 2) | (1u << 3) | (1u << 7) | (1u << 8) | (1u << 9) | (1u << 13) | (1u << 14) | (1u << 15) |
        (1u << 19) | (1u << 20) | (1u << 21) | (1u << 23),
    (1u << 4) | (1u << 5) | (1u << 6) | (1u << 7) | (1u << 8) | (1u << 9) | (1u << 16) | (1u << 17) | (1u << 18) |
        (1u << 19) | (1u << 20) | (1u << 22) | (1u << 23),
    (1u << 10) | (1u << 11) | (1u << 12) | (1u << 13) | (1u << 14) | (1u << 15) | (1u << 16) | (1u << 17) |
        (1u << 18) | (1u << 19) | (1u << 21) | (1u << 22) | (1u << 23),
};

void PutLittleEndian32(uint8_t* to, uint32_t value) {
    for (int i = 0; i < 4; ++i) to[i] = static_cast<uint8_t>(value >> (8 * i));
}

// One channel value of a gradient pattern, `bits` wide.
uint32_t Gradient(uint32_t x, uint32_t y, uint32_t channel, unsigned bits) {
    const uint32_t ramp = (x * 4 + y * 2 + channel * 85) & 0xFF;  // an 8-bit ramp, stretched
    return static_cast<uint32_t>(uint64_t{ramp} * ((1u << bits) - 1) / 255);
}

void PackGradient(uint8_t dataType, uint32_t width, uint32_t y, std::vector<uint8_t>& out) {
    auto value = [&](uint32_t x, uint32_t channel, unsigned bits) {
        return Gradient(x, y, channel, bits) & ((1u << bits) - 1);
    };
    for (uint32_t x = 0; x < width; x += PixelsPerGroup(dataType)) {
        switch (dataType) {
            case type::kRaw8:
                out.push_back(static_cast<uint8_t>(value(x, 0, 8)));
                break;
            case type::kRgb888:  // blue, green, red
                for (uint32_t c = 0; c < 3; ++c) out.push_back(static_cast<uint8_t>(value(x, c, 8)));
                break;
            case type::kRaw10: {
                uint8_t low = 0;
                for (uint32_t k = 0; k < 4; ++k) {
                    const uint32_t p = value(x + k, 0, 10);
                    out.push_back(static_cast<uint8_t>(p >> 2));
                    low |= static_cast<uint8_t>((p & 3) << (2 * k));
                }
                out.push_back(low);
                break;
            }
            case type::kRaw12: {
                const uint32_t p0 = value(x, 0, 12), p1 = value(x + 1, 0, 12);
                out.push_back(static_cast<uint8_t>(p0 >> 4));
                out.push_back(static_cast<uint8_t>(p1 >> 4));
                out.push_back(static_cast<uint8_t>((p0 & 0xF) | (p1 & 0xF) << 4));
                break;
            }
            case type::kRaw16: {  // the decoder takes the first byte as the high byte
                const uint32_t p = value(x, 0, 16);
                out.push_back(static_cast<uint8_t>(p >> 8));
                out.push_back(static_cast<uint8_t>(p));
                break;
            }
            case type::kRaw20: {
                const uint32_t p0 = value(x, 0, 20), p1 = value(x + 1, 0, 20);
                out.push_back(static_cast<uint8_t>(p0 >> 12));
                out.push_back(static_cast<uint8_t>(p0 >> 4));
                out.push_back(static_cast<uint8_t>(p1 >> 12));
                out.push_back(static_cast<uint8_t>(p1 >> 4));
                out.push_back(static_cast<uint8_t>((p0 & 0xF) | (p1 & 0xF) << 4));
                break;
            }
            case type::kRaw24: {
                const uint32_t p = value(x, 0, 24);
                out.push_back(static_cast<uint8_t>(p >> 16));
                out.push_back(static_cast<uint8_t>(p >> 4));
                out.push_back(static_cast<uint8_t>(((p >> 12) & 0xF) | (p & 0xF) << 4));
                break;
            }
            case type::kYuv422_8:
            case type::kYuv422_8_YUSwapped: {
                const uint8_t y0 = static_cast<uint8_t>(value(x, 0, 8)), y1 = static_cast<uint8_t>(value(x + 1, 0, 8));
                const uint8_t u = static_cast<uint8_t>(value(x, 1, 8)), v = static_cast<uint8_t>(value(x, 2, 8));
                const std::vector<uint8_t> group = dataType == type::kYuv422_8 ? std::vector<uint8_t>{u, y0, v, y1}
                                                                                : std::vector<uint8_t>{y0, u, y1, v};
                out.insert(out.end(), group.begin(), group.end());
                break;
            }
            case type::kYuv422_10: {  // Y0 U Y1 V high bytes, then their low bits in that order
                const uint32_t samples[4] = {value(x, 0, 10), value(x, 1, 10), value(x + 1, 0, 10), value(x, 2, 10)};
                uint8_t low = 0;
                for (int k = 0; k < 4; ++k) {
                    out.push_back(static_cast<uint8_t>(samples[k] >> 2));
                    low |= static_cast<uint8_t>((samples[k] & 3) << (2 * k));
                }
                out.push_back(low);
                break;
            }
            default:
                throw std::invalid_argument("capture: no packing for this data type");
        }
    }
}

}  // namespace

uint8_t HeaderEcc(uint8_t dataIdentifier, uint16_t wordCount) {
    const uint32_t bits = dataIdentifier | static_cast<uint32_t>(wordCount) << 8;
    uint8_t ecc = 0;
    for (int p = 0; p < 6; ++p) ecc |= static_cast<uint8_t>((__builtin_popcount(bits & kParityCover[p]) & 1) << p);
    return ecc;
}

uint16_t PayloadCrc(const uint8_t* bytes, size_t count) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0x8408) : crc >> 1;
    }
    return crc;
}

void PutPacketHeader(uint8_t* to, uint8_t dataIdentifier, uint16_t wordCount) {
    to[0] = to[1] = to[2] = to[3] = 0xB8;
    to[4] = dataIdentifier;
    to[5] = static_cast<uint8_t>(wordCount);
    to[6] = static_cast<uint8_t>(wordCount >> 8);
    to[7] = HeaderEcc(dataIdentifier, wordCount);
}

FrameWriter::FrameWriter() : bytes_(64, 0) {}

void FrameWriter::SetHeaderBytes(size_t at, const std::vector<uint8_t>& bytes) {
    if (at < 4 || at + bytes.size() > 64) throw std::out_of_range("capture: header bytes 4 to 63 only");
    std::copy(bytes.begin(), bytes.end(), bytes_.begin() + static_cast<ptrdiff_t>(at));
}

void FrameWriter::LongPacket(uint8_t dataIdentifier, const std::vector<uint8_t>& payload) {
    if (payload.size() > 0xFFFF) throw std::invalid_argument("capture: payload above 65535 bytes");
    const size_t at = bytes_.size();
    packets_.push_back({static_cast<uint32_t>(at), dataIdentifier, static_cast<uint32_t>(payload.size())});
    bytes_.resize(at + 8);
    PutPacketHeader(bytes_.data() + at, dataIdentifier, static_cast<uint16_t>(payload.size()));
    bytes_.insert(bytes_.end(), payload.begin(), payload.end());
    const uint16_t crc = PayloadCrc(payload.data(), payload.size());
    bytes_.push_back(static_cast<uint8_t>(crc));
    bytes_.push_back(static_cast<uint8_t>(crc >> 8));
}

void FrameWriter::ShortPacket(uint8_t dataIdentifier, uint16_t data) {
    const size_t at = bytes_.size();
    packets_.push_back({static_cast<uint32_t>(at), dataIdentifier, 0});
    bytes_.resize(at + 8);
    PutPacketHeader(bytes_.data() + at, dataIdentifier, data);
}

void FrameWriter::Bytes(const std::vector<uint8_t>& bytes) { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }

std::vector<uint8_t> FrameWriter::Finish() {
    PutLittleEndian32(bytes_.data(), static_cast<uint32_t>(bytes_.size()));
    return bytes_;
}

uint32_t PixelsPerGroup(uint8_t dataType) {
    switch (dataType) {
        case type::kRaw10:
            return 4;
        case type::kRaw12:
        case type::kRaw20:
        case type::kYuv422_8:
        case type::kYuv422_8_YUSwapped:
        case type::kYuv422_10:
            return 2;
        default:
            return 1;
    }
}

uint32_t WordCountFor(uint8_t dataType, uint32_t width) {
    switch (dataType) {
        case type::kRaw8:
            return width;
        case type::kRaw16:
            return width * 2;
        case type::kRgb888:
        case type::kRaw24:
            return width * 3;
        case type::kRaw10:
            return width / 4 * 5;
        case type::kRaw12:
            return width / 2 * 3;
        case type::kRaw20:
        case type::kYuv422_10:
            return width / 2 * 5;
        case type::kYuv422_8:
        case type::kYuv422_8_YUSwapped:
            return width / 2 * 4;
        default:
            throw std::invalid_argument("capture: unknown data type");
    }
}

uint8_t PacketTypeOf(uint8_t dataType) { return dataType == type::kYuv422_8_YUSwapped ? type::kYuv422_8 : dataType; }

std::vector<uint8_t> LinePayload(uint8_t dataType, uint32_t width, uint32_t y, Pattern pattern,
                                 std::mt19937& random) {
    if (width % PixelsPerGroup(dataType) != 0) throw std::invalid_argument("capture: width not whole groups");
    std::vector<uint8_t> payload;
    if (pattern == Pattern::kRandom) {
        payload.resize(WordCountFor(dataType, width));
        for (uint8_t& byte : payload) byte = static_cast<uint8_t>(random());
    } else {
        PackGradient(dataType, width, y, payload);
    }
    return payload;
}

CaptureFrame WriteFrame(const FrameSpec& spec) {
    std::mt19937 random(spec.seed);
    FrameWriter writer;
    const uint8_t vc = static_cast<uint8_t>(spec.virtualChannel << 6);
    if (spec.frameMarkers) writer.ShortPacket(vc | 0x00, 1);
    for (uint32_t i = 0; i < spec.embeddedLines; ++i) {
        std::vector<uint8_t> embedded(spec.embeddedBytes);
        for (uint8_t& byte : embedded) byte = static_cast<uint8_t>(random());
        writer.LongPacket(vc | type::kEmbedded, embedded);
    }
    CaptureFrame frame;
    for (uint32_t y = 0; y < spec.height; ++y) {
        const uint8_t lineVc =
            static_cast<uint8_t>(((spec.virtualChannel + (spec.alternateVirtualChannels ? y % 2 : 0)) & 3) << 6);
        if (spec.lineMarkers) writer.ShortPacket(lineVc | 0x02, static_cast<uint16_t>(y));
        writer.LongPacket(lineVc | PacketTypeOf(spec.dataType), LinePayload(spec.dataType, spec.width, y, spec.pattern, random));
        frame.lines.push_back(writer.Packets().back());
        if (spec.lineMarkers) writer.ShortPacket(lineVc | 0x03, static_cast<uint16_t>(y));
    }
    if (spec.frameMarkers) writer.ShortPacket(vc | 0x01, 1);
    frame.bytes = writer.Finish();
    return frame;
}

void WriteCapture(const std::string& path, const std::vector<std::vector<uint8_t>>& frames) {
    std::ofstream out(path, std::ios::binary);
    for (const std::vector<uint8_t>& frame : frames)
        out.write(reinterpret_cast<const char*>(frame.data()), static_cast<std::streamsize>(frame.size()));
    if (!out) throw std::runtime_error("capture: cannot write " + path);
}

}  // namespace capture
