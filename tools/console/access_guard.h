// Who may use the console. It changes cameras (addresses, settings, card
// formats), so every request that reaches a camera carries the access
// token, and the Host and Origin headers must show that the request comes
// from the console's own page: no DNS rebinding (a foreign host name that
// resolves to the console), no cross-site form posts or fetches.
// Pure functions over the request's facts, so they are tested directly.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vktconsole {

// A fresh random token: 32 hex digits from the system's random source.
std::string NewAccessToken();

// A token given by the user (--token-file): 16..256 characters, letters,
// digits, '-', '_' and '.' only, so it travels in a URL unchanged. "" with
// `error` set otherwise.
std::string CheckGivenToken(std::string_view token, std::string& error);

// Compares in time independent of where they differ.
bool TokenMatches(std::string_view expected, std::string_view given);

// Host header values the console answers: "localhost" or an IP literal
// (dotted IPv4 or bracketed IPv6), with or without a port. A name that is
// not one of these could be an attacker's domain resolving to this host.
bool IsAllowedHost(std::string_view host);

// Whether `origin` ("http://HOST[:PORT]") names the same place as the Host
// header: the console's own page.
bool IsSameOrigin(std::string_view origin, std::string_view host);

struct RequestFacts {
  std::string_view method;
  std::string_view path;
  std::optional<std::string_view> host;          // the Host header
  std::optional<std::string_view> origin;        // the Origin header
  std::optional<std::string_view> fetchSite;     // Sec-Fetch-Site
  std::optional<std::string_view> token;         // X-Console-Token header or ?token=
};

struct Refusal {
  int status = 403;     // 400, 401 or 403
  std::string reason;   // a few words, shown to the user
};

// Whether a path needs the token: everything under /api/. The page's own
// files do not, since they hold nothing from a camera.
bool NeedsToken(std::string_view path);

// nullopt when the request may go on.
std::optional<Refusal> CheckRequest(const RequestFacts& facts, std::string_view token);

}  // namespace vktconsole
