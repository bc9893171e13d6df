#pragma once
// The host's one way of saying how an operation went: ok, or what failed and why.
// Context is added as the status travels up, so the user reads the whole story in
// one line: "cannot write S1_G1_Study.vtc: No space left on device".

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace cohortix::host {

class [[nodiscard]] Status {
 public:
  Status() = default;  // ok
  static Status ok() { return Status(); }
  static Status error(std::string message) { return Status(std::move(message)); }
  // The system's reason for errno value `errorNumber` ("No space left on device");
  // ECANCELED gives cancelled().
  static Status fromErrno(int errorNumber);
  // An operation stopped on purpose (an interrupted run ends its writes). It is no
  // failure of the disk: callers tell no one of it.
  static Status cancelled();

  bool isOk() const { return !message_.has_value(); }
  bool isCancelled() const { return cancelled_; }
  explicit operator bool() const { return isOk(); }
  // The whole text; empty when ok.
  const std::string& message() const;

  // "what: message" for an error; ok stays ok.
  Status context(std::string_view what) const&;
  Status context(std::string_view what) &&;

  // The file an error is about, for a list of the files a run could not write;
  // empty when none was named.
  Status aboutFile(std::string file) &&;
  const std::string& file() const { return file_; }

 private:
  explicit Status(std::string message) : message_(std::move(message)) {}
  std::optional<std::string> message_;
  bool cancelled_ = false;
  std::string file_;
};

// A value or the status that says why there is none.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT: a value is a result
  Result(Status status) : status_(std::move(status)) {}  // NOLINT: so is a failure

  bool isOk() const { return value_.has_value(); }
  explicit operator bool() const { return isOk(); }
  const Status& status() const { return status_; }
  T& value() & { return *value_; }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }

 private:
  std::optional<T> value_;
  Status status_;
};

}  // namespace cohortix::host
