#pragma once
// Where the pipelines' runtime errors go. The Halide runtime of each package reports a
// refused buffer, a missing CUDA driver or a failed device call here and the pipeline
// returns its error code; nothing aborts the process. Until a sink is set, messages are
// written to the standard error stream.

namespace csi2ipl {

// Receives one message, without a trailing newline. It may be called from any thread
// that runs a pipeline and must not call a pipeline itself.
using PipelineErrorSink = void (*)(const char* message);

// Installs the sink for this package's pipelines; null restores the standard error
// stream. Returns the sink it replaces.
PipelineErrorSink SetPipelineErrorSink(PipelineErrorSink sink);

}  // namespace csi2ipl
