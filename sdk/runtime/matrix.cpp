#include "tarn/runtime/matrix.hpp"

#include <cstddef>
#include <cstdint>
#include <new>

// The record's layout is read by the engine and by I/O element serialisation. offsetof on
// a class with a virtual destructor is conditionally supported; g++ gives the real offsets.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(sizeof(TARNMatrix) == 40);
static_assert(offsetof(TARNMatrix, rows) == 8);
static_assert(offsetof(TARNMatrix, cols) == 12);
static_assert(offsetof(TARNMatrix, real) == 16);
static_assert(offsetof(TARNMatrix, imag) == 24);
static_assert(offsetof(TARNMatrix, owns) == 32);
#pragma GCC diagnostic pop

namespace {

// Number of values in each array. rows x cols is formed in 64 bits (in 32 bits it
// overflows for sizes a 64-bit process can hold). Sizes whose bytes cannot even be
// addressed are refused here rather than handed to the allocator.
size_t ValueCount(int rows, int cols) {
    if (rows < 0 || cols < 0) throw std::bad_alloc();
    const uint64_t count = static_cast<uint64_t>(rows) * static_cast<uint64_t>(cols);
    if (count > PTRDIFF_MAX / sizeof(double)) throw std::bad_alloc();
    return static_cast<size_t>(count);
}

}  // namespace

TARNMatrix::TARNMatrix(int newRows, int newCols)
    : rows(0), cols(0), real(nullptr), imag(nullptr), owns(false) {
    Alloc(newRows, newCols);
}

TARNMatrix::TARNMatrix(int newRows, int newCols, double* realArray, double* imagArray)
    : rows(newRows), cols(newCols), real(realArray), imag(imagArray), owns(false) {}

TARNMatrix::~TARNMatrix() {
    Free();
}

void TARNMatrix::Alloc(int newRows, int newCols) {
    const size_t count = ValueCount(newRows, newCols);
    double* newReal = new double[count];
    double* newImag = nullptr;
    try {
        newImag = new double[count];
    } catch (...) {
        delete[] newReal;
        throw;
    }
    rows = newRows;
    cols = newCols;
    real = newReal;
    imag = newImag;
    owns = true;
}

void TARNMatrix::Free() {
    if (!owns) return;
    delete[] real;
    real = nullptr;
    delete[] imag;
    imag = nullptr;
}
