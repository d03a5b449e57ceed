#include "tarn/runtime/program_location.hpp"

#include <dlfcn.h>
#include <gnu/libc-version.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string str(const TARNStackedString<40>& s) {
    return s.c_str();
}

// The installation roots of the stand-in engine libraries; which one the dynamic linker
// finds is set by the test's LD_LIBRARY_PATH.
std::string engineRoot(const char* name) {
    return std::string(TARN_TEST_ENGINE_ROOTS) + "/" + name + "/";
}

}  // namespace

TEST(ProgramLocation, SymbolFilePathNamesTheObjectHoldingTheAddress) {
    void* library = dlopen(TARN_TEST_LOADABLE_PATH, RTLD_NOW);
    ASSERT_NE(library, nullptr);
    void* symbol = dlsym(library, "tarn_test_loadable_answer");
    EXPECT_EQ(str(TARN::GetSymbolFilePath(symbol).GetFullPath()), TARN_TEST_LOADABLE_PATH);
    dlclose(library);

    // A function of the C library (one that no sanitizer stands in for) lies in the C library.
    const TARNFile libc = TARN::GetSymbolFilePath(reinterpret_cast<void*>(&gnu_get_libc_version));
    EXPECT_NE(str(libc.GetShortName()).find("libc"), std::string::npos) << str(libc.GetFullPath());

    EXPECT_EQ(str(TARN::GetSymbolFilePath(nullptr).GetFullPath()), "");
    int local = 0;
    EXPECT_EQ(str(TARN::GetSymbolFilePath(&local).GetFullPath()), "") << "the stack belongs to no object";
}

TEST(ProgramLocation, CurrentBinaryPathIsTheRunningProgram) {
    EXPECT_EQ(str(TARN::GetCurrentBinaryPath()), fs::canonical("/proc/self/exe").string());
}

TEST(ProgramLocation, NoEngineLibraryNoRootFolder) {
    EXPECT_EQ(str(TARN::GetRuntimeRootDirectory().GetFullPath()), "");
}

TEST(EngineLibrary, PlainRootIsOneLevelAboveTheLibraryFolder) {
    const TARNFile root = TARN::GetRuntimeRootDirectory();
    EXPECT_EQ(str(root.GetFullPath()), engineRoot("Plain"));
    EXPECT_EQ(str(root.GetShortName()), "");
    // The library was only borrowed to find it.
    EXPECT_EQ(dlopen("libtarnvel.so", RTLD_LAZY | RTLD_NOLOAD), nullptr);
}

TEST(EngineLibrary, VersionedNameIsFoundAsWell) {
    EXPECT_EQ(str(TARN::GetRuntimeRootDirectory().GetFullPath()), engineRoot("Versioned"));
}

TEST(EngineLibrary, WithoutInitTheLibraryIsNotTheEngine) {
    EXPECT_EQ(str(TARN::GetRuntimeRootDirectory().GetFullPath()), "");
    EXPECT_EQ(dlopen("libtarnvel.so", RTLD_LAZY | RTLD_NOLOAD), nullptr);
}
