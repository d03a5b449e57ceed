#include "tarn/runtime/hash_table.hpp"

#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

using String = TARNStackedString<40>;
using Table = TARNStringHashTable<String>;

namespace {

unsigned long stringHash(const std::string& bytes) {
    return TARNStringHashFunction::hash(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                                        57005);
}

std::string highBytes47() {
    std::string s;
    for (int b = 0x80; b < 0x80 + 47; ++b) s += static_cast<char>(b);
    return s;
}

// A key of the form "kN" whose bucket among 16 is the one asked for.
std::string keyInBucket(unsigned long bucket) {
    for (int n = 0;; ++n) {
        const std::string key = "k" + std::to_string(n);
        if ((stringHash(key) & 15) == bucket) return key;
    }
}

std::vector<std::string> visit(const Table& table) {
    std::vector<std::string> keys;
    TARNHashTableIterator it;
    while (const auto* pair = table.nextX(it)) {
        EXPECT_EQ(it.pair, pair);
        keys.emplace_back(pair->key.c_str(), pair->key.Length());
    }
    EXPECT_EQ(table.nextX(it), nullptr);  // stays at the end
    return keys;
}

// Values are the insertion indices: within each bucket they must rise from front to back.
void expectInsertionOrderInEachBucket(const Table& table) {
    TARNHashTableIterator it;
    int bucket = -1;
    int previous = -1;
    while (const auto* pair = table.nextX(it)) {
        if (it.bucket != bucket) {
            bucket = it.bucket;
            previous = -1;
        }
        const int index = std::stoi(pair->value.c_str());
        EXPECT_GT(index, previous) << "bucket " << bucket << " of " << table.BucketCount();
        previous = index;
    }
}

// The value of the first pair with the key, or "<none>".
std::string valueOf(const Table& table, const char* key) {
    const String* value = table.Lookup(key);
    return value ? std::string(value->c_str(), value->Length()) : "<none>";
}

}  // namespace

struct HashCase {
    const char* name;
    std::string bytes;
    unsigned long expected;
};

// Test names (and the names CTest gives them) show the case's name, not the bytes of the struct.
void PrintTo(const HashCase& c, std::ostream* os) {
    *os << c.name;
}

class StringHash : public ::testing::TestWithParam<HashCase> {};

// Expected values come from a separate implementation of lookup8 written from the
// published algorithm, not from this code.
TEST_P(StringHash, MatchesTheReferenceLookup8) {
    EXPECT_EQ(stringHash(GetParam().bytes), GetParam().expected);
    String key;
    key.init(static_cast<int>(GetParam().bytes.size()), GetParam().bytes.data());
    EXPECT_EQ(TARNStringHashFunction()(key), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, StringHash,
    ::testing::Values(HashCase{"Empty", "", 0x49624d69a12af83aUL},
                      HashCase{"OneByte", "a", 0xf6038801031ca0bdUL},
                      HashCase{"TwoNuls", std::string("\0\0", 2), 0x22923484f6ef6643UL},
                      HashCase{"Length16", "sixteen-bytes-ok", 0x6826c33a462e2d95UL},
                      HashCase{"Length17", "seventeen-bytes!!", 0xf5c19360373f6b05UL},
                      HashCase{"Length23", "abcdefghijklmnopqrstuvw", 0x4ca2121d9382e77cUL},
                      HashCase{"Length24", "abcdefghijklmnopqrstuvwx", 0xdeaca13f449b2746UL},
                      HashCase{"Length47HighBytes", highBytes47(), 0x08c9df30c3d62585UL},
                      HashCase{"Length48", "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKL",
                               0xb10d6130ee63c392UL},
                      HashCase{"ByteFF", "\xff", 0x8f17893e24c06a6aUL},
                      HashCase{"Utf8Text",
                               "caf\xc3\xa9 \xc3\xbc"
                               "ber",
                               0x77010ac5a6cca0f2UL}),
    [](const ::testing::TestParamInfo<HashCase>& info) { return std::string(info.param.name); });

TEST(StringHash, LevelSeedsTheHash) {
    EXPECT_EQ(TARNStringHashFunction::hash(reinterpret_cast<const unsigned char*>(""), 0, 0),
              0x8db63936938575bfUL);
}

TEST(HashTable, NewTableHas16EmptyBucketsAndIteratesToNull) {
    Table table;
    EXPECT_EQ(table.Bits(), 4);
    EXPECT_EQ(table.BucketCount(), 16);
    EXPECT_EQ(table.Size(), 0);
    TARNHashTableIterator it;
    EXPECT_EQ(table.nextX(it), nullptr);
    EXPECT_EQ(it.pair, nullptr);
    EXPECT_EQ(table.nextX(it), nullptr);
}

TEST(HashTable, PairInTheLastBucketIsFoundThenNull) {
    Table table;
    const std::string key = keyInBucket(15);
    table.Insert(key.c_str(), "v");
    TARNHashTableIterator it;
    const auto* pair = table.nextX(it);
    ASSERT_NE(pair, nullptr);
    EXPECT_EQ(it.bucket, 15);
    EXPECT_TRUE(pair->key == key.c_str());
    EXPECT_EQ(pair->hash, static_cast<unsigned int>(stringHash(key)));
    EXPECT_EQ(table.nextX(it), nullptr);
}

TEST(HashTable, IteratesBucketsInOrderAndEachBucketFrontToBack) {
    Table table;
    const std::string late = keyInBucket(9);
    const std::string early = keyInBucket(2);
    table.Insert(late.c_str(), "1");
    table.Insert(early.c_str(), "2");
    table.Insert(late.c_str(), "3");  // same key again: a second pair behind the first
    EXPECT_EQ(visit(table), (std::vector<std::string>{early, late, late}));
    EXPECT_EQ(table.Size(), 3);
}

TEST(HashTable, LookupFindsTheFirstEqualKeyAndRemoveTakesIt) {
    Table table;
    table.Insert("HOME", "/home/a");
    table.Insert("HOME", "/home/b");
    table.Insert(String("PATH"), "/bin");
    ASSERT_NE(table.Lookup("HOME"), nullptr);
    EXPECT_TRUE(*table.Lookup("HOME") == "/home/a");
    EXPECT_EQ(table.Lookup("HOM"), nullptr);  // same prefix, other length
    EXPECT_EQ(table.Lookup("home"), nullptr);

    EXPECT_TRUE(table.Remove("HOME"));
    EXPECT_TRUE(*table.Lookup("HOME") == "/home/b");
    EXPECT_TRUE(table.Remove("HOME"));
    EXPECT_EQ(table.Lookup("HOME"), nullptr);
    EXPECT_FALSE(table.Remove("HOME"));
    EXPECT_EQ(table.Size(), 1);
}

TEST(HashTable, GrowsWhenPairsOutnumberBucketsAndKeepsEveryPair) {
    Table table;
    std::map<std::string, std::string> expected;
    for (int i = 0; i < 16; ++i) {
        const std::string key = "name" + std::to_string(i);
        table.Insert(key.c_str(), std::to_string(i).c_str());
        expected[key] = std::to_string(i);
    }
    EXPECT_EQ(table.BucketCount(), 16);  // 16 pairs do not exceed 16 buckets
    table.Insert("name16", "16");
    expected["name16"] = "16";
    EXPECT_EQ(table.BucketCount(), 32);
    EXPECT_EQ(table.Bits(), 5);
    for (int i = 17; i < 100; ++i) {
        const std::string key = "name" + std::to_string(i);
        table.Insert(key.c_str(), std::to_string(i).c_str());
        expected[key] = std::to_string(i);
    }
    EXPECT_EQ(table.BucketCount(), 128);
    EXPECT_EQ(table.Size(), 100);

    for (const auto& [key, value] : expected) {
        const String* found = table.Lookup(key.c_str());
        ASSERT_NE(found, nullptr) << key;
        EXPECT_TRUE(*found == value.c_str());
    }
    // Every pair once, each in the bucket of its hash.
    std::vector<std::string> keys;
    TARNHashTableIterator it;
    int lastBucket = 0;
    while (const auto* pair = table.nextX(it)) {
        EXPECT_EQ(stringHash(std::string(pair->key.c_str(), pair->key.Length())) & 127,
                  static_cast<unsigned long>(it.bucket));
        EXPECT_GE(it.bucket, lastBucket);
        lastBucket = it.bucket;
        keys.emplace_back(pair->key.c_str());
    }
    EXPECT_EQ(keys.size(), expected.size());
}

// Growth moves the pairs, in iteration order, to the back of their new bucket, so pairs
// that share a bucket keep the order they were inserted in: of two pairs with one key,
// lookup still finds the earlier one, and removal takes it.
TEST(HashTable, GrowthKeepsTheInsertionOrderWithinEachBucket) {
    Table table;
    int inserted = 0;
    auto insert = [&](const std::string& key) {
        table.Insert(key.c_str(), std::to_string(inserted++).c_str());
    };
    insert("dup");
    insert("dup");
    while (inserted < 17) insert("name" + std::to_string(inserted));  // the 17th pair grows the table
    ASSERT_EQ(table.BucketCount(), 32);
    expectInsertionOrderInEachBucket(table);
    EXPECT_EQ(valueOf(table, "dup"), "0");

    insert("dup");
    while (inserted < 33) insert("name" + std::to_string(inserted));  // and again, to 64
    ASSERT_EQ(table.BucketCount(), 64);
    expectInsertionOrderInEachBucket(table);
    EXPECT_EQ(valueOf(table, "dup"), "0");
    EXPECT_TRUE(table.Remove("dup"));
    EXPECT_EQ(valueOf(table, "dup"), "1");
    EXPECT_TRUE(table.Remove("dup"));
    EXPECT_EQ(valueOf(table, "dup"), "17");
}

TEST(HashTable, WithoutAutomaticGrowthKeepsItsBuckets) {
    Table table(4, false);
    for (int i = 0; i < 40; ++i) table.Insert(std::to_string(i).c_str(), "x");
    EXPECT_EQ(table.BucketCount(), 16);
    EXPECT_EQ(visit(table).size(), 40u);
    EXPECT_NE(table.Lookup("39"), nullptr);
}

TEST(HashTable, CopyIsDeep) {
    Table table;
    table.Insert("key", "value");
    Table copy(table);
    *copy.Lookup("key") = "changed";
    EXPECT_TRUE(*table.Lookup("key") == "value");
    copy = table;
    EXPECT_TRUE(*copy.Lookup("key") == "value");
    EXPECT_EQ(copy.Size(), 1);
}
