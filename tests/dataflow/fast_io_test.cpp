// TARNFastIO on one thread: every reader kind against one writer, lapping, holding and giving
// back, output and reader subsampling, registration of up to 32 readers, and the fatal
// misuses with their exact reports. The threaded cases are in fast_io_concurrency_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>

#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "fast_io_fixture.hpp"

namespace {

constexpr int Fatal = -5;

HostReport RingError(const std::string& message) {
    return HostReport{message, 2, 1, false};
}

// ---- The reader kinds, as scripts over one ring ---------------------------------------------
//
// Writer steps:  P3 writes 3 and publishes it;  D writes and discards;  T3 takes a slot and
//                writes 3 into it, keeping it;  E publishes the kept slot, X discards it.
// Reader steps (reader a, b, ... in the order of the `readers` letters):
//                aR3 takes 3 and gives it back at once;  aH3 takes 3 and holds it;
//                aG3 gives back the held 3;  aW prepares a wait (nothing to take);
//                aA3 was woken and, after the wait, takes 3 (and gives it back);
//                aA- was woken, but finds nothing and prepares the wait again.
// Checks:        O2 the overflow callback has run twice in all;  =3:2 the slot holding 3
//                is in state 2 (0 written, 1 being written, 2 being read, 3 free).
struct ReaderKindCase {
    const char* name;
    int fifoSize;
    const char* readers;  // F FifoReader, N NeverSkipping, L LastOrNext, W Wait4Next, S Sampling
    const char* script;
};

const ReaderKindCase readerKindCases[] = {
    {"FifoReaderTakesEveryElementInOrder", 4, "F", "P1 P2 P3 aR1 aR2 aR3 aW P4 aA4 aW P5 P6 aA5 aR6 aW"},
    {"NeverSkippingReaderTakesEveryElementInOrder", 4, "N",
     "P1 P2 P3 aR1 aR2 aR3 aW P4 aA4 aW P5 P6 aA5 aR6"},
    {"LastOrNextReaderJumpsToTheNewest", 4, "L", "P1 P2 P3 aR3 aW P4 P5 aA5 aW P6 aA6"},
    {"LastOrNextSkippedElementsCountAsReadForTheWriter", 6, "L",
     "P1 aR1 P2 P3 P4 P5 P6 aR6 P7 P8 P9 P10 P11 O0"},
    {"Wait4NextReaderAlwaysWaitsForTheNextPublication", 4, "W", "P1 P2 aW P3 aA3 aW P4 P5 aA5 aW"},
    {"SamplingReaderTakesTheNewestAndWaitsOnlyWhenNothingIsPublished", 4, "S", "aW P1 aA1 aR1 P2 P3 aR3 aR3"},
    {"FifoReaderLappedLosesTheOldestOneOverflowPerReusedSlot", 3, "F", "P1 P2 P3 P4 O1 P5 O2 aR3 aR4 aR5 aW"},
    {"LastOrNextReaderLappedThenItsSkipsFreeTheRing", 3, "L", "P1 P2 P3 P4 O1 aR4 P5 P6 P7 O1"},
    {"NonFifoReadersNeverMakeAnOverflow", 2, "SW", "P1 P2 aR2 bW P3 bA3 P4 P5 O0"},
    {"NeverSkippingReaderReadLetsTheWriterLapAPlainFifoReader", 2, "NF",
     "P1 P2 aR1 aR2 P3 O1 bR2 bR3 bW aR3"},
    {"HeldSlotIsNeverReused", 2, "F", "P1 aH1 P2 P3 O1 =1:2 aG1 =1:0 aR3 aW"},
    // A slot discarded in the middle of the ring is used before the unread oldest one.
    {"WriterPrefersAFreeSlotToOverwriting", 3, "FF", "P1 P2 P3 bH1 T4 O1 X bG1 P5 O1 aR1 aR3 aR5 bR3 bR5"},
    {"TwoReadersHoldingOneSlotOnlyTheLastGiveBackEndsItsReading", 3, "FS", "P1 aH1 bH1 aG1 =1:2 bG1 =1:0 aW"},
    {"HeldSlotsOfOneReaderComeBackInAnyOrder", 3, "F", "P1 P2 aH1 aH2 aG1 aG2 =1:0 =2:0 aW"},
    {"DiscardFreesTheSlotAndPublishesNothing", 1, "F", "D D aW P2 aA2 T3 X aW"},
    {"AllFiveKindsOnOneRing", 4, "FNLWS",
     "P1 P2 aR1 bR1 cR2 dW eR2 P3 dA3 aR2 bR2 cR3 eR3 aR3 bR3 aW bW cW dW P4 aA4 bA4 cA4 dA4 eR4"},
    // A wait woken by a publication whose slot the writer took back before the reader came:
    // the reader prepares the same wait again and takes the next publication.
    {"FifoReaderLappedWhileWokenWaitsAgain", 1, "F", "aW P1 T2 O1 aA- E aA2"},
    {"LastOrNextReaderLappedWhileWokenWaitsAgain", 1, "L", "aW P1 T2 O1 aA- E aA2"},
    {"Wait4NextReaderLappedWhileWokenWaitsAgain", 1, "W", "aW P1 T2 aA- E aA2"},
    {"SamplingReaderLappedWhileWokenWaitsAgain", 1, "S", "aW P1 T2 aA- E aA2"},
    {"ReaderWokenByADiscardedRepublicationWaitsAgain", 1, "F", "aW P1 T2 X aA- P3 aA3"},
};

class ScriptRunner {
  public:
    ScriptRunner(FrameRing& ring, const TARNEvent& owner, const std::atomic<int>& overflows,
                 const char* readers)
        : m_ring(ring), m_owner(owner), m_overflows(overflows) {
        static const std::map<char, int> kinds = {{'F', FifoReader},
                                                  {'N', NeverSkippingReader},
                                                  {'L', LastOrNextReader},
                                                  {'W', Wait4NextReader},
                                                  {'S', SamplingReader}};
        for (const char* kind = readers; *kind; ++kind) {
            Reader reader;
            reader.id = ring.RegisterReader(kinds.at(*kind));
            m_readers.push_back(reader);
        }
    }

    void Run(const char* script) {
        std::istringstream steps(script);
        std::string step;
        while (steps >> step) {
            SCOPED_TRACE("step " + step);
            if (std::islower(static_cast<unsigned char>(step[0])))
                runReaderStep(m_readers.at(step[0] - 'a'), step[1], step.substr(2));
            else
                runWriterStep(step[0], step.substr(1));
            if (::testing::Test::HasFatalFailure()) return;
        }
    }

    // Leaves no wait prepared and nothing held.
    void Finish() {
        for (Reader& reader : m_readers) {
            if (reader.waiting) m_ring.AbortStartReadingX(reader.id);
            for (auto& [sequence, slot] : reader.held) m_ring.StopReading(reader.id, slot);
        }
        if (m_writing) m_ring.StopWriting(m_writing, true);
    }

  private:
    struct Reader {
        int id = -1;
        TARNEvent* event = nullptr;
        TARNEvent* abort = nullptr;
        bool waiting = false;
        std::map<int, TARNListIterator> held;
    };

    void runWriterStep(char op, const std::string& argument) {
        switch (op) {
            case 'P':
                write(std::stoi(argument), false);
                break;
            case 'D':
                write(0, true);
                break;
            case 'T':
                m_writing = m_ring.StartWriting();
                ASSERT_NE(m_writing, nullptr);
                FrameRing::Element(m_writing).sequence = std::stoi(argument);
                break;
            case 'E':
            case 'X':
                m_ring.StopWriting(m_writing, op == 'X');
                m_writing = nullptr;
                break;
            case 'O':
                EXPECT_EQ(m_overflows, std::stoi(argument));
                break;
            case '=': {
                const size_t colon = argument.find(':');
                EXPECT_EQ(static_cast<int>(slotOf(std::stoi(argument.substr(0, colon))).State()),
                          std::stoi(argument.substr(colon + 1)));
                break;
            }
            default:
                FAIL() << "unknown writer step";
        }
    }

    void write(int sequence, bool discard) {
        TARNListIterator slot = m_ring.StartWriting();
        ASSERT_NE(slot, nullptr);
        FrameRing::Element(slot).sequence = sequence;
        m_ring.StopWriting(slot, discard);
    }

    void runReaderStep(Reader& reader, char op, const std::string& argument) {
        TARNListIterator slot = nullptr;
        switch (op) {
            case 'R':
            case 'H':
                ASSERT_FALSE(reader.waiting);
                ASSERT_EQ(m_ring.StartReadingX(reader.id, &reader.event, &reader.abort, &slot), 1)
                    << "nothing taken";
                EXPECT_EQ(FrameRing::Element(slot).sequence, std::stoi(argument));
                if (op == 'R')
                    m_ring.StopReading(reader.id);
                else
                    reader.held[std::stoi(argument)] = slot;
                break;
            case 'G':
                m_ring.StopReading(reader.id, reader.held.at(std::stoi(argument)));
                reader.held.erase(std::stoi(argument));
                break;
            case 'W':
                ASSERT_FALSE(reader.waiting);
                ASSERT_EQ(m_ring.StartReadingX(reader.id, &reader.event, &reader.abort, &slot), 0)
                    << "took " << FrameRing::Element(slot).sequence << " instead of waiting";
                EXPECT_EQ(reader.abort, &m_owner) << "the owner event aborts a reader's wait";
                reader.waiting = true;
                EXPECT_EQ(reader.event->Wait(0), -3) << "a prepared wait starts unsignalled";
                break;
            case 'A': {
                ASSERT_TRUE(reader.waiting);
                EXPECT_EQ(reader.event->Wait(0), 0) << "the reader was not woken";
                const int taken = m_ring.AchieveStartReadingX(reader.id, 0, &slot);
                if (argument == "-") {
                    ASSERT_EQ(taken, 0) << "took " << FrameRing::Element(slot).sequence;
                    EXPECT_EQ(reader.event->Wait(0), -3) << "the wait prepared again starts unsignalled";
                } else {
                    reader.waiting = false;
                    ASSERT_EQ(taken, 1) << "nothing taken after the wait";
                    EXPECT_EQ(FrameRing::Element(slot).sequence, std::stoi(argument));
                    m_ring.StopReading(reader.id, slot);
                }
                break;
            }
            default:
                FAIL() << "unknown reader step";
        }
    }

    const FrameRing::Elt& slotOf(int sequence) {
        for (TARNListIterator at = m_ring.InitBegin(); at; FrameRing::InitNext(at))
            if (FrameRing::Element(at).sequence == sequence) return FrameRing::Slot(at);
        ADD_FAILURE() << "no slot holds " << sequence;
        return FrameRing::Slot(m_ring.InitBegin());
    }

    FrameRing& m_ring;
    const TARNEvent& m_owner;
    const std::atomic<int>& m_overflows;
    std::vector<Reader> m_readers;
    TARNListIterator m_writing = nullptr;
};

void PrintTo(const ReaderKindCase& test, std::ostream* out) {
    *out << test.name;
}

class ReaderKinds : public FastIOTest, public ::testing::WithParamInterface<ReaderKindCase> {};

TEST_P(ReaderKinds, FollowTheirScript) {
    const ReaderKindCase& test = GetParam();
    auto ring = MakeRing(test.fifoSize);
    ScriptRunner runner(*ring, owner, overflows, test.readers);
    runner.Run(test.script);
    runner.Finish();
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(FastIO, ReaderKinds, ::testing::ValuesIn(readerKindCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Writer ---------------------------------------------------------------------------------

TEST_F(FastIOTest, OutputSubsamplingPublishesOneWrittenElementIn) {
    struct Case {
        int rate;
        std::vector<int> discarded;  // of the elements 1 to 6, written with discard
        std::vector<int> published;
    };
    // A discard leaves the countdown alone: with rate 3, discarding 2 publishes 4 (the
    // third element kept), not 3.
    for (const Case& test : {Case{1, {}, {1, 2, 3, 4, 5, 6}}, Case{3, {}, {3, 6}}, Case{0, {}, {1, 2, 3, 4, 5, 6}},
                             Case{3, {2}, {4}}, Case{1, {3, 5}, {1, 2, 4, 6}}, Case{2, {2, 3}, {4, 6}}}) {
        SCOPED_TRACE(test.rate);
        auto ring = MakeRing(8, test.rate);
        EXPECT_EQ(ring->OutputSubsamplingRate(), test.rate < 1 ? 1 : test.rate)
            << "a rate below 1 is taken as 1";
        const int reader = ring->RegisterReader(FifoReader);
        for (int sequence = 1; sequence <= 6; ++sequence)
            Write(*ring, sequence,
                  std::find(test.discarded.begin(), test.discarded.end(), sequence) != test.discarded.end());
        std::vector<int> seen;
        while (ring->DataAvailable(reader)) {
            seen.push_back(FrameRing::Element(Take(*ring, reader)).sequence);
            ring->StopReading(reader);
        }
        EXPECT_EQ(seen, test.published);
    }
}

TEST_F(FastIOTest, OutputSubsamplingBelowOneIsRefusedAndTheRingKeepsPublishing) {
    auto ring = MakeRing(4, 2);
    const int reader = ring->RegisterReader(FifoReader);
    EXPECT_FALSE(ring->SetOutputSubsamplingRate(0));
    EXPECT_FALSE(ring->SetOutputSubsamplingRate(-3));
    EXPECT_EQ(ring->OutputSubsamplingRate(), 2);
    Write(*ring, 1);
    Write(*ring, 0, true);
    EXPECT_EQ(ring->NbDataAvailable(reader), 0) << "a discard does not count towards the subsampling";
    Write(*ring, 2);
    EXPECT_EQ(ring->NbDataAvailable(reader), 1);

    // A new rate counts from the next publication: the countdown runs on.
    EXPECT_TRUE(ring->SetOutputSubsamplingRate(3));
    Write(*ring, 3);
    Write(*ring, 4);
    EXPECT_EQ(ring->NbDataAvailable(reader), 2) << "4 ends the countdown of the old rate";
    Write(*ring, 5);
    Write(*ring, 6);
    EXPECT_EQ(ring->NbDataAvailable(reader), 2);
    Write(*ring, 7);
    EXPECT_EQ(ring->NbDataAvailable(reader), 3);
}

TEST_F(FastIOTest, EveryElementHeldMeansNoSpaceToWrite) {
    auto ring = MakeRing(2);
    const int reader = ring->RegisterReader(SamplingReader);
    Write(*ring, 1);
    TARNListIterator held = Take(*ring, reader);
    TARNListIterator writing = ring->StartWriting();
    EXPECT_EQ(ThrownCode([&] { ring->StartWriting(); }), Fatal);
    EXPECT_EQ(overflows, 1) << "the writer signals the overflow before it fails";
    EXPECT_EQ(Reports(),
              std::vector<HostReport>{RingError(
                  "Output buffer fatal error : StartWriting has no space where to write. Check that each "
                  "call to StartWriting has its corresponding call to StopWriting.")});

    // The failure left the ring as it was, mutex released.
    ring->StopWriting(writing, true);
    ring->StopReading(reader, held);
    EXPECT_NE(ring->StartWriting(), nullptr);
}

TEST_F(FastIOTest, StopWritingOnlyTakesBackWhatStartWritingHandedOut) {
    auto ring = MakeRing(2);
    TARNListIterator slot = ring->StartWriting();
    ring->StopWriting(slot, false);
    EXPECT_EQ(ThrownCode([&] { ring->StopWriting(slot, false); }), Fatal) << "published twice";
    EXPECT_EQ(ThrownCode([&] { ring->StopWriting(nullptr, true); }), Fatal);
    EXPECT_EQ(ReportTexts(),
              std::vector<std::string>(2,
                                       "TARNFastIO fatal error : StopWriting on an element that "
                                       "StartWriting did not hand out."));
    EXPECT_EQ(FrameRing::Slot(slot).State(), TARNFastIOState::Written);
}

TEST_F(FastIOTest, ResetFifoSizeRebuildsFreshPayloadsOnlyWhileNothingIsHeld) {
    const int aliveBefore = Frame::alive;
    {
        auto ring = MakeRing(3);
        EXPECT_EQ(Frame::alive, aliveBefore + 3);
        const int reader = ring->RegisterReader(FifoReader);
        Write(*ring, 7);
        TARNListIterator held = Take(*ring, reader);
        EXPECT_FALSE(ring->ResetFifoSize(5)) << "a reader still holds a payload";
        EXPECT_EQ(ring->FifoSize(), 3);
        ring->StopReading(reader, held);
        TARNListIterator writing = ring->StartWriting();
        EXPECT_FALSE(ring->ResetFifoSize(5)) << "the writer still fills a payload";
        ring->StopWriting(writing, true);

        ASSERT_TRUE(ring->ResetFifoSize(5));
        EXPECT_EQ(Frame::alive, aliveBefore + 5);
        int free = 0;
        for (TARNListIterator at = ring->InitBegin(); at; FrameRing::InitNext(at)) {
            free += FrameRing::Slot(at).State() == TARNFastIOState::Free;
            EXPECT_EQ(FrameRing::Element(at).sequence, 0) << "a new slot holds a new payload";
        }
        EXPECT_EQ(free, 5);
        EXPECT_EQ(ring->ReaderType(reader), FifoReader) << "readers are kept";
        EXPECT_FALSE(ring->DataAvailable(reader));

        ASSERT_TRUE(ring->ResetFifoSize(0));
        EXPECT_EQ(ring->InitBegin(), nullptr);
        EXPECT_TRUE(ring->IsFull());
        EXPECT_EQ(ThrownCode([&] { ring->StartWriting(); }), Fatal);
    }
    EXPECT_EQ(Frame::alive, aliveBefore) << "the ring destroys every payload it built";
}

// ---- Registration and reader settings ---------------------------------------------------------

TEST_F(FastIOTest, UpToThirtyTwoReadersUnderTheLowestFreeIds) {
    auto ring = MakeRing(2);
    for (int id = 0; id < FrameRing::MaxReaders; ++id) ASSERT_EQ(ring->RegisterReader(id % 5), id);
    EXPECT_EQ(ring->ReaderCount(), 32);
    EXPECT_EQ(ThrownCode([&] { ring->RegisterReader(FifoReader); }), Fatal);
    EXPECT_EQ(Reports(), std::vector<HostReport>{
                             RingError("TARNFastIO fatal error : TARNFastIO monitor has too many readers.")});

    ring->UnregisterReader(7);
    ring->UnregisterReader(3);
    EXPECT_EQ(ring->ReaderCount(), 30);
    EXPECT_EQ(ring->ReaderType(3), -1);
    EXPECT_EQ(ring->RegisterReader(SamplingReader), 3);
    EXPECT_EQ(ring->ReaderType(3), SamplingReader);
    EXPECT_EQ(ring->RegisterReader(42), 7) << "an unknown kind registers a plain FifoReader";
    EXPECT_EQ(ring->ReaderType(7), FifoReader);
    EXPECT_EQ(ring->ReaderType(31), NeverSkippingReader);
}

TEST_F(FastIOTest, UnregisteringGivesBackWhatTheReaderHeldAndForgetsItsMarks) {
    auto ring = MakeRing(2);
    const int stalled = ring->RegisterReader(NeverSkippingReader);
    const int other = ring->RegisterReader(FifoReader);
    Write(*ring, 1);
    Write(*ring, 2);
    TARNListIterator held = Take(*ring, stalled);
    ring->UnregisterReader(stalled);
    EXPECT_EQ(FrameRing::Slot(held).State(), TARNFastIOState::Written);
    EXPECT_EQ(FrameRing::Slot(held).ReadMask(), 0u);

    // Nothing waits for the forgotten reader: the writer laps the other one at once.
    Write(*ring, 3);
    EXPECT_EQ(overflows, 1);
    EXPECT_EQ(ring->RegisterReader(FifoReader), stalled);
    EXPECT_EQ(FrameRing::Element(Take(*ring, stalled)).sequence, 2)
        << "the new reader of that id starts afresh";
    ring->StopReading(stalled);
    EXPECT_EQ(FrameRing::Element(Take(*ring, other)).sequence, 2);
    ring->StopReading(other);

    EXPECT_EQ(ThrownCode([&] { ring->UnregisterReader(5); }), Fatal);
    EXPECT_EQ(ThrownCode([&] { ring->UnregisterReader(32); }), Fatal);
    EXPECT_EQ(ReportTexts(),
              std::vector<std::string>(2,
                                       "TARNFastIO fatal error : trying to unregister a reader "
                                       "that has never been registered before."));
}

// A reader let go while it still uses what it holds: the slot stays out of the writer's
// reach and the id stays taken until the slot comes back.
TEST_F(FastIOTest, AReaderLetGoKeepingWhatItHoldsGivesItBackLater) {
    auto ring = MakeRing(2);
    const int leaving = ring->RegisterReader(NeverSkippingReader);
    const int other = ring->RegisterReader(FifoReader);
    Write(*ring, 1);
    TARNListIterator held = Take(*ring, leaving);
    ring->UnregisterReader(leaving, true);
    EXPECT_EQ(ring->ReaderCount(), 1);
    EXPECT_TRUE(ring->HasLeavingReaders());
    EXPECT_EQ(FrameRing::Slot(held).State(), TARNFastIOState::BeingRead);
    EXPECT_EQ(ring->RegisterReader(FifoReader), other + 1) << "the id of the leaving reader stays taken";

    // Nothing waits for it any more, but its slot is never written over.
    for (int sequence = 2; sequence <= 5; ++sequence) Write(*ring, sequence);
    EXPECT_EQ(FrameRing::Element(held).sequence, 1);
    EXPECT_FALSE(ring->FreeAllSlots());

    ring->StopReading(leaving, held);
    EXPECT_FALSE(ring->HasLeavingReaders());
    EXPECT_EQ(FrameRing::Slot(held).State(), TARNFastIOState::Written);
    EXPECT_EQ(ring->RegisterReader(FifoReader), leaving);
    EXPECT_TRUE(ring->FreeAllSlots());
}

// A slot set aside leaves the ring with what it holds: a new free slot takes its place, the
// writer never reaches it, and its holders give it back as before, which deletes it. What
// was kept for the slots set aside goes with the last of them. Set aside for readers cut off
// only, a slot a connected reader holds stays.
TEST_F(FastIOTest, ASlotSetAsideStaysItsHoldersAndGoesWithTheLastGiveBack) {
    auto ring = MakeRing(3);
    const int connected = ring->RegisterReader(FifoReader);
    const int leaving = ring->RegisterReader(FifoReader);
    Write(*ring, 1);
    Write(*ring, 2);
    TARNListIterator heldByConnected = Take(*ring, connected);
    TARNListIterator heldByLeaving = Take(*ring, leaving);
    TARNListIterator secondHeld = Take(*ring, leaving);
    ring->UnregisterReader(leaving, true);
    const int framesBefore = Frame::alive.load();

    // The slot of 2 is held by the leaving reader alone; that of 1 by a connected one too.
    EXPECT_EQ(ring->SetAsideHeldSlots(true), 1);
    EXPECT_EQ(ring->SetAsideHeldSlots(true), 0);
    EXPECT_EQ(ring->FifoSize(), 3);
    EXPECT_EQ(Frame::alive.load(), framesBefore + 1) << "a new slot took the place of the one set aside";
    EXPECT_EQ(ring->SetAsideHeldSlots(), 1) << "every held slot";
    EXPECT_TRUE(ring->FreeAllSlots()) << "nothing held is left in the ring";

    int released = 0;
    ring->KeepUntilGivenBack(&released, [](void* count) { ++*static_cast<int*>(count); });
    for (int sequence = 3; sequence <= 8; ++sequence) Write(*ring, sequence);
    EXPECT_EQ(FrameRing::Element(heldByConnected).sequence, 1);
    EXPECT_EQ(FrameRing::Element(heldByLeaving).sequence, 1);
    EXPECT_EQ(FrameRing::Element(secondHeld).sequence, 2);
    EXPECT_EQ(FrameRing::Slot(secondHeld).State(), TARNFastIOState::BeingRead);

    ring->StopReading(leaving, secondHeld);
    ring->StopReading(leaving, heldByLeaving);
    EXPECT_FALSE(ring->HasLeavingReaders());
    EXPECT_EQ(released, 0) << "the slot of 1 is still held";
    ring->StopReading(connected);
    EXPECT_FALSE(ring->HasSetAsideSlots());
    EXPECT_EQ(released, 1);
    EXPECT_EQ(Frame::alive.load(), framesBefore) << "both slots set aside were deleted";
    ring->KeepUntilGivenBack(&released, [](void* count) { ++*static_cast<int*>(count); });
    EXPECT_EQ(released, 2) << "with nothing set aside, at once";
}

// Blocks handed to the ring to keep, counted while they live.
int liveBlocks = 0;
void* NewBlock() {
    ++liveBlocks;
    return new int(0);
}
void FreeBlock(void* block) {
    --liveBlocks;
    delete static_cast<int*>(block);
}

// An owner lays its buffers out anew life after life while a reader cut off from the graph
// holds an element of the first life: only the block under that element is kept, and the
// block of each later life goes as soon as it is handed over, unless a slot set aside in
// that life lies over it; then it goes with that slot, whatever the first holder does. A
// slot set aside while the owner had no block keeps none of the later ones.
TEST_F(FastIOTest, OnlyTheBlockUnderAHeldSlotSetAsideIsKept) {
    liveBlocks = 0;
    auto ring = MakeRing(3);
    const int stuck = ring->RegisterReader(FifoReader);
    const int later = ring->RegisterReader(FifoReader);
    Write(*ring, 1);
    TARNListIterator first = Take(*ring, stuck);
    ring->UnregisterReader(stuck, true);
    ASSERT_EQ(ring->SetAsideHeldSlots(), 1);
    ring->KeepUntilGivenBack(NewBlock(), &FreeBlock);
    EXPECT_EQ(liveBlocks, 1) << "the block under the held slot";

    for (int life = 1; life <= 10; ++life) {
        SCOPED_TRACE("life " + std::to_string(life));
        ASSERT_TRUE(ring->FreeAllSlots(true));
        Write(*ring, life + 1);
        ring->StopReading(later, Take(*ring, later));
        EXPECT_EQ(ring->SetAsideHeldSlots(), 0);
        ring->KeepUntilGivenBack(NewBlock(), &FreeBlock);
        EXPECT_EQ(liveBlocks, 1) << "a block nothing held lies over was kept";
    }

    Write(*ring, 20);
    TARNListIterator second = Take(*ring, later);
    ring->UnregisterReader(later, true);
    ASSERT_EQ(ring->SetAsideHeldSlots(), 1);
    ring->KeepUntilGivenBack(NewBlock(), &FreeBlock);
    ring->KeepUntilGivenBack(NewBlock(), &FreeBlock);
    EXPECT_EQ(liveBlocks, 2) << "the second slot's block, and only that one, is kept beside the first";
    EXPECT_EQ(FrameRing::Element(second).sequence, 20);
    ring->StopReading(later, second);
    EXPECT_EQ(liveBlocks, 1) << "the later block went with the slot over it";

    const int third = ring->RegisterReader(FifoReader);
    Write(*ring, 30);
    TARNListIterator overNothing = Take(*ring, third);
    ring->UnregisterReader(third, true);
    ASSERT_EQ(ring->SetAsideHeldSlots(), 1);
    ring->KeepUntilGivenBack(nullptr, &FreeBlock);
    ring->KeepUntilGivenBack(NewBlock(), &FreeBlock);
    EXPECT_EQ(liveBlocks, 1) << "a block was kept for a slot that lies over none";
    ring->StopReading(third, overNothing);

    EXPECT_EQ(FrameRing::Element(first).sequence, 1);
    ring->StopReading(stuck, first);
    EXPECT_EQ(liveBlocks, 0);
    EXPECT_FALSE(ring->HasSetAsideSlots());
}

// Published slots that FIFO-group readers have still to take stay readable through a new
// layout: each reader takes them in order as they were published, then the new layout's;
// the writer never writes into one, each has a new slot beside it, and each leaves the
// ring once every FIFO-group reader has taken it, the old block with the last of them. A
// slot every such reader had taken is dropped as before, and a slot being read is set
// aside.
TEST_F(FastIOTest, PublishedSlotsStayReadableThroughANewLayout) {
    liveBlocks = 0;
    auto ring = MakeRing(3);
    const int fast = ring->RegisterReader(FifoReader);
    const int slow = ring->RegisterReader(NeverSkippingReader);
    Write(*ring, 1);
    Write(*ring, 2);
    Write(*ring, 3);
    ring->StopReading(fast, Take(*ring, fast));
    ring->StopReading(slow, Take(*ring, slow));  // 1: taken by both, dropped
    TARNListIterator heldByFast = Take(*ring, fast);  // 2: held, set aside
    const int framesBefore = Frame::alive.load();

    EXPECT_EQ(ring->SetAsideHeldSlotsAndKeepPublished(), 2) << "2 set aside, 3 kept";
    ring->KeepUntilGivenBack(NewBlock(), &FreeBlock);
    EXPECT_EQ(ring->FifoSize(), 3) << "the new layout's slots";
    EXPECT_EQ(Frame::alive.load(), framesBefore + 2) << "a new slot for each slot set aside or kept";
    EXPECT_EQ(liveBlocks, 1);

    Write(*ring, 4);
    Write(*ring, 5);
    Write(*ring, 6);
    EXPECT_EQ(FrameRing::Element(heldByFast).sequence, 2);
    ring->StopReading(fast, heldByFast);
    for (const int reader : {fast, slow}) {
        std::vector<int> read;
        for (int i = 0; i < 5 && ring->DataAvailable(reader); ++i) {
            TARNListIterator slot = Take(*ring, reader);
            read.push_back(FrameRing::Element(slot).sequence);
            ring->StopReading(reader, slot);
        }
        EXPECT_EQ(read, reader == fast ? (std::vector<int>{3, 4, 5, 6}) : (std::vector<int>{2, 3, 4, 5, 6}));
    }
    EXPECT_EQ(liveBlocks, 1) << "the old block goes when the slot over it leaves the ring";
    EXPECT_EQ(ring->NbLosslessSlots(), 3) << "a slot over the old layout is none the writer can take";
    Write(*ring, 7);
    EXPECT_EQ(liveBlocks, 0);
    EXPECT_EQ(Frame::alive.load(), framesBefore) << "the ring is back to its slots";
    EXPECT_EQ(overflows, 0);
}

// Slots kept over an old layout are never the writer's: short of space it overwrites the
// new layout's oldest (an overflow) or waits for a never-skipping reader, as without them.
// A ring reset or freed for the next run deletes them, and the old block goes with the
// last; so does a layout that drops what was published, and one that keeps it once nobody
// reads them any more.
TEST_F(FastIOTest, SlotsKeptOverAnOldLayoutAreNeverWrittenAndGoWithTheRing) {
    for (const int way : {0, 1, 2, 3}) {
        SCOPED_TRACE(way == 0   ? "reset"
                     : way == 1 ? "freed for the next run"
                     : way == 2 ? "laid out again"
                                : "laid out again, what was published dropped");
        liveBlocks = 0;
        const int framesBefore = Frame::alive.load();
        auto ring = MakeRing(2);
        const int reader = ring->RegisterReader(FifoReader);
        Write(*ring, 1);
        Write(*ring, 2);
        ASSERT_EQ(ring->SetAsideHeldSlotsAndKeepPublished(), 2);
        ring->KeepUntilGivenBack(NewBlock(), &FreeBlock);
        for (int sequence = 3; sequence <= 6; ++sequence) Write(*ring, sequence);
        EXPECT_EQ(overflows, 2) << "3 and 4 were overwritten, not 1 and 2";
        std::vector<int> read;
        while (ring->DataAvailable(reader)) {
            TARNListIterator slot = Take(*ring, reader);
            read.push_back(FrameRing::Element(slot).sequence);
            ring->StopReading(reader, slot);
            if (read.size() == 1) break;
        }
        EXPECT_EQ(read, std::vector<int>{1});
        EXPECT_EQ(liveBlocks, 1);
        switch (way) {
            case 0:
                ASSERT_TRUE(ring->ResetFifoSize(2));
                break;
            case 1:
                ASSERT_TRUE(ring->FreeAllSlots());
                break;
            case 2:
                ring->UnregisterReader(reader);
                ring->SetAsideHeldSlotsAndKeepPublished();
                ring->KeepUntilGivenBack(NewBlock(), &FreeBlock);
                Write(*ring, 7);
                break;
            case 3:
                ring->SetAsideHeldSlotsAndDropPublished();
                ring->KeepUntilGivenBack(NewBlock(), &FreeBlock);
                EXPECT_FALSE(ring->DataAvailable(reader));
                break;
        }
        EXPECT_EQ(liveBlocks, 0);
        EXPECT_EQ(ring->FifoSize(), 2);
        ring.reset();
        EXPECT_EQ(Frame::alive.load(), framesBefore);
        overflows = 0;
    }
}

// A reader that may skip and takes nothing while the layout changes again and again pins
// one old layout at most: what an earlier layout kept for such readers alone goes with the
// next. What a never-skipping reader has still to take stays through every layout. The
// slots the writer can take without loss are those of the layout only.
TEST_F(FastIOTest, ALaggingReaderPinsOneOldLayoutAtMost) {
    for (const int readerType : {int{FifoReader}, int{NeverSkippingReader}}) {
        SCOPED_TRACE(readerType == FifoReader ? "FIFO reader" : "never-skipping reader");
        liveBlocks = 0;
        const int framesBefore = Frame::alive.load();
        auto ring = MakeRing(3);
        const int reader = ring->RegisterReader(readerType);
        for (int layout = 1; layout <= 5; ++layout) {
            // A never-skipping reader holds the writer back once the layout's slots are full.
            for (int i = 0; i < 3; ++i) Write(*ring, layout * 10 + i);
            ring->SetAsideHeldSlotsAndKeepPublished();
            ring->KeepUntilGivenBack(NewBlock(), &FreeBlock);
            EXPECT_EQ(ring->NbLosslessSlots(), 3) << "layout " << layout;
        }
        EXPECT_EQ(ring->FifoSize(), 3);
        if (readerType == FifoReader) {
            EXPECT_EQ(liveBlocks, 1) << "only the last old layout";
            EXPECT_EQ(Frame::alive.load(), framesBefore + 6);
        } else {
            EXPECT_EQ(liveBlocks, 5) << "every layout holds what the reader has still to take";
            std::vector<int> read;
            while (ring->DataAvailable(reader)) {
                TARNListIterator slot = Take(*ring, reader);
                read.push_back(FrameRing::Element(slot).sequence);
                ring->StopReading(reader, slot);
            }
            EXPECT_EQ(read, (std::vector<int>{10, 11, 12, 20, 21, 22, 30, 31, 32, 40, 41, 42, 50, 51, 52}));
            Write(*ring, 60);
            EXPECT_EQ(liveBlocks, 0);
        }
        ring.reset();
        EXPECT_EQ(liveBlocks, 0);
        EXPECT_EQ(Frame::alive.load(), framesBefore);
    }
}

// Freeing every slot past the readers cut off from the graph sets their slots aside only
// when no connected reader refuses the release: refused, the ring keeps every slot as it
// was, the cut-off reader's too, since the owner then keeps its buffers under them.
TEST_F(FastIOTest, FreeingPastCutOffReadersSetsNothingAsideWhenAConnectedReaderRefuses) {
    auto ring = MakeRing(3);
    const int connected = ring->RegisterReader(FifoReader);
    const int leaving = ring->RegisterReader(FifoReader);
    Write(*ring, 1);
    Write(*ring, 2);
    TARNListIterator heldByLeaving = Take(*ring, leaving);
    ring->StopReading(connected, Take(*ring, connected));
    TARNListIterator heldByConnected = Take(*ring, connected);
    ASSERT_EQ(FrameRing::Element(heldByConnected).sequence, 2);
    ring->UnregisterReader(leaving, true);
    const int framesBefore = Frame::alive.load();

    EXPECT_FALSE(ring->FreeAllSlots(true));
    EXPECT_FALSE(ring->HasSetAsideSlots());
    EXPECT_EQ(Frame::alive.load(), framesBefore) << "no new slot took a place";

    ring->StopReading(connected, heldByConnected);
    EXPECT_TRUE(ring->FreeAllSlots(true));
    EXPECT_TRUE(ring->HasSetAsideSlots());
    EXPECT_EQ(FrameRing::Element(heldByLeaving).sequence, 1);
    ring->StopReading(leaving, heldByLeaving);
    EXPECT_FALSE(ring->HasSetAsideSlots());
}

// A ring whose owner went while a reader cut off from the graph held one of its slots lives
// on for that reader alone: its last give-back deletes it, or, when it never comes, the
// package's unloading does. A ring nobody holds goes at once.
TEST_F(FastIOTest, AnAbandonedRingLivesUntilItsLastSlotComesBackOrTheUnloading) {
    for (const bool givenBack : {true, false}) {
        SCOPED_TRACE(givenBack ? "given back" : "never given back");
        const int framesBefore = Frame::alive.load();
        const int ringsBefore = TARNPrivate::AbandonedRingCount();
        auto* ring = new FrameRing(&owner, 3, 1);
        const int leaving = ring->RegisterReader(NeverSkippingReader);
        Write(*ring, 1);
        TARNListIterator held = Take(*ring, leaving);
        ring->UnregisterReader(leaving, true);
        int released = 0;
        ring->KeepUntilGivenBack(&released, [](void* count) { ++*static_cast<int*>(count); });
        EXPECT_EQ(released, 1) << "nothing was set aside yet";
        ring->SetAsideHeldSlots();
        ring->KeepUntilGivenBack(&released, [](void* count) { ++*static_cast<int*>(count); });

        FrameRing::Abandon(ring);
        EXPECT_EQ(TARNPrivate::AbandonedRingCount(), ringsBefore + 1);
        EXPECT_EQ(Frame::alive.load(), framesBefore + 1) << "only the held slot is left";
        EXPECT_EQ(FrameRing::Element(held).sequence, 1);
        if (givenBack)
            ring->StopReading(leaving, held);
        else
            TARNPrivate::DestroyAbandonedRings();
        EXPECT_EQ(TARNPrivate::AbandonedRingCount(), ringsBefore);
        EXPECT_EQ(Frame::alive.load(), framesBefore);
        EXPECT_EQ(released, 2);
    }
    const int framesBefore = Frame::alive.load();
    FrameRing::Abandon(new FrameRing(&owner, 3, 1));
    EXPECT_EQ(Frame::alive.load(), framesBefore);
}

TEST_F(FastIOTest, ReaderSettingsAreCheckedInOrder) {
    const std::string subsamplingUnknown =
        "TARNFastIO fatal error : trying to set the subsampling rate for a reader that has never been "
        "registered "
        "before.";
    const std::string subsamplingNotFifo =
        "TARNFastIO fatal error : SetSubsamplingRate works only with FIFO readers.";
    const std::string subsamplingRange =
        "TARNFastIO fatal error: Output subsampling rate must be an integer in the range between 1 and 256 "
        "included.";
    const std::string typeUnknown =
        "TARNFastIO fatal error : trying to set the reader type for a reader that has never been registered "
        "before.";
    const std::string typeNotFifo = "TARNFastIO fatal error : SetReaderType works only with FIFO readers.";

    auto ring = MakeRing(2);
    const int fifo = ring->RegisterReader(FifoReader);
    const int sampling = ring->RegisterReader(SamplingReader);
    const int waiting = ring->RegisterReader(Wait4NextReader);
    const int unknown = 9;

    struct Case {
        const char* name;
        std::function<void()> call;
        std::string report;  // empty: accepted
    };
    const Case cases[] = {
        {"subsampling of an unknown reader, even out of range", [&] { ring->SetSubsamplingRate(unknown, 0); },
         subsamplingUnknown},
        {"subsampling of an id beyond 31", [&] { ring->SetSubsamplingRate(40, 2); }, subsamplingUnknown},
        {"subsampling of a SamplingReader", [&] { ring->SetSubsamplingRate(sampling, 0); },
         subsamplingNotFifo},
        {"subsampling 0", [&] { ring->SetSubsamplingRate(fifo, 0); }, subsamplingRange},
        {"subsampling -1", [&] { ring->SetSubsamplingRate(fifo, -1); }, subsamplingRange},
        {"subsampling 257", [&] { ring->SetSubsamplingRate(fifo, 257); }, subsamplingRange},
        {"subsampling 256", [&] { ring->SetSubsamplingRate(fifo, 256); }, ""},
        {"reader type of an unknown reader", [&] { ring->SetReaderType(unknown, 1); }, typeUnknown},
        {"reader type of a Wait4NextReader", [&] { ring->SetReaderType(waiting, 0); }, typeNotFifo},
        {"reader type 2", [&] { ring->SetReaderType(fifo, LastOrNextReader); }, ""},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        recorder.ClearReports();
        EXPECT_EQ(ThrownCode(test.call), test.report.empty() ? 0 : Fatal);
        if (test.report.empty())
            EXPECT_TRUE(Reports().empty());
        else
            EXPECT_EQ(Reports(), std::vector<HostReport>{RingError(test.report)});
    }
    EXPECT_EQ(ring->SubsamplingRate(fifo), 256) << "refusals changed nothing; 256 is kept as 255 + 1";
    EXPECT_EQ(ring->SubsamplingRate(sampling), 0);
    EXPECT_EQ(ring->ReaderType(fifo), LastOrNextReader);
    ring->SetReaderType(fifo, NeverSkippingReader);
    EXPECT_EQ(ring->ReaderType(fifo), NeverSkippingReader);
    ring->SetReaderType(fifo, SamplingReader);
    EXPECT_EQ(ring->ReaderType(fifo), FifoReader) << "a kind outside the group leaves a plain FifoReader";
    EXPECT_EQ(ring->ReaderType(sampling), SamplingReader);
}

// ---- Reading misuse ---------------------------------------------------------------------------

TEST_F(FastIOTest, ReadingWithAnUnknownReaderIsFatalWithoutAPosition) {
    auto ring = MakeRing(2);
    ring->RegisterReader(FifoReader);
    Write(*ring, 1);
    for (int reader : {5, 32, -1, 1000}) {
        SCOPED_TRACE(reader);
        recorder.ClearReports();
        TARNListIterator slot = nullptr;
        TARNEvent *event = nullptr, *abort = nullptr;
        EXPECT_EQ(ThrownCode([&] { ring->StartReadingX(reader, &event, &abort, &slot); }), Fatal);
        EXPECT_EQ(slot, nullptr);
        EXPECT_EQ(event, nullptr) << "no wait was prepared";
        EXPECT_EQ(ThrownCode([&] { ring->AchieveStartReadingX(reader, 0, &slot); }), Fatal);
        EXPECT_EQ(Reports(),
                  std::vector<HostReport>(2, RingError("TARNFastIO fatal error : trying to read with a "
                                                       "reader that has never been registered before.")));
    }
    // The mutex was released every time, and the registered reader still reads.
    EXPECT_EQ(FrameRing::Element(Take(*ring, 0)).sequence, 1);
    ring->StopReading(0);
}

TEST_F(FastIOTest, StopReadingWithoutHoldingIsFatalAndNamesTheReadersBit) {
    auto ring = MakeRing(3);
    for (int id = 0; id < FrameRing::MaxReaders; ++id) ring->RegisterReader(FifoReader);
    Write(*ring, 1);
    TARNListIterator heldByOne = Take(*ring, 1);

    struct Case {
        std::function<void()> call;
        const char* bit;
    };
    const Case cases[] = {
        {[&] { ring->StopReading(2); }, "4"},
        {[&] { ring->StopReading(31); }, "2147483648"},
        {[&] { ring->StopReading(2, heldByOne); }, "4"},
        {[&] { ring->StopReading(0, nullptr); }, "1"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.bit);
        recorder.ClearReports();
        EXPECT_EQ(ThrownCode(test.call), Fatal);
        EXPECT_EQ(Reports(), std::vector<HostReport>{RingError(
                                 std::string("TARNFastIO fatal error : Stop reading without starting (X") +
                                 test.bit + ")")});
    }
    EXPECT_EQ(FrameRing::Slot(heldByOne).State(), TARNFastIOState::BeingRead);
    ring->StopReading(1, heldByOne);
    EXPECT_EQ(ThrownCode([&] { ring->StopReading(1); }), Fatal) << "given back once only";
}

// ---- Queries ----------------------------------------------------------------------------------

TEST_F(FastIOTest, DataQueriesFollowWhatEachReaderWouldTake) {
    auto ring = MakeRing(3);
    const int fifo = ring->RegisterReader(FifoReader);
    const int last = ring->RegisterReader(LastOrNextReader);
    const int sampling = ring->RegisterReader(SamplingReader);
    const int next = ring->RegisterReader(Wait4NextReader);
    // Per reader: the count of data available, negative when DataAvailable says there is none.
    const auto available = [&] {
        std::vector<int> counts;
        for (int reader : {fifo, last, sampling, next}) {
            const int count = ring->NbDataAvailable(reader);
            counts.push_back(ring->DataAvailable(reader) ? count : -count);
        }
        return counts;
    };

    EXPECT_EQ(available(), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_TRUE(ring->IsEmpty());
    Write(*ring, 1);
    Write(*ring, 2);
    EXPECT_EQ(available(), (std::vector<int>{2, 2, 2, 2}));
    EXPECT_FALSE(ring->IsEmpty());

    ring->StopReading(last, Take(*ring, last));  // takes 2, counts 1 as read
    ring->StopReading(fifo, Take(*ring, fifo));  // takes 1
    EXPECT_EQ(available(), (std::vector<int>{1, 0, 2, 2}));
    ring->StopReading(fifo, Take(*ring, fifo));  // takes 2
    EXPECT_EQ(available(), (std::vector<int>{0, 0, 2, 2}))
        << "the non-FIFO readers see whatever is published";
    EXPECT_TRUE(ring->IsEmpty()) << "every FIFO-group reader took everything";

    TARNListIterator held = Take(*ring, sampling);
    EXPECT_FALSE(ring->IsEmpty()) << "a slot is being read";
    ring->StopReading(sampling, held);

    EXPECT_FALSE(ring->DataAvailable(9));
    EXPECT_EQ(ring->NbDataAvailable(-1), 0);
}

TEST_F(FastIOTest, FullMeansTheNextWriteWouldLoseSomething) {
    auto ring = MakeRing(2);
    const int reader = ring->RegisterReader(FifoReader);
    Write(*ring, 1);
    EXPECT_FALSE(ring->IsFull()) << "a slot is free";
    Write(*ring, 2);
    EXPECT_TRUE(ring->IsFull()) << "both slots wait for the reader";
    ring->StopReading(reader, Take(*ring, reader));
    EXPECT_FALSE(ring->IsFull()) << "1 was taken by every FIFO-group reader";
    EXPECT_EQ(overflows, 0);
}

TEST_F(FastIOTest, WalkGoesFromTheNewestToTheOldest) {
    auto ring = MakeRing(3);
    Write(*ring, 1);
    Write(*ring, 2);
    Write(*ring, 3);
    std::vector<int> order;
    TARNListIterator at = ring->InitBegin();
    for (; at; FrameRing::InitNext(at)) order.push_back(FrameRing::Element(at).sequence);
    EXPECT_EQ(order, (std::vector<int>{3, 2, 1}));
    EXPECT_EQ(FrameRing::InitNext(at), nullptr) << "past the end stays at the end";
}

}  // namespace
