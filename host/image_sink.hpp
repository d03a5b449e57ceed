// The host's image sink: the images a graph publishes, written to files.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "tarn/dataflow/component.hpp"
#include "tarn/runtime/ipl_image.hpp"

// Model "image_sink", input "images" of IPL images, read without skipping (the writer
// waits for it, so no image is lost). Each image gets its index in the order received,
// from 0. With "png_folder" set it is written there as a PNG file a person can open
// (000000.png, ...); with "raw_folder" set, there as exactly its rows (000000.raw, ...),
// and, once its files are whole under their names, the line "image N: WIDTHxHEIGHT depth D
// channels C timestamp T" goes to `lines`. Birth creates the folders that are missing (a
// folder that cannot be made is an error report). Each file is written under a temporary
// name and renamed when whole (WritePng, WriteRaw).
//
// An image is written when all its files are: once one of them cannot be written, the
// others are not written or are removed again. Such an image is counted in `failures`, its
// text kept (FirstFailure) and reported as an error, unless `reportFailures` is false (an
// owner that says it itself). After it, or after `lines` answered false (the line could not
// be printed), the sink stops writing: the images are taken and left, until the graph stops
// (the next writes would fail alike: no space, the file-size limit, a closed output).
//
// Set `lines`, `taken` and `reportFailures` before the graph starts; the callbacks are
// called on the sink's thread, `lines` with one whole line at a time, `taken` with each
// image's timestamp and what became of it. The counters may be read from any thread.
class ImageSink : public TARNComponent {
  public:
    // The model, also declared to this program's registry (HostGraph::AddProgramModels).
    static TARNComponentDefinition& Definition();
    static constexpr const char* Model = "image_sink";

    ImageSink(const char* name, TARNComponentDefinition& definition);
    void Birth() override;
    void Core() override;

    // What became of an image taken: its files written whole; not written (its write
    // failed); left unwritten, the sink having stopped writing before it.
    enum class Fate { Written, NotWritten, Left };

    std::function<bool(const std::string& line)> lines;
    std::function<void(long timestamp, Fate fate)> taken;
    bool reportFailures = true;
    // Images received; those of them written whole; those that could not be written.
    std::atomic<long> received{0};
    std::atomic<long> written{0};
    std::atomic<long> failures{0};
    // "image N: " and why, of the image that could not be written; empty when none.
    std::string FirstFailure() const;

  private:
    void createFolder(const std::string& folder);
    // False when the image could not be written (reported and counted).
    bool write(bool (*writer)(const std::string&, const _IplImage&, std::string&), const std::string& folder,
               const char* extension, long index, const _IplImage& image);

    std::string m_pngFolder;
    std::string m_rawFolder;
    // False once an image could not be written or its line printed: the rest are left.
    bool m_writing = true;
    mutable std::mutex m_failureLock;
    std::string m_firstFailure;
};
