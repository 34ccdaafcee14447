// vkt-emulator: plays one or more cameras on this host until told to stop.
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "camera_text.h"
#include "control_channel.h"
#include "control_commands.h"
#include "control_text.h"
#include "emulator.h"

namespace {

constexpr const char* kUsage =
    "usage: vkt-emulator [--camera CAMERA]... [--config FILE]... [--control [ADDRESS:]PORT] [--exit-after SECONDS]\n"
    "\n"
    "Plays cameras on this host: answers discovery probes and change-IP requests\n"
    "on UDP port 34565 (bound on 0.0.0.0), and serves each camera's TCP command\n"
    "channel on its own address and port. After a push registration (command\n"
    "1080) a camera pushes a JPEG picture for each snapshot request (102) and\n"
    "each simulated trigger, from its own address to the registered one. After\n"
    "a stream registration (1081) it sends a JPEG video stream over UDP, as\n"
    "1024-byte datagrams, from its own address (models VKT-N2F0Kp/Kw and\n"
    "VKT-N9G6Kp at once; VKT-N2F0Kq, VKT-N9G6Kq, VKT-R6E0Kq/Kp and VKT-R8E0Kq\n"
    "between 501 value 5 and 501 value 1). Each camera's SD card starts with\n"
    "six pictures in two directories and stores every picture it takes.\n"
    "\n"
    "  --camera CAMERA   one camera, e.g. ip=127.0.0.10,mac=00:1c:27:00:00:10,model=VKT-N2F0Kq,port=30000\n"
    "                    keys: ip, mac, model, port, name, fw, mask, gateway (repeatable)\n"
    "  --config FILE     cameras from FILE, one CAMERA per line, '#' starts a comment (repeatable)\n"
    "  --control [ADDRESS:]PORT\n"
    "                    TCP control channel on 127.0.0.1:PORT (default 34999, 0: none), or\n"
    "                    on ADDRESS (IPv4; it has no authentication: only inside a private\n"
    "                    network namespace)\n"
    "                    commands, one per line; replies start with 'ok' or 'error':\n"
    "                      list                      cameras, ending with a line '.'\n"
    "                      fault <id> <name> <value> discovery fault (silent, answerDelayMs,\n"
    "                                                answerCopies, answerLengthDelta, badKeyword,\n"
    "                                                ignoreChangeIp, corruptEcho, echoDelayMs)\n"
    "                      faults <id>               the camera's discovery faults\n"
    "                      traffic | clear           discovery datagrams received / forget them\n"
    "                      cfault <id> <command> <name> <value>\n"
    "                                                command channel fault, command 0: every\n"
    "                                                command (delayMs, noReply, sequenceDelta,\n"
    "                                                commandDelta, status, closeAfterBytes,\n"
    "                                                announcedLength, completionDelayMs,\n"
    "                                                noCompletion, completionStatus,\n"
    "                                                completionCommand; 'none' unsets)\n"
    "                      cfault <id> clear         forget the camera's command faults\n"
    "                      commands <id>             ok n=REQUESTS connections=ACCEPTED open=OPEN\n"
    "                      push <id>                 ok address=A port=P flag=F (push target)\n"
    "                      drop <id>                 the camera drops its command connections\n"
    "                      listen <id> on|off        open / close the camera's command port\n"
    "                      temp <id> <degrees>       the camera's temperature (default 36.5)\n"
    "                      savedelay <id> <ms>       between the two replies of a save (default 50)\n"
    "                      get <id> <getCommand>     a setting's current value or record:\n"
    "                                                ok value=V | ok record=HEX\n"
    "                      short <id> on|off         short ITS (32 bytes) and night control (44)\n"
    "                                                records, as older firmware (default off)\n"
    "                      clock <id>                ok seconds=S microseconds=U extra=E\n"
    "                      ntpdelay <id> <ms>        between the two replies of an NTP\n"
    "                                                synchronisation (default 50)\n"
    "                      snap <id> [value]         push a picture as for a snapshot request\n"
    "                                                (value: the record's word 12, default 0)\n"
    "                      trigger <id> [value]      push a triggered picture\n"
    "                      triggers <id> <perSecond> simulated triggers at this rate (0 stops)\n"
    "                      pfault <id> <name> <value>\n"
    "                                                picture push fault (chunkBytes, chunkDelayMs,\n"
    "                                                badMarker, app1Length, totalLength,\n"
    "                                                sendBytes, padTo, holdOpen, stuckAfter,\n"
    "                                                sendBufferBytes; 'none' unsets)\n"
    "                      pfault <id> clear         forget the camera's push faults\n"
    "                      picsize <id> <w> <h> <q>  picture size and JPEG quality\n"
    "                                                (default 640 480 85)\n"
    "                      pictures <id>             ok pushed=N snapshots=N last=BYTES held=N\n"
    "                                                (held: connections held open)\n"
    "                      stream <id> on|off|auto   send the video stream whatever 501 said, or\n"
    "                                                not (a target is still needed); auto: as the\n"
    "                                                model does (default)\n"
    "                      srate <id> <fps>          stream frames per second (default 10, 0 pauses)\n"
    "                      ssize <id> <w> <h> <q>    stream frame size and JPEG quality\n"
    "                                                (default 320 240 85)\n"
    "                      spad <id> <bytes>         stream frames have at least this many bytes\n"
    "                      sfault <id> <name> <value>\n"
    "                                                stream fault (lossRate, duplicateRate: 0..1,\n"
    "                                                seed, reorder, foreignDatagrams, totalLength;\n"
    "                                                'none' unsets)\n"
    "                      sfault <id> clear         forget the camera's stream faults\n"
    "                      frames <id>               ok frames=N datagrams=N streaming=0|1\n"
    "                                                target=A:P|none last=BYTES|none\n"
    "                      sd <id> state             ok status=S capacity=MIB free=MIB pictures=N\n"
    "                                                formats=N (SD card; status 0 no card,\n"
    "                                                1 ready, 2 formatting)\n"
    "                      sd <id> ls [path]         a directory ('/' by default): ok N, then\n"
    "                                                'VALUE NAME' lines (-1: a directory, else\n"
    "                                                bytes), ending with a line '.'\n"
    "                      sd <id> add <path> <size> store a JPEG of at least SIZE bytes at\n"
    "                                                /DIRECTORY/NAME: ok bytes=N\n"
    "                      sd <id> get <path>        ok bytes=N hex=HEX (a stored picture)\n"
    "                      sd <id> clear             empty the card\n"
    "                      sd <id> card on|off       put the card in / take it out\n"
    "                      sd <id> formattime <ms>   how long a format runs (default 3000)\n"
    "                      sd <id> listing <hex>|none\n"
    "                                                every listing reply carries exactly these\n"
    "                                                bytes (none: the card's tree; at most\n"
    "                                                about 2000 bytes, a line holds 4096)\n"
    "                      help | quit\n"
    "  --exit-after S    stop by itself after S seconds\n"
    "  --help            this text\n"
    "\n"
    "With no camera given, one default camera is played. Prints 'ready' once its\n"
    "sockets are open; stops on SIGINT, SIGTERM or the 'quit' command.\n";

struct Options {
  std::vector<vktemu::CameraConfig> cameras;
  std::string controlAddress = "127.0.0.1";
  uint16_t controlPort = 34999;
  std::optional<std::chrono::seconds> exitAfter;
  bool help = false;
};

int failWith(const std::string& message) {
  std::cerr << "vkt-emulator: " << message << "\n";
  return 1;
}

bool parseOptions(int argc, char** argv, Options& options, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::optional<std::string> value;
    if (const auto equals = arg.find('='); arg.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = arg.substr(equals + 1);
      arg.resize(equals);
    }
    auto takeValue = [&]() -> bool {
      if (value) return true;
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return false;
      }
      value = argv[++i];
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--camera") {
      if (!takeValue()) return false;
      vktemu::CameraConfig camera;
      if (!vktemu::parseCameraText(*value, camera, &error)) return false;
      options.cameras.push_back(camera);
    } else if (arg == "--config") {
      if (!takeValue()) return false;
      if (!vktemu::loadCameraFile(*value, options.cameras, &error)) return false;
    } else if (arg == "--control") {
      if (!takeValue()) return false;
      std::string port = *value;
      if (const auto colon = port.rfind(':'); colon != std::string::npos) {
        options.controlAddress = port.substr(0, colon);
        port.erase(0, colon + 1);
      }
      if (!vktemu::parseNumber<uint16_t>(port, 0, 65535, options.controlPort)) {
        error = "bad control port '" + *value + "'";
        return false;
      }
    } else if (arg == "--exit-after") {
      if (!takeValue()) return false;
      long seconds = 0;
      if (!vktemu::parseNumber<long>(*value, 1, 86400L * 365, seconds)) {
        error = "bad --exit-after '" + *value + "'";
        return false;
      }
      options.exitAfter = std::chrono::seconds(seconds);
    } else {
      error = "unknown argument '" + arg + "' (see --help)";
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::string error;
  if (!parseOptions(argc, argv, options, error)) return failWith(error);
  if (options.help) {
    std::cout << kUsage;
    return 0;
  }
  if (options.cameras.empty()) options.cameras.emplace_back();
  // Many cameras, each holding many stuck picture connections, need more
  // descriptors than the usual soft limit.
  if (rlimit files{}; ::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
  }

  // Termination signals are taken synchronously by this thread only; every
  // thread started below inherits the mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  vktemu::Emulator emulator;
  for (const auto& camera : options.cameras) {
    if (emulator.addCamera(camera) < 0) return failWith("bad camera address '" + camera.address + "'");
  }
  if (!emulator.start(&error)) return failWith(error);

  // 'quit' ends the program the same way a signal does.
  vktemu::ControlCommands commands(emulator, [] { ::kill(::getpid(), SIGTERM); });
  vktemu::ControlChannel control([&commands](std::string_view line) { return commands.handle(line); });
  if (options.controlPort != 0 && !control.start(options.controlAddress, options.controlPort, &error))
    return failWith("control channel: " + error);

  std::cout << "ready" << std::endl;

  const bool exitsBySelf = options.exitAfter.has_value();
  const auto deadline = std::chrono::steady_clock::now() + options.exitAfter.value_or(std::chrono::seconds(0));
  for (;;) {
    auto wait = std::chrono::milliseconds(1000);
    if (exitsBySelf) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      wait = std::min(wait, left);
    }
    const timespec timeout{static_cast<time_t>(wait.count() / 1000), static_cast<long>(wait.count() % 1000) * 1000000L};
    if (sigtimedwait(&stopSignals, nullptr, &timeout) >= 0) break;
  }

  control.stop();
  emulator.stop();
  return 0;
}
