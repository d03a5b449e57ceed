#include "engine/engine_time_section.hpp"

#include "engine/kernel.hpp"
#include "engine/kernel_pointer.hpp"

TARNPrivate::EngineTimeSection::EngineTimeSection() : m_kernel(TARNPrivate::kernel) {
    m_kernel->BeginEngineTime();
}

void TARNPrivate::EngineTimeSection::End() {
    if (m_open) m_kernel->EndEngineTime();
    m_open = false;
}
