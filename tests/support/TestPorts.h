// Null-modem COM ports that scripts/test prepares for the Windows-side tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace testports {
// Value of a variable of the test environment; fails the test when it is missing, since a test
// that silently skips would hide a broken harness.
inline std::string required(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) {
        ADD_FAILURE() << name << " is not set: run the tests through scripts/test";
        return {};
    }
    return value;
}

// COM numbers (as text, ready for SerialPort::open) of the two joined ends.
inline std::string portA() {
    return required("QUARL_PORT_A");
}
inline std::string portB() {
    return required("QUARL_PORT_B");
}
} // namespace testports
