// What a record method tells its recorder: one time entry per record and, once per
// recording, the heading hint that says what the stream is.
#include <string>

#include "dataflow/output_implementation.hpp"
#include "recording/property_reading.hpp"
#include "tarn/dataflow/io_element.hpp"
#include "tarn/recording/record_replay_method.hpp"
#include "tarn/runtime/streamed_string.hpp"

namespace {

// The stream name: the alias when it has a character, else the output's registered name.
// The alias is read at every use, so a change applies to the next entry.
std::string streamName(TARNRecordReplayMethod& method, const TARNOutputImplementation& output) {
    const std::string alias =
        TARNPrivate::EnginePropertyText(std::string(method.Name() ? method.Name() : "") + ".alias");
    if (!alias.empty() && alias[0] != '\0') return alias;
    return std::string(output.registeredName.c_str());
}

}  // namespace

void TARNRecordReplayMethod::RecordTime(TARNIOElt& element) {
    const std::string name = streamName(*this, recordedImplementation());
    const long timeInfo = RecordTimeInfo(element);
    if (recorder == nullptr) return;
    recorder->RecordTimeEntry(useTimestamp ? element.Timestamp() : element.TimeOfIssue(), element.Timestamp(),
                              name.c_str(), recordCount.load(), timeInfo, element);
}

void TARNRecordReplayMethod::RecordHeading(TARNIOElt& element) {
    const TARNStackedString<40> hint = BuildHeadingHint(&element);
    if (recorder != nullptr) recorder->RecordHeadingHint(hint.c_str());
    headingRecorded = true;
}

TARNStackedString<40> TARNRecordReplayMethod::BuildHeadingHint(TARNIOElt* element) {
    TARNOutputImplementation& output = recordedImplementation();
    const std::string alias =
        TARNPrivate::EnginePropertyText(std::string(Name() ? Name() : "") + ".alias");
    TARNStreamedString hint("Record ");
    hint += streamName(*this, output).c_str();
    hint += "(";

    const std::string recorderName = recorder != nullptr && recorder->Name() ? recorder->Name() : "";
    const bool toSubfolder =
        TARNPrivate::PropertyFlag(*this, "record_to_subfolder") ||
        (TARNPrivate::EngineHasProperty(recorderName + ".record_to_subfolders") && recorder != nullptr &&
         TARNPrivate::PropertyFlag(*recorder, "record_to_subfolders"));
    if (toSubfolder) {
        std::string subfolder = TARNPrivate::PropertyText(*this, "subfolder_relative_path");
        if (subfolder.empty()) subfolder = alias;
        if (subfolder.empty()) {
            subfolder = output.registeredName.c_str();
            for (char& c : subfolder)
                if (c == '.' || c == ':') c = '_';
        }
        hint += (subfolder + ",").c_str();
    }

    hint += output.ownerModelName.c_str();
    hint += ".";
    if (output.definition.name != nullptr) hint += output.definition.name;
    hint += "[0x";
    hint << TARNSManip::hex << static_cast<long>(output.definition.type.type) << TARNSManip::dec;
    hint += ",";
    hint += output.TypeName() != nullptr ? (std::string(output.TypeName()) + ",").c_str() : ".,";
    hint += output.definition.type.unit != nullptr ? (std::string(output.definition.type.unit->c_str()) + ",").c_str()
                                                    : ".,";
    hint << static_cast<long>(output.definition.fifoSize);
    hint += ",";
    const int perBuffer = output.buffers.ElementCount();
    hint << static_cast<long>(perBuffer == -1 ? 0 : perBuffer);
    if (element != nullptr) {
        const TARNStackedString<40> extra = HeadingHint(element);
        if (!extra.IsEmpty()) {
            hint += ",";
            hint += extra.c_str();
        }
    }
    hint += "]) as ";
    if (definition.name != nullptr) hint += definition.name;
    return TARNStackedString<40>(hint.c_str());
}
