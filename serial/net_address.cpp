#include "serial/net_address.h"

#include <algorithm>
#include <cctype>

namespace serial {

namespace {

constexpr std::string_view kRfc2217 = "rfc2217://";
constexpr std::string_view kRaw = "tcp://";
constexpr std::string_view kExpected = "expected rfc2217://HOST:PORT or tcp://HOST:PORT";
// A DNS name is at most 253 characters; an IPv6 address with a zone fits well within that too.
constexpr std::size_t kHostMax = 253;

bool starts_with_scheme(std::string_view text, std::string_view scheme) {
  if (text.size() < scheme.size()) return false;
  return std::equal(scheme.begin(), scheme.end(), text.begin(), [](char s, char t) {
    return s == std::tolower(static_cast<unsigned char>(t));
  });
}

bool name_character(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '-' || c == '_';
}

// Inside brackets: hexadecimal groups, colons, a dotted IPv4 tail, and a zone after '%'.
bool ipv6_character(char c) {
  return std::isxdigit(static_cast<unsigned char>(c)) != 0 || c == ':' || c == '.' || c == '%' || name_character(c);
}

std::string host_error(std::string_view host, bool bracketed) {
  if (host.empty()) return "no host";
  if (host.size() > kHostMax) return "host name too long";
  const auto allowed = bracketed ? ipv6_character : name_character;
  const bool ipv6_shape = !bracketed || host.find(':') != std::string_view::npos;
  if (!ipv6_shape || !std::all_of(host.begin(), host.end(), allowed))
    return bracketed ? "not an IPv6 address in brackets" : "not a host name (an IPv6 address goes in brackets)";
  return {};
}

std::string port_error(std::string_view port) {
  if (port.empty()) return "no port number";
  if (port.size() > 5 || !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return "port is not a number from 1 to 65535";
  const int number = std::stoi(std::string(port));
  return number >= 1 && number <= 65535 ? "" : "port is not a number from 1 to 65535";
}

ParsedAddress failed(std::string why) { return {std::nullopt, std::move(why) + " (" + std::string(kExpected) + ")"}; }

}  // namespace

bool is_network_address(std::string_view text) {
  return starts_with_scheme(text, kRfc2217) || starts_with_scheme(text, kRaw);
}

ParsedAddress parse_net_address(std::string_view text) {
  NetAddress address;
  if (starts_with_scheme(text, kRfc2217)) {
    text.remove_prefix(kRfc2217.size());
  } else if (starts_with_scheme(text, kRaw)) {
    address.mode = NetMode::Raw;
    text.remove_prefix(kRaw.size());
  } else {
    return failed("unknown scheme");
  }
  const bool bracketed = text.starts_with('[');
  const std::size_t host_end = bracketed ? text.find(']') : text.rfind(':');
  if (host_end == std::string_view::npos) return failed(bracketed ? "no closing bracket" : "no port number");
  const std::string_view host = bracketed ? text.substr(1, host_end - 1) : text.substr(0, host_end);
  std::string_view rest = text.substr(host_end + (bracketed ? 1 : 0));
  if (std::string why = host_error(host, bracketed); !why.empty()) return failed(why);
  if (!rest.starts_with(':')) return failed("no port number");
  rest.remove_prefix(1);
  if (std::string why = port_error(rest); !why.empty()) return failed(why);
  address.host = host;
  address.port = rest;
  return {address, {}};
}

std::string address_text(const NetAddress& address) {
  const bool ipv6 = address.host.find(':') != std::string::npos;
  const std::string host = ipv6 ? "[" + address.host + "]" : address.host;
  return std::string(address.mode == NetMode::Raw ? kRaw : kRfc2217) + host + ":" + address.port;
}

}  // namespace serial
