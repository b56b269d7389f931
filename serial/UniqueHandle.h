// Move-only owner of a kernel handle; NULL and INVALID_HANDLE_VALUE both count as empty.
#pragma once

#include <windows.h>

class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }

    HANDLE get() const { return handle_; }
    explicit operator bool() const { return !isEmpty(handle_); }

    // Gives up ownership without closing; the caller closes the handle.
    HANDLE release() {
        HANDLE handle = handle_;
        handle_ = nullptr;
        return handle;
    }

    void reset(HANDLE handle = nullptr) {
        HANDLE old = handle_;
        handle_ = handle;
        if (!isEmpty(old)) {
            CloseHandle(old);
        }
    }

  private:
    static bool isEmpty(HANDLE handle) {
        return handle == nullptr || handle == INVALID_HANDLE_VALUE;
    }

    HANDLE handle_ = nullptr;
};
