// Arithmetic on a run of consecutive slots of a ring buffer.
#pragma once

// Results and states of TARNRBRegion. Bit 30 marks warnings, bit 31 errors. A valid region
// is in state 0 (empty) or 1 (holding slots); the value 1 has no name of its own.
enum TARNConstRBRegionState : int {
    TARNConstRBRegionEmpty = 0,
    TARNConstRBRegionWarnings = 0x40000000,
    TARNConstRBRegionUninitialized = 0x40000100,
    // The operation took or gave fewer slots than were asked for.
    TARNConstRBRegionOverflowOp = 0x40000200,
    TARNConstRBRegionErrors = static_cast<int>(0x80000000u),
    TARNConstRBRegionInvalid = static_cast<int>(0x80010000u),
    TARNConstRBRegionInvalidOp = static_cast<int>(0x80020000u),
};

// `size` slots of a ring of `fifoSize` slots, starting at slot `offset` and possibly
// wrapping past the last slot. It holds no data: stream classes use it to track which part
// of their ring is filled and which is free.
//
// Every operation returns a state code. An operation on a region whose state carries a
// warning or error bit is refused: it changes nothing and returns that state. An argument
// out of range changes nothing and returns TARNConstRBRegionInvalidOp.
//
// The stored state of a valid region is only ever 0 or 1. A push, erosion or dilation that
// could not take all it was asked for returns TARNConstRBRegionOverflowOp as its result but
// leaves the stored state at 0 or 1: the region it leaves is perfectly valid, and a stored
// warning would make the region refuse every later operation, so one overflowing push
// would wedge a stream for good.
class TARNRBRegion {
  public:
    // Uninitialised: all fields 0.
    TARNRBRegion() = default;
    TARNRBRegion(const TARNRBRegion&) = default;
    TARNRBRegion& operator=(const TARNRBRegion&) = default;

    // Stores the fields; the state becomes what Check() says of them.
    int Init(int fifoSize, int offset, int size);
    int SetFifoSize(int fifoSize);
    // Refused on a warning or error state.
    int SetOffset(int offset);
    int SetSize(int size);
    // 1 (size > 0) or 0 for a valid region, TARNConstRBRegionUninitialized when all three
    // fields are 0, TARNConstRBRegionInvalid otherwise.
    int Check() const;

    // Offset 0, size 0.
    int Reset();
    // Size becomes the ring's size.
    int Full();

    // Slots before the wrap, and after it; 0 on a ring of no slots.
    int Size0() const;
    int Size1() const;
    // Slot of element i: the offset for i < 0, the region's last slot for i past its end
    // (0 for an empty region); 0 on a ring of no slots.
    int operator[](int i) const;

    // Appends n slots at the end and describes them in `pushed`. When they do not fit,
    // only the free slots are taken, or, with `overwrite`, the oldest slots are dropped
    // to make room (a push of more than the ring holds makes the region the whole ring
    // from slot 0); both return TARNConstRBRegionOverflowOp.
    int Push(int n, TARNRBRegion& pushed, bool overwrite);
    // Takes n slots from the front (Pop) or the back (Popback) and describes them in
    // `popped` when given. Taking the whole region or more empties it and returns 0.
    int Pop(int n, TARNRBRegion* popped = nullptr);
    int Popback(int n, TARNRBRegion* popped = nullptr);

    // Flags of Erode and Dilate: which end of the region moves.
    static constexpr int Front = 1;
    static constexpr int Back = 2;
    // Removes n slots at each end named by the flags; removing everything leaves an
    // empty region at offset 0 and returns TARNConstRBRegionOverflowOp.
    int Erode(int flags, int n);
    // Grows a non-empty region by n slots at each end named by the flags, at most to the
    // whole ring (then TARNConstRBRegionOverflowOp).
    int Dilate(int flags, int n);

    // Modes of Crop, SubRegion and BesideRegion.
    static constexpr int FromFront = 1;
    static constexpr int FromBack = 2;
    // FromFront keeps n slots from element `start`; FromBack keeps the n slots that end
    // `start` slots before the back. Fewer available: keeps those and returns
    // TARNConstRBRegionOverflowOp.
    int Crop(int mode, int start, int n);
    // What Crop would leave, written to `out`; this region is unchanged.
    int SubRegion(TARNRBRegion& out, int mode, int start, int n) const;
    // The free part of the ring, from the slot after this region's end.
    int InverseRegion(TARNRBRegion& out) const;
    // n free slots next to this region: FromBack takes them after its end, `distance`
    // free slots further on; FromFront those before its front, `distance` slots further
    // back. Limited to the free part of the ring (then TARNConstRBRegionOverflowOp).
    int BesideRegion(TARNRBRegion& out, int mode, int distance, int n) const;

    int State() const { return state; }
    int FifoSize() const { return fifoSize; }
    int Offset() const { return offset; }
    int Size() const { return size; }

    static const char* StateToString(int state);

  private:
    bool refused() const { return (state & (TARNConstRBRegionWarnings | TARNConstRBRegionErrors)) != 0; }
    // Slot `i` slots after `from`, for any i of -fifoSize..2 * fifoSize.
    int slot(int from, int i) const;
    // Valid fields with the state that their size gives.
    void place(int newOffset, int newSize);
    // The region Crop would leave, or the refusal.
    int cropped(TARNRBRegion& out, int mode, int start, int n) const;

    int state = TARNConstRBRegionUninitialized;
    int fifoSize = 0;
    int offset = 0;
    int size = 0;
};
