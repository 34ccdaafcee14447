// The text commands of the emulator's control channel, one per line:
//
//   list                      ok <n>, then one line per camera
//                             "id=<id> address=<a> mac=<m> port=<p> model=<model>",
//                             then a line "."
//   fault <id> <name> <value> ok      (names as in DiscoveryFaults; booleans 0/1/true/false)
//   faults <id>               ok silent=0 answerDelayMs=0 ... (all fields on one line)
//   traffic                   ok probes=<n> datagrams=<n>
//   clear                     ok      (forgets the discovery traffic)
//   cfault <id> <command> <name> <value>
//                             ok      (names as in CommandFaults; command 0: every command;
//                                      optional fields take "none")
//   cfault <id> clear         ok      (forgets every command fault of the camera)
//   commands <id>             ok n=<requests> connections=<accepted> open=<open now>
//   push <id>                 ok address=<dotted> port=<p> flag=<f>   (last push target)
//   drop <id>                 ok      (the camera drops its command connections)
//   listen <id> on|off        ok      (opens / closes the camera's command port)
//   temp <id> <degrees>       ok      (the camera's temperature, e.g. -12.5)
//   savedelay <id> <ms>       ok      (between the two replies of a save)
//   get <id> <getCommand>     ok value=<v> | ok record=<hex>   (a setting's current value or record)
//   short <id> on|off         ok      (short ITS and night control records)
//   clock <id>                ok seconds=<s> microseconds=<us> extra=<e>   (the camera's clock)
//   ntpdelay <id> <ms>        ok      (between the two replies of an NTP synchronisation)
//   snap <id> [value]         ok      (the camera pushes a picture as for a snapshot request)
//   trigger <id> [value]      ok      (the camera pushes a triggered picture)
//   triggers <id> <perSecond> ok      (simulated triggers at this rate; 0 stops)
//   pfault <id> <name> <value> ok     (names as in PushFaults; optional fields take "none")
//   pfault <id> clear         ok      (forgets the camera's push faults)
//   picsize <id> <w> <h> <q>  ok      (picture width, height and JPEG quality)
//   pictures <id>             ok pushed=<completed> snapshots=<102 answered> last=<bytes>|failed:<why>|none
//   stream <id> on|off|auto   ok      (send the stream whatever 501 said, or not; auto: as the model does)
//   srate <id> <fps>          ok      (stream frames per second; 0 pauses)
//   ssize <id> <w> <h> <q>    ok      (stream frame width, height and JPEG quality)
//   spad <id> <bytes>         ok      (stream frames have at least this many bytes)
//   sfault <id> <name> <value> ok     (names as in StreamFaults; totalLength takes "none")
//   sfault <id> clear         ok      (forgets the camera's stream faults)
//   frames <id>               ok frames=<n> datagrams=<n> streaming=0|1 target=<a:p>|none last=<bytes>|none
//   sd <id> state             ok status=<s> capacity=<MiB> free=<MiB> pictures=<n> formats=<n>
//   sd <id> ls [path]         ok <n>, then one line per entry "<value> <name>" (value -1: a
//                             directory, else the picture's size), then a line "."; default "/"
//   sd <id> add <path> <size> ok bytes=<n>  (stores a JPEG of at least size bytes at /DIR/NAME)
//   sd <id> get <path>        ok bytes=<n> hex=<the stored picture>
//   sd <id> clear             ok      (empties the card)
//   sd <id> card on|off       ok      (puts the card in / takes it out)
//   sd <id> formattime <ms>   ok      (how long a format runs)
//   sd <id> listing <hex>|none ok     (every listing reply carries exactly these bytes; none: the tree;
//                                      a line holds 4096 characters, so about 2000 bytes at most)
//   help                      ok <command list>
//   quit                      ok bye  (then the program stops)
//
// Every reply starts with "ok" or "error <text>" and is one line, except
// list's and sd ls's, which end with a line holding only ".".
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "emulator.h"

namespace vktemu {

class ControlCommands {
 public:
  ControlCommands(Emulator& emulator, std::function<void()> onQuit);

  // The whole reply, each line ending in '\n'.
  std::string handle(std::string_view line);

 private:
  std::string list() const;
  std::string fault(std::string_view id, std::string_view name, std::string_view value);
  std::string faults(std::string_view id) const;
  std::string commandFault(std::string_view id, std::string_view command, std::string_view name,
                           std::string_view value);
  std::string clearCommandFaults(std::string_view id);
  std::string commands(std::string_view id) const;
  std::string push(std::string_view id) const;
  std::string drop(std::string_view id);
  std::string listen(std::string_view id, std::string_view state);
  // In control_setting_commands.cpp.
  std::string temperature(std::string_view id, std::string_view degrees);
  std::string saveDelay(std::string_view id, std::string_view ms);
  std::string setting(std::string_view id, std::string_view getCommand) const;
  std::string shortRecords(std::string_view id, std::string_view state);
  // In control_clock_commands.cpp.
  std::string clock(std::string_view id) const;
  std::string ntpDelay(std::string_view id, std::string_view ms);
  // In control_picture_commands.cpp.
  std::string picture(std::string_view command, std::string_view id, std::string_view value);
  std::string triggers(std::string_view id, std::string_view perSecond);
  std::string pushFault(std::string_view id, std::string_view name, std::string_view value);
  std::string clearPushFaults(std::string_view id);
  std::string pictureSize(std::string_view id, std::string_view width, std::string_view height,
                          std::string_view quality);
  std::string pictures(std::string_view id) const;
  // In control_stream_commands.cpp.
  std::string stream(std::string_view id, std::string_view state);
  std::string streamRate(std::string_view id, std::string_view perSecond);
  std::string streamSize(std::string_view id, std::string_view width, std::string_view height,
                         std::string_view quality);
  std::string streamPad(std::string_view id, std::string_view bytes);
  std::string streamFault(std::string_view id, std::string_view name, std::string_view value);
  std::string clearStreamFaults(std::string_view id);
  std::string frames(std::string_view id) const;
  // In control_sd_commands.cpp; `args` are the words after "sd".
  std::string sdCard(std::span<const std::string_view> args);
  std::string sdState(int id) const;
  std::string sdList(int id, std::string_view path) const;
  std::string sdAdd(int id, std::string_view path, std::string_view size);
  bool cameraId(std::string_view text, int& id) const;

  Emulator& emulator_;
  std::function<void()> onQuit_;
};

}  // namespace vktemu
