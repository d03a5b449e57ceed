// Reading files: bytes, lines forwards and backwards, and lines that begin with a text.
#pragma once

#include "tarn/runtime/file_io.hpp"
#include "tarn/runtime/stacked_string.hpp"

class TARNFileReader : public virtual TARNFileIO {
  public:
    TARNFileReader() = default;
    ~TARNFileReader() override = default;

    // Opens for reading; the mode flags are not used.
    bool Open(const char* path, int mode = 0) override;
    bool Close() override;
    // Shows "File read error".
    void ShowError() const override;

    // Reads `size` bytes and stores how many came in `*got` (when given). True only when
    // all of them came: a read cut short by the end of the file is false as well, so that a
    // caller who asks for no count never takes a partly filled buffer for a full one. A
    // stream error is also shown; the end of the file is not.
    bool Read(void* buffer, long size, long* got = nullptr);

    // The line from the current position up to its line feed, leaving the position just
    // after it; `*startPos` receives where the line began. With `removeEOL` the line feed
    // and one carriage return before it are dropped. With `stopAtNul` a NUL byte ends the
    // line as well and the result is false. At the end of the file the result tells
    // whether anything was read.
    bool NextLine(TARNStackedString<40>& line, long* startPos = nullptr, bool removeEOL = true,
                  bool stopAtNul = false);
    // The line that ends at the current position, leaving the position at its start, so
    // that repeated calls walk backwards; false at the start of the file.
    bool PreviousLine(TARNStackedString<40>& line, long* startPos = nullptr, bool removeEOL = true);

    // Reads lines until one begins with `what` (with a separator: until the text after the
    // separator's first occurrence in a line does; lines without it are skipped), leaving
    // the position after it and `*linePos` at its start. False at the end of the data.
    bool FindString(const TARNStackedString<40>& what, char separator = 0, long* linePos = nullptr,
                    bool stopAtNul = false);
    // The same, with the rest of the matched line after `what` in `rest`.
    bool FindString(const TARNStackedString<40>& what, TARNStackedString<40>& rest, char separator = 0,
                    long* linePos = nullptr, bool stopAtNul = false);

  private:
    bool find(const TARNStackedString<40>& what, TARNStackedString<40>* rest, char separator, long* linePos,
              bool stopAtNul);
};
