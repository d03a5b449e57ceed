#include "type_names.hpp"

#include <cstdio>

#include "tarn/dataflow/output.hpp"
#include "tarn/engine/type_filter.hpp"
#include "tarn/engine/type_info.hpp"

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

}  // namespace

std::string TypeCodeText(unsigned long code) {
    std::string text;
    for (const auto& kind : Kinds)
        if ((code & kind.bit) != 0) text += (text.empty() ? "" : "|") + std::string(kind.name);
    if (text.empty()) text = code == 0 ? "untyped" : "no kind";
    if ((code & TARNTypeInfo::Vector) != 0) text += " vector";
    return text;
}

std::string OutputTypeText(TARNOutput& output) {
    std::string text = TypeCodeText(output.Type().type);
    const char* name = output.TypeName();
    const char* unit = output.TypeUnit();
    if (name != nullptr && *name != '\0') text += " \"" + std::string(name) + "\"";
    if (unit != nullptr && *unit != '\0') text += " in " + std::string(unit);
    return text;
}

std::string FilterText(const TARNTypeFilterBase* filter) {
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
