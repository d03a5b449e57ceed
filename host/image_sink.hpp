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
// and the line "image N: WIDTHxHEIGHT depth D channels C timestamp T" goes to `lines`.
// Birth creates the folders that are missing (a folder that cannot be made is an error
// report). Each file is written under a temporary name and renamed when whole (WritePng,
// WriteRaw). An image that cannot be written is an error report, counted in `failures`, and
// the last one written: the images after it are taken and not written (the next writes
// would fail alike). Its text is kept (FirstFailure).
//
// Set `lines` and `written` before the graph starts; they are called on the sink's thread,
// `lines` with one whole line at a time, `written` with each image's timestamp once all its
// files are written. The counters may be read from any thread.
class ImageSink : public TARNComponent {
  public:
    // The model, also declared to this program's registry (HostGraph::AddProgramModels).
    static TARNComponentDefinition& Definition();
    static constexpr const char* Model = "image_sink";

    ImageSink(const char* name, TARNComponentDefinition& definition);
    void Birth() override;
    void Core() override;

    std::function<void(const std::string& line)> lines;
    std::function<void(long timestamp)> written;
    // Images received, and those of them that could not be written.
    std::atomic<long> received{0};
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
    mutable std::mutex m_failureLock;
    std::string m_firstFailure;
};
