#include "tarn/runtime/ring_buffer_region.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>

namespace {

constexpr int overflow = TARNConstRBRegionOverflowOp;
constexpr int invalidOp = TARNConstRBRegionInvalidOp;

TARNRBRegion region(int fifoSize, int offset, int size) {
    TARNRBRegion r;
    r.Init(fifoSize, offset, size);
    return r;
}

struct Fields {
    int state, fifoSize, offset, size;
    bool operator==(const Fields&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Fields& f) {
    return out << "{state " << std::hex << f.state << std::dec << ", fifo " << f.fifoSize << ", offset "
               << f.offset << ", size " << f.size << "}";
}
Fields fieldsOf(const TARNRBRegion& r) {
    return {r.State(), r.FifoSize(), r.Offset(), r.Size()};
}

}  // namespace

TEST(RingBufferRegion, InitJudgesTheFields) {
    struct Case {
        int fifoSize, offset, size, state;
    };
    const Case cases[] = {
        {8, 0, 0, TARNConstRBRegionEmpty},         {8, 7, 8, 1},
        {0, 0, 0, TARNConstRBRegionUninitialized}, {8, 8, 0, TARNConstRBRegionInvalid},
        {8, -1, 1, TARNConstRBRegionInvalid},      {8, 0, 9, TARNConstRBRegionInvalid},
        {8, 0, -1, TARNConstRBRegionInvalid},      {-4, 0, 0, TARNConstRBRegionInvalid},
        {0, 0, 1, TARNConstRBRegionInvalid},
    };
    for (const Case& c : cases) {
        TARNRBRegion r;
        EXPECT_EQ(r.Init(c.fifoSize, c.offset, c.size), c.state)
            << c.fifoSize << "/" << c.offset << "/" << c.size;
        EXPECT_EQ(r.State(), c.state);
        EXPECT_EQ(r.Check(), c.state);
    }
    EXPECT_EQ(TARNRBRegion().State(), TARNConstRBRegionUninitialized);
}

TEST(RingBufferRegion, WrappedRegionSplitsInTwoRuns) {
    const TARNRBRegion r = region(8, 6, 4);
    EXPECT_EQ(r.Size0(), 2);
    EXPECT_EQ(r.Size1(), 2);
    EXPECT_EQ(r[-1], 6);
    EXPECT_EQ(r[0], 6);
    EXPECT_EQ(r[3], 1);
    EXPECT_EQ(r[4], 1) << "past the end: the last slot";
    EXPECT_EQ(region(8, 2, 3).Size1(), 0);
    EXPECT_EQ(region(8, 2, 6).Size1(), 0) << "ends exactly at the last slot";
    EXPECT_EQ(region(8, 5, 0)[2], 0) << "empty region";
}

TEST(RingBufferRegion, RingOfNoSlotsHasNoSlotArithmetic) {
    // Each of these took a remainder by the FIFO size.
    TARNRBRegion uninitialised;
    TARNRBRegion negative;
    negative.Init(-4, 0, 0);
    TARNRBRegion noRingButSlots;  // an invalid Init keeps its fields
    noRingButSlots.Init(0, 1, 3);
    for (const TARNRBRegion* r : {&uninitialised, &negative, &noRingButSlots}) {
        EXPECT_EQ(r->Size0(), 0);
        EXPECT_EQ(r->Size1(), 0);
        EXPECT_EQ((*r)[0], 0);
        EXPECT_EQ((*r)[5], 0);
        EXPECT_EQ((*r)[-1], 0);
    }
}

TEST(RingBufferRegion, WarningAndErrorStatesRefuseEveryChange) {
    TARNRBRegion pushed = region(8, 1, 1);
    for (TARNRBRegion r : {TARNRBRegion(), region(8, 9, 0)}) {
        const Fields before = fieldsOf(r);
        EXPECT_EQ(r.Push(1, pushed, false), before.state);
        EXPECT_EQ(r.Pop(1), before.state);
        EXPECT_EQ(r.Popback(1), before.state);
        EXPECT_EQ(r.Erode(TARNRBRegion::Front, 1), before.state);
        EXPECT_EQ(r.Dilate(TARNRBRegion::Back, 1), before.state);
        EXPECT_EQ(r.Crop(TARNRBRegion::FromFront, 0, 1), before.state);
        EXPECT_EQ(r.Reset(), before.state);
        EXPECT_EQ(r.Full(), before.state);
        EXPECT_EQ(r.SetOffset(0), before.state);
        EXPECT_EQ(r.SetSize(0), before.state);
        TARNRBRegion out = region(4, 1, 1);
        EXPECT_EQ(r.InverseRegion(out), before.state);
        EXPECT_EQ(r.SubRegion(out, TARNRBRegion::FromFront, 0, 1), before.state);
        EXPECT_EQ(fieldsOf(out), fieldsOf(region(4, 1, 1)));
        EXPECT_EQ(fieldsOf(r), before);
        EXPECT_EQ(fieldsOf(pushed), fieldsOf(region(8, 1, 1)));
    }
    // The FIFO size can always be set: that is how an uninitialised region starts.
    TARNRBRegion r;
    EXPECT_EQ(r.SetFifoSize(8), TARNConstRBRegionEmpty);
    EXPECT_EQ(r.SetSize(3), 1);
}

TEST(RingBufferRegion, PushAppendsWhatFits) {
    TARNRBRegion r = region(8, 6, 1);
    TARNRBRegion pushed;
    EXPECT_EQ(r.Push(3, pushed, false), 1);
    EXPECT_EQ(fieldsOf(r), (Fields{1, 8, 6, 4}));
    EXPECT_EQ(fieldsOf(pushed), (Fields{1, 8, 7, 3}));
    EXPECT_EQ(r.Push(0, pushed, false), invalidOp);
    EXPECT_EQ(fieldsOf(r), (Fields{1, 8, 6, 4}));
}

TEST(RingBufferRegion, PushBeyondTheRingTakesTheFreeSlotsOrOverwrites) {
    struct Case {
        int n;
        bool overwrite;
        Fields region, pushed;
    };
    // A ring of 8 holding 6 slots from slot 1: 2 are free, from slot 7.
    const Case cases[] = {
        {5, false, {1, 8, 1, 8}, {1, 8, 7, 2}},
        {5, true, {1, 8, 4, 8}, {1, 8, 7, 5}},  // the offset advances by 3
        {8, true, {1, 8, 7, 8}, {1, 8, 7, 8}},
        {9, true, {1, 8, 0, 8}, {1, 8, 0, 8}},  // the whole ring from slot 0
        {INT_MAX, true, {1, 8, 0, 8}, {1, 8, 0, 8}},
        {INT_MAX, false, {1, 8, 1, 8}, {1, 8, 7, 2}},
    };
    for (const Case& c : cases) {
        TARNRBRegion r = region(8, 1, 6);
        TARNRBRegion pushed;
        EXPECT_EQ(r.Push(c.n, pushed, c.overwrite), overflow) << c.n << (c.overwrite ? " overwriting" : "");
        EXPECT_EQ(fieldsOf(r), c.region) << c.n << (c.overwrite ? " overwriting" : "");
        EXPECT_EQ(fieldsOf(pushed), c.pushed) << c.n << (c.overwrite ? " overwriting" : "");
    }
    TARNRBRegion full = region(8, 3, 8);
    TARNRBRegion pushed;
    EXPECT_EQ(full.Push(1, pushed, false), overflow);
    EXPECT_EQ(fieldsOf(pushed), (Fields{TARNConstRBRegionEmpty, 8, 3, 0}));
}

TEST(RingBufferRegion, OverflowIsTheResultButNotTheStoredState) {
    // Stored, the warning would refuse every later operation: a stream whose writer once
    // overwrote would never move again.
    TARNRBRegion r = region(8, 0, 6);
    TARNRBRegion pushed;
    ASSERT_EQ(r.Push(5, pushed, true), overflow);
    EXPECT_EQ(r.State(), 1);
    TARNRBRegion popped;
    EXPECT_EQ(r.Pop(2, &popped), 1);
    EXPECT_EQ(fieldsOf(popped), (Fields{1, 8, 3, 2}));
    EXPECT_EQ(fieldsOf(r), (Fields{1, 8, 5, 6}));
    ASSERT_EQ(r.Erode(TARNRBRegion::Front, 9), overflow);
    EXPECT_EQ(fieldsOf(r), (Fields{TARNConstRBRegionEmpty, 8, 0, 0}));
    EXPECT_EQ(r.Push(1, pushed, false), 1);
}

TEST(RingBufferRegion, PopTakesFromTheFrontAndPopbackFromTheBack) {
    TARNRBRegion r = region(8, 6, 4);
    TARNRBRegion popped;
    EXPECT_EQ(r.Pop(3, &popped), 1);
    EXPECT_EQ(fieldsOf(popped), (Fields{1, 8, 6, 3}));
    EXPECT_EQ(fieldsOf(r), (Fields{1, 8, 1, 1}));

    r = region(8, 6, 4);
    EXPECT_EQ(r.Popback(3, &popped), 1);
    EXPECT_EQ(fieldsOf(popped), (Fields{1, 8, 7, 3})) << "the slots taken from the back";
    EXPECT_EQ(fieldsOf(r), (Fields{1, 8, 6, 1}));

    r = region(8, 6, 4);
    EXPECT_EQ(r.Pop(10, &popped), TARNConstRBRegionEmpty);
    EXPECT_EQ(fieldsOf(popped), (Fields{1, 8, 6, 4}));
    EXPECT_EQ(fieldsOf(r), (Fields{TARNConstRBRegionEmpty, 8, 2, 0})) << "the offset moves past the region";

    r = region(8, 6, 4);
    EXPECT_EQ(r.Popback(4), TARNConstRBRegionEmpty);
    EXPECT_EQ(fieldsOf(r), (Fields{TARNConstRBRegionEmpty, 8, 6, 0}));
    EXPECT_EQ(r.Pop(0), invalidOp);
    EXPECT_EQ(r.Popback(-1), invalidOp);
}

TEST(RingBufferRegion, ErodeAndDilateMoveTheChosenEnds) {
    struct Case {
        const char* what;
        int (TARNRBRegion::*operation)(int, int);
        int flags, n, result;
        Fields after;
    };
    const int front = TARNRBRegion::Front;
    const int back = TARNRBRegion::Back;
    // Each starts from a ring of 8 holding 4 slots from slot 6.
    const Case cases[] = {
        {"erode front", &TARNRBRegion::Erode, front, 1, 1, {1, 8, 7, 3}},
        {"erode back", &TARNRBRegion::Erode, back, 1, 1, {1, 8, 6, 3}},
        {"erode both", &TARNRBRegion::Erode, front | back, 1, 1, {1, 8, 7, 2}},
        {"erode all", &TARNRBRegion::Erode, front | back, 2, overflow, {TARNConstRBRegionEmpty, 8, 0, 0}},
        {"erode nothing", &TARNRBRegion::Erode, 0, 1, invalidOp, {1, 8, 6, 4}},
        {"dilate front", &TARNRBRegion::Dilate, front, 2, 1, {1, 8, 4, 6}},
        {"dilate back", &TARNRBRegion::Dilate, back, 2, 1, {1, 8, 6, 6}},
        {"dilate both past the ring", &TARNRBRegion::Dilate, front | back, 3, overflow, {1, 8, 3, 8}},
        {"dilate by nothing", &TARNRBRegion::Dilate, back, 0, invalidOp, {1, 8, 6, 4}},
    };
    for (const Case& c : cases) {
        TARNRBRegion r = region(8, 6, 4);
        EXPECT_EQ((r.*c.operation)(c.flags, c.n), c.result) << c.what;
        EXPECT_EQ(fieldsOf(r), c.after) << c.what;
    }
    TARNRBRegion empty = region(8, 2, 0);
    EXPECT_EQ(empty.Dilate(TARNRBRegion::Back, 1), invalidOp);
    // Growing the front past slot 0 wraps to the ring's last slots.
    TARNRBRegion nearStart = region(8, 1, 2);
    EXPECT_EQ(nearStart.Dilate(front, 3), 1);
    EXPECT_EQ(fieldsOf(nearStart), (Fields{1, 8, 6, 5}));
}

TEST(RingBufferRegion, CropKeepsPartOfTheRegion) {
    struct Case {
        int mode, start, n, result;
        Fields after;
    };
    // Each starts from a ring of 8 holding 5 slots from slot 6 (elements at 6 7 0 1 2).
    const Case cases[] = {
        {TARNRBRegion::FromFront, 1, 2, 1, {1, 8, 7, 2}},
        {TARNRBRegion::FromFront, 3, 4, overflow, {1, 8, 1, 2}},
        {TARNRBRegion::FromBack, 0, 2, 1, {1, 8, 1, 2}},
        {TARNRBRegion::FromBack, 1, 2, 1, {1, 8, 0, 2}},
        {TARNRBRegion::FromBack, 2, 9, overflow, {1, 8, 6, 3}},
        {TARNRBRegion::FromFront, 5, 1, invalidOp, {1, 8, 6, 5}},
        {TARNRBRegion::FromFront, -1, 1, invalidOp, {1, 8, 6, 5}},
        {TARNRBRegion::FromFront, 0, 0, invalidOp, {1, 8, 6, 5}},
        {3, 0, 1, invalidOp, {1, 8, 6, 5}},
    };
    for (const Case& c : cases) {
        TARNRBRegion r = region(8, 6, 5);
        TARNRBRegion sub = region(4, 0, 0);
        EXPECT_EQ(r.SubRegion(sub, c.mode, c.start, c.n), c.result);
        EXPECT_EQ(fieldsOf(r), (Fields{1, 8, 6, 5})) << "SubRegion leaves the region alone";
        EXPECT_EQ(r.Crop(c.mode, c.start, c.n), c.result) << c.mode << "/" << c.start << "/" << c.n;
        EXPECT_EQ(fieldsOf(r), c.after) << c.mode << "/" << c.start << "/" << c.n;
        if (c.result != invalidOp) {
            EXPECT_EQ(fieldsOf(sub), c.after);
        }
    }
}

TEST(RingBufferRegion, InverseAndBesideRegionsLieInTheFreePart) {
    const TARNRBRegion r = region(8, 6, 4);  // free: 2 3 4 5
    TARNRBRegion out;
    EXPECT_EQ(r.InverseRegion(out), 1);
    EXPECT_EQ(fieldsOf(out), (Fields{1, 8, 2, 4}));
    EXPECT_EQ(r.BesideRegion(out, TARNRBRegion::FromBack, 0, 2), 1);
    EXPECT_EQ(fieldsOf(out), (Fields{1, 8, 2, 2}));
    EXPECT_EQ(r.BesideRegion(out, TARNRBRegion::FromFront, 0, 2), 1);
    EXPECT_EQ(fieldsOf(out), (Fields{1, 8, 4, 2}));
    EXPECT_EQ(r.BesideRegion(out, TARNRBRegion::FromBack, 1, 5), overflow);
    EXPECT_EQ(fieldsOf(out), (Fields{1, 8, 3, 3}));
    EXPECT_EQ(r.BesideRegion(out, 0, 0, 1), invalidOp);

    const TARNRBRegion full = region(8, 3, 8);
    EXPECT_EQ(full.InverseRegion(out), TARNConstRBRegionEmpty);
    EXPECT_EQ(fieldsOf(out), (Fields{TARNConstRBRegionEmpty, 8, 3, 0}));
    EXPECT_EQ(full.BesideRegion(out, TARNRBRegion::FromBack, 0, 1), invalidOp);
}

TEST(RingBufferRegion, ResetAndFull) {
    TARNRBRegion r = region(8, 6, 4);
    EXPECT_EQ(r.Full(), 1);
    EXPECT_EQ(fieldsOf(r), (Fields{1, 8, 6, 8}));
    EXPECT_EQ(r.Reset(), TARNConstRBRegionEmpty);
    EXPECT_EQ(fieldsOf(r), (Fields{TARNConstRBRegionEmpty, 8, 0, 0}));
}

TEST(RingBufferRegion, StateNames) {
    EXPECT_STREQ(TARNRBRegion::StateToString(0), "TARNConstRBRegionEmpty");
    EXPECT_STREQ(TARNRBRegion::StateToString(1), "Unknown state");
    EXPECT_STREQ(TARNRBRegion::StateToString(0x40000000), "TARNConstRBRegionWarnings");
    EXPECT_STREQ(TARNRBRegion::StateToString(0x40000100), "TARNConstRBRegionUninitialized");
    EXPECT_STREQ(TARNRBRegion::StateToString(0x40000200), "TARNConstRBRegionOverflowOp");
    EXPECT_STREQ(TARNRBRegion::StateToString(TARNConstRBRegionErrors), "TARNConstRBRegionErrors");
    EXPECT_STREQ(TARNRBRegion::StateToString(TARNConstRBRegionInvalid), "TARNConstRBRegionInvalid");
    EXPECT_STREQ(TARNRBRegion::StateToString(TARNConstRBRegionInvalidOp), "TARNConstRBRegionInvalidOp");
    EXPECT_STREQ(TARNRBRegion::StateToString(7), "Unknown state");
}
