#include "package_trailer.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "info_command.hpp"
#include "sha512.hpp"

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

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
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

TEST(PackageTrailer, TheBuiltPackageEndsWithTheTrailerAndItsDigest) {
    const PackageTrailer trailer = ReadPackageTrailer(TARN_TEST_PACKAGE);
    ASSERT_TRUE(trailer.found) << trailer.error;
    EXPECT_EQ(trailer.size, 278u);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"FILENAME", "test_package.pck"},
        {"OS", "ubuntu1804"},
        {"ARCH", "x86_64"},
        {"VERSION", "2.0.0"},
        {"DATE", "20221231"},
        {"TARGET", "tarnvel"},
        {"SIG", trailer.Value("SIG")},
        {"GENID", "Korvix"},
        {"DESCRIPTION", "Component for decoding CSI2 data stream from camera"},
    };
    EXPECT_EQ(trailer.entries, expected);
    EXPECT_EQ(trailer.Value("SIG").size(), 88u);
    EXPECT_EQ(trailer.Value("SIG").substr(86), "==");
    EXPECT_TRUE(trailer.digestMatches);
}

TEST(PackageTrailer, ACorruptedPackageFailsTheDigest) {
    std::string bytes = ReadFile(TARN_TEST_PACKAGE);
    ASSERT_GT(bytes.size(), 1000u);
    bytes[500] ^= 0x01;
    const std::string path = ::testing::TempDir() + "corrupted_" + std::to_string(getpid()) + ".pck";
    WriteFile(path, bytes);
    const PackageTrailer trailer = ReadPackageTrailer(path);
    EXPECT_TRUE(trailer.found);
    EXPECT_FALSE(trailer.digestMatches);
    std::remove(path.c_str());
}

TEST(PackageTrailer, MalformedEndsAreNotTrailers) {
    const std::string path = ::testing::TempDir() + "not_a_trailer_" + std::to_string(getpid()) + ".bin";
    const std::string cases[] = {
        std::string("ab"),                                       // shorter than the count word
        std::string("PACKAGE_INFO\0", 13) + "\xff\x00\x00\x00",  // count beyond the file
        std::string("OTHER\0", 6) + std::string("\x06\x00\x00\x00", 4),
        std::string("PACKAGE_INFO\0NOEQUALS\0", 23) + std::string("\x17\x00\x00\x00", 4),
    };
    for (const std::string& bytes : cases) {
        WriteFile(path, bytes);
        const PackageTrailer trailer = ReadPackageTrailer(path);
        EXPECT_FALSE(trailer.found) << bytes.size();
        EXPECT_FALSE(trailer.error.empty());
    }
    std::remove(path.c_str());
}

TEST(InfoCommand, PrintsTheAnswerTheModelsAndTheTrailer) {
    std::ostringstream out, err;
    EXPECT_EQ(RunInfoCommand(TARN_TEST_PACKAGE, out, err), 0) << err.str();
    const std::string text = out.str();
    EXPECT_NE(text.find("TARNPckInit: 4\n"), std::string::npos) << text;
    EXPECT_NE(text.find("models: 2\n  test_model 2.5\n    input in\n    output out\n    property gain\n"
                        "  second_model 1.0\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("  FILENAME=test_package.pck\n"), std::string::npos) << text;
    EXPECT_NE(text.find("digest: matches\n"), std::string::npos) << text;
}

TEST(InfoCommand, FailsOnAFileThatIsNoPackage) {
    const std::string path = ::testing::TempDir() + "plain_" + std::to_string(getpid()) + ".txt";
    WriteFile(path, "hello");
    std::ostringstream out, err;
    EXPECT_EQ(RunInfoCommand(path, out, err), 1);
    EXPECT_NE(err.str().find("cannot load"), std::string::npos);
    std::remove(path.c_str());
}
