// The address of a network port, as a COM number is bound to it: rfc2217://HOST:PORT for a serial
// port served over Telnet with RFC 2217's COM-PORT-OPTION (ser2net's telnet(rfc2217) accepter), or
// tcp://HOST:PORT for raw bytes over TCP. HOST is a name, an IPv4 address or an IPv6 address in
// brackets ([::1]); PORT is a number from 1 to 65535. The scheme is read without regard to case.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace serial {

enum class NetMode { Rfc2217, Raw };

struct NetAddress {
  NetMode mode = NetMode::Rfc2217;
  std::string host;  // without brackets
  std::string port;  // its digits, as given
};

// True when `text` names a network port (starts with one of the two schemes), well-formed or not.
bool is_network_address(std::string_view text);

struct ParsedAddress {
  std::optional<NetAddress> address;
  std::string error;  // why it is not an address, for people
};
ParsedAddress parse_net_address(std::string_view text);

// The address written out again: "rfc2217://10.0.0.5:2001", "tcp://[::1]:4001".
std::string address_text(const NetAddress& address);

}  // namespace serial
