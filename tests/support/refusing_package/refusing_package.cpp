// A package whose entry refuses every kernel, for the callers that must notice a refusal
// (TARN::ForwardPckInitToLibrary). It holds no SDK: the entry point is all it has.
extern "C" __attribute__((visibility("default"))) int TARNPckInit(void*, int) {
    return 0;
}
