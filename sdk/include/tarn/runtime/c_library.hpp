// The character, number and memory routines of the C library, as the runtime calls them.
// Runtime code goes through these wrappers rather than the system library directly.
#pragma once

namespace TARN {

void* Memcpy(void* destination, const void* source, long size);
void* Memset(void* destination, int value, long size);
void* Memmove(void* destination, const void* source, long size);

double Modf(double value, double* integralPart);
double Fabs(double value);

int Strncmp(const char* first, const char* second, long size);
const char* Strstr(const char* text, const char* pattern);
char* Strstr(char* text, const char* pattern);
char* Strcpy(char* destination, const char* source);
char* Strncpy(char* destination, const char* source, int size);
char* Strcat(char* destination, const char* source);
int Strcmp(const char* first, const char* second);
// The copy is allocated with malloc and released with free.
char* Strdup(const char* text);
const char* Strchr(const char* text, char character);
char* Strchr(char* text, char character);
// Length of a NUL-terminated text; a null text has length 0. A text longer than INT_MAX
// throws std::length_error.
int Strlen(const char* text);
// Compares ignoring the case of the ASCII letters A to Z only; returns the difference of
// the first folded bytes that differ (0 when the texts are equal).
int Stricmp(const char* first, const char* second);

// Decimal conversions; Atoi and Strtol cut the result to int.
int Atoi(const char* text);
long Atoi64(const char* text);
int Strtol(const char* text, char** end, int base);
unsigned long Strtoul(const char* text, char** end, int base);
long Strtoi64(const char* text, char** end, int base);
unsigned long Strtoui64(const char* text, char** end, int base);
double Strtod(const char* text, char** end);

bool IsSpace(char character);
// True for the bytes '0' to '9' only, whatever the locale.
bool IsDigit(char character);

// Write the value in the given base (2 to 36, lower-case letters above 9) into the buffer,
// NUL-terminated, and return the buffer. Only base 10 writes a sign; other bases write the
// value's unsigned two's-complement form of its own width. Other bases write "".
char* Itoa(int value, char* buffer, int base);
char* Itoa(long value, char* buffer, int base);
char* Itoa(unsigned long value, char* buffer, int base);

}  // namespace TARN

namespace TARNPrivate {
// A byte count as the int length the library's texts carry. A count above INT_MAX throws
// std::length_error: cut to an int it would read as negative or short, and whoever sizes a
// buffer by it would write past that buffer.
int LengthAsInt(unsigned long bytes);
}  // namespace TARNPrivate
