// What a person can do about a failed call depends on its kind: a device not there, a permission
// missing, a device another program holds, a call the device does not take, a device that went
// away, a write that found no room in its time. The kind is decided on the errno, never on
// strerror's text, which follows the locale (a Qt program switches it to the user's).
#pragma once

namespace serial {

enum class FailureKind { None, NotFound, Permission, Busy, Unsupported, Gone, TimedOut, Other };

FailureKind failure_kind(int error);

// The device has gone, or is no longer there: a port that fails so is shown absent.
bool device_gone(int error);

}  // namespace serial
