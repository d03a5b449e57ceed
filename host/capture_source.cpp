#include "capture_source.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "dataflow/output_implementation.hpp"
#include "tarn/dataflow/definitions.hpp"
#include "tarn/dataflow/io_element.hpp"
#include "tarn/engine/module_declaration.hpp"
#include "tarn/engine/type_filter.hpp"

namespace {

TARNOutputDefinition outputs[] = {{"frames", 0, TARNTypeInfo(TARNTypeInfo::Stream8), 0, 4, 1, 0}, {}};
TARNPropertyDefinition properties[] = {{"path", new TARNPropertyValue("")},
                                       {"frame_rate", new TARNPropertyValue(30.0)},
                                       {"limit", new TARNPropertyValue(0L)},
                                       {}};

TARNModuleBase* make(const char* name, TARNComponentDefinition& definition) {
    return new CaptureSource(name, definition);
}

// Element tables end with their all-zero record and the counts say NotCounted: the host
// counts them, as the engine does.
TARNComponentDefinition model = [] {
    TARNComponentDefinition d{};
    d.name = CaptureSource::Model;
    d.version = "1.0";
    d.factory = make;
    d.nbInputs = 0;
    d.inputs = nullptr;
    d.nbOutputs = TARNComponentDefinition::NotCounted;
    d.outputs = outputs;
    d.nbProperties = TARNComponentDefinition::NotCounted;
    d.properties = properties;
    d.priority = 128;
    d.threadingModels = TARNComponentDefinition::Threaded;
    d.threaded = true;
    return d;
}();

}  // namespace

TARN_MODULE_DECLARATION(CaptureSource, TARNComponent, "capture_source", "1.0", nullptr, &model, nullptr,
                        nullptr);

TARNComponentDefinition& CaptureSource::Definition() {
    return model;
}

CaptureSource::CaptureSource(const char* name, TARNComponentDefinition& definition)
    : TARNComponent(name, definition) {}

void CaptureSource::Birth() {
    framesInCapture = 0;
    framesSent = 0;
    finished = false;
    {
        std::lock_guard lock(m_failureLock);
        m_failure.clear();
    }
    m_written.clear();
    TARNStackedString<40> path;
    Get(Property("path"), path);
    double rate = 0;
    Get(Property("frame_rate"), rate);
    long limit = 0;
    GetProperty("limit", limit);
    if (!(rate > 0) || !std::isfinite(rate)) {
        finish("frame_rate must be a number of frames per second above 0");
        return;
    }
    m_period = 1e6 / rate;

    // First pass: the frames' byte counts, for the size of the element buffers. Its
    // problems are reported when the reading itself reaches them.
    std::string error;
    if (!m_capture.Open(path.c_str(), error)) {
        finish(error);
        return;
    }
    std::uint32_t largest = 0;
    long frames = 0;
    std::uint32_t count = 0;
    std::string problem;
    while ((limit <= 0 || frames < limit) && m_capture.Skip(count, problem) == CaptureFile::Result::Frame) {
        largest = std::max(largest, count);
        ++frames;
    }
    framesInCapture = frames;
    m_limited = limit > 0 && frames == limit;
    if (largest > static_cast<std::uint32_t>(INT32_MAX)) {
        // An element's buffer size is a 32-bit count.
        finish("a frame of " + std::to_string(largest) + " bytes is too large for an element (" +
               std::to_string(INT32_MAX) + " bytes at most); nothing is read");
        return;
    }
    if (!m_capture.Open(path.c_str(), error)) {
        finish(error);
        return;
    }
    auto& output = static_cast<TARNOutputImplementation&>(Output("frames"));
    if (frames > 0 && output.buffers.ElementCount() != static_cast<int>(largest)) {
        output.FreeBuffer();
        output.AllocOutputBuffer(static_cast<int>(largest), true);
    }
    m_bufferSize = largest;
}

void CaptureSource::Core() {
    if (!finished.load() && framesSent.load() >= framesInCapture.load()) {
        // Past the last whole frame: a truncated one after it is the end of a capture cut
        // short, reported and not read; anything else there is an error.
        std::uint32_t count = 0;
        std::string problem;
        const CaptureFile::Result next =
            m_limited ? CaptureFile::Result::End : m_capture.Skip(count, problem);
        if (next == CaptureFile::Result::Truncated) Report((problem + "; it is skipped").c_str(), 1, 0);
        finish(next == CaptureFile::Result::Truncated ? "" : problem);
    }
    if (finished.load()) {
        // Nothing left to send: wait to die (57005).
        Wait4Event(m_never, -1);
        return;
    }
    const long index = framesSent.load();
    TARNIOElt* element = StartWriting(Output("frames"), std::lround((index + 1) * m_period.load()));
    if (element == nullptr) return;
    unsigned char* bytes = element->Stream8();
    std::uint32_t count = 0;
    std::string problem;
    const CaptureFile::Result result = m_capture.Next(bytes, m_bufferSize, count, problem);
    if (result != CaptureFile::Result::Frame) {
        StopWriting(element, true);
        // The file changed since Birth counted its frames.
        if (result == CaptureFile::Result::End)
            problem = "the capture ends after " + std::to_string(index) + " frames; it held " +
                      std::to_string(framesInCapture.load()) + " when the run began";
        else if (result == CaptureFile::Result::TooLarge)
            problem += " (the file changed since the run began)";
        finish(problem);
        return;
    }
    clearBehind(bytes, count);
    element->VectorSize() = static_cast<int>(count);
    StopWriting(element);
    ++framesSent;
}

void CaptureSource::clearBehind(unsigned char* buffer, std::uint32_t count) {
    auto known = std::find_if(m_written.begin(), m_written.end(),
                              [&](const auto& entry) { return entry.first == buffer; });
    // A buffer met for the first time may hold anything up to its end.
    if (known == m_written.end()) known = m_written.insert(m_written.end(), {buffer, m_bufferSize});
    if (known->second > count) std::memset(buffer + count, 0, known->second - count);
    known->second = count;
}

std::string CaptureSource::Failure() const {
    std::lock_guard lock(m_failureLock);
    return m_failure;
}

long CaptureSource::FrameAt(long timestamp) const {
    const double period = m_period.load();
    if (!(period > 0)) return -1;
    const long index = std::lround(static_cast<double>(timestamp) / period) - 1;
    return index >= 0 && std::lround((index + 1) * period) == timestamp ? index : -1;
}

void CaptureSource::finish(const std::string& problem) {
    if (!problem.empty()) {
        {
            std::lock_guard lock(m_failureLock);
            m_failure = problem;
        }
        if (reportFailures) Report(problem.c_str(), 2, 0);
    }
    finished = true;
}
