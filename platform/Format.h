#pragma once
// printf-style formatting into std::string, for the system's fixed message texts.
#include <cstdio>
#include <string>

namespace nb {

template <typename... Args>
std::string Format(const char* format, Args... args) {
    int n = std::snprintf(nullptr, 0, format, args...);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    std::snprintf(out.data(), out.size() + 1, format, args...);
    return out;
}

inline std::string Format(const char* format) { return format; }

// The platform's text for an errno value.
std::string SystemErrorText(int errnum);

}  // namespace nb
