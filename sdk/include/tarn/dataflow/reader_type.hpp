// The kinds of reader an input can be on the ring of the output it is connected to: the value
// of its "readerType" property and of its definition's reader type.
#pragma once

enum TARNReaderType : int {
    // The FIFO group: each takes the elements in publication order and marks what it took.
    FifoReader = 0,           // loses what the writer overwrites before it reads it
    NeverSkippingReader = 1,  // the writer waits for it instead of overwriting
    LastOrNextReader = 2,     // jumps to the newest element, counting the skipped ones as read
    // The other group: they take the newest element and mark nothing.
    Wait4NextReader = 3,  // always waits for the next publication first
    SamplingReader = 4,   // waits only while nothing is published
};

// True for the kinds whose reads are tracked per element (and that the writer may lap). Any
// value outside the five counts as a plain FifoReader, as the ring's SetReaderType treats it.
constexpr bool IsFifoReaderType(int type) {
    return type != Wait4NextReader && type != SamplingReader;
}
