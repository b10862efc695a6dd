#pragma once
// A time limit for a whole operation, however many calls it makes: each call may wait only for
// what is left of it.
#include <cstdint>

#include "platform/Clock.h"

namespace nb {

class TIdDeadline {
public:
    // No limit.
    TIdDeadline() = default;
    // milliseconds from now; 0 or less: no limit.
    static TIdDeadline In(int32_t milliseconds) {
        TIdDeadline d;
        if (milliseconds > 0) {
            d.start_ = TickCount();
            d.length_ = milliseconds;
        }
        return d;
    }

    bool Limited() const { return length_ > 0; }
    // Milliseconds left, 0 once passed; INT32_MAX without a limit.
    int32_t Remaining() const {
        if (!Limited()) return INT32_MAX;
        const uint32_t elapsed = TickCount() - start_;  // wraps with the tick
        return elapsed >= static_cast<uint32_t>(length_) ? 0 : length_ - static_cast<int32_t>(elapsed);
    }
    // Whichever of the two ends first.
    static TIdDeadline Earlier(const TIdDeadline& a, const TIdDeadline& b) {
        if (!a.Limited()) return b;
        if (!b.Limited()) return a;
        return a.Remaining() <= b.Remaining() ? a : b;
    }

private:
    uint32_t start_ = 0;
    int32_t length_ = 0;
};

}  // namespace nb
