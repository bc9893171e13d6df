#include "host/io/status.h"

#include <cstring>

namespace cohortix::host {

Status Status::fromErrno(int errorNumber) { return Status(std::strerror(errorNumber)); }

const std::string& Status::message() const {
  static const std::string kNone;
  return message_.has_value() ? *message_ : kNone;
}

Status Status::context(std::string_view what) const& { return Status(*this).context(what); }

Status Status::context(std::string_view what) && {
  if (message_.has_value()) message_ = std::string(what) + ": " + *message_;
  return std::move(*this);
}

}  // namespace cohortix::host
