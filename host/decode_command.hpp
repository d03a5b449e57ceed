// "tarnhost decode": a CSI-2 capture file turned into images by the decoder of a package.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "decode_options.hpp"

class HostKernel;

// The arguments after "decode" (see DecodeOptions). The package is --package or, by
// default, the CPU package of the build this program belongs to (PackageBesideProgram);
// its decoder model is the one whose name starts with "csi2ipl_". With --help, prints
// DecodeHelp on `out` and answers 0. Otherwise runs RunDecode with SIGINT and SIGTERM
// noted rather than fatal, SIGPIPE and SIGXFSZ ignored (InterruptSignals), and answers its
// status: 0 when the capture was decoded; 1 with one line on `err` when an option is
// wrong, or on any error of RunDecode; 128 + the signal's number when SIGINT or SIGTERM
// stopped the run. A second signal ends the process at once, by that signal.
int RunDecodeCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

// The package a build's tarnhost uses by default: in the build tree the program is
// BUILD/host/tarnhost and the package BUILD/packages/pixtract_cpu.pck.
std::string PackageBesideProgram();

// Runs the graph capture source -> decoder -> image sink on `kernel`:
//   - checks that the capture can be read and holds at least one frame, before anything
//     else;
//   - loads `package` (none when empty) and files the host's own models; the decoder is a
//     component of `decoderModel` (a model the kernel knows), or, when that is empty, of
//     the loaded package's model whose name starts with "csi2ipl_";
//   - sets the decoder's properties by name from `options.settings`, after its input reads
//     without skipping (so the source waits for it instead of overwriting frames); a
//     property the decoder does not have, or a value it refuses (a failed setting, or one
//     the SDK reports as an error and puts back), ends the run before anything starts;
//   - makes the output folders ready (OutputFolders: made, writable, locked, free of an
//     earlier run's images unless options.overwrite) before the graph starts;
//   - starts the graph and prints the reports as they come (errors on `err`; the
//     components' "Component X is dead." only with options.verbose), the sink's line per
//     image with --raw once its files are whole, a progress line every few seconds on `err`,
//     and at the end, after the decoder's own reports of its death (its benchmark report
//     when "benchmark_component" is set), the summary (DecodeSummary): frames read, images
//     published, frames dropped, milliseconds per frame read, and which frames gave no
//     image and why, from what the sink did with each frame's image.
// The run ends once the source has sent every frame, the decoder has given every frame back
// and the sink every image; or as soon as one of them stops running, an image cannot be
// written, a line cannot be written to `out` (a closed pipe), or `interrupted` (when given)
// answers a signal's number; the graph is stopped either way, an image being written is
// finished first, and no file is left under an image's name unless whole. A run that wrote
// no image removes the output folders it made. Answers 0 when at least one image came out;
// 128 + the signal's number when `interrupted` stopped the run, or answers one after it
// (with a line on `err` saying so); else 1, with one line on `err` saying why, said once
// (the capture source's and the sink's errors are not also reported): the run could not be
// set up or started, the capture could not be read to its end (a malformed byte count, a
// frame too large for an element, a file that shrank while read; a truncated last frame is
// only a warning), a component stopped before the end, an image could not be written, the
// standard output could not, or no image came out at all.
int RunDecode(HostKernel& kernel, const DecodeOptions& options, const std::string& package,
              const std::string& decoderModel, std::ostream& out, std::ostream& err,
              const std::function<int()>& interrupted = {});
