// Declaring a module class to the package's module registry.
#pragma once

#include "tarn/engine/module_definition.hpp"

// Declares `Class` to the registry during static initialisation, filed under the group
// `Group`. `Group` is the name of a registry group, not the class's C++ base: for a
// component model it is always TARNComponent, whatever the class derives from (a class
// derived from TARNImageProcessing1Src1Dest is declared in TARNComponent too): an engine
// that learns a package's component models by group asks for TARNComponent, and one filed
// under another group stays unseen ("tarnhost info" warns of it). It also leaves in
// the package's read-only data the marker "$!TARN_MODULE!<Group>!<model>!$!<version>!$",
// by which outside tools that scan package files find the models. `model` and `version`
// are string literals, and must be the record's name and version (those of `userData`):
// the engine lists the record's, the tools find the marker's, and nothing checks them
// when the package builds ("tarnhost info" warns when they differ); `factory` (usually nullptr: the engine makes components through the
// factory of the TARNComponentDefinition), `userData` (the model's TARNComponentDefinition)
// and the two hooks are as TARNModuleDefinition takes them. Use it once per model, at
// namespace scope of one source file, each time with a `Class` of its own: `Class` is the
// name the declaration is filed under and names a helper class, so it need not name a C++
// class. A second declaration with the same `Class` does not compile in the same file
// ("redefinition of 'class __NewModuleDeclarationClass<Class>'") and does not link from
// another. Two models of one class are two records, each declared under its own name:
//   TARN_MODULE_DECLARATION(Invert, TARNComponent, "invert", "1.0", nullptr, &invertModel, nullptr, nullptr);
//   TARN_MODULE_DECLARATION(InvertBright, TARNComponent, "invert_bright", "1.0", nullptr, &brightModel,
//                           nullptr, nullptr);
#define TARN_MODULE_DECLARATION(Class, Group, model, version, factory, userData, onInit, onExit) \
    class __NewModuleDeclarationClass##Class {                                                   \
      public:                                                                                    \
        static const char* const moduleDescr;                                                    \
        static TARNModuleDefinition* moduleDefinition;                                           \
    };                                                                                           \
    __attribute__((used)) const char* const __NewModuleDeclarationClass##Class::moduleDescr =    \
        "$!TARN_MODULE!" #Group "!" model "!$!" version "!$";                                    \
    TARNModuleDefinition* __NewModuleDeclarationClass##Class::moduleDefinition =                 \
        new TARNModuleDefinition(#Class, #Group, factory, userData, onInit, onExit)
