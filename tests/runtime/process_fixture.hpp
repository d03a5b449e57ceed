// What the pipe and process tests share: argument arrays, reading pipes to their end with
// a deadline, and a scratch folder that is also the working folder.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "tarn/runtime/process.hpp"

namespace process_test {

inline TARNArray<TARNStackedString<40> > Arguments(std::initializer_list<const char*> texts) {
    TARNArray<TARNStackedString<40> > arguments;
    for (const char* text : texts) arguments.PushBack(TARNStackedString<40>(text));
    return arguments;
}

// Reads every descriptor to its end, all at once so that no writer blocks on a full pipe
// while another is read. False when the deadline passes first.
inline bool ReadToEnd(std::vector<int> descriptors, std::vector<std::string*> into,
                      std::chrono::seconds deadline = std::chrono::seconds(30)) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    std::vector<bool> open(descriptors.size(), true);
    for (;;) {
        std::vector<pollfd> waiting;
        std::vector<size_t> which;
        for (size_t i = 0; i < descriptors.size(); ++i) {
            if (!open[i]) continue;
            waiting.push_back({descriptors[i], POLLIN, 0});
            which.push_back(i);
        }
        if (waiting.empty()) return true;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        if (poll(waiting.data(), waiting.size(), static_cast<int>(left.count())) < 0) return false;
        for (size_t k = 0; k < waiting.size(); ++k) {
            if (waiting[k].revents == 0) continue;
            char buffer[65536];
            const ssize_t got = read(waiting[k].fd, buffer, sizeof buffer);
            if (got <= 0) {
                open[which[k]] = false;
            } else {
                into[which[k]]->append(buffer, got);
            }
        }
    }
}

inline std::string ReadToEnd(int descriptor) {
    std::string text;
    EXPECT_TRUE(ReadToEnd({descriptor}, {&text})) << "the pipe did not reach its end in time";
    return text;
}

// The child's end, waited for at most 30 s: 0 and its code when it ended, 3 after that.
inline int WaitForEnd(TARNProcess& process, int& code) {
    return process.wait(code, 30L * 1000 * 1000);
}

// A fresh folder under /tmp for each test, also its working folder; both are put back.
class ScratchFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarn_process_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = std::filesystem::canonical(pattern).string();
        workingFolder = std::filesystem::current_path();
        std::filesystem::current_path(root);
    }
    void TearDown() override {
        std::filesystem::current_path(workingFolder);
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    std::string Path(const std::string& relative) const { return root + "/" + relative; }

    std::string root;
    std::filesystem::path workingFolder;
};

}  // namespace process_test
