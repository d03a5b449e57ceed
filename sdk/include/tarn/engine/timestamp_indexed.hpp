// Records sorted by timestamp: the comparison the engine hands to qsort.
#pragma once

// A record whose second 64-bit field is its signed timestamp.
struct TARNTimestampIndexed {
    long index;
    long timestamp;

    // qsort comparison by timestamp: -1, 0 or 1.
    static int CompareTARNTimestampIndexed(const void* a, const void* b);
};
