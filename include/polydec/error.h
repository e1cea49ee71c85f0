// What a caller of the engine gets back: a value, or the one record of what the user's input
// got wrong (which file, where in it, what). Everything a file, an option or a typed text can
// cause arrives this way; exceptions are left to programming errors.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <variant>

namespace polydec {

struct InputError {
  std::string file;     // empty when the input is no file (a grid, an option, a typed text)
  int line = 0;         // 1-based line (or worksheet row); 0 when the whole input is meant
  int column = 0;       // 1-based column or word; 0 when not known
  std::string field;    // name of the column or field, when it has one
  std::string message;  // what is wrong, for a person to read

  // "FILE, line N, column C (FIELD): message"; the parts that are not known are left out.
  std::string Describe() const;
};

// An InputError with only a message (an option or a typed value, no file).
inline InputError Refusal(std::string message) {
  InputError e;
  e.message = std::move(message);
  return e;
}

// Thrown by Result::value() when the result holds an error: reading a value that is not there
// is the caller's programming error, not the user's.
class BadResultAccess : public std::logic_error {
 public:
  explicit BadResultAccess(const InputError& e)
      : std::logic_error("no value: " + e.Describe()), error_(e) {}
  const InputError& error() const { return error_; }

 private:
  InputError error_;
};

// A value of T, or the input error that stopped the operation.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit by design
  Result(InputError error) : v_(std::in_place_index<1>, std::move(error)) {}  // NOLINT

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }

  const T& value() const& { return Check(), std::get<0>(v_); }
  T& value() & { return Check(), std::get<0>(v_); }
  T&& value() && { return Check(), std::get<0>(std::move(v_)); }
  const T& operator*() const& { return value(); }
  T& operator*() & { return value(); }
  const T* operator->() const { return &value(); }
  T* operator->() { return &value(); }

  // The error; only to be asked when !ok().
  const InputError& error() const { return std::get<1>(v_); }

 private:
  void Check() const {
    if (!ok()) throw BadResultAccess(std::get<1>(v_));
  }
  std::variant<T, InputError> v_;
};

// The result of an operation that returns nothing but can be refused.
struct Done {};
using Status = Result<Done>;
inline Status Ok() { return Done{}; }

}  // namespace polydec
