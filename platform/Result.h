#pragma once
// The one way a step above the components answers: done (with its value), or failed with the
// reason. Components raise their exceptions; workflows, the swap and the platform calls that
// can fail answer a TResult, which the caller must look at.
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace nb {

// Why something failed: a line for a log or stderr, in the failing layer's own words, and a
// number where the layer has one (a system error, an archive error code), else 0.
struct TFailure {
    std::string Reason;
    int Code = 0;
};

template <typename T = void>
class [[nodiscard]] TResult {
public:
    TResult(T value) : state_(std::move(value)) {}  // NOLINT: a value is a success
    TResult(TFailure failure) : state_(std::move(failure)) {}  // NOLINT: so is a failure
    bool Ok() const { return std::holds_alternative<T>(state_); }
    explicit operator bool() const { return Ok(); }
    const T& Value() const& { return std::get<T>(state_); }
    T&& Value() && { return std::get<T>(std::move(state_)); }
    const TFailure& Failure() const { return std::get<TFailure>(state_); }

private:
    std::variant<T, TFailure> state_;
};

template <>
class [[nodiscard]] TResult<void> {
public:
    TResult() = default;
    TResult(TFailure failure) : failure_(std::move(failure)) {}  // NOLINT: a failure
    bool Ok() const { return !failure_; }
    explicit operator bool() const { return Ok(); }
    const TFailure& Failure() const { return *failure_; }

private:
    std::optional<TFailure> failure_;
};

// A failure with its reason (and code), for `return Fail("...")`.
inline TFailure Fail(std::string reason, int code = 0) { return {std::move(reason), code}; }

}  // namespace nb
