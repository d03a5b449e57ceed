#include "tarn/engine/copy_with_event.hpp"

#include "tarn/engine/event.hpp"
#include "tarn/runtime/c_library.hpp"

namespace TARN {
void* Memcpy(void* to, const void* from, long size, TARNEvent* done) {
    Memcpy(to, from, size);
    if (done) done->Set();
    return to;
}
}  // namespace TARN
