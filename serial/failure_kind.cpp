#include "serial/failure_kind.h"

#include <cerrno>

namespace serial {

FailureKind failure_kind(int error) {
  switch (error) {
    case 0: return FailureKind::None;
    case ENOENT:
    case ENODEV:
    case ENXIO: return FailureKind::NotFound;
    case EACCES:
    case EPERM:
    case EROFS: return FailureKind::Permission;
    case EBUSY:
    case EWOULDBLOCK: return FailureKind::Busy;  // flock: another program holds the port
    case ENOTTY:
    case EINVAL:
    case EOPNOTSUPP:
    case EISDIR: return FailureKind::Unsupported;
    case EIO:
    case EPIPE: return FailureKind::Gone;
    // A write bounded by the bytes' time on the line found no room (flow control holds the line,
    // or the far end stopped reading).
    case ETIMEDOUT: return FailureKind::TimedOut;
    default: return FailureKind::Other;
  }
}

bool device_gone(int error) {
  const FailureKind kind = failure_kind(error);
  return kind == FailureKind::Gone || kind == FailureKind::NotFound;
}

}  // namespace serial
