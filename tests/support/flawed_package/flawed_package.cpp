// A package with the mistakes "tarnhost info" must not hide: "misfiled", declared with a C++
// base class where TARN_MODULE_DECLARATION takes the group, so that an engine asking for the
// "TARNComponent" group does not find it; "unmade", whose factory makes nothing; and
// "no_factory", whose record has none; "threshold" 1.0, declared under another name and
// version ("thresholdX" 9.9); and "gauge" 1.0, declared as version 2.0. "sound" is declared
// as it should be. None has elements.
#include "tarn/tarn.hpp"

namespace {

class Plain : public TARNComponent {
  public:
    Plain(const char* instanceName, TARNComponentDefinition& record) : TARNComponent(instanceName, record) {}
    void Core() override {
        TARNEvent never;
        Wait4Event(never, -1);
    }
};

TARNModuleBase* makePlain(const char* instanceName, TARNComponentDefinition& record) {
    return new Plain(instanceName, record);
}

TARNModuleBase* makeNothing(const char*, TARNComponentDefinition&) {
    return nullptr;
}

TARNComponentDefinition model(const char* name, TARNComponentDefinition::Factory factory) {
    TARNComponentDefinition definition{};
    definition.name = name;
    definition.version = "1.0";
    definition.factory = factory;
    definition.priority = 128;
    definition.threadingModels = TARNComponentDefinition::Threaded;
    definition.threaded = true;
    return definition;
}

TARNComponentDefinition soundModel = model("sound", makePlain);
TARNComponentDefinition misfiledModel = model("misfiled", makePlain);
TARNComponentDefinition unmadeModel = model("unmade", makeNothing);
TARNComponentDefinition noFactoryModel = model("no_factory", nullptr);
TARNComponentDefinition thresholdModel = model("threshold", makePlain);
TARNComponentDefinition gaugeModel = model("gauge", makePlain);

}  // namespace

TARN_MODULE_DECLARATION(Sound, TARNComponent, "sound", "1.0", nullptr, &soundModel, nullptr, nullptr);
TARN_MODULE_DECLARATION(Misfiled, TARNImageProcessing1Src1Dest, "misfiled", "1.0", nullptr, &misfiledModel,
                        nullptr, nullptr);
TARN_MODULE_DECLARATION(Unmade, TARNComponent, "unmade", "1.0", nullptr, &unmadeModel, nullptr, nullptr);
TARN_MODULE_DECLARATION(NoFactory, TARNComponent, "no_factory", "1.0", nullptr, &noFactoryModel, nullptr,
                        nullptr);
TARN_MODULE_DECLARATION(Threshold, TARNComponent, "thresholdX", "9.9", nullptr, &thresholdModel, nullptr, nullptr);
TARN_MODULE_DECLARATION(Gauge, TARNComponent, "gauge", "2.0", nullptr, &gaugeModel, nullptr, nullptr);
