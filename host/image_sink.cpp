#include "image_sink.hpp"

#include <filesystem>
#include <system_error>

#include "image_files.hpp"
#include "tarn/dataflow/definitions.hpp"
#include "tarn/dataflow/io_element.hpp"
#include "tarn/dataflow/reader_type.hpp"
#include "tarn/engine/module_declaration.hpp"
#include "tarn/engine/type_filter.hpp"

namespace {

TARNInputDefinition inputs[] = {
    {"images", nullptr, &TARN::FilterIplImage, NeverSkippingReader, 1}, {}};
TARNPropertyDefinition properties[] = {
    {"png_folder", new TARNPropertyValue("")}, {"raw_folder", new TARNPropertyValue("")}, {}};

TARNModuleBase* make(const char* name, TARNComponentDefinition& definition) {
    return new ImageSink(name, definition);
}

// Element tables end with their all-zero record and the counts say NotCounted: the host
// counts them, as the engine does.
TARNComponentDefinition model = [] {
    TARNComponentDefinition d{};
    d.name = ImageSink::Model;
    d.version = "1.0";
    d.factory = make;
    d.nbInputs = TARNComponentDefinition::NotCounted;
    d.inputs = inputs;
    d.nbOutputs = 0;
    d.outputs = nullptr;
    d.nbProperties = TARNComponentDefinition::NotCounted;
    d.properties = properties;
    d.priority = 128;
    d.threadingModels = TARNComponentDefinition::Threaded;
    d.threaded = true;
    return d;
}();

std::string textProperty(TARNModule& module, const char* name) {
    TARNStackedString<40> text;
    module.Get(module.Property(name), text);
    return text.c_str();
}

}  // namespace

TARN_MODULE_DECLARATION(ImageSink, TARNComponent, "image_sink", "1.0", nullptr, &model, nullptr, nullptr);

TARNComponentDefinition& ImageSink::Definition() {
    return model;
}

ImageSink::ImageSink(const char* name, TARNComponentDefinition& definition)
    : TARNComponent(name, definition) {}

void ImageSink::Birth() {
    received = 0;
    written = 0;
    failures = 0;
    m_writing = true;
    {
        std::lock_guard lock(m_failureLock);
        m_firstFailure.clear();
    }
    m_pngFolder = textProperty(*this, "png_folder");
    m_rawFolder = textProperty(*this, "raw_folder");
    for (const std::string& folder : {m_pngFolder, m_rawFolder})
        if (!folder.empty()) createFolder(folder);
}

void ImageSink::Core() {
    TARNIOElt* element = StartReading(Input("images"));
    if (element == nullptr) return;
    const long timestamp = element->Timestamp();
    Fate fate = Fate::Left;
    if (m_writing) {
        const _IplImage& image = *element->IplImage();
        const long index = received.load();
        // An image is written when all its files are: none is written after one failed, and
        // a PNG whose raw file failed goes again, so that no file stays of an image the run
        // counts as not written.
        bool whole = m_pngFolder.empty() || write(WritePng, m_pngFolder, ".png", index, image);
        if (whole && !m_rawFolder.empty()) {
            whole = write(WriteRaw, m_rawFolder, ".raw", index, image);
            std::error_code ignored;
            if (!whole && !m_pngFolder.empty())
                std::filesystem::remove(m_pngFolder + "/" + ImageFileName(index, ".png"), ignored);
        }
        fate = whole ? Fate::Written : Fate::NotWritten;
        if (whole) ++written;
        // The line says the files are there: only once they are.
        const bool said =
            !whole || m_rawFolder.empty() || !lines || lines(DescribeImage(index, image, timestamp) + "\n");
        m_writing = whole && said;
    }
    if (taken) taken(timestamp, fate);
    // Counted last: whoever sees the count sees the image's files written.
    ++received;
}

void ImageSink::createFolder(const std::string& folder) {
    std::error_code code;
    std::filesystem::create_directories(folder, code);
    if (!code && std::filesystem::is_directory(folder, code)) return;
    const std::string reason = code ? code.message() : "a file of that name is in the way";
    Report(("cannot create folder " + folder + ": " + reason).c_str(), 2, 0);
}

std::string ImageSink::FirstFailure() const {
    std::lock_guard lock(m_failureLock);
    return m_firstFailure;
}

bool ImageSink::write(bool (*writer)(const std::string&, const _IplImage&, std::string&),
                      const std::string& folder, const char* extension, long index, const _IplImage& image) {
    std::string error;
    if (writer(folder + "/" + ImageFileName(index, extension), image, error)) return true;
    const std::string failure = "image " + std::to_string(index) + ": " + error;
    {
        std::lock_guard lock(m_failureLock);
        if (m_firstFailure.empty()) m_firstFailure = failure;
    }
    ++failures;
    if (reportFailures) Report(failure.c_str(), 2, 0);
    return false;
}
