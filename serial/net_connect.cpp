#include "serial/net_connect.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "serial/deadline.h"
#include "serial/ser.h"

namespace serial::net {

namespace {

// An attempt's outcome, or a closed port's connection, waiting to be taken by the next open.
struct Offer {
  std::mutex mutex;
  std::condition_variable changed;
  std::string key;  // the address, written out
  bool done = false;
  bool taken = false;  // by an open, or given up for another address
  std::unique_ptr<NetLink> link;
  int error = 0;
  std::string why;
};

struct Slot {
  std::mutex mutex;
  std::shared_ptr<Offer> offer;
};

Slot& slot(int port) {
  static std::array<Slot, NBR_PORTS> slots;
  return slots[static_cast<std::size_t>(port)];
}

void set_option(int fd, int level, int name, int value) { ::setsockopt(fd, level, name, &value, sizeof value); }

// Small writes (a typed key, an XMODEM acknowledgement) go out at once instead of waiting behind
// Nagle's algorithm. A far host that vanishes without closing (power lost, cable pulled) is found
// out by keep-alive probes within about 25 s, and data it leaves unacknowledged for 20 s breaks the
// link, so the port goes absent instead of looking idle for ever.
void tune(int fd) {
  set_option(fd, IPPROTO_TCP, TCP_NODELAY, 1);
  set_option(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
  set_option(fd, IPPROTO_TCP, TCP_KEEPIDLE, 10);
  set_option(fd, IPPROTO_TCP, TCP_KEEPINTVL, 5);
  set_option(fd, IPPROTO_TCP, TCP_KEEPCNT, 3);
  set_option(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, 20000);
}

int connect_one(const addrinfo& to, const Deadline& deadline, int& error) {
  const int fd = ::socket(to.ai_family, to.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, to.ai_protocol);
  if (fd < 0) {
    error = errno;
    return -1;
  }
  if (::connect(fd, to.ai_addr, to.ai_addrlen) == 0) return fd;
  int result = errno;
  if (result == EINPROGRESS) {
    pollfd p{fd, POLLOUT, 0};
    int ready = 0;
    do ready = ::poll(&p, 1, static_cast<int>(std::min<std::uint32_t>(deadline.left(), INT_MAX)));
    while (ready < 0 && errno == EINTR);
    socklen_t size = sizeof result;
    if (ready > 0 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &result, &size) != 0) result = errno;
    if (ready == 0) result = ETIMEDOUT;
    if (ready < 0) result = errno;
    if (result == 0) return fd;
  }
  ::close(fd);
  error = result;
  return -1;
}

std::string connect_reason(int error) {
  if (error == ECONNREFUSED) return "connection refused";
  if (error == ETIMEDOUT) return "no answer within " + std::to_string(kConnectMs / 1000) + " s";
  return std::string("cannot connect (") + std::strerror(error) + ")";
}

Opened lookup_failed(const NetAddress& address, int code) {
  const std::string text = code == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(code);
  return {nullptr, ENXIO, "cannot find host " + address.host + " (" + text + ")"};
}

// Looks the host up, connects to the first of its addresses that answers and opens the
// conversation.
Opened connect_to(const NetAddress& address) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (const int code = ::getaddrinfo(address.host.c_str(), address.port.c_str(), &hints, &found); code != 0)
    return lookup_failed(address, code);
  const std::unique_ptr<addrinfo, void (*)(addrinfo*)> addresses(found, ::freeaddrinfo);
  const Deadline deadline(steady_clock(), kConnectMs);
  int error = ECONNREFUSED;
  for (const addrinfo* to = found; to != nullptr; to = to->ai_next) {
    const int fd = connect_one(*to, deadline, error);
    if (fd < 0) continue;
    tune(fd);
    auto link = std::make_unique<NetLink>(fd, address);
    std::string why;
    if (const int err = link->negotiate(kNegotiateMs, why); err != 0) return {nullptr, err, why};
    return {std::move(link), 0, {}};
  }
  return {nullptr, error, connect_reason(error)};
}

// Keeps an offered connection until an open takes it or kHoldMs pass; then closes what is left.
void hold(Offer& offer) {
  std::unique_lock lock(offer.mutex);
  if (offer.link) offer.changed.wait_for(lock, std::chrono::milliseconds(kHoldMs), [&offer] { return offer.taken; });
  offer.link.reset();
}

void attempt(const std::shared_ptr<Offer>& offer, const NetAddress& address) {
  Opened opened = connect_to(address);
  {
    const std::lock_guard lock(offer->mutex);
    offer->link = std::move(opened.link);
    offer->error = opened.error;
    offer->why = std::move(opened.why);
    offer->done = true;
  }
  offer->changed.notify_all();
  hold(*offer);
}

// The threads are left to run on their own: a lookup may outlast any wait, and the program may
// end meanwhile. Each keeps its offer alive through its own reference.
template <class Work>
bool run_apart(Work work) {
  try {
    std::thread(std::move(work)).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

std::shared_ptr<Offer> start_attempt(const NetAddress& address) {
  auto offer = std::make_shared<Offer>();
  offer->key = address_text(address);
  if (!run_apart([offer, address] { attempt(offer, address); })) {
    offer->done = true;
    offer->error = EAGAIN;
    offer->why = "no thread to connect with";
  }
  return offer;
}

void give_up(Offer& offer) {
  {
    const std::lock_guard lock(offer.mutex);
    offer.taken = true;
  }
  offer.changed.notify_all();
}

Opened connecting() { return {nullptr, EINPROGRESS, "connecting"}; }

}  // namespace

Opened open_connection(int port, const NetAddress& address) {
  Slot& s = slot(port);
  const std::lock_guard slot_lock(s.mutex);
  if (s.offer && s.offer->key != address_text(address)) {
    give_up(*s.offer);
    s.offer.reset();
  }
  if (!s.offer) {
    s.offer = start_attempt(address);
    return connecting();
  }
  const std::shared_ptr<Offer> offer = s.offer;
  std::unique_lock lock(offer->mutex);
  if (!offer->done) return connecting();
  if (offer->link && !offer->taken && !offer->link->gone()) {
    Opened opened{std::move(offer->link), 0, {}};
    offer->taken = true;
    lock.unlock();
    offer->changed.notify_all();
    s.offer.reset();
    return opened;
  }
  // The attempt failed, or its connection went or was not taken in time: the next one starts now.
  Opened failed = offer->error != 0 ? Opened{nullptr, offer->error, offer->why} : connecting();
  lock.unlock();
  s.offer = start_attempt(address);
  return failed;
}

void hold_connection(int port, std::unique_ptr<NetLink> link) {
  if (link->gone()) return;
  Slot& s = slot(port);
  const std::lock_guard slot_lock(s.mutex);
  if (s.offer) give_up(*s.offer);
  auto offer = std::make_shared<Offer>();
  offer->key = address_text(link->address());
  offer->link = std::move(link);
  offer->done = true;
  s.offer = run_apart([offer] { hold(*offer); }) ? offer : nullptr;
}

bool wait_connection(int port, int ms) {
  std::shared_ptr<Offer> offer;
  {
    const std::lock_guard slot_lock(slot(port).mutex);
    offer = slot(port).offer;
  }
  if (!offer) return true;
  std::unique_lock lock(offer->mutex);
  return offer->changed.wait_for(lock, std::chrono::milliseconds(ms), [&offer] { return offer->done; });
}

void drop_connection(int port) {
  Slot& s = slot(port);
  const std::lock_guard slot_lock(s.mutex);
  if (s.offer) give_up(*s.offer);
  s.offer.reset();
}

}  // namespace serial::net
