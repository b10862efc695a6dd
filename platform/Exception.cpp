#include "platform/Exception.h"

namespace nb {

std::string ReasonText(const std::string& message) {
    std::string text;
    for (char c : message) {
        if (c != '\r') text += c;
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

std::string CurrentExceptionText() {
    try {
        throw;
    } catch (const std::exception& e) {
        return ReasonText(e.what());
    } catch (...) {
        return "unknown error";
    }
}

}  // namespace nb
