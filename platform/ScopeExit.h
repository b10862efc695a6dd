#pragma once
// Runs a clean-up on every path out of a scope, exceptions included: the one idiom for
// "clean up, also when the block throws".
#include <exception>
#include <utility>

namespace nb {

template <typename F>
class ScopeExit {
public:
    explicit ScopeExit(F f) : f_(std::move(f)), unwinding_(std::uncaught_exceptions()) {}
    // A clean-up that throws on a normal exit passes its exception on; while another exception
    // unwinds the scope it is dropped, so that the first failure is the one reported.
    ~ScopeExit() noexcept(false) {
        if (std::uncaught_exceptions() == unwinding_) {
            f_();
            return;
        }
        try {
            f_();
        } catch (...) {
            // Already unwinding: a second exception would end the program, so this one is dropped.
        }
    }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    F f_;
    int unwinding_;
};

}  // namespace nb
