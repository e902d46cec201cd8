// Reading a field of a packed block in a test assertion. The assertion macros take their arguments
// by reference, and a reference to a packed field may be misaligned; a copy made here never is.
#pragma once

namespace tervano::test {

template <class T>
constexpr T Unpacked(T value) {
    return value;
}

}  // namespace tervano::test
