// Where a port's tap lives and who may use it.
//
// Permission model. A program that holds a port serves what it reads and writes on a Unix stream
// socket named after the port's device, in a folder of the user's own:
//   $XDG_RUNTIME_DIR/quillport/   (the user's runtime folder, itself 0700 and the user's), or
//   /tmp/quillport-<uid>/         when XDG_RUNTIME_DIR is not set.
// The folder is made 0700 and the socket 0600, so the kernel lets no other user reach the socket.
// Both sides also check instead of trusting the folder: the folder must be a real folder (no
// symlink), owned by this user and closed to group and others, or it is not used (another user
// could have made /tmp/quillport-<uid> first); the server reads each client's uid with
// SO_PEERCRED and closes any connection from another uid (root included, whom the permissions do
// not stop), and the client checks the server's uid the same way before it trusts a byte.
//
// Names: the device (a path made canonical, so a by-id link and ttyUSB0 meet; an address as it
// is) with every octet outside [A-Za-z0-9._-] written %XX, then ".tap": /dev/ttyUSB0 becomes
// "%2Fdev%2FttyUSB0.tap". A name too long for a socket address becomes "#<64-bit hash>.tap",
// found by its device but not listed.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace capture {

std::string tap_directory();
std::string canonical_device(std::string_view device);
std::string tap_socket_name(std::string_view device);
std::string tap_socket_path(std::string_view device);
// The device a socket name stands for; nothing for a hashed name or one that is not a tap's.
std::optional<std::string> device_of_tap_name(std::string_view name);
// The devices whose tap socket is in the folder now (a listed socket may be stale).
std::vector<std::string> tapped_devices();
bool tap_exists(std::string_view device);

// "" when `dir` is a private folder of this user (made 0700 first when `create`), else why not.
std::string check_private_directory(const std::string& dir, bool create);
// True when the process at the other end of the Unix socket `fd` runs as this user.
bool peer_is_us(int fd);

}  // namespace capture
