#pragma once
// A loader's answer: a value, or an error code with a message that says why,
// phrased for the user ("track 3 ends inside an event at byte 1234").
// Nothing here throws; callers test ok() before they touch value().

#include <cassert>
#include <string>
#include <utility>
#include <variant>

namespace svt {

struct Error {
    int code = -1;
    std::string message;
};

template <class T>
class [[nodiscard]] Result {
  public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & {
        assert(ok());
        return std::get<0>(state_);
    }
    const T& value() const& {
        assert(ok());
        return std::get<0>(state_);
    }
    T&& value() && {
        assert(ok());
        return std::get<0>(std::move(state_));
    }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }

    const Error& error() const {
        assert(!ok());
        return std::get<1>(state_);
    }

  private:
    std::variant<T, Error> state_;
};

// For operations that produce nothing but can fail with a reason.
struct Ok {};
using Status = Result<Ok>;

inline Error makeError(int code, std::string message) {
    return Error{code, std::move(message)};
}
inline Error makeError(std::string message) {
    return Error{-1, std::move(message)};
}

}  // namespace svt
