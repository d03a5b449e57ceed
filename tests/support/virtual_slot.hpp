// Reading a virtual operation's slot number, for the tests that pin the slot order the
// engine relies on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// The position of a virtual operation in its class's table, read from a pointer to the
// member. On the Itanium C++ ABI (g++, x86-64) such a pointer holds 1 + the byte offset
// of the operation in the table, so slot = (value - 1) / sizeof(void*). Returns -1 for a
// pointer to a non-virtual member.
template <class Member>
long VirtualSlot(Member member) {
    static_assert(sizeof(Member) == 2 * sizeof(std::uintptr_t), "Itanium member-function pointer expected");
    std::uintptr_t words[2];
    std::memcpy(words, &member, sizeof words);
    if ((words[0] & 1) == 0) return -1;
    return static_cast<long>((words[0] - 1) / sizeof(void*));
}
