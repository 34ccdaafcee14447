// The TCP connections to one camera's command port: the command connection
// and the second one that carries snapshot requests.
#pragma once

#include <ace/INET_Addr.h>
#include <ace/SOCK_Connector.h>
#include <ace/SOCK_Stream.h>

#include <chrono>
#include <cstdint>

namespace vkt {

// Outcome of a socket operation, as the error codes tell them apart.
enum class IoResult { kOk, kTimeout, kFailed };

class Link {
 public:
  Link() = default;
  ~Link() { Close(); }
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  bool Connected() const { return connected_; }
  // Connects unless connected; `timeout` bounds the attempt. Trusts an open
  // connection without probing it.
  IoResult Connect(const ACE_INET_Addr& camera, const ACE_Time_Value& timeout);
  // Sends or receives exactly `length` bytes within `timeout`. A peer that
  // closes the connection is a failure, never a time-out.
  IoResult SendAll(const void* data, size_t length, const ACE_Time_Value& timeout);
  IoResult ReceiveAll(void* data, size_t length, const ACE_Time_Value& timeout);
  // Shuts the connection down (receiving side, then sending side) and closes it.
  void Close();
  // The local address of the connection (valid once connected).
  ACE_INET_Addr LocalAddress() const;

 private:
  // Sets the socket's `option` time-out to what is left until `deadline`
  // unless it already is; false when the deadline has passed.
  bool BoundWait(int option, long& current, std::chrono::steady_clock::time_point deadline);

  ACE_SOCK_Stream stream_;
  bool connected_ = false;
  long sendTimeoutMs_ = -1;     // as last set on the socket
  long receiveTimeoutMs_ = -1;
};

struct CameraConnection {
  explicit CameraConnection(const ACE_INET_Addr& cameraAddress) : camera(cameraAddress) {}

  ACE_INET_Addr camera;
  Link command;
  Link snapshot;
};

}  // namespace vkt
