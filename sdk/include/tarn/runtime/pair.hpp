// Small records of two values: the plain couple and the keyed pair of the hash tables.
#pragma once

// Two public values.
template <class A, class B>
struct TARNCouple {
    A first;
    B second;
};

// One entry of a TARNHashTable: the low 32 bits of the key's hash (kept so that the
// table can grow without hashing again), the key and the value.
template <class K, class V>
class TARNPair {
  public:
    TARNPair() = default;
    TARNPair(unsigned int hash, const K& key, const V& value) : hash(hash), key(key), value(value) {}
    TARNPair(const TARNPair&) = default;
    TARNPair& operator=(const TARNPair&) = default;
    virtual ~TARNPair() = default;

    unsigned int hash = 0;
    K key{};
    V value{};
};
