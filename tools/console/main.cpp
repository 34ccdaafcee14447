// vkt-console: the field console. One process, the library's one user,
// serves a web page to find, watch, configure and service cameras.
#include <httplib.h>
#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <thread>

#include "VKTNetSDK11.h"
#include "access_guard.h"
#include "console_server.h"
#include "option_values.h"
#include "stop_request.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNoLibrary = 3;
// A stop that does not finish in this time (a camera call stuck past every
// time-out would be a library fault) ends the process anyway.
constexpr auto kStopGrace = std::chrono::seconds(20);

struct Listen {
  std::string host;
  int port = 0;
};

std::optional<Listen> ParseListen(const std::string& text) {
  const auto colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return std::nullopt;
  Listen listen;
  listen.host = text.substr(0, colon);
  const auto port = vktcli::ParseInteger(text.substr(colon + 1));
  if (!port || *port < 1 || *port > 65535 || !vktcli::ParseIPv4(listen.host)) return std::nullopt;
  listen.port = static_cast<int>(*port);
  return listen;
}

std::optional<std::string> ReadTokenFile(const std::string& path, std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = "cannot read the token file";
    return std::nullopt;
  }
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
  std::string token = vktconsole::CheckGivenToken(line, error);
  if (token.empty()) return std::nullopt;
  return token;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "vkt-console: a web page to find, watch, configure and service cameras.\n"
      "Prints 'console: URL' once it serves; open that URL (it carries the access\n"
      "token). Stops on SIGINT or SIGTERM. The camera search broadcasts on every\n"
      "network of this host: run it only on networks you are allowed to probe.",
      "vkt-console"};
  std::string listenText = "127.0.0.1:8080";
  std::string searchTimeout = "1000";
  std::string callTimeout = "2000";
  std::optional<std::string> tokenFile;
  app.add_option("--listen", listenText,
                 "ADDRESS:PORT to serve on (default 127.0.0.1:8080, this host only;\n"
                 "another address lets other machines reach the camera controls)");
  app.add_option("--search-timeout", searchTimeout, "MS a search lasts by default (default 1000)");
  app.add_option("--timeout", callTimeout, "MS each camera call may take (default 2000)");
  app.add_option("--token-file", tokenFile,
                 "F holds the access token (16-256 letters, digits, '-', '_', '.');\n"
                 "default: a fresh random token each run");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }

  const auto listen = ParseListen(listenText);
  if (!listen) {
    std::cerr << "vkt-console: --listen takes ADDRESS:PORT with a dotted IPv4 address, e.g. 127.0.0.1:8080\n";
    return kExitUsage;
  }
  vktconsole::ConsoleOptions options;
  try {
    options.searchTimeoutMs = vktcli::MillisecondsOption(searchTimeout, "search-timeout", 1000, 1);
    options.callTimeoutMs = vktcli::MillisecondsOption(callTimeout, "timeout", 2000, 1);
  } catch (const vktcli::UsageError& e) {
    std::cerr << "vkt-console: " << e.what() << "\n";
    return kExitUsage;
  }
  if (options.searchTimeoutMs > vktconsole::kMaxSearchTimeoutMs || options.callTimeoutMs > 60000) {
    std::cerr << "vkt-console: --search-timeout is at most " << vktconsole::kMaxSearchTimeoutMs
              << " and --timeout at most 60000\n";
    return kExitUsage;
  }
  if (tokenFile) {
    std::string error;
    const auto token = ReadTokenFile(*tokenFile, error);
    if (!token) {
      std::cerr << "vkt-console: --token-file: " << error << "\n";
      return kExitUsage;
    }
    options.token = *token;
  } else {
    options.token = vktconsole::NewAccessToken();
  }

  // SIGINT and SIGTERM request the stop; made before any other thread
  // (the library's, the server's), which all inherit the blocked signals.
  vktcli::StopRequest stop;
  vktcli::StopOnSignals stopOnSignals(stop);
  signal(SIGPIPE, SIG_IGN);

  int supported = 0;
  const int started = VKT_Init(VKT_SDK_VERSION, &supported);
  if (started != 0) {
    std::cerr << (started == -1 ? "vkt-console: another process on this host already uses the camera library\n"
                                : "vkt-console: the camera library could not start\n");
    return kExitNoLibrary;
  }

  int exitCode = 0;
  {
    vktconsole::Console console(options);
    httplib::Server server;
    console.Install(server);
    server.set_keep_alive_timeout(2);
    if (!server.bind_to_port(listen->host, listen->port)) {
      std::cerr << "vkt-console: cannot listen on " << listenText << "\n";
      exitCode = kExitFailure;
    } else {
      std::thread waiter([&] {
        while (!stop.WaitUntil(std::chrono::steady_clock::now() + std::chrono::hours(1))) {
        }
        console.BeginStop();
        server.stop();
        // The grace period runs in a thread of its own, so a clean stop is
        // never held up by it.
        std::thread([] {
          std::this_thread::sleep_for(kStopGrace);
          std::cerr << "vkt-console: the stop took too long\n";
          _exit(kExitFailure);
        }).detach();
      });
      std::cout << "console: http://" << listen->host << ":" << listen->port << "/#token=" << options.token
                << std::endl;
      server.listen_after_bind();
      stop.Request();  // when the server ended on its own, the waiter goes too
      waiter.join();
    }
  }
  VKT_Close();
  return exitCode;
}
