// Arbitrary texts given to the parsing behind setting a property by its text: the
// enumeration text form ("count|selected|names..."), selection by name, the tagged value
// made from a text, and what `tarnhost decode --set` does with a text: the host graph's
// setter on every kind of property of a real decoder (its own, the standard ones, those
// of its input and output). Beyond memory safety it checks that the text form is stable
// (what an enumeration writes, it reads back unchanged) and that a property set from a
// text keeps a valid value.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <string_view>

#include "csi2ipl/csi2ipl_component.hpp"
#include "fuzz_kernel.hpp"
#include "host_graph.hpp"
#include "tarn/dataflow/property.hpp"
#include "tarn/engine/enum_struct.hpp"
#include "tarn/engine/property_value.hpp"

namespace {

// A broken expectation is a finding: say which, then stop as a crash does.
void Expect(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "property_text_fuzzer: expected %s\n", what);
    std::abort();
}

// What the first byte of an input picks to set: every kind of property a decoder has,
// and a name that is none.
constexpr const char* kProperties[] = {
    "decoder.CSI2_Dataformat",       "decoder.overwrite_CSI2_Decoder", "decoder.limit_depth_to_8_Bitshift",
    "decoder.decoding_implementation", "decoder.print_debug",          "decoder.threaded",
    "decoder.priority",              "decoder.autoStart",             "decoder.componentModelVersion",
    "decoder.primaryThreadID",       "decoder.periodic",              "decoder.raw_image.subsampling",
    "decoder.raw_image.readerType",  "decoder.ipl_image.fifosize",    "decoder.ipl_image.subsampling",
    "decoder.no_such_property",
};

HostGraph& Graph() {
    // Never destroyed, as the kernel it runs on.
    static HostGraph* graph = [] {
        auto* made = new HostGraph(fuzz::Kernel());
        made->AddModel(TARNcsi2ipl::s_componentDefinition);
        Expect(made->Create(TARNcsi2ipl::s_componentDefinition.name, "decoder"), "the decoder to be created");
        return made;
    }();
    return *graph;
}

void SetByText(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return;
    const char* name = kProperties[data[0] % std::size(kProperties)];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    // A ring's length is memory the user chose to spend (a few hundred bytes per slot, the
    // element buffers on top): a long ring is allocated, not parsed, so it is left out.
    if (std::string_view(name).ends_with(".fifosize") && std::strtol(text.c_str(), nullptr, 0) > 1024) return;
    if (!Graph().Set(name, text)) return;
    TARNComponent& decoder = *Graph().Component("decoder");
    TARNProperty& property = decoder.Property(std::string(name).substr(sizeof "decoder." - 1).c_str());
    if (property.Type() == TARNPropertyValue::Enumeration) {
        TARNEnumStruct values;
        decoder.Get(property, values);
        Expect(values.selected >= 0 && values.selected < values.Count(), "a set enumeration to select one of its values");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Kernel();
    SetByText(data, size);
    const std::string text(reinterpret_cast<const char*>(data), size);
    const TARNStackedString<40> value(text.c_str());

    TARNEnumStruct colours("red|green|blue", 1);
    colours.Select(value);
    TARNEnumStruct selection(colours);
    selection.FromString(value, true);
    Expect(selection.Count() == 3, "a selection to keep the names");

    // What an enumeration read from a text form writes, it reads back unchanged.
    if (TARNEnumStruct::IsEnumString(value)) {
        TARNEnumStruct parsed;
        parsed.FromString(value, false);
        Expect(parsed.selected < parsed.Count() || parsed.Count() == 0, "the selected index within the names");
        TARNEnumStruct again;
        again.FromString(parsed.ToString(), false);
        Expect(again.ToString() == parsed.ToString(), "the text form to read back unchanged");
    }

    TARNPropertyValue tagged(text.c_str());
    Expect(tagged.type == (TARNEnumStruct::IsEnumString(value) ? TARNPropertyValue::Enumeration
                                                               : TARNPropertyValue::String),
           "an enumeration exactly for the enumeration text form");
    return 0;
}
