#include "emulator.h"

#include <stdexcept>

#include "camera_registry.h"
#include "discovery_responder.h"
#include "traffic_log.h"
#include "wire.h"

namespace vktemu {

struct Emulator::Impl {
  CameraRegistry cameras;
  TrafficLog discoveryTraffic;
  DiscoveryResponder discovery{cameras, discoveryTraffic};

  std::shared_ptr<Camera> camera(int id) const {
    auto found = cameras.find(id);
    if (!found) throw std::out_of_range("no camera with id " + std::to_string(id));
    return found;
  }
};

Emulator::Emulator() : impl_(std::make_unique<Impl>()) {}

Emulator::~Emulator() { stop(); }

int Emulator::addCamera(const CameraConfig& config) {
  if (!wire::parseIpv4(config.address)) return -1;
  return impl_->cameras.add(config);
}

bool Emulator::start(std::string* error) { return impl_->discovery.start(error); }

void Emulator::stop() { impl_->discovery.stop(); }

bool Emulator::running() const { return impl_->discovery.running(); }

CameraConfig Emulator::camera(int id) const { return impl_->camera(id)->config(); }

size_t Emulator::cameraCount() const { return impl_->cameras.size(); }

void Emulator::setDiscoveryFaults(int id, const DiscoveryFaults& faults) {
  impl_->camera(id)->setDiscoveryFaults(faults);
}

DiscoveryFaults Emulator::discoveryFaults(int id) const { return impl_->camera(id)->discoveryFaults(); }

std::vector<ReceivedDatagram> Emulator::discoveryTraffic() const { return impl_->discoveryTraffic.datagrams(); }

void Emulator::clearTraffic() { impl_->discoveryTraffic.clear(); }

size_t Emulator::probeCount() const { return impl_->discoveryTraffic.probeCount(); }

size_t Emulator::datagramCount() const { return impl_->discoveryTraffic.datagramCount(); }

bool Emulator::waitForProbes(size_t n, std::chrono::milliseconds timeout) const {
  return impl_->discoveryTraffic.waitForProbes(n, timeout);
}

bool Emulator::waitForDatagrams(size_t n, std::chrono::milliseconds timeout) const {
  return impl_->discoveryTraffic.waitForDatagrams(n, timeout);
}

bool Emulator::sendRaw(const std::string& toAddress, uint16_t port, const std::vector<uint8_t>& bytes) {
  return impl_->discovery.sendRaw(toAddress, port, bytes);
}

}  // namespace vktemu
