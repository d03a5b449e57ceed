// Where code lives on disk: a loaded shared object, the running program, the engine.
#pragma once

#include "tarn/runtime/file_path.hpp"
#include "tarn/runtime/stacked_string.hpp"

namespace TARN {

// The shared object (or program) that holds the address; empty for null or an address
// that belongs to none.
TARNFile GetSymbolFilePath(void* address);
// The absolute path of the running program; empty when it cannot be read.
TARNStackedString<40> GetCurrentBinaryPath();
// The installed engine's root folder: one level above the folder of the engine library
// ("libtarnvel.so", else "libtarnvel.so.4", as the dynamic linker finds it), which must
// export "tarn_init". Empty when there is no such library.
TARNFile GetRuntimeRootDirectory();

}  // namespace TARN
