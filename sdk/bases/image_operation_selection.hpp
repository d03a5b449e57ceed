// Selecting an image operation by name, parsing its parameters, clicks and regions of
// interest, and sizing the output model: the steps the one-source and two-source
// image-processing bases share. Both bases hold the same members under the same names
// (operation table, selected index, status, parameter block, staging arrays); these
// templates work on either.
#pragma once

#include <climits>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

#include "bases/image_operation_text.hpp"
#include "dataflow/component.hpp"
#include "dataflow/property.hpp"
#include "runtime/streamed_string.hpp"
#include "runtime/ipl_image.hpp"

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

// A region from an integer vector of an I/O element: x, y, width, height [, coi]. False
// (the region to be removed) for fewer than four values.
template <class Element>
bool RegionFromVector(Element& element, _IplROI& region) {
    const int count = element.VectorSize();
    if (count <= 3) return false;
    region = {count > 4 ? *element.Integer32(4) : 0, *element.Integer32(0), *element.Integer32(1),
              *element.Integer32(2), *element.Integer32(3)};
    return true;
}

// Counts one image skipped because a newer one waits, reporting the 1st, 10th, 20th ...
template <class Component>
void CountSkippedFrame(Component& c) {
    ++c.skippedFrames;
    if (c.skippedFrames != 1 && c.skippedFrames % 10 != 0) return;
    TARNStreamedString message;
    message << c.skippedFrames << " frames skipped by the Last Or Next Reader";
    c.Report(message.c_str(), 1, 0);
}

// A point that arrived on "iPoint" joins the clicks: a full list first drops its oldest
// point. True when the operation should run again: its clicks are complete, or it takes
// none. An element with fewer than two values is refused: reading x and y would read past
// what it carries. The caller holds the processing mutex.
template <class Component, class Element>
bool AddClickPoint(Component& c, Element& element) {
    if (element.VectorSize() < 2) {
        c.Report("Invalid point: x and y expected", 1, 0);
        return false;
    }
    const int wanted = c.operations[c.selectedOperation].nbClicks;
    if (wanted <= 0) return true;
    if (c.parameters.clicks == nullptr) {
        c.parameters.clicks = new TARNPoint2D[wanted]();
        c.parameters.nbClicks = 0;
    }
    if (c.parameters.nbClicks >= wanted) {
        std::memmove(c.parameters.clicks, c.parameters.clicks + 1,
                     sizeof(TARNPoint2D) * static_cast<std::size_t>(wanted - 1));
        c.parameters.nbClicks = wanted - 1;
    }
    c.parameters.clicks[c.parameters.nbClicks] = {static_cast<double>(*element.Integer32(0)),
                                                  static_cast<double>(*element.Integer32(1))};
    ++c.parameters.nbClicks;
    c.UpdateClickProperty(c.Property("pClicks"), c.parameters.clicks, c.parameters.nbClicks);
    return c.parameters.nbClicks == wanted;
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

// The size of the output images when "pSpecifyDestinationSize" asks for the output
// region's far corner, summed without overflow.
template <class Component>
void DestinationSize(Component& c, const _IplROI* region, long& width, long& height) {
    if (region == nullptr)
        c.Error("Asking for destination size specification means that output ROI are initialized before "
                "instantiation (via pOutputROI property).",
                1, 0);
    width = static_cast<long>(region->xOffset) + region->width;
    height = static_cast<long>(region->yOffset) + region->height;
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

}  // namespace TARNImageOperation
