// "tarnhost info" on the mistakes an author can make in declaring a model: each model is
// shown with its group, one an engine would not find is warned of, and so is one declared
// under a name or version other than its record's; one that cannot be made fails the
// command, with the reason when the host can tell it (no factory).
#include "info_command.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

TEST(InfoCommand, ShowsEachModelsGroupWarnsOfAMisfiledOrMisdeclaredOneAndFailsOnOneThatCannotBeMade) {
    std::ostringstream out, err;
    EXPECT_EQ(RunInfoCommand(TARN_FLAWED_PACKAGE, out, err), 1);
    const std::string models =
        "TARNPckInit: 4 (accepted: the package is built for engine kernel version 4)\n"
        "models: 6\n"
        "  sound 1.0 (group TARNComponent)\n"
        "  unmade 1.0 (group TARNComponent)\n"
        "    (no instance could be made; the names in its tables:)\n"
        "  no_factory 1.0 (group TARNComponent)\n"
        "    (no instance could be made; the names in its tables:)\n"
        "  threshold 1.0 (group TARNComponent)\n"
        "  gauge 1.0 (group TARNComponent)\n"
        "  misfiled 1.0 (group TARNImageProcessing1Src1Dest)\n"
        "trailer: ";
    EXPECT_NE(out.str().find(models), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("digest: matches\n"), std::string::npos) << out.str();
    EXPECT_EQ(err.str(),
              "error: Can't create component unmade of model unmade.\n"
              "tarnhost: no instance of model unmade could be made\n"
              "error: Can't create component no_factory: the model no_factory has no factory (its record's "
              ".factory is null).\n"
              "tarnhost: no instance of model no_factory could be made\n"
              "tarnhost: warning: model threshold 1.0 is not declared under its record's name "
              "(TARN_MODULE_DECLARATION gives thresholdX 9.9, which no record has): TARN_MODULE_DECLARATION must "
              "give the record's name and version, by which outside tools that read package files find the "
              "model\n"
              "tarnhost: warning: model gauge 1.0 is declared as version 2.0: TARN_MODULE_DECLARATION must give "
              "the record's name and version, by which outside tools that read package files find the model\n"
              "tarnhost: warning: model misfiled is filed under the group TARNImageProcessing1Src1Dest, not "
              "TARNComponent: an engine that asks for the TARNComponent models does not find it (the second "
              "argument of TARN_MODULE_DECLARATION is the group, TARNComponent for a component model)\n");
}

}  // namespace
