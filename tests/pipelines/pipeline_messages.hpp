#pragma once
// A fixture that collects the messages the pipelines' error handler passes on, for the
// duration of each test.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pipelines/pipeline_errors.hpp"

namespace pipeline_frames {

class PipelineMessagesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Messages().clear();
        previous = csi2ipl::SetPipelineErrorSink([](const char* message) { Messages().emplace_back(message); });
    }
    void TearDown() override { csi2ipl::SetPipelineErrorSink(previous); }

    static std::vector<std::string>& Messages() {
        static std::vector<std::string> messages;
        return messages;
    }

  private:
    csi2ipl::PipelineErrorSink previous = nullptr;
};

}  // namespace pipeline_frames
