#include "decode_command.hpp"

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "capture_file.hpp"
#include "capture_source.hpp"
#include "decode_summary.hpp"
#include "host_graph.hpp"
#include "host_kernel.hpp"
#include "host_recorder.hpp"
#include "image_sink.hpp"
#include "interrupt_signals.hpp"
#include "line_filter.hpp"
#include "model_description.hpp"
#include "output_folders.hpp"
#include "tarn/dataflow/property.hpp"
#include "tarn/engine/enum_struct.hpp"

namespace {

// The components' names in the graph.
constexpr const char* SourceName = "capture";
constexpr const char* DecoderName = "decoder";
constexpr const char* SinkName = "images";

// Seconds of running before the first progress line, and between two.
constexpr auto ProgressEvery = std::chrono::seconds(3);

// The frames a csi2ipl decoder drops at the start of each run when "skip_first_frames" is
// set.
constexpr long DecoderSkipsAtStart = 10;

// What became of each frame's image, by frame index; filled on the sink's thread.
struct FrameImages {
    std::mutex lock;
    std::vector<DecodeOutcome::Image> frames;
    void Set(long frame, ImageSink::Fate fate) {
        if (frame < 0) return;
        std::lock_guard guard(lock);
        if (frames.size() <= static_cast<size_t>(frame)) frames.resize(static_cast<size_t>(frame) + 1);
        frames[static_cast<size_t>(frame)] = fate == ImageSink::Fate::Written ? DecodeOutcome::Image::Written
                                             : fate == ImageSink::Fate::NotWritten
                                                 ? DecodeOutcome::Image::NotWritten
                                                 : DecodeOutcome::Image::Left;
    }
};

// The report every component makes when its life ends, "info: Component NAME is dead.":
// the summary says that the run ended, so it is shown only when asked for.
bool IsLifeReport(const std::string& line) {
    static const std::string start = "info: Component ";
    static const std::string end = " is dead.\n";
    return line.size() > start.size() + end.size() && line.compare(0, start.size(), start) == 0 &&
           line.compare(line.size() - end.size(), end.size(), end) == 0;
}

// A bool property of a component, `otherwise` when it has none of that name and type.
bool BoolProperty(HostKernel& kernel, const std::string& name, bool otherwise) {
    TARNProperty* property = kernel.FindProperty(name.c_str());
    if (property == nullptr || property->Owner() == nullptr || property->Type() != TARNPropertyValue::Bool)
        return otherwise;
    bool value = otherwise;
    property->Owner()->Get(*property, value);
    return value;
}

// Turns the kernel's echo off when the run ends: the streams may go before the kernel.
struct EchoOff {
    HostKernel& kernel;
    ~EchoOff() { kernel.EchoReports(nullptr, nullptr); }
};

// The message of the last report of `level` or above that the recorder kept since `from`;
// empty when none. Errors by default.
std::string LastError(const HostRecorder& recorder, size_t from, int level = 2) {
    const std::vector<HostReport> reports = recorder.Reports();
    for (size_t i = reports.size(); i > from; --i)
        if (reports[i - 1].level >= level) return reports[i - 1].message;
    return {};
}

bool Running(const TARNComponent* component) {
    return component != nullptr && (component->State() & TARNModule::Running) != 0;
}

}  // namespace

std::string PackageBesideProgram() {
    std::error_code code;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", code);
    if (code) return "pixtract_cpu.pck";
    return (program.parent_path().parent_path() / "packages" / "pixtract_cpu.pck").string();
}

int RunDecodeCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    DecodeOptions options;
    std::string error;
    if (!ParseDecodeOptions(arguments, options, error)) {
        err << "tarnhost: " << error << " (" << DecodeUsage << ")\n";
        return 1;
    }
    if (options.help) {
        out << DecodeHelp;
        return out.flush() ? 0 : 1;
    }
    const InterruptSignals signals;
    HostKernel kernel;
    return RunDecode(kernel, options, options.package.empty() ? PackageBesideProgram() : options.package, "",
                     out, err, InterruptSignals::Received);
}

int RunDecode(HostKernel& kernel, const DecodeOptions& options, const std::string& package,
              const std::string& decoderModel, std::ostream& out, std::ostream& err,
              const std::function<int()>& interrupted) {
    // The reports and lines meant for the standard output go through this filter: it leaves
    // out what only --verbose shows, and tells at once when the output cannot be written.
    LineFilter shownOut(
        out, [&options](const std::string& line) { return options.verbose || !IsLifeReport(line); });
    std::ostream shown(&shownOut);
    const EchoOff echoOff{kernel};
    auto fail = [&](const std::string& line) {
        err << "tarnhost: " << line << "\n";
        return 1;
    };
    auto signal = [&] { return interrupted ? interrupted() : 0; };
    auto stopBySignal = [&](int number) {
        err << "tarnhost: stopped by " << InterruptSignals::Name(number) << " before the run began\n";
        return 128 + number;
    };

    // The capture is checked before the package is loaded: a wrong path is the commonest
    // mistake, and the cheapest to tell.
    {
        CaptureFile capture;
        std::string error;
        if (!capture.Open(options.capture, error)) return fail(error);
        std::uint32_t count = 0;
        switch (capture.Skip(count, error)) {
            case CaptureFile::Result::Frame:
                break;
            case CaptureFile::Result::End:
                return fail("capture " + options.capture + " holds no frame: the file is empty");
            default:
                return fail("capture " + options.capture + " holds no frame: " + error);
        }
    }

    // Declared before the graph: the sink fills the one until the graph is gone, and the
    // other holds the output folders' locks until then.
    FrameImages frameImages;
    OutputFolders folders;
    // Until the graph starts, reports are kept rather than printed: a setting refused ends
    // in one line that includes the decoder's reason.
    auto setup = std::make_unique<HostRecorder>(kernel);
    HostGraph graph(kernel);

    std::string model = decoderModel;
    if (!package.empty()) {
        std::string error;
        if (!graph.LoadPackage(package, error)) return fail(error);
        if (model.empty()) {
            for (const std::string& name : graph.Models())
                if (name.rfind("csi2ipl_", 0) == 0) model = name;
            if (model.empty())
                return fail(package + " defines no decoder model (csi2ipl_cpu or csi2ipl_gpu)");
        }
    }
    // The host's own models, by their definitions: the linker keeps a declaration only
    // where something refers to its file.
    graph.AddModel(CaptureSource::Definition());
    graph.AddModel(ImageSink::Definition());

    const std::string source = SourceName;
    const std::string decoder = DecoderName;
    const std::string sink = SinkName;
    if (!graph.Create(CaptureSource::Model, source) || !graph.Create(model, decoder) ||
        !graph.Create(ImageSink::Model, sink))
        return fail("cannot make the graph: " + LastError(*setup, 0));
    const bool made = graph.Set(source + ".path", options.capture) &&
                      graph.Set(source + ".limit", std::to_string(options.limit)) &&
                      graph.Set(sink + ".png_folder", options.pngFolder) &&
                      graph.Set(sink + ".raw_folder", options.rawFolder) &&
                      graph.Set(decoder + ".raw_image.readerType", "1") &&
                      graph.Connect(source + ".frames", decoder + ".raw_image") &&
                      graph.Connect(decoder + ".ipl_image", sink + ".images");
    if (!made) return fail("cannot make the graph: " + LastError(*setup, 0));

    for (const auto& [name, value] : options.settings) {
        TARNProperty* property = kernel.FindProperty((decoder + "." + name).c_str());
        if (property == nullptr || property->Owner() == nullptr)
            return fail("the decoder (" + model + ") has no property \"" + name + "\"");
        const size_t before = setup->Reports().size();
        // The run must not start with a value the user did not ask for: a value that is no
        // value of the property's type, one the decoder refuses (it keeps the previous
        // one, saying why or not), and one taken with an error (a path that does not
        // exist) all end it. The reason is the decoder's own when it gave one.
        std::string takes;
        const bool taken = graph.Set(decoder + "." + name, value, takes);
        std::string reason = LastError(*setup, before);
        if (!taken && reason.empty()) {
            if (!takes.empty())
                reason = "it takes " + takes;
            else if (reason = LastError(*setup, before, 1); reason.empty())
                reason = "it keeps " + name + "=" + PropertyText(*property);
        }
        if (!taken || !reason.empty()) return fail("the decoder refuses " + name + "=" + value + ": " + reason);
    }
    if (const int number = signal()) return stopBySignal(number);

    // Only now, once every setting is taken: a refused one leaves nothing behind.
    {
        std::string error;
        if (!folders.Prepare({options.pngFolder, options.rawFolder}, options.overwrite, error))
            return fail(error);
    }

    // A run that wrote no image leaves no folder it made, whatever ended it.
    struct RemoveFoldersWithoutImages {
        OutputFolders& folders;
        ImageSink* images = nullptr;
        ~RemoveFoldersWithoutImages() {
            if (images == nullptr || images->written.load() == 0) folders.RemoveMadeFolders();
        }
    } removeFolders{folders};

    // Set up: the errors kept are printed (the rest is the making of the graph: models
    // filed, elements made), and from now on every report as it comes.
    for (const HostReport& report : setup->Reports())
        if (report.level >= 2) err << HostKernel::Format(report) << "\n";
    setup.reset();
    kernel.EchoReports(&shown, &err);
    auto* capture = graph.Component<CaptureSource>(source);
    auto* images = graph.Component<ImageSink>(sink);
    removeFolders.images = images;
    // Their errors end the run, and its last line says them: they are not also reported.
    capture->reportFailures = false;
    images->reportFailures = false;
    images->lines = [&kernel, &shownOut](const std::string& line) {
        kernel.EchoLine(line);
        return !shownOut.Failed();
    };
    images->taken = [capture, &frameImages](long timestamp, ImageSink::Fate fate) {
        frameImages.Set(capture->FrameAt(timestamp), fate);
    };

    const auto started = std::chrono::steady_clock::now();
    if (!graph.Start()) {
        graph.Stop();
        return fail("the graph did not start");
    }
    // Drained in this order: the source's frames all given back by the decoder means the
    // decoder has published all it will, and then its images given back by the sink means
    // they are written.
    auto done = [&] {
        return capture->finished.load() && graph.Drained(source + ".frames") &&
               graph.Drained(decoder + ".ipl_image");
    };
    // An image that cannot be written, or a line the standard output does not take, ends
    // the run: the next ones would fail alike (no space, the file-size limit, a closed pipe).
    // Asked before whether the run is done: the sink leaves the images after a failure at
    // once, and the run that drains so is no whole one.
    auto stopped = [&] {
        return !Running(capture) || !Running(graph.Component(decoder)) || !Running(images) ||
               images->failures.load() > 0 || shownOut.Failed();
    };
    auto nextProgress = started + ProgressEvery;
    bool ended = false;
    int stopSignal = 0;
    while (!stopped() && !(ended = done()) && !(stopSignal = signal())) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (std::chrono::steady_clock::now() >= nextProgress) {
            nextProgress += ProgressEvery;
            kernel.EchoLine("progress: " + std::to_string(capture->framesSent.load()) + " of " +
                                std::to_string(capture->framesInCapture.load()) + " frames read, " +
                                std::to_string(images->received.load()) + " images published\n",
                            true);
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const std::string firstStopped = ended               ? ""
                                     : !Running(capture) ? "capture source"
                                     : !Running(images)  ? "image sink"
                                                         : "decoder";
    // Stopping runs the decoder's Death, whose reports (the benchmark report) come first.
    // An image the sink is writing is finished first: it never reads its next one.
    graph.Stop();

    DecodeOutcome outcome;
    outcome.framesRead = capture->framesSent.load();
    outcome.published = images->written.load();
    outcome.imagesTaken = images->received.load();
    outcome.seconds = seconds;
    {
        std::lock_guard guard(frameImages.lock);
        outcome.frameImages = frameImages.frames;
    }
    outcome.skippedAtStart =
        BoolProperty(kernel, decoder + ".skip_first_frames", false) ? DecoderSkipsAtStart : 0;
    outcome.stoppedEarly = !ended || !capture->Failure().empty();
    kernel.EchoLine(DecodeSummary(outcome));

    // A signal that came after the loop (while the run stopped, or its summary waited for the
    // output) stopped it all the same.
    if (stopSignal == 0) stopSignal = signal();
    if (stopSignal != 0) {
        err << "tarnhost: stopped by " << InterruptSignals::Name(stopSignal)
            << ": the images written so far are whole; nothing more was read\n";
        return 128 + stopSignal;
    }
    if (const std::string failure = capture->Failure(); !failure.empty()) return fail(failure);
    if (const std::string failure = images->FirstFailure(); !failure.empty()) return fail(failure);
    if (shownOut.Failed()) return fail("cannot write the standard output");
    if (!ended) return fail("the " + firstStopped + " stopped before the capture was decoded");
    if (outcome.published == 0)
        return fail("no image came out of the " + std::to_string(outcome.framesRead) +
                    (outcome.framesRead == 1 ? " frame read" : " frames read"));
    return 0;
}
