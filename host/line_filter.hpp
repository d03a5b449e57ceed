// Whole lines passed on to another stream, some left out.
#pragma once

#include <atomic>
#include <functional>
#include <ostream>
#include <streambuf>
#include <string>

// A stream buffer that gathers what is put into lines and passes each whole line, with its
// end of line, to `target` (and flushes it) when `keep` says so; a part of a line is
// passed at destruction. Failed() says, from any thread, whether `target` failed to take a
// line (a closed pipe): the stream fails too, and nothing more is passed. Callers
// serialise their use of the buffer, as for any stream; `target` is written only through it.
class LineFilter : public std::streambuf {
  public:
    LineFilter(std::ostream& target, std::function<bool(const std::string& line)> keep);
    ~LineFilter() override;
    LineFilter(const LineFilter&) = delete;
    LineFilter& operator=(const LineFilter&) = delete;

    bool Failed() const { return m_failed.load(); }

  protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

  private:
    // Passes the gathered line on, when kept; false once `target` failed.
    bool pass();

    std::ostream& m_target;
    const std::function<bool(const std::string&)> m_keep;
    std::string m_line;
    std::atomic<bool> m_failed{false};
};
