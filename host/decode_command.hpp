// "tarnhost decode": a CSI-2 capture file turned into images by the decoder of a package.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "decode_options.hpp"

class HostKernel;

// The arguments after "decode" (see DecodeOptions). The package is --package or, by
// default, the CPU package of the build this program belongs to (PackageBesideProgram);
// its decoder model is the one whose name starts with "csi2ipl_". Answers the exit status:
// 0 when the capture was decoded, 1 with one line on `err` when an option is wrong, the
// capture cannot be read, the package does not load or has no decoder (and otherwise as
// RunDecode).
int RunDecodeCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

// The package a build's tarnhost uses by default: in the build tree the program is
// BUILD/host/tarnhost and the package BUILD/packages/pixtract_cpu.pck.
std::string PackageBesideProgram();

// Runs the graph capture source -> decoder -> image sink on `kernel`:
//   - loads `package` (none when empty) and files the host's own models; the decoder is a
//     component of `decoderModel` (a model the kernel knows), or, when that is empty, of
//     the loaded package's model whose name starts with "csi2ipl_";
//   - sets the decoder's properties by name from `options.settings`, after its input reads
//     without skipping (so the source waits for it instead of overwriting frames); a
//     property the decoder does not have, or a value it refuses, ends the run before
//     anything starts, with one line on `err`;
//   - starts the graph and prints the reports as they come (errors on `err`), the sink's
//     line per image with --raw, a progress line every few seconds on `err`, and at the
//     end, after the decoder's own reports of its death (its benchmark report when
//     "benchmark_component" is set), the summary: frames read, images published, frames
//     dropped (read but not published) and milliseconds per frame read.
// The run ends once the source has sent every frame, the decoder has given every frame back
// and the sink every image, or as soon as one of them stops running; the graph is stopped
// either way. Answers 0, or 1 when the run could not be set up or started, a component
// stopped before the end, or an image could not be written.
int RunDecode(HostKernel& kernel, const DecodeOptions& options, const std::string& package,
              const std::string& decoderModel, std::ostream& out, std::ostream& err);
