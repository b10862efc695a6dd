#include "platform/CrashPoint.h"

namespace nb {

namespace {
TCrashHook crashHook = nullptr;
}  // namespace

void CrashPoint(std::string_view name) {
    if (crashHook) crashHook(name);
}

void SetCrashHook(TCrashHook hook) { crashHook = hook; }

}  // namespace nb
