#include "model_description.hpp"

#include <cstdio>

#include "dataflow/input_implementation.hpp"
#include "dataflow/output_implementation.hpp"
#include "dataflow/property_implementation.hpp"
#include "tarn/dataflow/component.hpp"
#include "tarn/engine/enum_struct.hpp"
#include "tarn/engine/type_filter.hpp"

namespace {

// The kind bits of a type code, lowest first.
constexpr struct {
    unsigned long bit;
    const char* name;
} Kinds[] = {
    {TARNTypeInfo::Structure, "Structure"},
    {TARNTypeInfo::Integer32, "Integer32"},
    {TARNTypeInfo::Double, "Double"},
    {TARNTypeInfo::TextUTF8, "TextUTF8"},
    {TARNTypeInfo::TextUTF16, "TextUTF16"},
    {TARNTypeInfo::IplImage, "IplImage"},
    {TARNTypeInfo::TARNImage, "TARNImage"},
    {TARNTypeInfo::CANFrame, "CANFrame"},
    {TARNTypeInfo::Matrix, "Matrix"},
    {TARNTypeInfo::RealObjects, "RealObjects"},
    {TARNTypeInfo::DrawingObjects, "DrawingObjects"},
    {TARNTypeInfo::Triangles3D, "Triangles3D"},
    {TARNTypeInfo::Stream8, "Stream8"},
    {TARNTypeInfo::Stream16, "Stream16"},
    {TARNTypeInfo::Stream32, "Stream32"},
    {TARNTypeInfo::Integer64, "Integer64"},
    {TARNTypeInfo::Float32, "Float32"},
    {TARNTypeInfo::AudioSignal, "AudioSignal"},
    {TARNTypeInfo::DynamicStructure, "DynamicStructure"},
    {TARNTypeInfo::CANFDFrame, "CANFDFrame"},
    {TARNTypeInfo::Integer8, "Integer8"},
    {TARNTypeInfo::Integer16, "Integer16"},
    {TARNTypeInfo::UnsignedInteger64, "UnsignedInteger64"},
    {TARNTypeInfo::CustomType, "CustomType"},
    {TARNTypeInfo::CANUniFrame, "CANUniFrame"},
};

std::string hex(unsigned long value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%lx", value);
    return text;
}

std::string filterText(const TARNTypeFilterBase* filter) {
    if (filter == nullptr) return "any type";
    // The filter lives in the package; an equal one of this program's copy names it.
    if (const char* name = TARN::StaticTypeFilterName(*filter)) return name;
    std::string text = "mask " + hex(filter->mask) + " value " + hex(filter->value) + " any of " +
                       TypeCodeText(filter->anyBits);
    if (filter->typeNamePattern != nullptr)
        text += ", type name ~ \"" + std::string(filter->typeNamePattern) + "\"";
    if (filter->unitPattern != nullptr) text += ", unit ~ \"" + std::string(filter->unitPattern) + "\"";
    return text;
}

std::string outputText(TARNOutput& output) {
    std::string text = TypeCodeText(output.Type().type);
    const char* name = output.TypeName();
    const char* unit = output.TypeUnit();
    if (name != nullptr && *name != '\0') text += " \"" + std::string(name) + "\"";
    if (unit != nullptr && *unit != '\0') text += " in " + std::string(unit);
    return text;
}

std::string quoted(const char* text) {
    return "\"" + std::string(text) + "\"";
}

// "TYPE = DEFAULT[, choices ...]" of a property as it reads now.
std::string valueText(TARNProperty& property) {
    const std::string value = PropertyText(property);
    switch (property.Type()) {
        case TARNPropertyValue::Bool:
            return "bool = " + value;
        case TARNPropertyValue::Integer:
            return "integer = " + value;
        case TARNPropertyValue::Float:
            return "float = " + value;
        case TARNPropertyValue::Enumeration: {
            TARNEnumStruct values;
            property.Get(values);
            std::string text =
                "enumeration = " + (value.empty() ? std::string("(none)") : value) + ", choices ";
            for (int i = 0; i < values.Count(); ++i)
                text += (i > 0 ? "|" : "") + std::string(values.Name(i).c_str());
            return text;
        }
        default:
            return "text = " + quoted(value.c_str());
    }
}

}  // namespace

std::string PropertyText(TARNProperty& property) {
    switch (property.Type()) {
        case TARNPropertyValue::Bool: {
            bool value = false;
            property.Get(value);
            return value ? "true" : "false";
        }
        case TARNPropertyValue::Integer: {
            long value = 0;
            property.Get(value);
            return std::to_string(value);
        }
        case TARNPropertyValue::Float: {
            double value = 0;
            property.Get(value);
            char text[40];
            std::snprintf(text, sizeof text, "%.17g", value);
            return text;
        }
        case TARNPropertyValue::Enumeration: {
            TARNEnumStruct values;
            property.Get(values);
            const int selected = values.selected;
            return selected >= 0 && selected < values.Count() ? values.Name(selected).c_str() : "";
        }
        default: {
            TARNStackedString<40> value;
            property.Get(value);
            return value.c_str();
        }
    }
}

std::string TypeCodeText(unsigned long code) {
    std::string text;
    for (const auto& kind : Kinds)
        if ((code & kind.bit) != 0) text += (text.empty() ? "" : "|") + std::string(kind.name);
    if (text.empty()) text = code == 0 ? "untyped" : "no kind";
    if ((code & TARNTypeInfo::Vector) != 0) text += " vector";
    return text;
}

std::vector<std::string> DescribeElements(TARNComponent& component) {
    std::vector<std::string> lines;
    for (auto* item = component.inputs.Head(); item != nullptr; item = item->Next()) {
        auto& input = static_cast<TARNInputImplementation&>(*item->Value());
        lines.push_back("input " + std::string(input.ShortName()) + ": " + filterText(input.typeFilter));
    }
    for (auto* item = component.outputs.Head(); item != nullptr; item = item->Next()) {
        auto& output = static_cast<TARNOutputImplementation&>(*item->Value());
        lines.push_back("output " + std::string(output.shortName.c_str()) + ": " + outputText(output));
    }
    // Property(i) counts the model's own properties only.
    const int count = component.properties.Count() - static_cast<int>(component.sdkPropertyCount);
    for (int i = 0; i < count; ++i) {
        auto& property = static_cast<TARNPropertyImplementation&>(component.Property(i));
        std::string line =
            "property " + std::string(property.ShortName().c_str()) + ": " + valueText(property);
        if (property.definition.needsInit) line += ", must be set";
        if (property.definition.readOnly)
            line += ", read-only";
        else if (property.definition.modifiableWhileRunning)
            line += ", changeable while running";
        lines.push_back(line);
    }
    return lines;
}
