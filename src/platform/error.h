#pragma once

#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace talmora {

// What a platform call failed at, in words for a log or a test; the layer that owns the user's
// message decides what to print. `explained`: `what` is itself a whole line for the user, the
// failure being one the platform layer can word best (a refusal, the step that failed). `code`:
// the library's own negative number, where the messages show it.
struct Error {
  std::string what;
  bool explained = false;
  int code = 0;
};

// A value, or what kept it from being made: std::expected cut down to what the layers use.
template <typename T>
class [[nodiscard]] Expected {
 public:
  Expected(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Expected(Error error) : state_(std::in_place_index<1>, std::move(error)) {}

  bool has_value() const { return state_.index() == 0; }
  explicit operator bool() const { return has_value(); }
  T& operator*() { return std::get<0>(state_); }
  const T& operator*() const { return std::get<0>(state_); }
  T* operator->() { return &std::get<0>(state_); }
  const T* operator->() const { return &std::get<0>(state_); }
  const Error& error() const { return std::get<1>(state_); }

 private:
  static_assert(!std::is_same_v<T, Error>);
  std::variant<T, Error> state_;
};

}  // namespace talmora
