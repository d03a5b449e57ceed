// The set-callbacks of the per-element properties: they carry a new value to the input or
// output it belongs to and to the ring of the connection.
#include <cstdint>

#include "dataflow/input_implementation.hpp"
#include "dataflow/io_monitor_implementation.hpp"
#include "dataflow/output_implementation.hpp"
#include "engine/kernel.hpp"
#include "engine/kernel_pointer.hpp"
#include "engine/symbol_record.hpp"
#include "tarn/dataflow/module.hpp"
#include "tarn/dataflow/property.hpp"
#include "tarn/dataflow/reader_type.hpp"
#include "tarn/engine/reports.hpp"
#include "tarn/runtime/c_library.hpp"

namespace {

// The element's short name: the property's full name without the module name and its
// point in front and without the last point and suffix behind (an output's own name may
// hold points).
TARNStackedString<40> elementNameOf(TARNProperty& property) {
    const TARNStackedString<40>& fullName = property.Name();
    const char* text = fullName.c_str();
    int end = fullName.Length();
    while (end > 0 && text[end - 1] != '.') --end;
    const int begin = TARN::Strlen(property.Owner()->Name()) + 1;
    TARNStackedString<40> name;
    if (end - 1 > begin) name.concat(end - 1 - begin, text + begin);
    return name;
}

TARNInputImplementation& inputOf(TARNProperty& property) {
    return static_cast<TARNInputImplementation&>(property.Owner()->Input(elementNameOf(property).c_str()));
}
TARNOutputImplementation& outputOf(TARNProperty& property) {
    return static_cast<TARNOutputImplementation&>(property.Owner()->Output(elementNameOf(property).c_str()));
}

// Puts the previous value back, directly, and reports "Bad parameter: The <what> of the
// <kind> <element> <rule>"; returns true for the callers' early return.
bool refuse(TARNProperty& property, long previous, const char* what, const char* kind,
            const TARNStackedString<40>& elementName, const char* rule) {
    property.IntegerValue() = previous;
    TARNStackedString<40> message("Bad parameter: The ");
    message += what;
    message += " of the ";
    message += kind;
    message += " ";
    message += elementName.c_str();
    message += rule;
    TARN::ReportError(message.c_str(), 1);
    return true;
}

// A value the element keeps in 32 bits: one beyond 2147483647 would wrap round to another
// (a negative FIFO size to a ring of a billion elements).
bool refusedAbove32Bits(TARNProperty& property, const char* what, const char* kind,
                        const TARNStackedString<40>& elementName, long previous) {
    if (property.IntegerValue() >= INT32_MIN && property.IntegerValue() <= INT32_MAX) return false;
    return refuse(property, previous, what, kind, elementName, " must lie between -2147483648 and 2147483647.");
}

// A subsampling below 1 would never deliver (input) or never publish (output) again.
bool refusedSubsampling(TARNProperty& property, const char* kind, const TARNStackedString<40>& elementName,
                        long previous) {
    if (refusedAbove32Bits(property, "subsampling", kind, elementName, previous)) return true;
    if (property.IntegerValue() >= 1) return false;
    return refuse(property, previous, "subsampling", kind, elementName, " must be at least 1.");
}

// Lets the engine show the input's properties again, through the "refreshInputProperties"
// action of the module that owns "Engine.time", when there is one.
void refreshInputProperties(const TARNStackedString<40>& inputName) {
    TARNSymRec* symbol = TARNPrivate::kernel->FindSymbol("Engine.time");
    if (symbol == nullptr || symbol->data[0] == nullptr) return;
    TARNModule* engine = dynamic_cast<TARNModule*>(static_cast<TARNModuleBase*>(symbol->data[0]));
    if (engine == nullptr || !engine->HasAction("refreshInputProperties")) return;
    engine->Action("refreshInputProperties").DoIt(inputName.c_str());
}

}  // namespace

void TARNModule::SetInputSubsamplingProperty(TARNProperty& property) {
    TARNInputImplementation& input = inputOf(property);
    if (refusedSubsampling(property, "input", input.fullName, input.subsampling)) return;
    const int value = static_cast<int>(property.IntegerValue());
    input.subsampling = value;
    if (IsFifoReaderType(input.readerType) && input.ring != nullptr)
        input.ring->SetSubsamplingRate(input.readerId, value);
}

void TARNModule::SetInputReaderTypeProperty(TARNProperty& property) {
    TARNInputImplementation& input = inputOf(property);
    const int current = input.readerType;
    const long value = property.IntegerValue();
    const bool valueIsFifo = value >= FifoReader && value <= LastOrNextReader;
    if (!IsFifoReaderType(current)) {
        if (value != current) {
            property.IntegerValue() = current;
            TARNStackedString<40> message("Bad parameter: The input ");
            message += input.fullName.c_str();
            message += " is a SamplingReader or Wait4NextReader and cannot be switched to FifoReader, "
                       "NeverSkippingReader or LastOrNextReader";
            TARN::ReportError(message.c_str(), 1);
        }
    } else if (valueIsFifo) {
        input.readerType = static_cast<int>(value);
        if (input.ring != nullptr) input.ring->SetReaderType(input.readerId, input.readerType);
    } else {
        property.IntegerValue() = current;
        TARNStackedString<40> message("Bad parameter: The input ");
        message += input.fullName.c_str();
        message += " cannot be switched to SamplingReader or Wait4NextReader.";
        TARN::ReportError(message.c_str(), 1);
    }
    refreshInputProperties(input.fullName);
}

void TARNModule::SetOutputSubsamplingProperty(TARNProperty& property) {
    TARNOutputImplementation& output = outputOf(property);
    if (refusedSubsampling(property, "output", output.fullName, static_cast<long>(output.definition.subsampling)))
        return;
    output.definition.subsampling = static_cast<unsigned int>(property.IntegerValue());
    if (output.ring != nullptr) output.ring->SetOutputSubsamplingRate(static_cast<int>(property.IntegerValue()));
}

void TARNModule::SetOutputFifoSizeProperty(TARNProperty& property) {
    TARNOutputImplementation& output = outputOf(property);
    if (refusedAbove32Bits(property, "fifosize", "output", output.fullName,
                           static_cast<long>(output.definition.fifoSize)))
        return;
    output.SetFifoSize(static_cast<int>(property.IntegerValue()));
}

void TARNModule::SetOutputPeriodicProperty(TARNProperty& property) {
    outputOf(property).periodic = property.BoolValue();
}
