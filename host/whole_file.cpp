#include "whole_file.hpp"

#include <fstream>
#include <sstream>

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::ostringstream whole;
    whole << file.rdbuf();
    return std::move(whole).str();
}
