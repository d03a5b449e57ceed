// The records the one-source and two-source image-processing bases fill their element
// tables with. Each base keeps tables of its own; these only say once what their records
// have in common.
#pragma once

#include "tarn/dataflow/definitions.hpp"
#include "tarn/engine/property_value.hpp"
#include "tarn/engine/type_filter.hpp"
#include "tarn/engine/type_info.hpp"

namespace TARNImageOperation {

// An input without description, a FIFO reader of every element.
inline TARNInputDefinition InputRecord(const char* name, const TARNTypeFilterBase& filter) {
    return {.name = name,
            .description = nullptr,
            .typeFilter = &filter,
            .readerType = 0,
            .subsampling = 1};
}

// "oImage": IPL images with an empty type name and unit, a ring of 16 one-element buffers,
// every element written, shareable.
inline TARNOutputDefinition OutputImageRecord() {
    return {.name = "oImage",
            .reserved1 = 0,
            .type = TARNTypeInfo(TARNTypeInfo::IplImage, "", ""),
            .bufferSize = 1,
            .fifoSize = 16,
            .subsampling = 1,
            .reserved2 = 1};
}

// A setting: changeable while running, enumeration values locked.
inline TARNPropertyDefinition SettingRecord(const char* name, TARNPropertyValue* value) {
    return TARNPropertyDefinition(name, value, /*unit=*/nullptr, /*needsInit=*/false,
                                  /*modifiableWhileRunning=*/true,
                                  /*readOnly=*/false, /*fixedEnumValues=*/true);
}

// "rProcessingTime": microseconds the last image took, -1 when the operation failed;
// read-only.
inline TARNPropertyDefinition ProcessingTimeRecord() {
    return TARNPropertyDefinition(
        "rProcessingTime", new TARNPropertyValue(-1L), /*unit=*/nullptr, /*needsInit=*/false,
        /*modifiableWhileRunning=*/false, /*readOnly=*/true, /*fixedEnumValues=*/true);
}

}  // namespace TARNImageOperation
