// Arbitrary texts given to the parsing behind setting a property by its text: the
// enumeration text form ("count|selected|names..."), selection by name, and the tagged
// value made from a text. Beyond memory safety it checks that the text form is stable:
// what an enumeration writes, it reads back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/enum_struct.hpp"
#include "engine/property_value.hpp"
#include "fuzz_kernel.hpp"

namespace {

// A broken expectation is a finding: say which, then stop as a crash does.
void Expect(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "property_text_fuzzer: expected %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Kernel();
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
