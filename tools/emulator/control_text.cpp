#include "control_text.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <type_traits>

#include "sockets.h"
#include "wire.h"

namespace vktemu {
namespace {

constexpr size_t kMaxBytes = size_t{1} << 30;

// One name of a fault table: how its value is read and written back.
template <typename Faults>
struct FaultName {
  std::string_view name;
  std::function<bool(Faults&, std::string_view)> set;
  std::function<std::string(const Faults&)> show;
};

template <typename Faults>
struct FaultTable {
  std::string_view kind;  // as in "unknown <kind> NAME"
  std::vector<FaultName<Faults>> names;
};

template <typename T>
std::string text(const T& value) {
  if constexpr (std::is_same_v<T, bool>)
    return value ? "1" : "0";
  else
    return std::to_string(value);
}

// The value kinds: a switch, a number within a range (by default the
// field's whole range), and an optional number that "none" unsets.
template <typename Faults>
FaultName<Faults> flag(std::string_view name, bool Faults::*field) {
  return {name, [field](Faults& f, std::string_view value) { return parseBool(value, f.*field); },
          [field](const Faults& f) { return text(f.*field); }};
}

template <typename Faults, typename T>
FaultName<Faults> number(std::string_view name, T Faults::*field,
                         std::type_identity_t<T> low = std::numeric_limits<T>::lowest(),
                         std::type_identity_t<T> high = std::numeric_limits<T>::max()) {
  return {name, [=](Faults& f, std::string_view value) { return parseNumber(value, low, high, f.*field); },
          [field](const Faults& f) { return text(f.*field); }};
}

template <typename Faults, typename T>
FaultName<Faults> optional(std::string_view name, std::optional<T> Faults::*field,
                           std::type_identity_t<T> low = std::numeric_limits<T>::lowest(),
                           std::type_identity_t<T> high = std::numeric_limits<T>::max()) {
  return {name,
          [=](Faults& f, std::string_view value) {
            T parsed{};
            if (value == "none")
              f.*field = std::nullopt;
            else if (parseNumber(value, low, high, parsed))
              f.*field = parsed;
            else
              return false;
            return true;
          },
          [field](const Faults& f) { return f.*field ? text(*(f.*field)) : std::string("none"); }};
}

using D = DiscoveryFaults;
const FaultTable<D> kDiscoveryFaults{
    "fault",
    {
        flag("silent", &D::silent),
        number("answerDelayMs", &D::answerDelayMs, 0, kMaxDelayMs),
        number("answerCopies", &D::answerCopies, 0, kMaxAnswerCopies),
        // The answer's length stays within a datagram.
        number("answerLengthDelta", &D::answerLengthDelta, -static_cast<int>(wire::kAnswerSize),
               static_cast<int>(kMaxDatagram - wire::kAnswerSize)),
        flag("badKeyword", &D::badKeyword),
        flag("ignoreChangeIp", &D::ignoreChangeIp),
        flag("corruptEcho", &D::corruptEcho),
        number("echoDelayMs", &D::echoDelayMs, 0, kMaxDelayMs),
    }};

using C = CommandFaults;
const FaultTable<C> kCommandFaults{"command fault",
                                   {
                                       number("delayMs", &C::delayMs, 0, kMaxDelayMs),
                                       flag("noReply", &C::noReply),
                                       number("sequenceDelta", &C::sequenceDelta),
                                       number("commandDelta", &C::commandDelta),
                                       optional("status", &C::status),
                                       number("closeAfterBytes", &C::closeAfterBytes, -1),
                                       optional("announcedLength", &C::announcedLength),
                                       number("completionDelayMs", &C::completionDelayMs, 0, kMaxDelayMs),
                                       flag("noCompletion", &C::noCompletion),
                                       optional("completionStatus", &C::completionStatus),
                                       optional("completionCommand", &C::completionCommand),
                                   }};

using P = PushFaults;
const FaultTable<P> kPushFaults{"push fault",
                                {
                                    number("chunkBytes", &P::chunkBytes, 0, kMaxBytes),
                                    number("chunkDelayMs", &P::chunkDelayMs, 0, kMaxDelayMs),
                                    flag("badMarker", &P::badMarker),
                                    optional("app1Length", &P::app1Length),
                                    optional("totalLength", &P::totalLength),
                                    optional("sendBytes", &P::sendBytes, 0, kMaxBytes),
                                    number("padTo", &P::padTo, 0, kMaxBytes),
                                    flag("holdOpen", &P::holdOpen),
                                    optional("stuckAfter", &P::stuckAfter, 0, kMaxBytes),
                                    number("sendBufferBytes", &P::sendBufferBytes, 0, kMaxSendBufferBytes),
                                }};

using S = StreamFaults;
const FaultTable<S> kStreamFaults{"stream fault",
                                  {
                                      number("lossRate", &S::lossRate, 0, 1),
                                      number("duplicateRate", &S::duplicateRate, 0, 1),
                                      number("seed", &S::seed),
                                      flag("reorder", &S::reorder),
                                      flag("foreignDatagrams", &S::foreignDatagrams),
                                      optional("totalLength", &S::totalLength),
                                  }};

template <typename Faults>
bool setFrom(const FaultTable<Faults>& table, Faults& faults, std::string_view name, std::string_view value,
             std::string* error) {
  const auto found = std::find_if(table.names.begin(), table.names.end(),
                                  [&](const FaultName<Faults>& each) { return each.name == name; });
  std::string why;
  Faults changed = faults;
  if (found == table.names.end())
    why = "unknown " + std::string(table.kind) + " " + std::string(name);
  else if (!found->set(changed, value))
    why = "bad value " + std::string(value) + " for " + std::string(name);
  else
    return faults = changed, true;
  if (error) *error = std::move(why);
  return false;
}

}  // namespace

bool parseBool(std::string_view text, bool& out) {
  if (text == "1" || text == "true" || text == "on" || text == "yes") return out = true, true;
  if (text == "0" || text == "false" || text == "off" || text == "no") return out = false, true;
  return false;
}

std::string hex(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const uint8_t byte : bytes) {
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0xF];
  }
  return out;
}

std::optional<std::vector<uint8_t>> parseHex(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::vector<uint8_t> out(text.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) {
    const char* const at = text.data() + 2 * i;
    if (std::from_chars(at, at + 2, out[i], 16).ptr != at + 2) return std::nullopt;
  }
  return out;
}

bool setFault(DiscoveryFaults& faults, std::string_view name, std::string_view value, std::string* error) {
  return setFrom(kDiscoveryFaults, faults, name, value, error);
}

bool setFault(CommandFaults& faults, std::string_view name, std::string_view value, std::string* error) {
  return setFrom(kCommandFaults, faults, name, value, error);
}

bool setFault(PushFaults& faults, std::string_view name, std::string_view value, std::string* error) {
  return setFrom(kPushFaults, faults, name, value, error);
}

bool setFault(StreamFaults& faults, std::string_view name, std::string_view value, std::string* error) {
  return setFrom(kStreamFaults, faults, name, value, error);
}

std::string showFaults(const DiscoveryFaults& faults) {
  std::string out;
  for (const auto& each : kDiscoveryFaults.names) {
    if (!out.empty()) out += ' ';
    out.append(each.name).append("=").append(each.show(faults));
  }
  return out;
}

}  // namespace vktemu
