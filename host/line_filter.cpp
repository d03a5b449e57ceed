#include "line_filter.hpp"

LineFilter::LineFilter(std::ostream& target, std::function<bool(const std::string& line)> keep)
    : m_target(target), m_keep(std::move(keep)) {}

LineFilter::~LineFilter() {
    if (!m_line.empty()) pass();
}

LineFilter::int_type LineFilter::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char text = traits_type::to_char_type(c);
    return xsputn(&text, 1) == 1 ? c : traits_type::eof();
}

std::streamsize LineFilter::xsputn(const char* text, std::streamsize count) {
    for (std::streamsize i = 0; i < count; ++i) {
        m_line.push_back(text[i]);
        if (text[i] == '\n' && !pass()) return i;
    }
    return count;
}

int LineFilter::sync() {
    return m_failed.load() ? -1 : 0;
}

bool LineFilter::pass() {
    std::string line;
    line.swap(m_line);
    if (m_failed.load()) return false;
    if (m_keep && !m_keep(line)) return true;
    if (!m_target.write(line.data(), static_cast<std::streamsize>(line.size())).flush()) m_failed = true;
    return !m_failed.load();
}
