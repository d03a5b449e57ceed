// The fixture of the record and replay tests: a bound host kernel with a manual clock, a
// folder to record to, a recorder, and a source module whose output is recorded. Birth,
// the record loop and death are driven from the test's threads, as the engine's recorder
// and player would drive them.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../dataflow/connection_by_hand.hpp"
#include "../dataflow/reading_writing_fixture.hpp"
#include "dataflow/io_element_implementation.hpp"
#include "dataflow/io_monitor_implementation.hpp"
#include "dataflow/output_implementation.hpp"
#include "support/host_kernel_fixture.hpp"
#include "support/test_player.hpp"
#include "support/test_record_method.hpp"
#include "support/test_recorder.hpp"
#include "support/test_replay_method.hpp"
#include "tarn/dataflow/module.hpp"
#include "tarn/engine/engine_recording.hpp"
#include "tarn/runtime/ipl_image.hpp"

// What a recorded source publishes: vectors of 4 integers, or 8x4 grey IPL images.
enum class SourceKind { Vector, Image };

class RecordingTest : public ManualTimeTest {
  protected:
    static constexpr int VectorLength = 4;
    static constexpr int ImageWidth = 8;
    static constexpr int ImageHeight = 4;
    // Engine time while the tests record: after every time of issue they publish.
    static constexpr long EngineNow = 1'000'000'000;

    void SetUp() override {
        ManualTimeTest::SetUp();
        char pattern[] = "/tmp/tarn_record_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        Time().SetCurrentTime(EngineNow);
        TARN::StartRecording();
    }
    void TearDown() override {
        // A test that ended early may leave a record or replay thread running: it stops
        // before its method goes.
        for (auto& method : methods) {
            if (ThreadsOf(*method) == 0) continue;
            method->Die();
            method->Wait4Death();
        }
        methods.clear();
        sources.clear();
        recorders.clear();
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
        ManualTimeTest::TearDown();
    }

    // A module `name` with the output "out" of the given kind in a ring of `fifoSize`.
    TARNOutputImplementation& MakeSource(const char* name, SourceKind kind = SourceKind::Vector, int fifoSize = 8) {
        sources.push_back(std::make_unique<TARNModule>(name, false, false));
        TARNModule& module = *sources.back();
        TARNOutputDefinition definition{};
        definition.name = "out";
        definition.type = TARNTypeInfo(kind == SourceKind::Vector ? TARNTypeInfo::Integer32 : TARNTypeInfo::IplImage);
        definition.bufferSize = kind == SourceKind::Vector ? VectorLength : 0;
        definition.fifoSize = static_cast<unsigned int>(fifoSize);
        definition.subsampling = 1;
        auto& output = static_cast<TARNOutputImplementation&>(*module.NewOutput(definition, nullptr));
        if (kind == SourceKind::Image) {
            output.FreeBuffer();
            output.AllocOutputBufferIplImage(TARN::IplImageModel(ImageWidth, ImageHeight, "GRAY", 0, 8, 4), false);
        }
        return output;
    }

    TestRecorder& MakeRecorder(const char* name = "rec", bool startTime = false) {
        recorders.push_back(std::make_unique<TestRecorder>(name, startTime));
        TestRecorder& recorder = *recorders.back();
        recorder.recordPath->Set(root.c_str());
        return recorder;
    }

    template <class Method, class... Args>
    Method& Make(Args&&... args) {
        auto method = std::make_unique<Method>(std::forward<Args>(args)...);
        Method& made = *method;
        methods.push_back(std::move(method));
        return made;
    }

    // Publishes one element on `output` whose payload starts with `value` (the vector's
    // items, or every pixel's byte pattern), with the given time of issue and timestamp.
    static void Publish(TARNOutputImplementation& output, int value, long timeOfIssue, long timestamp) {
        TARNModule& writer = *output.owner;
        TARNIOElt* element = writer.StartWriting(output, timestamp);
        if (element->Type().type & TARNTypeInfo::IplImage) {
            _IplImage* image = element->IplImage();
            for (int i = 0; i + 4 <= image->imageSize; i += 4)
                *reinterpret_cast<int*>(image->imageData + i) = value;
        } else {
            for (int i = 0; i < VectorLength; ++i) element->Integer32(i)[0] = value;
            element->VectorSize() = VectorLength;
        }
        element->TimeOfIssue() = timeOfIssue;
        element->Timestamp() = timestamp;
        writer.StopWriting(element, false);
    }

    // Publishes without running the output's sequential readers: the test runs the
    // record loop itself.
    static void PublishQuietly(TARNOutputImplementation& output, int value, long timeOfIssue, long timestamp) {
        TARNListIterator position = output.ring->StartWriting();
        TARNIOEltImplementation& element = TARNIOMonitorImplementation::Element(position);
        for (int i = 0; i < VectorLength; ++i) element.Integer32(i)[0] = value;
        element.vectorSize = VectorLength;
        element.timeOfIssue = timeOfIssue;
        element.timestamp = timestamp;
        output.ring->StopWriting(position, false);
    }

    // One record as TestRecordMethod writes it: a vector element whose items are `value`.
    static std::vector<unsigned char> VectorRecord(int value) {
        int items[VectorLength] = {value, value, value, value};
        TARNIOEltImplementation element;
        element.data = items;
        element.type = TARNTypeInfo(TARNTypeInfo::Integer32);
        element.bufferSize = VectorLength;
        element.vectorSize = VectorLength;
        std::vector<unsigned char> block(element.Serialize(nullptr, 0));
        element.Serialize(block.data(), static_cast<unsigned int>(block.size()));
        element.data = nullptr;
        return block;
    }

    // The running threads a module counts (a protected member, reached the way a derived
    // class may).
    static unsigned int ThreadsOf(TARNModule& module) {
        struct Access : TARNModule {
            static unsigned int Lives(TARNModule& of) {
                TARNMutexGuard guard(of.*&Access::moduleLock);
                return of.*&Access::lives;
            }
        };
        return Access::Lives(module);
    }

    std::string Trec(const TARNRecordReplayMethod& method) const { return std::string(method.FilePath()) + ".trec"; }

    std::string root;
    std::vector<std::unique_ptr<TARNModule>> sources;
    std::vector<std::unique_ptr<TestRecorder>> recorders;
    std::vector<std::unique_ptr<TARNRecordReplayMethod>> methods;
};
