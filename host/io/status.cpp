#include "host/io/status.h"

#include <cerrno>
#include <cstring>

namespace cohortix::host {

Status Status::fromErrno(int errorNumber) {
  if (errorNumber == ECANCELED) return cancelled();
  return Status(std::strerror(errorNumber));
}

Status Status::cancelled() {
  Status status(std::strerror(ECANCELED));
  status.cancelled_ = true;
  return status;
}

const std::string& Status::message() const {
  static const std::string kNone;
  return message_.has_value() ? *message_ : kNone;
}

Status Status::context(std::string_view what) const& { return Status(*this).context(what); }

Status Status::context(std::string_view what) && {
  if (message_.has_value()) message_ = std::string(what) + ": " + *message_;
  return std::move(*this);
}

Status Status::aboutFile(std::string file) && {
  if (message_.has_value()) file_ = std::move(file);
  return std::move(*this);
}

}  // namespace cohortix::host
