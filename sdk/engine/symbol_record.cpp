#include "engine/symbol_record.hpp"

#include <cstdlib>

TARNSymRec::~TARNSymRec() {
    std::free(name);
}
