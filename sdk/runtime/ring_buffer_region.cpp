#include "tarn/runtime/ring_buffer_region.hpp"

// Sums of sizes are taken in long: a caller may ask for up to INT_MAX slots.

int TARNRBRegion::Check() const {
    if (fifoSize == 0 && offset == 0 && size == 0) return TARNConstRBRegionUninitialized;
    if (fifoSize <= 0 || offset < 0 || offset >= fifoSize || size < 0 || size > fifoSize)
        return TARNConstRBRegionInvalid;
    return size > 0 ? 1 : TARNConstRBRegionEmpty;
}

int TARNRBRegion::Init(int newFifoSize, int newOffset, int newSize) {
    fifoSize = newFifoSize;
    offset = newOffset;
    size = newSize;
    return state = Check();
}

int TARNRBRegion::SetFifoSize(int newFifoSize) {
    fifoSize = newFifoSize;
    return state = Check();
}

int TARNRBRegion::SetOffset(int newOffset) {
    if (refused()) return state;
    offset = newOffset;
    return state = Check();
}

int TARNRBRegion::SetSize(int newSize) {
    if (refused()) return state;
    size = newSize;
    return state = Check();
}

int TARNRBRegion::Reset() {
    if (refused()) return state;
    place(0, 0);
    return state;
}

int TARNRBRegion::Full() {
    if (refused()) return state;
    place(offset, fifoSize);
    return state;
}

int TARNRBRegion::slot(int from, int i) const {
    const long s = (static_cast<long>(from) + i) % fifoSize;
    return static_cast<int>(s < 0 ? s + fifoSize : s);
}

void TARNRBRegion::place(int newOffset, int newSize) {
    offset = newOffset;
    size = newSize;
    state = size > 0 ? 1 : TARNConstRBRegionEmpty;
}

// A ring of no slots has no slot arithmetic: the remainders below would divide by zero.

int TARNRBRegion::Size0() const {
    if (fifoSize <= 0) return 0;
    const int beforeWrap = fifoSize - offset;
    return size < beforeWrap ? size : beforeWrap;
}

int TARNRBRegion::Size1() const {
    if (fifoSize <= 0) return 0;
    const long end = static_cast<long>(offset) + size;
    return end >= fifoSize ? static_cast<int>(end % fifoSize) : 0;
}

int TARNRBRegion::operator[](int i) const {
    if (fifoSize <= 0) return 0;
    if (i < 0) return offset;
    if (i < size) return slot(offset, i);
    return size > 0 ? slot(offset, size - 1) : 0;
}

int TARNRBRegion::Push(int n, TARNRBRegion& pushed, bool overwrite) {
    if (refused()) return state;
    if (n < 1) return TARNConstRBRegionInvalidOp;
    const int end = slot(offset, size);
    const int free = fifoSize - size;
    if (n <= free) {
        pushed.Init(fifoSize, end, n);
        place(offset, size + n);
        return 1;
    }
    if (!overwrite) {
        pushed.Init(fifoSize, end, free);
        place(offset, fifoSize);
        return TARNConstRBRegionOverflowOp;
    }
    if (n > fifoSize) {
        place(0, fifoSize);
        pushed = *this;
        return TARNConstRBRegionOverflowOp;
    }
    pushed.Init(fifoSize, end, n);
    // The oldest slots make room for the new ones.
    place(slot(offset, n - free), fifoSize);
    return TARNConstRBRegionOverflowOp;
}

int TARNRBRegion::Pop(int n, TARNRBRegion* popped) {
    if (refused()) return state;
    if (n < 1) return TARNConstRBRegionInvalidOp;
    if (n >= size) {
        if (popped) *popped = *this;
        place(slot(offset, size), 0);
        return state;
    }
    if (popped) popped->Init(fifoSize, offset, n);
    place(slot(offset, n), size - n);
    return 1;
}

int TARNRBRegion::Popback(int n, TARNRBRegion* popped) {
    if (refused()) return state;
    if (n < 1) return TARNConstRBRegionInvalidOp;
    if (n >= size) {
        if (popped) *popped = *this;
        place(offset, 0);
        return state;
    }
    // `popped` names the slots actually taken: the last n of the region.
    if (popped) popped->Init(fifoSize, slot(offset, size - n), n);
    place(offset, size - n);
    return 1;
}

int TARNRBRegion::Erode(int flags, int n) {
    if (refused()) return state;
    if (n < 1 || (flags & (Front | Back)) == 0) return TARNConstRBRegionInvalidOp;
    const long front = (flags & Front) ? n : 0;
    const long back = (flags & Back) ? n : 0;
    if (front + back >= size) {
        place(0, 0);
        return TARNConstRBRegionOverflowOp;
    }
    place(slot(offset, static_cast<int>(front)), static_cast<int>(size - front - back));
    return 1;
}

int TARNRBRegion::Dilate(int flags, int n) {
    if (refused()) return state;
    if (n < 1 || size == 0 || (flags & (Front | Back)) == 0) return TARNConstRBRegionInvalidOp;
    int free = fifoSize - size;
    const int front = (flags & Front) ? (n < free ? n : free) : 0;
    free -= front;
    const int back = (flags & Back) ? (n < free ? n : free) : 0;
    const long asked = ((flags & Front) ? static_cast<long>(n) : 0) + ((flags & Back) ? n : 0);
    place(slot(offset, -front), size + front + back);
    return front + back < asked ? TARNConstRBRegionOverflowOp : 1;
}

int TARNRBRegion::cropped(TARNRBRegion& out, int mode, int start, int n) const {
    if (refused()) return state;
    if (n < 1 || start < 0 || start >= size) return TARNConstRBRegionInvalidOp;
    if (mode != FromFront && mode != FromBack) return TARNConstRBRegionInvalidOp;
    // FromFront counts from element `start` to the back, FromBack from the front to
    // `start` slots before the back: the same number of slots.
    const int available = size - start;
    const int kept = n < available ? n : available;
    const int first = mode == FromFront ? start : size - start - kept;
    out.Init(fifoSize, slot(offset, first), kept);
    return kept < n ? TARNConstRBRegionOverflowOp : 1;
}

int TARNRBRegion::Crop(int mode, int start, int n) {
    TARNRBRegion result;
    const int outcome = cropped(result, mode, start, n);
    if (outcome == 1 || outcome == TARNConstRBRegionOverflowOp) *this = result;
    return outcome;
}

int TARNRBRegion::SubRegion(TARNRBRegion& out, int mode, int start, int n) const {
    TARNRBRegion result;
    const int outcome = cropped(result, mode, start, n);
    if (outcome == 1 || outcome == TARNConstRBRegionOverflowOp) out = result;
    return outcome;
}

int TARNRBRegion::InverseRegion(TARNRBRegion& out) const {
    // An uninitialised or invalid region has no ring to take the rest of.
    if (refused()) return state;
    return out.Init(fifoSize, slot(offset, size), fifoSize - size);
}

int TARNRBRegion::BesideRegion(TARNRBRegion& out, int mode, int distance, int n) const {
    if (refused()) return state;
    if (mode != FromFront && mode != FromBack) return TARNConstRBRegionInvalidOp;
    TARNRBRegion free;
    InverseRegion(free);
    // The free part begins right after this region's end and ends right before its front.
    return free.SubRegion(out, mode == FromBack ? FromFront : FromBack, distance, n);
}

const char* TARNRBRegion::StateToString(int state) {
    switch (state) {
        case TARNConstRBRegionEmpty:
            return "TARNConstRBRegionEmpty";
        case TARNConstRBRegionWarnings:
            return "TARNConstRBRegionWarnings";
        case TARNConstRBRegionUninitialized:
            return "TARNConstRBRegionUninitialized";
        case TARNConstRBRegionOverflowOp:
            return "TARNConstRBRegionOverflowOp";
        case TARNConstRBRegionErrors:
            return "TARNConstRBRegionErrors";
        case TARNConstRBRegionInvalid:
            return "TARNConstRBRegionInvalid";
        case TARNConstRBRegionInvalidOp:
            return "TARNConstRBRegionInvalidOp";
        default:
            return "Unknown state";
    }
}
