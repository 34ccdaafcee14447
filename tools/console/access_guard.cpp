#include "access_guard.h"

#include <arpa/inet.h>
#include <sys/random.h>

#include <array>
#include <cstdint>
#include <stdexcept>

namespace vktconsole {

namespace {

constexpr std::size_t kMinTokenLength = 16;
constexpr std::size_t kMaxTokenLength = 256;
// Longer Host or Origin values are no browser's.
constexpr std::size_t kMaxHostLength = 300;

bool IsTokenChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '.';
}

bool IsPort(std::string_view text) {
  if (text.empty() || text.size() > 5) return false;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return value >= 1 && value <= 65535;
}

// The host part without its port: "127.0.0.1:8080" -> "127.0.0.1",
// "[::1]:8080" -> "[::1]". nullopt when the port part is malformed.
std::optional<std::string_view> HostName(std::string_view host) {
  if (host.starts_with('[')) {
    const auto close = host.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    const std::string_view rest = host.substr(close + 1);
    if (!rest.empty() && (!rest.starts_with(':') || !IsPort(rest.substr(1)))) return std::nullopt;
    return host.substr(0, close + 1);
  }
  const auto colon = host.find(':');
  if (colon == std::string_view::npos) return host;
  if (!IsPort(host.substr(colon + 1))) return std::nullopt;
  return host.substr(0, colon);
}

bool IsIpLiteral(std::string_view name) {
  if (name.size() > 64) return false;
  std::array<std::uint8_t, 16> address{};
  if (name.starts_with('[') && name.ends_with(']')) {
    const std::string inner(name.substr(1, name.size() - 2));
    return inet_pton(AF_INET6, inner.c_str(), address.data()) == 1;
  }
  const std::string text(name);
  return inet_pton(AF_INET, text.c_str(), address.data()) == 1;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

std::string NewAccessToken() {
  std::array<std::uint8_t, 16> bytes{};
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const ssize_t got = getrandom(bytes.data() + filled, bytes.size() - filled, 0);
    if (got <= 0) throw std::runtime_error("no random bytes for the access token");
    filled += static_cast<std::size_t>(got);
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string token;
  for (std::uint8_t byte : bytes) {
    token += kDigits[byte >> 4];
    token += kDigits[byte & 15];
  }
  return token;
}

std::string CheckGivenToken(std::string_view token, std::string& error) {
  if (token.size() < kMinTokenLength || token.size() > kMaxTokenLength) {
    error = "the token must be " + std::to_string(kMinTokenLength) + " to " + std::to_string(kMaxTokenLength) +
            " characters long";
    return {};
  }
  for (char c : token) {
    if (!IsTokenChar(c)) {
      error = "the token may hold only letters, digits, '-', '_' and '.'";
      return {};
    }
  }
  return std::string(token);
}

bool TokenMatches(std::string_view expected, std::string_view given) {
  if (expected.empty() || given.size() != expected.size()) return false;
  unsigned char difference = 0;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    difference |= static_cast<unsigned char>(expected[i] ^ given[i]);
  }
  return difference == 0;
}

bool IsAllowedHost(std::string_view host) {
  if (host.empty() || host.size() > kMaxHostLength) return false;
  const auto name = HostName(host);
  if (!name || name->empty()) return false;
  return EqualsIgnoringCase(*name, "localhost") || IsIpLiteral(*name);
}

bool IsSameOrigin(std::string_view origin, std::string_view host) {
  constexpr std::string_view kScheme = "http://";
  if (origin.size() > kMaxHostLength + kScheme.size() || !origin.starts_with(kScheme)) return false;
  return EqualsIgnoringCase(origin.substr(kScheme.size()), host);
}

bool NeedsToken(std::string_view path) { return path == "/api" || path.starts_with("/api/"); }

std::optional<Refusal> CheckRequest(const RequestFacts& facts, std::string_view token) {
  if (!facts.host || !IsAllowedHost(*facts.host)) {
    return Refusal{403, "this console answers only to its address, not to another host name"};
  }
  if (facts.origin && !IsSameOrigin(*facts.origin, *facts.host)) {
    return Refusal{403, "requests from another site are refused"};
  }
  if (!NeedsToken(facts.path)) return std::nullopt;
  // Another site's page, or another port's page on the same host (which
  // browsers count as the same site), must not reach a camera.
  if (facts.fetchSite && *facts.fetchSite != "same-origin" && *facts.fetchSite != "none") {
    return Refusal{403, "requests from another site are refused"};
  }
  if (!facts.token || !TokenMatches(token, *facts.token)) {
    return Refusal{401, "the access token is missing or wrong: open the URL the console printed"};
  }
  return std::nullopt;
}

}  // namespace vktconsole
