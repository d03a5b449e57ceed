// Reading on several inputs at once: the lowest input with data wins, a caller event ends
// the wait, a sampling reader is refused, and a module without a thread reads only the
// input its writer ran it for.
#include <gtest/gtest.h>

#include <string>

#include "dataflow/input_implementation.hpp"
#include "reading_writing_fixture.hpp"

namespace {

// A sequential module that reads its two inputs through the several-inputs call.
class TwoInputReader : public TARNModule {
  public:
    explicit TwoInputReader(const char* name) : TARNModule(name, false, false) {}
    void SequentialCore(TARNInput*) override {
        int index = -9;
        TARNIOElt* element = StartReading(2, inputs, &index, 0, nullptr);
        indexes.push_back(index);
        values.push_back(element != nullptr ? element->Integer32(0)[0] : 0);
        if (throwing != 0) throw throwing;
    }
    TARNInput* inputs[2] = {nullptr, nullptr};
    // Thrown at the end of each run when not 0.
    int throwing = 0;
    std::vector<int> indexes;
    std::vector<int> values;
};

}  // namespace

TEST_F(ReadingWritingTest, TheLowestInputWithDataWinsAmongSeveral) {
    TARNModule writerA("a", false, false);
    TARNModule writerB("b", false, false);
    TARNModule writerC("c", false, false);
    TARNModule reader("sink", false, false);
    reader.threaded = true;
    TARNOutput& a = MakeOutput(writerA, 3);
    TARNOutput& b = MakeOutput(writerB, 3);
    TARNOutput& c = MakeOutput(writerC, 3);
    TARNInput* inputs[3];
    const char* names[3] = {"x", "y", "z"};
    TARNOutput* outputs[3] = {&a, &b, &c};
    for (int i = 0; i < 3; ++i) {
        const TARNInputDefinition definition{names[i], nullptr, nullptr, NeverSkippingReader, 1};
        inputs[i] = reader.NewInput(definition, nullptr);
        ConnectByHand(*outputs[i], *inputs[i]);
    }
    Write(writerB, b, 20, 2);
    Write(writerC, c, 30, 3);
    int index = -9;
    TARNIOElt* element = reader.StartReading(3, inputs, &index, 0, nullptr);
    ASSERT_NE(element, nullptr);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(element->Integer32(0)[0], 20);
    element = reader.StartReading(3, inputs, &index, 0, nullptr);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(element->Integer32(0)[0], 30);
    for (TARNInput* input : inputs) EXPECT_FALSE(static_cast<TARNInputImplementation*>(input)->reading);

    // Nothing left to read: a caller event that is set ends the wait.
    TARNEvent callerEvents[2];
    TARNEvent* events[2] = {&callerEvents[0], &callerEvents[1]};
    callerEvents[1].Set();
    EXPECT_EQ(reader.StartReading(3, inputs, &index, 2, events), nullptr);
    EXPECT_EQ(index, 3 + 1);
    for (TARNInput* input : inputs) EXPECT_FALSE(static_cast<TARNInputImplementation*>(input)->reading);
    // The abandoned waits left the rings usable.
    Write(writerA, a, 10, 1);
    EXPECT_EQ(reader.StartReading(3, inputs, &index, 0, nullptr)->Integer32(0)[0], 10);
    EXPECT_EQ(index, 0);
    for (TARNInput* input : inputs) reader.StopReading(*input);
    for (TARNOutput* output : outputs) EXPECT_TRUE(Ring(*output).IsIdle());
}

TEST_F(ReadingWritingTest, AnInputWithSubsamplingAmongSeveralDeliversEveryThird) {
    ConnectedPair pair(8, NeverSkippingReader, 3);
    auto& [writer, reader, out, in] = pair;
    TARNInput* inputs[1] = {&in};
    for (int value = 1; value <= 6; ++value) Write(writer, out, value, value);
    int index = -9;
    EXPECT_EQ(reader.StartReading(1, inputs, &index, 0, nullptr)->Integer32(0)[0], 3);
    EXPECT_EQ(reader.StartReading(1, inputs, &index, 0, nullptr)->Integer32(0)[0], 6);
    reader.StopReading(in);
    EXPECT_TRUE(Ring(out).IsIdle());
}

TEST_F(ReadingWritingTest, ASamplingReaderAmongSeveralInputsIsRefused) {
    ConnectedPair pair(3, SamplingReader);
    auto& [writer, reader, out, in] = pair;
    TARNInput* inputs[1] = {&in};
    int index = -9;
    EXPECT_EQ(ThrownCode([&] { reader.StartReading(1, inputs, &index, 0, nullptr); }),
              TARNModule::ErrorException);
    EXPECT_EQ(std::string(reader.errorText.c_str()), "Failed to start reading on multiple inputs");
    EXPECT_FALSE(in.reading);
}

TEST_F(ReadingWritingTest, ASequentialModuleReadsOnlyTheInputItsWriterRanItFor) {
    TARNModule writerA("a", false, false);
    TARNModule writerB("b", false, false);
    TwoInputReader reader("sink");
    TARNOutput& a = MakeOutput(writerA, 3);
    TARNOutput& b = MakeOutput(writerB, 3);
    const TARNInputDefinition x{"x", nullptr, nullptr, NeverSkippingReader, 1};
    const TARNInputDefinition y{"y", nullptr, nullptr, NeverSkippingReader, 1};
    reader.inputs[0] = reader.NewInput(x, nullptr);
    reader.inputs[1] = reader.NewInput(y, nullptr);
    ConnectByHand(a, *reader.inputs[0]);
    ConnectByHand(b, *reader.inputs[1]);
    Write(writerB, b, 20, 2);
    Write(writerA, a, 10, 1);
    EXPECT_EQ(reader.indexes, (std::vector<int>{1, 0}));
    EXPECT_EQ(reader.values, (std::vector<int>{20, 10}));
    // Outside a run by its writer there is no input to read, also after a run that threw.
    int index = -9;
    EXPECT_EQ(reader.StartReading(2, reader.inputs, &index, 0, nullptr), nullptr);
    EXPECT_EQ(index, -1);
    reader.throwing = TARNModule::ErrorException;
    EXPECT_EQ(ThrownCode([&] { Write(writerA, a, 11, 3); }), TARNModule::ErrorException);
    EXPECT_EQ(reader.sequentialInput, nullptr);
    EXPECT_EQ(reader.StartReading(2, reader.inputs, &index, 0, nullptr), nullptr);
    EXPECT_EQ(index, -1);
}
