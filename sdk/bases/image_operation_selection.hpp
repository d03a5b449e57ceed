// Selecting an image operation by name, parsing its parameters, clicks and regions of
// interest, the property changes and re-configuration that apply them, and sizing the
// output model: the steps the one-source and two-source image-processing bases share.
// Both bases hold the same members under the same names (TARNImageOperationState) and lay
// out their regions and images in a TARNImageOperationInputs table; these templates work
// on either. The reading and processing steps are in image_operation_processing.hpp.
#pragma once

#include <climits>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

#include "bases/image_operation_text.hpp"
#include "tarn/bases/image_operation_inputs.hpp"
#include "tarn/dataflow/component.hpp"
#include "tarn/dataflow/property.hpp"
#include "tarn/runtime/ipl_image.hpp"
#include "tarn/runtime/streamed_string.hpp"

namespace TARNImageOperation {

// Bits of a base's operation status; 0 is ready.
inline constexpr unsigned int NoValidOperation = 1;
inline constexpr unsigned int WaitingForParameters = 2;

template <class Component>
void CloseParameters(Component& c) {
    delete[] c.parameters.integers;
    delete[] c.parameters.doubles;
    delete[] c.stagingIntegers;
    delete[] c.stagingDoubles;
    c.parameters.integers = nullptr;
    c.parameters.doubles = nullptr;
    c.stagingIntegers = nullptr;
    c.stagingDoubles = nullptr;
    c.parameters.nbIntegers = 0;
    c.parameters.nbDoubles = 0;
}

template <class Component>
void CloseClicks(Component& c) {
    delete[] c.parameters.clicks;
    c.parameters.clicks = nullptr;
    c.parameters.nbClicks = 0;
}

// The operation named `name`, case of a to z ignored on both sides; the first match wins.
template <class Component>
bool SetOperation(Component& c, const char* name) {
    CloseParameters(c);
    CloseClicks(c);
    const std::string wanted = TARNImageText::UpperCased(name);
    c.status = NoValidOperation;
    for (int i = 0; c.operations != nullptr && c.operations[i].name != nullptr; ++i) {
        if (TARNImageText::UpperCased(c.operations[i].name) != wanted) continue;
        c.selectedOperation = i;
        const auto& operation = c.operations[i];
        c.status = (operation.nbIntegerParameters != 0 || operation.nbDoubleParameters != 0)
                       ? WaitingForParameters
                       : 0;
        return true;
    }
    c.selectedOperation = -1;
    c.Report("Unkown operation type. Operation aborted...", 1, 0);
    return false;
}

// `regionsReady`: the input region (both, for two sources) a region-needing operation asks
// for is set; `needsRegionMessage` the warning when it is not.
template <class Component>
bool SetParameters(Component& c, const char* text, bool regionsReady, const char* needsRegionMessage) {
    if (c.selectedOperation < 0) {
        c.Report("could not set parameters : no operation selected", 2, 0);
        return false;
    }
    const auto& operation = c.operations[c.selectedOperation];
    const int nbIntegers = operation.nbIntegerParameters > 0 ? operation.nbIntegerParameters : 0;
    const int nbDoubles = operation.nbDoubleParameters > 0 ? operation.nbDoubleParameters : 0;
    if (nbIntegers == 0 && nbDoubles == 0) {
        if (text == nullptr || *text == '\0') return false;
        if ((c.status & NoValidOperation) == 0)
            c.Report("Selected operation is not waiting for any parameters", 0, 0);
        return false;
    }
    CloseParameters(c);
    const std::string upper = TARNImageText::UpperCased(text);
    // Zeroed: after a refused change the operation may still run with these arrays, and
    // must then find zeros, never whatever the heap held.
    c.parameters.integers = new int[nbIntegers]();
    c.parameters.doubles = new double[nbDoubles]();
    c.stagingIntegers = new int[nbIntegers]();
    c.stagingDoubles = new double[nbDoubles]();
    if (operation.needsROI && !regionsReady) {
        c.Report(needsRegionMessage, 1, 0);
        return false;
    }
    TARNImageText::TokenReader tokens(upper.c_str());
    std::string_view token;
    bool valid = true;
    for (int i = 0; i < nbIntegers && valid; ++i)
        if ((valid = tokens.Next(token))) c.stagingIntegers[i] = TARNImageText::ParseInteger(token);
    for (int i = 0; i < nbDoubles && valid; ++i)
        if ((valid = tokens.Next(token))) c.stagingDoubles[i] = TARNImageText::ParseDouble(token);
    if (!valid) {
        c.Report("Invalid parameters change. Check parameters types in your documentation or use "
                 "pQuerySyntax property to get a short description...",
                 1, 0);
        return false;
    }
    std::memcpy(c.parameters.integers, c.stagingIntegers, sizeof(int) * static_cast<std::size_t>(nbIntegers));
    std::memcpy(c.parameters.doubles, c.stagingDoubles, sizeof(double) * static_cast<std::size_t>(nbDoubles));
    c.parameters.nbIntegers = nbIntegers;
    c.parameters.nbDoubles = nbDoubles;
    c.status &= ~WaitingForParameters;
    return true;
}

template <class Component>
bool SetClicks(Component& c, const char* text) {
    if (c.selectedOperation < 0) {
        c.Report("could not set clicks : no operation selected", 2, 0);
        return false;
    }
    const int wanted = c.operations[c.selectedOperation].nbClicks;
    if (wanted <= 0) {
        if (text == nullptr || *text == '\0') return false;
        if ((c.status & NoValidOperation) == 0) c.Report("Selected operation is not waiting for any clicks", 0, 0);
        return false;
    }
    CloseClicks(c);
    c.parameters.clicks = new TARNPoint2D[wanted]();
    if (text == nullptr) return false;
    TARNImageText::TokenReader tokens(text);
    std::string_view x;
    std::string_view y;
    while (c.parameters.nbClicks < wanted && tokens.Next(x) && tokens.Next(y)) {
        c.parameters.clicks[c.parameters.nbClicks] = {static_cast<double>(TARNImageText::ParseInteger(x)),
                                                      static_cast<double>(TARNImageText::ParseInteger(y))};
        ++c.parameters.nbClicks;
    }
    return c.parameters.nbClicks == wanted;
}

// A region from "x;y;width;height[;coi]"; the empty text removes it. No range test here:
// the region is tested against each image when it is processed.
template <class Component>
bool SetROI(Component& c, _IplROI** slot, const char* text) {
    if (text == nullptr || *text == '\0') {
        delete *slot;
        *slot = nullptr;
        return true;
    }
    TARNImageText::TokenReader tokens(text);
    std::string_view token;
    int values[4];
    for (int& value : values) {
        if (!tokens.Next(token)) {
            c.Report("Invalid ROI...", 1, 0);
            return false;
        }
        value = TARNImageText::ParseInteger(token);
    }
    const int coi = tokens.Next(token) ? TARNImageText::ParseInteger(token) : 0;
    if (*slot == nullptr) *slot = new _IplROI;
    **slot = {coi, values[0], values[1], values[2], values[3]};
    return true;
}

// Frees every region of interest of the base and nulls its member.
template <class Component, std::size_t Regions, std::size_t Images>
void CloseROI(Component& c, const TARNImageOperationInputs<Component, Regions, Images>& inputs) {
    for (const auto& region : inputs.regions) {
        delete (c.*region.region);
        c.*region.region = nullptr;
    }
}

// A text property of the module, read under its module lock.
inline TARNStackedString<40> TextOf(TARNModule& module, const char* name) {
    TARNMutexGuard guard(module.moduleLock);
    TARNStackedString<40> text;
    module.Get(module.Property(name), text);
    return text;
}

inline bool FlagOf(TARNModule& module, const char* name) {
    bool value = false;
    module.GetProperty(name, value);
    return value;
}

// The property of that short name while the module still declares it, else null. A Set
// re-runs the component's Dynamic(), and a Dynamic() that fails leaves every property it did
// not declare again to be removed, the one just set included: what a Set does afterwards
// finds its property anew by the name it took before.
inline TARNProperty* StillDeclared(TARNModule& module, const std::string& name) {
    TARNMutexGuard guard(module.moduleLock);
    return module.HasProperty(name.c_str()) ? &module.Property(name.c_str()) : nullptr;
}

// Declares the base's inputs, outputs, properties and actions from its static tables.
template <class Component>
void DeclareElements(Component& c) {
    for (int i = 0; !Component::InputDefinitions[i].IsEnd(); ++i) c.NewInput(Component::InputDefinitions[i], nullptr);
    for (int i = 0; !Component::OutputDefinitions[i].IsEnd(); ++i)
        c.NewOutput(Component::OutputDefinitions[i], nullptr);
    for (int i = 0; !Component::PropertyDefinitions[i].IsEnd(); ++i)
        c.NewProperty(Component::PropertyDefinitions[i], nullptr);
    for (int i = 0; !Component::ActionDefinitions[i].IsEnd(); ++i)
        c.NewAction(Component::ActionDefinitions[i], nullptr);
}

// The base model of the output images: width x height, 8 bits per channel, rows aligned to 8
// bytes. A size no IPL header can hold (negative, beyond an int, rows or an image of more
// than INT_MAX bytes) is the module's error: the model itself would refuse it with an
// exception of its own, which is nothing the component's caller knows to name.
template <class Component>
_IplImage OutputModel(Component& c, long width, long height, const char* channelSequence) {
    if (width >= 0 && height >= 0 && width <= INT_MAX && height <= INT_MAX) {
        try {
            return TARN::IplImageModel(static_cast<int>(width), static_cast<int>(height), channelSequence, 0, 8, 8);
        } catch (const std::invalid_argument&) {
        }
    }
    TARNStreamedString message;
    message << "Can't build an output image model of " << width << " x " << height << " pixels.";
    c.Error(message.c_str(), 1, 0);
    return _IplImage{};
}

// The size of the output images: `width` x `height` as given, or, when
// "pSpecifyDestinationSize" asks for it, the output region's far corner, summed without
// overflow.
template <class Component>
void DestinationSize(Component& c, const _IplROI* region, long& width, long& height) {
    if (!FlagOf(c, "pSpecifyDestinationSize")) return;
    if (region == nullptr)
        c.Error("Asking for destination size specification means that output ROI are initialized before "
                "instantiation (via pOutputROI property).",
                1, 0);
    width = static_cast<long>(region->xOffset) + region->width;
    height = static_cast<long>(region->yOffset) + region->height;
}

// The operation's record names the channel sequence of its output images.
template <class Definition>
bool NamesItsChannels(const Definition* operation) {
    return operation != nullptr && operation->outputChannelSequence != nullptr;
}

// The channel sequence of the output images, NUL-ended.
struct ChannelSequence {
    char text[5] = {};
};

// The operation's own channel sequence when its record names one, else the input image's
// four characters (which need not end with a NUL).
template <class Definition>
ChannelSequence OutputChannels(const Definition* operation, const char* inputChannels) {
    ChannelSequence sequence;
    if (NamesItsChannels(operation))
        std::strncpy(sequence.text, operation->outputChannelSequence, 4);
    else
        std::memcpy(sequence.text, inputChannels, 4);
    return sequence;
}

// The operation a new instance starts with: the first that needs no parameters, else the
// first one; the empty name for an empty table.
template <class Definition>
const char* DefaultOperation(const Definition* operations) {
    if (operations[0].name == nullptr) return "";
    for (int i = 0; operations[i].name != nullptr; ++i)
        if (operations[i].nbIntegerParameters == 0 && operations[i].nbDoubleParameters == 0)
            return operations[i].name;
    return operations[0].name;
}

// Writes the syntax of the operation named by the first token of `value` into the
// "pQuerySyntax" property. The name is upper-cased and compared with the names as stored,
// so only operations stored in upper case are found.
template <class Component>
void AnswerQuerySyntax(Component& c, TARNProperty& property, const TARNStackedString<40>& value) {
    TARNImageText::TokenReader tokens(value.c_str());
    std::string_view first;
    tokens.Next(first);
    const std::string wanted = TARNImageText::UpperCased(std::string(first).c_str());
    for (int i = 0; c.operations != nullptr && c.operations[i].name != nullptr; ++i) {
        if (wanted != c.operations[i].name) continue;
        TARNStreamedString syntax;
        syntax << c.operations[i].name << " - " << c.operations[i].nbIntegerParameters << " integer(s), "
               << c.operations[i].nbDoubleParameters << " double(s)";
        c.TARNComponent::Set(property, TARNStackedString<40>(syntax.c_str()));
        c.Report(syntax.c_str(), 0, 0);
        return;
    }
    c.TARNComponent::Set(property, TARNStackedString<40>("Syntax : Unknown IPL function"));
}

// Reads "pOperation", "pClicks", "pParameters" and the regions' texts, each under the
// module lock, and applies them in this order: the parameters come before the regions, so
// a new instance of a region-needing operation with parameters stays waiting for them
// until the next Initialize or the next change of "pParameters". True when the operation
// is ready to run.
template <class Component, std::size_t Regions, std::size_t Images>
bool Initialize(Component& c, const TARNImageOperationInputs<Component, Regions, Images>& inputs) {
    const TARNStackedString<40> operation = TextOf(c, "pOperation");
    const TARNStackedString<40> clicks = TextOf(c, "pClicks");
    const TARNStackedString<40> parameters = TextOf(c, "pParameters");
    TARNStackedString<40> regions[Regions];
    for (std::size_t i = 0; i < Regions; ++i) regions[i] = TextOf(c, inputs.regions[i].property);
    c.SetOperation(operation.c_str());
    c.SetClicks(clicks.c_str());
    c.SetParameters(parameters.c_str());
    for (std::size_t i = 0; i < Regions; ++i) c.SetROI(&(c.*inputs.regions[i].region), regions[i].c_str());
    return c.status == 0;
}

// Declares the elements; the first call also fetches the derived class's table and writes
// the default operation into "pOperation"; every call then re-applies the settings.
template <class Component>
void Dynamic(Component& c) {
    DeclareElements(c);
    if (!c.tablePending) {
        c.Initialize();
        return;
    }
    // Cleared first: a derived class without a table is asked once, not at every change.
    c.tablePending = false;
    c.operations = c.GetOperationsDefinition();
    if (c.operations == nullptr)
        c.Error("SDK component error - Can't get a valid transformations description.. Please provide a valid one.",
                1, 0);
    c.CloseOperation();
    c.CloseROI();
    c.parameters = typename Component::Parameters{};

    c.DirectSet(c.Property("pOperation"), DefaultOperation(c.operations));
    c.Initialize();
}

// A boolean, integer or float setting: stored, then applied to the last image by Core
// (woken by the re-process event) unless the main loop has ended.
template <class Component, class Value>
void SetSetting(Component& c, TARNProperty& property, Value value) {
    c.TARNComponent::Set(property, value);
    if ((c.State() & TARNModule::MainLoopEnded) == 0) c.reprocessEvent.Set();
}

// A text setting: stored; "pQuerySyntax" answered; while running, the operation, its
// parameters, clicks or a region changed under the processing mutex and, when that took,
// applied to the last image by Core.
template <class Component, std::size_t Regions, std::size_t Images>
void SetText(Component& c, const TARNImageOperationInputs<Component, Regions, Images>& inputs, TARNProperty& property,
             const TARNStackedString<40>& value) {
    // Named first: a failed re-configuration may remove the property (StillDeclared).
    const std::string name = property.ShortName().c_str();
    c.TARNComponent::Set(property, value);
    TARNProperty* stillDeclared = StillDeclared(c, name);
    if (stillDeclared == nullptr) return;
    if (name == "pQuerySyntax") {
        AnswerQuerySyntax(c, *stillDeclared, value);
        return;
    }
    if ((c.State() & TARNModule::MainLoopEnded) != 0 || c.operations == nullptr) return;
    TARNMutexGuard guard(c.processingMutex);
    bool changed = false;
    if (name == "pOperation") {
        if (c.SetOperation(value.c_str())) {
            const TARNStackedString<40> parameters = TextOf(c, "pParameters");
            const TARNStackedString<40> clicks = TextOf(c, "pClicks");
            c.SetParameters(parameters.c_str());
            c.SetClicks(clicks.c_str());
            changed = true;
        }
    } else if (name == "pParameters") {
        changed = c.SetParameters(value.c_str());
    } else if (name == "pClicks") {
        changed = c.SetClicks(value.c_str());
    } else {
        for (const auto& region : inputs.regions)
            if (name == region.property) changed = c.SetROI(&(c.*region.region), value.c_str());
    }
    if (changed) c.reprocessEvent.Set();
}

}  // namespace TARNImageOperation
