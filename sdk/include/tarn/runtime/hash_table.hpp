// Chained hash tables keyed by strings, with the 64-bit lookup8 string hash.
#pragma once

#include "tarn/runtime/list.hpp"
#include "tarn/runtime/pair.hpp"
#include "tarn/runtime/ring_array.hpp"
#include "tarn/runtime/stacked_string.hpp"

// Hash functor over keys of type K.
template <class K>
class TARNHashFunction {
  public:
    virtual ~TARNHashFunction() = default;
    virtual unsigned long operator()(const K& key) const = 0;
};

// The public-domain 64-bit lookup8 string hash over a string's bytes, seeded with 57005.
class TARNStringHashFunction : public TARNHashFunction<TARNStackedString<40>> {
  public:
    static constexpr unsigned long Seed = 57005;

    // hash(characters, length, Seed); the terminating NUL is not hashed.
    unsigned long operator()(const TARNStackedString<40>& key) const override;
    // lookup8 of `length` bytes with the given level (seed). Bytes are unsigned.
    static unsigned long hash(const unsigned char* key, unsigned long length, unsigned long level);
    // The reversible mixing step of three 64-bit words.
    static void mix64(unsigned long& a, unsigned long& b, unsigned long& c);
};

// Position of an iteration over a hash table (see nextX). A fresh iterator starts before
// the first pair.
struct TARNHashTableIterator {
    int bucket = -1;
    TARNBasicListItem* item = nullptr;
    const void* pair = nullptr;
};

class TARNBasicHashTable {
  public:
    virtual ~TARNBasicHashTable() = default;
};

// Hash table whose buckets are lists of pairs, in a ring array of 2^bits buckets. The
// bucket of a key is its hash masked by the bucket count; new pairs go to the back of
// their bucket. With automatic growth on, an insertion that makes the pair count exceed
// the bucket count doubles the buckets.
template <class K, class V, class H>
class TARNHashTable : public TARNBasicHashTable {
  public:
    using Pair = TARNPair<K, V>;
    using Bucket = TARNList<Pair>;

    // 2^bits empty buckets; bits is kept within 0..30.
    explicit TARNHashTable(int bits = 4, bool autoGrow = true)
        : buckets(newBuckets(clampBits(bits))), bits(clampBits(bits)), counter(0), owns(autoGrow) {}
    TARNHashTable(const TARNHashTable& other)
        : buckets(new TARNArray<Bucket>(*other.buckets)),
          bits(other.bits),
          counter(other.counter),
          owns(other.owns) {}
    TARNHashTable& operator=(const TARNHashTable& other) {
        if (this != &other) {
            TARNArray<Bucket>* copy = new TARNArray<Bucket>(*other.buckets);
            delete buckets;
            buckets = copy;
            bits = other.bits;
            counter = other.counter;
            owns = other.owns;
        }
        return *this;
    }
    ~TARNHashTable() override { delete buckets; }

    // Appends a new pair; an existing pair with an equal key is not looked for.
    void Insert(const K& key, const V& value) {
        const unsigned long h = hash(key);
        (*buckets)[static_cast<int>(h & mask())].PushBack(Pair(static_cast<unsigned int>(h), key, value));
        ++counter;
        adjust();
    }

    // The value of the first pair, front to back in the key's bucket, whose key is
    // equal, or null.
    V* Lookup(const K& key) const {
        typename Bucket::Item* item = find(key);
        return item ? &item->Value().value : nullptr;
    }

    // Removes the first pair whose key is equal; false when there is none.
    bool Remove(const K& key) {
        Bucket& bucket = (*buckets)[bucketOf(key)];
        for (typename Bucket::Item* item = bucket.Head(); item; item = item->Next()) {
            if (item->Value().key == key) {
                bucket.Remove(item);
                --counter;
                return true;
            }
        }
        return false;
    }

    // Number of pairs.
    int Size() const { return counter; }
    int Bits() const { return bits; }
    int BucketCount() const { return buckets->Size(); }
    bool GrowsAutomatically() const { return owns; }

    // The next pair of the iteration, or null past the last one: buckets in ascending
    // order, each from front to back.
    Pair* nextX(TARNHashTableIterator& it) const {
        const int count = buckets->Size();
        typename Bucket::Item* item = nullptr;
        if (it.bucket < 0) {
            it.bucket = 0;
            item = count > 0 ? (*buckets)[0].Head() : nullptr;
        } else if (it.bucket < count && it.item) {
            item = static_cast<typename Bucket::Item*>(it.item)->Next();
        }
        // The current bucket is exhausted: on to the next non-empty one, if any.
        while (!item && it.bucket < count) {
            if (++it.bucket < count) item = (*buckets)[it.bucket].Head();
        }
        it.item = item;
        it.pair = item ? &item->Value() : nullptr;
        return item ? &item->Value() : nullptr;
    }

  private:
    static constexpr int MaxBits = 30;
    static int clampBits(int bits) { return bits < 0 ? 0 : (bits > MaxBits ? MaxBits : bits); }

    static TARNArray<Bucket>* newBuckets(int bits) {
        TARNArray<Bucket>* array = new TARNArray<Bucket>();
        (*array)((1 << bits) - 1);  // sizes the array to 2^bits empty lists
        return array;
    }

    unsigned long hash(const K& key) const { return hasher(key); }
    unsigned long mask() const { return (1UL << bits) - 1; }
    int bucketOf(const K& key) const { return static_cast<int>(hash(key) & mask()); }

    typename Bucket::Item* find(const K& key) const {
        for (typename Bucket::Item* item = (*buckets)[bucketOf(key)].Head(); item; item = item->Next())
            if (item->Value().key == key) return item;
        return nullptr;
    }

    // Doubles the buckets once the pairs outnumber them. The pairs' items are moved, in
    // iteration order, to the back of their bucket by the kept 32-bit hash.
    void adjust() {
        if (!owns || counter <= (1 << bits) || bits >= MaxBits) return;
        TARNArray<Bucket>* grown = newBuckets(bits + 1);
        const unsigned long newMask = (1UL << (bits + 1)) - 1;
        for (int b = 0; b < buckets->Size(); ++b) {
            Bucket& bucket = (*buckets)[b];
            while (typename Bucket::Item* item = bucket.Head()) {
                bucket.Unlink(item);
                (*grown)[static_cast<int>(item->Value().hash & newMask)].LinkBack(item);
            }
        }
        delete buckets;
        buckets = grown;
        ++bits;
    }

    H hasher;
    TARNArray<Bucket>* buckets;
    int bits;
    int counter;
    // Automatic growth on insertion.
    bool owns;
};

// The table of texts keyed by texts (or by other values keyed by texts).
template <class V>
class TARNStringHashTable : public TARNHashTable<TARNStackedString<40>, V, TARNStringHashFunction> {
  public:
    explicit TARNStringHashTable(int bits = 4, bool autoGrow = true)
        : TARNHashTable<TARNStackedString<40>, V, TARNStringHashFunction>(bits, autoGrow) {}
    ~TARNStringHashTable() override = default;
};
