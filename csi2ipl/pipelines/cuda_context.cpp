// GPU package only: makes the Halide runtime's CUDA back end work in the CUDA runtime's
// primary context. The decoder allocates the frame's device copy with cudaMalloc, which
// lives in that context; the Halide runtime would otherwise create a context of its own,
// in which that memory is not valid. Both hooks override weak definitions of the runtime.
#include <cuda.h>
#include <cuda_runtime_api.h>
#include <dlfcn.h>

#include <mutex>
#include <string>

#include "HalideRuntime.h"

namespace {

// The driver is loaded by its versioned name: machines with only the driver installed
// have libcuda.so.1 but not the development link libcuda.so that Halide asks for.
void* DriverLibrary() {
    static void* const library = [] {
        void* handle = dlopen("libcuda.so.1", RTLD_NOW | RTLD_LOCAL);
        return handle != nullptr ? handle : dlopen("libcuda.so", RTLD_NOW | RTLD_LOCAL);
    }();
    return library;
}

template <typename Function>
Function DriverFunction(const char* name) {
    void* library = DriverLibrary();
    return library != nullptr ? reinterpret_cast<Function>(dlsym(library, name)) : nullptr;
}

std::mutex contextLock;
CUcontext primaryContext = nullptr;

int Fail(void* userContext, const std::string& message) {
    halide_error(userContext, message.c_str());
    return halide_error_code_generic_error;
}

// Retains the primary context of the calling thread's current device. One context serves
// the process, as with the runtime's own default: the decoder uses one device.
int RetainPrimaryContext(void* userContext) {
    // cudaFree(nullptr) initialises the CUDA runtime, which also makes the driver usable.
    cudaError_t status = cudaFree(nullptr);
    int device = 0;
    if (status == cudaSuccess) status = cudaGetDevice(&device);
    if (status != cudaSuccess)
        return Fail(userContext, std::string("CUDA runtime not usable: ") + cudaGetErrorString(status));

    auto deviceGet = DriverFunction<decltype(&cuDeviceGet)>("cuDeviceGet");
    auto primaryCtxRetain = DriverFunction<decltype(&cuDevicePrimaryCtxRetain)>("cuDevicePrimaryCtxRetain");
    if (deviceGet == nullptr || primaryCtxRetain == nullptr)
        return Fail(userContext, "CUDA driver lacks cuDeviceGet or cuDevicePrimaryCtxRetain");
    CUdevice handle = 0;
    CUresult result = deviceGet(&handle, device);
    if (result == CUDA_SUCCESS) result = primaryCtxRetain(&primaryContext, handle);
    if (result != CUDA_SUCCESS) {
        primaryContext = nullptr;
        return Fail(userContext,
                    "CUDA primary context not available, driver error " + std::to_string(result));
    }
    return 0;
}

}  // namespace

extern "C" {

// Referenced by the link options of the GPU pipeline library, so that this object is
// taken from the archive even though the runtime object defines these hooks weakly.
int pixtract_pipeline_cuda_hooks = 0;

void* halide_cuda_get_symbol(void* /*userContext*/, const char* name) {
    return DriverFunction<void*>(name);
}

// The runtime pushes the context it gets here around every driver call and pops it after.
// The retained primary context stays alive until the process ends, so nothing is released.
int halide_cuda_acquire_context(void* userContext, CUcontext* context, bool create) {
    std::lock_guard<std::mutex> lock(contextLock);
    if (primaryContext == nullptr && create) {
        if (int error = RetainPrimaryContext(userContext); error != 0) return error;
    }
    *context = primaryContext;
    return 0;
}

int halide_cuda_release_context(void* /*userContext*/) {
    return 0;
}

}  // extern "C"
