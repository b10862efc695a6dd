#pragma once
// One owner for a system handle (a descriptor, a folder listing): closed on every path out,
// exceptions included. Traits give the handle type, its invalid value and its close.
#include <utility>

namespace nb {

template <typename Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            handle_ = other.Release();
        }
        return *this;
    }

    Handle Get() const { return handle_; }
    bool Valid() const { return handle_ != Traits::Invalid(); }
    // Gives the handle up without closing it.
    Handle Release() { return std::exchange(handle_, Traits::Invalid()); }
    // Closes now; false when the close itself failed (for a file: its data may not have reached it).
    bool Close() { return !Valid() || Traits::Close(Release()); }
    void Reset() {
        if (Valid()) Traits::Close(Release());
    }

private:
    Handle handle_ = Traits::Invalid();
};

}  // namespace nb
