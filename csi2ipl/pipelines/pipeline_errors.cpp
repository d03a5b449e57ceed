// The package's replacement for the Halide runtime's error handler, which prints and then
// aborts the whole host process. Defining halide_error here overrides the runtime's weak
// definition at link time; the version scripts keep it inside each package.
#include "pipelines/pipeline_errors.hpp"

#include <atomic>
#include <cstdio>
#include <string>

namespace {

std::atomic<csi2ipl::PipelineErrorSink> currentSink{nullptr};

void WriteToStandardError(const char* message) {
    std::fprintf(stderr, "pipeline error: %s\n", message);
}

}  // namespace

namespace csi2ipl {

PipelineErrorSink SetPipelineErrorSink(PipelineErrorSink sink) {
    return currentSink.exchange(sink);
}

}  // namespace csi2ipl

extern "C" {

// Referenced by the link options of the pipeline libraries, so that this object is taken
// from the archive even though the runtime object already defines halide_error weakly.
int pixtract_pipeline_error_hooks = 0;

// The runtime's error functions format their message, call this, and return their error
// code to the pipeline, which returns it at once. So returning here is all it takes for
// the pipeline to fail cleanly.
void halide_error(void* /*userContext*/, const char* message) {
    std::string text = message != nullptr ? message : "";
    while (!text.empty() && text.back() == '\n') text.pop_back();
    csi2ipl::PipelineErrorSink sink = currentSink.load();
    (sink != nullptr ? sink : WriteToStandardError)(text.c_str());
}

}  // extern "C"
