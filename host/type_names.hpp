// How the host names types and type filters in what it prints: "tarnhost info" lists each
// input by its filter and each output by its type, and a connection a filter refuses is
// reported with both.
#pragma once

#include <string>

class TARNOutput;
class TARNTypeFilterBase;

// The kinds of a type code by their names, "vector" after them when the code carries
// vectors; "untyped" for 0.
std::string TypeCodeText(unsigned long code);

// An output's type: its kinds ("IplImage", "Integer32 vector"), then its type name in
// quotes and " in " its unit, where it has them.
std::string OutputTypeText(TARNOutput& output);

// What an input's filter accepts: the static filter's name ("FilterIplImage") when it is
// one of them, else its bits and patterns; "any type" for none (null).
std::string FilterText(const TARNTypeFilterBase* filter);
