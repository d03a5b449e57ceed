// The rows x columns matrix of 8-byte floats, with a real and an imaginary array, that
// matrix outputs carry.
#pragma once

// Its 40-byte layout is shared with the engine: an output places the record at the start
// of an element buffer, its arrays behind it, with owns false. The SDK's library checks
// that layout when it is built.
class TARNMatrix {
  public:
    // A matrix that owns two arrays of rows x cols values (left uninitialised). Throws
    // std::bad_alloc when a dimension is negative or the arrays cannot be allocated.
    TARNMatrix(int rows, int cols);
    // A matrix over arrays it does not own, e.g. those of an element buffer; either may be
    // null.
    TARNMatrix(int rows, int cols, double* real, double* imag);
    // Copying would leave two owners of the same arrays: the second would free them again.
    TARNMatrix(const TARNMatrix&) = delete;
    TARNMatrix& operator=(const TARNMatrix&) = delete;
    virtual ~TARNMatrix();

    // Sets the size and allocates two owned arrays. Arrays already held are not released:
    // call Free first. On failure (std::bad_alloc) the matrix is left unchanged.
    void Alloc(int rows, int cols);
    // Deletes the arrays when the matrix owns them; a matrix that does not own them keeps
    // its pointers.
    void Free();

    int rows;
    int cols;
    double* real;
    double* imag;
    bool owns;
};
