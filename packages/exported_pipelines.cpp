// Keeps the generated pipelines in the package. Nothing in the package may call them
// yet, and the linker takes from a static library only what is referenced; this table
// references every exported pipeline function so that the package's export list can
// publish them.
#include "pipelines/pipelines.hpp"

namespace {

[[gnu::used]] const void* const exportedPipelines[] = {
    reinterpret_cast<const void*>(&pixtract_raw12_cpu),
    reinterpret_cast<const void*>(&pixtract_raw12_cpu_argv),
    reinterpret_cast<const void*>(&pixtract_raw12_cpu_metadata),
    reinterpret_cast<const void*>(&pixtract_yuv422_8_cpu),
    reinterpret_cast<const void*>(&pixtract_yuv422_8_cpu_argv),
    reinterpret_cast<const void*>(&pixtract_yuv422_8_cpu_metadata),
#ifdef TARN_WITH_GPU_PIPELINES
    reinterpret_cast<const void*>(&pixtract_raw12_gpu),
    reinterpret_cast<const void*>(&pixtract_raw12_gpu_argv),
    reinterpret_cast<const void*>(&pixtract_raw12_gpu_metadata),
    reinterpret_cast<const void*>(&pixtract_yuv422_8_gpu),
    reinterpret_cast<const void*>(&pixtract_yuv422_8_gpu_argv),
    reinterpret_cast<const void*>(&pixtract_yuv422_8_gpu_metadata),
#endif
};

}  // namespace
