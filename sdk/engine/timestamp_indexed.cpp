#include "tarn/engine/timestamp_indexed.hpp"

int TARNTimestampIndexed::CompareTARNTimestampIndexed(const void* a, const void* b) {
    const long first = static_cast<const TARNTimestampIndexed*>(a)->timestamp;
    const long second = static_cast<const TARNTimestampIndexed*>(b)->timestamp;
    if (first < second) return -1;
    return first > second ? 1 : 0;
}
