#include "core/transfer_thread.h"

#include <system_error>

#include "serial/ser.h"
#include "xmodem/serxydrv.h"

TransferThread::~TransferThread() {
  if (!started()) return;
  request_abort();
  join();
}

bool TransferThread::start(int port) {
  if (started()) return false;
  port_ = port;
  done_.store(false);
  packet_.store(0);
  outcome_ = 0;
  os_error_ = 0;
  try {
    thread_ = std::thread([this, port] { run(port); });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void TransferThread::request_abort() {
  if (started()) xyRequestAbort(port_);
}

void TransferThread::join() {
  if (started()) thread_.join();
}

void TransferThread::run(int port) {
  while (xyDriver(port) != 0) packet_.store(xyGetParameter(port, XY_GET_PACKET), std::memory_order_relaxed);
  packet_.store(xyGetParameter(port, XY_GET_PACKET), std::memory_order_relaxed);
  outcome_ = xyGetParameter(port, XY_GET_ERROR_CODE);
  os_error_ = LastWinError;
  done_.store(true, std::memory_order_release);
}
