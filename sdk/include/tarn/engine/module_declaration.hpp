// Declaring a module class to the package's module registry.
#pragma once

#include "tarn/engine/module_definition.hpp"

// Declares `Class` (derived from `BaseClass`) to the registry during static
// initialisation, in the group named after the base class, and leaves in the package's
// read-only data the marker "$!TARN_MODULE!<BaseClass>!<model>!$!<version>!$" by which
// outside tools that scan package files find the models. `model` and `version` are
// string literals; `factory`, `userData` and the two hooks are as TARNModuleDefinition
// takes them. Use it once per class, at namespace scope of one source file.
#define TARN_MODULE_DECLARATION(Class, BaseClass, model, version, factory, userData, onInit, onExit) \
    class __NewModuleDeclarationClass##Class {                                                       \
      public:                                                                                        \
        static const char* const moduleDescr;                                                        \
        static TARNModuleDefinition* moduleDefinition;                                               \
    };                                                                                               \
    __attribute__((used)) const char* const __NewModuleDeclarationClass##Class::moduleDescr =        \
        "$!TARN_MODULE!" #BaseClass "!" model "!$!" version "!$";                                    \
    TARNModuleDefinition* __NewModuleDeclarationClass##Class::moduleDefinition =                     \
        new TARNModuleDefinition(#Class, #BaseClass, factory, userData, onInit, onExit)
