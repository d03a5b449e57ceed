#include "package_trailer.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "info_command.hpp"
#include "sha512.hpp"
#include "support/scratch_files.hpp"
#include "whole_file.hpp"

namespace {

std::string Hex(const std::array<uint8_t, 64>& digest) {
    std::string text;
    char byte[3];
    for (uint8_t value : digest) {
        std::snprintf(byte, sizeof byte, "%02x", value);
        text += byte;
    }
    return text;
}

// The bytes a Base64 text stands for, in hex; "" when it is no Base64.
std::string Base64ToHex(const std::string& text) {
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string hex;
    unsigned bits = 0;
    int count = 0;
    for (const char c : text) {
        if (c == '=') break;
        const size_t value = alphabet.find(c);
        if (value == std::string::npos) return "";
        bits = (bits << 6) | static_cast<unsigned>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            char byte[3];
            std::snprintf(byte, sizeof byte, "%02x", (bits >> count) & 0xFF);
            hex += byte;
        }
    }
    return hex;
}

// The SHA-512 digest of the first `size` bytes of a file, in hex, as the system's own tool
// computes it: a check that does not lean on the digest code it checks.
std::string SystemSha512(const std::string& path, size_t size) {
    const std::string command = "head -c " + std::to_string(size) + " '" + path + "' | sha512sum";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return "";
    char digest[129] = {};
    const size_t read = std::fread(digest, 1, 128, pipe);
    pclose(pipe);
    return std::string(digest, read);
}
}  // namespace

TEST(Sha512, MatchesTheStandardVectors) {
    EXPECT_EQ(Hex(Sha512("", 0)),
              "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce"
              "47d0d13c5d85f2b0ff8318d2877eec2f63b931bd47417a81a538327af927da3e");
    EXPECT_EQ(Hex(Sha512("abc", 3)),
              "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
              "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f");
    // 112 bytes: the length no longer fits the first padding block.
    const char* twoBlocks =
        "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnop"
        "qrstnopqrstu";
    EXPECT_EQ(Hex(Sha512(twoBlocks, 112)),
              "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018"
              "501d289e4900f7e4331b99dec4b5433ac7d329eeb6dd26545e96e55b874be909");
}

// Every package built here ends with its trailer: the texts of the package's own build
// (file name, version, description) among the ones every package shares, and the digest of
// the package as linked. The decoder packages' trailers are byte for byte what the engine
// has always been given.
TEST(PackageTrailer, EveryBuiltPackageEndsWithItsTextsAndItsDigest) {
    struct Case {
        const char* path;
        const char* fileName;
        const char* version;
        const char* description;
    };
    std::vector<Case> cases = {
        {TARN_TEST_PACKAGE, "test_package.pck", "0.9.1", "Component models for the engine-link and host tests"}};
#ifdef PIXTRACT_CPU_PATH
    cases.push_back({PIXTRACT_CPU_PATH, "pixtract_cpu.pck", "2.0.0",
                     "Component for decoding CSI2 data stream from camera"});
#endif
#ifdef PIXTRACT_GPU_PATH
    cases.push_back({PIXTRACT_GPU_PATH, "pixtract_gpu.pck", "2.0.0",
                     "Component for decoding CSI2 data stream from camera"});
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const PackageTrailer trailer = ReadPackageTrailer(c.path);
        ASSERT_TRUE(trailer.found) << trailer.error;
        const std::vector<std::pair<std::string, std::string>> expected = {
            {"FILENAME", c.fileName},
            {"OS", "ubuntu1804"},
            {"ARCH", "x86_64"},
            {"VERSION", c.version},
            {"DATE", "20221231"},
            {"TARGET", "tarnvel"},
            {"SIG", trailer.Value("SIG")},
            {"GENID", "Korvix"},
            {"DESCRIPTION", c.description},
        };
        EXPECT_EQ(trailer.entries, expected);
        EXPECT_EQ(trailer.Value("SIG").size(), 88u);
        EXPECT_EQ(trailer.Value("SIG").substr(86), "==");
        EXPECT_TRUE(trailer.digestMatches);
        // The block, then its byte count: nothing after it.
        const std::string bytes = ReadWholeFile(c.path).value();
        const std::string digest = SystemSha512(c.path, bytes.size() - 4 - trailer.size);
        ASSERT_EQ(digest.size(), 128u) << "sha512sum gave no digest";
        EXPECT_EQ(Base64ToHex(trailer.Value("SIG")), digest);
        const std::string texts = bytes.substr(bytes.size() - 4 - trailer.size, trailer.size);
        EXPECT_EQ(texts.substr(0, 13), std::string("PACKAGE_INFO\0", 13));
        if (std::string(c.fileName).rfind("pixtract_", 0) == 0) {
            EXPECT_EQ(trailer.size, 278u);
            EXPECT_EQ(texts.substr(texts.size() - 64),
                      std::string("DESCRIPTION=Component for decoding CSI2 data stream from camera\0", 64));
        }
    }
}

TEST(PackageTrailer, ACorruptedPackageFailsTheDigest) {
    std::string bytes = ReadWholeFile(TARN_TEST_PACKAGE).value();
    ASSERT_GT(bytes.size(), 1000u);
    bytes[500] ^= 0x01;
    const std::string path = ScratchPath("corrupted.pck");
    WriteWholeFile(path, bytes);
    const PackageTrailer trailer = ReadPackageTrailer(path);
    EXPECT_TRUE(trailer.found);
    EXPECT_FALSE(trailer.digestMatches);
    std::remove(path.c_str());
}

// None of these ends is a trailer; only one that starts as a trailer and then breaks is a
// damaged one rather than none at all.
TEST(PackageTrailer, MalformedEndsAreNotTrailers) {
    const std::string path = ScratchPath("not_a_trailer.bin");
    const struct {
        std::string bytes;
        bool damaged;
    } cases[] = {
        {std::string("ab"), false},                                       // shorter than the count word
        {std::string("PACKAGE_INFO\0", 13) + "\xff\x00\x00\x00", false},  // count beyond the file
        {std::string("OTHER\0", 6) + std::string("\x06\x00\x00\x00", 4), false},
        {std::string("PACKAGE_INFO\0NOEQUALS\0", 23) + std::string("\x17\x00\x00\x00", 4), true},
    };
    for (const auto& c : cases) {
        WriteWholeFile(path, c.bytes);
        const PackageTrailer trailer = ReadPackageTrailer(path);
        EXPECT_FALSE(trailer.found) << c.bytes.size();
        EXPECT_FALSE(trailer.error.empty());
        EXPECT_EQ(trailer.damaged, c.damaged) << c.bytes.size();
    }
    std::remove(path.c_str());
}

// A package loads and is shown whether or not its build wrote a trailer; a trailer that is
// there but broken, or whose digest does not match, fails the command.
TEST(InfoCommand, APackageWithoutATrailerIsShownAndOnlyABrokenOneFails) {
    const std::string package = ReadWholeFile(TARN_TEST_PACKAGE).value();
    const PackageTrailer trailer = ReadPackageTrailer(TARN_TEST_PACKAGE);
    ASSERT_TRUE(trailer.found);
    const size_t trailerStart = package.size() - 4 - trailer.size;
    std::string brokenEntry = package;
    const size_t genid = brokenEntry.find("GENID=", trailerStart);
    ASSERT_NE(genid, std::string::npos);
    brokenEntry[genid + 5] = '_';
    std::string changedByte = package;
    changedByte[500] ^= 0x01;
    const struct {
        const char* name;
        std::string bytes;
        int status;
        const char* trailerLine;
    } cases[] = {
        {"no trailer", package.substr(0, trailerStart), 0, "trailer: none ("},
        {"an entry without its =", brokenEntry, 1,
         "trailer: DAMAGED (malformed trailer entry \"GENID_Korvix\")\n"},
        {"a byte changed", changedByte, 1, "digest: DOES NOT MATCH\n"},
    };
    const std::string path = ScratchPath("trailer_case.pck");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteWholeFile(path, c.bytes);
        std::ostringstream out, err;
        EXPECT_EQ(RunInfoCommand(path, out, err), c.status) << err.str();
        EXPECT_NE(out.str().find("  test_model 2.5 (group TARNComponent)\n    input in: any type\n"),
                  std::string::npos)
            << out.str();
        EXPECT_NE(out.str().find(c.trailerLine), std::string::npos) << out.str();
    }
    std::remove(path.c_str());
}

TEST(InfoCommand, PrintsTheAnswerTheModelsAndTheTrailer) {
    std::ostringstream out, err;
    EXPECT_EQ(RunInfoCommand(TARN_TEST_PACKAGE, out, err), 0) << err.str();
    const std::string text = out.str();
    EXPECT_NE(text.find("TARNPckInit: 4 (accepted: the package is built for engine kernel version 4)\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("models: 2\n  test_model 2.5 (group TARNComponent)\n    input in: any type\n"
                        "    output out: Integer32 vector\n    property gain: integer = 100\n"
                        "  second_model 1.0 (group TARNComponent)\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("  FILENAME=test_package.pck\n"), std::string::npos) << text;
    EXPECT_NE(text.find("digest: matches\n"), std::string::npos) << text;
}

TEST(InfoCommand, FailsOnAFileThatIsNoPackage) {
    const std::string path = ScratchPath("plain.txt");
    WriteWholeFile(path, "hello");
    std::ostringstream out, err;
    EXPECT_EQ(RunInfoCommand(path, out, err), 1);
    EXPECT_NE(err.str().find("cannot load"), std::string::npos);
    std::remove(path.c_str());
}
