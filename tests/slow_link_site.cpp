#include "slow_link_site.h"

#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace vkttest {
namespace {

using namespace std::chrono_literals;

constexpr const char* kIp = "/usr/sbin/ip";
constexpr const char* kTc = "/usr/sbin/tc";
constexpr const char* kNamespacePrefix = "vkt-slow-";
constexpr const char* kControlHost = "10.199.255.1";
constexpr const char* kControlCamera = "10.199.255.2";
constexpr uint16_t kControlPort = 34999;
constexpr int kMaxCameras = 4096;  // inside 10.200.0.0/16 at four addresses each
// The site's host sides carry this interface group: one request deletes
// them all, where one per link would take a kernel grace period each.
constexpr const char* kLinkGroup = "5648";

std::atomic<bool> siteAlive{false};

// Runs a shell command line; its output (stderr too) in `output`.
bool Run(const std::string& command, std::string* output = nullptr, std::chrono::milliseconds timeout = 60s) {
  Child child({"/bin/sh", "-c", command + " 2>&1"});
  if (!child.Started()) {
    if (output) *output = "cannot start /bin/sh";
    return false;
  }
  std::string text = child.ReadAll(timeout);
  const auto status = child.Wait(5s);
  if (output) *output = std::move(text);
  return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

// Writes `lines` to a new file named after `pattern` (mkstemp's); its path,
// or empty with `error` saying what could not be written.
std::string WriteTempFile(std::string pattern, const std::vector<std::string>& lines, const char* what,
                          std::string* error) {
  const int fd = mkstemp(pattern.data());
  if (fd < 0) {
    if (error) *error = std::string("cannot write ") + what;
    return {};
  }
  close(fd);
  std::ofstream out(pattern);
  for (const auto& line : lines) out << line << "\n";
  out.close();
  if (!out) {
    std::remove(pattern.c_str());
    if (error) *error = std::string("cannot write ") + what + " " + pattern;
    return {};
  }
  return pattern;
}

// Runs `program -batch FILE` over these lines, one command each.
bool RunBatch(const std::string& program, const std::vector<std::string>& lines, std::string* error) {
  const std::string path = WriteTempFile("/tmp/vkt-slow-batch-XXXXXX", lines, "a batch file", error);
  if (path.empty()) return false;
  std::string output;
  const bool ok = Run(program + " -batch " + path, &output);
  std::remove(path.c_str());
  if (!ok && error) *error = program + " -batch: " + output;
  return ok;
}

std::string Dotted(uint32_t address) {
  return std::to_string(address >> 24) + "." + std::to_string(address >> 16 & 0xFF) + "." +
         std::to_string(address >> 8 & 0xFF) + "." + std::to_string(address & 0xFF);
}

std::string NamespaceOf(pid_t pid) { return "/proc/" + std::to_string(pid) + "/ns/net"; }

pid_t ParentOf(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  // "pid (name) state ppid ...": the name may hold spaces and parentheses.
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  char state = 0;
  long parent = 0;
  if (std::sscanf(text.c_str() + close + 1, " %c %ld", &state, &parent) != 2) return 0;
  return static_cast<pid_t>(parent);
}

// The site adds interfaces to the caller's namespace: never to the one the
// machine (or its container) runs in. A private namespace (tools/netns-run)
// has an ancestor process outside it; the machine's has none.
bool InPrivateNamespace(std::string* error) {
  char own[64] = {};
  if (readlink(NamespaceOf(getpid()).c_str(), own, sizeof own - 1) <= 0) {
    if (error) *error = "cannot read this process's network namespace";
    return false;
  }
  for (pid_t pid = getppid(); pid > 0; pid = pid == 1 ? 0 : ParentOf(pid)) {
    char theirs[64] = {};
    if (readlink(NamespaceOf(pid).c_str(), theirs, sizeof theirs - 1) > 0 && std::string(theirs) != own) return true;
  }
  if (error) *error = "refusing to add links to the machine's own network namespace: run inside tools/netns-run";
  return false;
}

// Namespaces of sites whose process died without removing them.
void RemoveStaleNamespaces() {
  DIR* dir = opendir("/run/netns");
  if (!dir) return;
  std::vector<std::string> stale;
  while (dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name.rfind(kNamespacePrefix, 0) != 0) continue;
    const long pid = std::atol(name.c_str() + std::strlen(kNamespacePrefix));
    if (pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) stale.push_back(name);
  }
  closedir(dir);
  for (const auto& name : stale) {
    Run(std::string(kIp) + " netns pids " + name + " | xargs -r kill -9");
    Run(std::string(kIp) + " netns del " + name);
  }
}

bool SendAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Replies that go on past their first line, up to a line ".".
bool MultiLine(const std::string& command) {
  std::vector<std::string> words;
  size_t at = 0;
  while (at < command.size()) {
    const size_t start = command.find_first_not_of(' ', at);
    if (start == std::string::npos) break;
    const size_t end = command.find(' ', start);
    words.push_back(command.substr(start, end == std::string::npos ? std::string::npos : end - start));
    at = end == std::string::npos ? command.size() : end;
  }
  return (!words.empty() && words[0] == "list") || (words.size() >= 3 && words[0] == "sd" && words[2] == "ls");
}

}  // namespace

std::optional<uint64_t> ParseLinkRate(const std::string& text) {
  uint64_t number = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (ec != std::errc{} || number == 0) return std::nullopt;
  const std::string unit(end, text.data() + text.size());
  uint64_t scale = 0;
  if (unit == "bit") scale = 1;
  else if (unit == "kbit") scale = 1000;
  else if (unit == "mbit") scale = 1000 * 1000;
  else if (unit == "gbit") scale = 1000 * 1000 * 1000;
  else return std::nullopt;
  if (number > UINT64_MAX / scale) return std::nullopt;
  return number * scale;
}

bool SlowLinkSite::Create(int cameras, const std::string& rate, const std::string& emulatorPath, std::string* error) {
  SlowLinkOptions options;
  options.cameras = cameras;
  options.rate = rate;
  options.emulatorPath = emulatorPath;
  return Create(options, error);
}

bool SlowLinkSite::Create(const SlowLinkOptions& options, std::string* error) {
  if (owner_) {
    if (error) *error = "this site is already made";
    return false;
  }
  if (options.cameras < 1 || options.cameras > kMaxCameras) {
    if (error) *error = "cameras: 1.." + std::to_string(kMaxCameras);
    return false;
  }
  const auto rate = ParseLinkRate(options.rate);
  if (!rate) {
    if (error) *error = "bad rate '" + options.rate + "' (N bit, kbit, mbit or gbit)";
    return false;
  }
  if (access(options.emulatorPath.c_str(), X_OK) != 0) {
    if (error) *error = "no emulator program at '" + options.emulatorPath + "'";
    return false;
  }
  if (!InPrivateNamespace(error)) return false;
  if (siteAlive.exchange(true)) {
    if (error) *error = "another site of this process is still there";
    return false;
  }
  owner_ = true;
  rateBits_ = *rate;
  if (!Build(options, error) || !StartEmulator(options, error) || !ConnectControl(error)) {
    Destroy();
    return false;
  }
  return true;
}

bool SlowLinkSite::Build(const SlowLinkOptions& options, std::string* error) {
  RemoveStaleNamespaces();
  namespace_ = kNamespacePrefix + std::to_string(getpid());
  std::string output;
  if (!Run(std::string(kIp) + " netns add " + namespace_, &output)) {
    if (error) *error = "ip netns add " + namespace_ + ": " + output;
    namespace_.clear();  // not ours to delete
    return false;
  }
  // Burst: a few milliseconds at the rate, but a whole segment at least.
  const size_t burst = options.burstBytes > 0 ? options.burstBytes : std::max<size_t>(4096, rateBits_ / 8 / 200);
  std::vector<std::string> host, inside, limiters;
  inside.push_back("link set lo up");
  for (int i = 0; i < options.cameras; ++i) {
    SlowLinkCamera camera;
    camera.id = i;
    const uint32_t base = (10u << 24 | 200u << 16) + 4u * static_cast<uint32_t>(i);
    camera.hostAddress = Dotted(base + 1);
    camera.address = Dotted(base + 2);
    camera.mac = {0x00, 0x1c, 0x27, 0xc8, static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i & 0xFF)};
    camera.hostInterface = "vslh" + std::to_string(i);
    camera.cameraInterface = "vslc" + std::to_string(i);
    host.push_back("link add " + camera.hostInterface + " group " + kLinkGroup + " type veth peer name " +
                   camera.cameraInterface + " netns " + namespace_);
    host.push_back("addr add " + camera.hostAddress + "/30 dev " + camera.hostInterface);
    host.push_back("link set " + camera.hostInterface + " up");
    inside.push_back("addr add " + camera.address + "/30 dev " + camera.cameraInterface);
    inside.push_back("link set " + camera.cameraInterface + " up");
    limiters.push_back("qdisc add dev " + camera.cameraInterface + " root tbf rate " + options.rate + " burst " +
                       std::to_string(burst) + " latency " + options.latency);
    cameras_.push_back(std::move(camera));
  }
  controlHostInterface_ = "vslctl";
  host.push_back("link add " + controlHostInterface_ + " group " + kLinkGroup + " type veth peer name vslctlc netns " +
                 namespace_);
  host.push_back("addr add " + std::string(kControlHost) + "/30 dev " + controlHostInterface_);
  host.push_back("link set " + controlHostInterface_ + " up");
  inside.push_back("addr add " + std::string(kControlCamera) + "/30 dev vslctlc");
  inside.push_back("link set vslctlc up");
  return RunBatch(kIp, host, error) && RunBatch(std::string(kIp) + " -n " + namespace_, inside, error) &&
         RunBatch(std::string(kTc) + " -n " + namespace_, limiters, error);
}

bool SlowLinkSite::StartEmulator(const SlowLinkOptions& options, std::string* error) {
  std::vector<std::string> lines;
  for (const auto& camera : cameras_) {
    char mac[18];
    std::snprintf(mac, sizeof mac, "%02x:%02x:%02x:%02x:%02x:%02x", camera.mac[0], camera.mac[1], camera.mac[2],
                  camera.mac[3], camera.mac[4], camera.mac[5]);
    lines.push_back("ip=" + camera.address + ",mac=" + mac + ",model=" + camera.model +
                    ",port=" + std::to_string(camera.commandPort));
  }
  configFile_ = WriteTempFile("/tmp/vkt-slow-cameras-XXXXXX", lines, "the cameras' file", error);
  if (configFile_.empty()) return false;
  // The parent-death signal ends the emulator with this process (or the
  // thread that made the site), however that ends; the lifetime bounds it
  // besides.
  emulator_ = std::make_unique<Child>(std::vector<std::string>{
      "/usr/bin/setpriv", "--pdeathsig", "KILL", kIp, "netns", "exec", namespace_, options.emulatorPath, "--config",
      configFile_, "--control", std::string(kControlCamera) + ":" + std::to_string(kControlPort), "--exit-after",
      std::to_string(options.lifetime.count())});
  if (!emulator_->Started()) {
    if (error) *error = "cannot start the emulator";
    return false;
  }
  const auto line = emulator_->ReadLine(std::chrono::seconds(20) + std::chrono::milliseconds(50) * cameras_.size());
  if (!line || *line != "ready") {
    if (error) *error = "the emulator did not get ready: " + (line ? *line : std::string("no output"));
    return false;
  }
  // Read by now: nothing to leave behind should this process die.
  std::remove(configFile_.c_str());
  configFile_.clear();
  return true;
}

bool SlowLinkSite::ConnectControl(std::string* error) {
  control_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(kControlPort);
  inet_pton(AF_INET, kControlCamera, &to.sin_addr);
  if (control_ < 0 || connect(control_, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    if (error) *error = std::string("control channel: ") + std::strerror(errno);
    if (control_ >= 0) close(control_);
    control_ = -1;
    return false;
  }
  controlInput_.clear();
  return true;
}

std::string SlowLinkSite::Control(const std::string& command, std::chrono::milliseconds timeout) {
  std::lock_guard lock(controlMutex_);
  std::string why;
  if (control_ < 0 && (!emulator_ || !ConnectControl(&why))) return "error control channel: " + why + "\n";
  if (!SendAll(control_, command + "\n")) return "error control channel: send failed\n";
  const bool multiLine = MultiLine(command);
  const auto deadline = Clock::now() + timeout;
  std::string reply;
  bool first = true;
  for (;;) {
    const size_t newline = controlInput_.find('\n');
    if (newline != std::string::npos) {
      const std::string line = controlInput_.substr(0, newline);
      reply += controlInput_.substr(0, newline + 1);
      controlInput_.erase(0, newline + 1);
      // A refusal is one line, whatever the command.
      if (!multiLine || line == "." || (first && line.rfind("ok", 0) != 0)) return reply;
      first = false;
      continue;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd p{control_, POLLIN, 0};
    char chunk[4096];
    ssize_t n = 0;
    if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0 || (n = recv(control_, chunk, sizeof chunk, 0)) <= 0) {
      // The rest of this reply would be taken for the next one's.
      close(control_);
      control_ = -1;
      controlInput_.clear();
      return "error control channel: " + std::string(n < 0 || left <= 0 ? "no reply in time" : "closed") + "\n";
    }
    controlInput_.append(chunk, static_cast<size_t>(n));
  }
}

std::optional<uint64_t> SlowLinkSite::LinkBytesSent(int camera) const {
  if (camera < 0 || static_cast<size_t>(camera) >= cameras_.size()) return std::nullopt;
  std::string output;
  if (!Run(std::string(kTc) + " -n " + namespace_ + " -s qdisc show dev " +
               cameras_[static_cast<size_t>(camera)].cameraInterface,
           &output))
    return std::nullopt;
  const size_t at = output.find("Sent ");
  if (at == std::string::npos) return std::nullopt;
  uint64_t bytes = 0;
  const char* begin = output.data() + at + 5;
  const auto [end, ec] = std::from_chars(begin, output.data() + output.size(), bytes);
  if (ec != std::errc{} || end == begin) return std::nullopt;
  return bytes;
}

void SlowLinkSite::Destroy() {
  {
    std::lock_guard lock(controlMutex_);
    if (control_ >= 0) close(control_);
    control_ = -1;
    controlInput_.clear();
  }
  if (emulator_) {
    emulator_->Kill(SIGTERM);
    if (!emulator_->Wait(5s)) emulator_->Kill(SIGKILL);
    emulator_.reset();
  }
  if (!configFile_.empty()) std::remove(configFile_.c_str());
  configFile_.clear();
  if (!namespace_.empty()) {
    // The host sides go at once (and their peers with them); a namespace's
    // own interfaces would only go once the kernel frees it, later.
    Run(std::string(kIp) + " link del group " + kLinkGroup);
    Run(std::string(kIp) + " netns del " + namespace_);
  }
  namespace_.clear();
  controlHostInterface_.clear();
  cameras_.clear();
  rateBits_ = 0;
  if (owner_) siteAlive = false;
  owner_ = false;
}

}  // namespace vkttest
