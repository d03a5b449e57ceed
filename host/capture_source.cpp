#include "capture_source.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "dataflow/definitions.hpp"
#include "dataflow/io_element.hpp"
#include "dataflow/output.hpp"
#include "engine/module_declaration.hpp"
#include "engine/type_filter.hpp"

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
    TARNStackedString<40> path;
    Get(Property("path"), path);
    double rate = 0;
    Get(Property("frame_rate"), rate);
    long limit = 0;
    GetProperty("limit", limit);
    if (!(rate > 0) || !std::isfinite(rate)) {
        Report("frame_rate must be a number of frames per second above 0", 2, 0);
        finish();
        return;
    }
    m_period = 1e6 / rate;

    // First pass: the frames' byte counts, for the size of the element buffers. Its
    // problems are reported when the reading itself reaches them.
    std::string error;
    if (!m_capture.Open(path.c_str(), error)) {
        Report(error.c_str(), 2, 0);
        finish();
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
        Report(("a frame of " + std::to_string(largest) + " bytes is too large for an element").c_str(), 2,
               0);
        finish();
        return;
    }
    if (!m_capture.Open(path.c_str(), error)) {
        Report(error.c_str(), 2, 0);
        finish();
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
        // Past the last whole frame: a truncated or malformed one after it is reported,
        // not read.
        std::string problem;
        if (!m_limited && m_capture.Next(m_frame, problem) != CaptureFile::Result::Frame && !problem.empty())
            Report((problem + "; it is skipped").c_str(), 1, 0);
        finish();
    }
    if (finished.load()) {
        // Nothing left to send: wait to die (57005).
        Wait4Event(m_never, -1);
        return;
    }
    std::string problem;
    const CaptureFile::Result result = m_capture.Next(m_frame, problem);
    if (result != CaptureFile::Result::Frame) {
        // The file changed since Birth counted its frames.
        if (result != CaptureFile::Result::End) Report(problem.c_str(), 2, 0);
        finish();
        return;
    }
    const long index = framesSent.load();
    TARNIOElt* element = StartWriting(Output("frames"), std::lround((index + 1) * m_period));
    if (element == nullptr) return;
    // A frame that grew since Birth sized the buffers would not fit: never write past them.
    if (m_frame.size() > m_bufferSize) {
        StopWriting(element, true);
        Report(("frame " + std::to_string(index) + " grew since the capture was sized; the reading ends")
                   .c_str(),
               2, 0);
        finish();
        return;
    }
    unsigned char* bytes = element->Stream8();
    std::memcpy(bytes, m_frame.data(), m_frame.size());
    std::memset(bytes + m_frame.size(), 0, m_bufferSize - m_frame.size());
    element->VectorSize() = static_cast<int>(m_frame.size());
    StopWriting(element);
    ++framesSent;
}

void CaptureSource::finish() {
    finished = true;
}
