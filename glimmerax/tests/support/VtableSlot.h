#pragma once

#include <cstddef>
#include <cstring>

namespace glimmerax::testing {

// The vtable slot that a pointer to a virtual member function designates. In the Itanium C++
// ABI (GCC and Clang on Linux) such a pointer holds 1 plus the byte offset of the slot.
template <typename MemberFunction>
std::ptrdiff_t vtableSlot(MemberFunction function) {
    struct Representation {
        std::ptrdiff_t pointer;
        std::ptrdiff_t adjustment;
    };
    static_assert(sizeof(MemberFunction) == sizeof(Representation));
    Representation representation;
    std::memcpy(&representation, &function, sizeof representation);
    return (representation.pointer - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

}  // namespace glimmerax::testing
