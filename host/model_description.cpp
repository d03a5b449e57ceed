#include "model_description.hpp"

#include <cstdio>

#include "dataflow/action_implementation.hpp"
#include "dataflow/input_implementation.hpp"
#include "dataflow/output_implementation.hpp"
#include "dataflow/property_implementation.hpp"
#include "tarn/dataflow/component.hpp"
#include "tarn/engine/enum_struct.hpp"
#include "type_names.hpp"

namespace {

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

std::vector<std::string> DescribeElements(TARNComponent& component) {
    std::vector<std::string> lines;
    for (auto* item = component.inputs.Head(); item != nullptr; item = item->Next()) {
        auto& input = static_cast<TARNInputImplementation&>(*item->Value());
        lines.push_back("input " + std::string(input.ShortName()) + ": " + FilterText(input.typeFilter));
    }
    for (auto* item = component.outputs.Head(); item != nullptr; item = item->Next()) {
        auto& output = static_cast<TARNOutputImplementation&>(*item->Value());
        lines.push_back("output " + std::string(output.shortName.c_str()) + ": " + OutputTypeText(output));
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
    // The index is what the action's callback is handed, which tells apart the actions
    // that share one callback.
    for (auto* item = component.actions.Head(); item != nullptr; item = item->Next()) {
        auto& action = static_cast<TARNActionImplementation&>(*item->Value());
        lines.push_back("action " + std::string(action.shortName.c_str()) + ": index " +
                        std::to_string(action.index) + (action.allowedAtRest ? ", allowed at rest" : ""));
    }
    return lines;
}
