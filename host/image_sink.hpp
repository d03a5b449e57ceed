// The host's image sink: the images a graph publishes, written to files.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "dataflow/component.hpp"
#include "runtime/ipl_image.hpp"

// Model "image_sink", input "images" of IPL images, read without skipping (the writer
// waits for it, so no image is lost). Each image gets its index in the order received,
// from 0. With "png_folder" set it is written there as a PNG file a person can open
// (000000.png, ...); with "raw_folder" set, there as exactly its rows (000000.raw, ...),
// and the line "image N: WIDTHxHEIGHT depth D channels C timestamp T" goes to `lines`.
// Birth creates the folders that are missing (a folder that cannot be made is an error
// report). An image that cannot be written is an error report, counted in `failures`.
//
// Set `lines` before the graph starts; it is called on the sink's thread, one whole line
// at a time. The counters may be read from any thread.
class ImageSink : public TARNComponent {
  public:
    // The model, also declared to this program's registry (HostGraph::AddProgramModels).
    static TARNComponentDefinition& Definition();
    static constexpr const char* Model = "image_sink";

    ImageSink(const char* name, TARNComponentDefinition& definition);
    void Birth() override;
    void Core() override;

    std::function<void(const std::string& line)> lines;
    // Images received, and those of them that could not be written.
    std::atomic<long> received{0};
    std::atomic<long> failures{0};

  private:
    void createFolder(const std::string& folder);
    void write(bool (*writer)(const std::string&, const _IplImage&, std::string&), const std::string& folder,
               const char* extension, long index, const _IplImage& image);

    std::string m_pngFolder;
    std::string m_rawFolder;
};
