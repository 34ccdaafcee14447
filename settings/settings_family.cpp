#include "settings/settings_family.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "api/last_error.h"
#include "api/library.h"

namespace vkt::settings {
namespace {

bool IsAngle(int32_t degrees) { return degrees == 0 || degrees == 90 || degrees == 180 || degrees == 270; }

// Whether the member's slot may answer a read now.
bool SlotAnswers(CameraContext& camera, const Member& m) {
  if (m.readCache != ReadCache::kAnswers) return false;
  SettingsCache& cache = camera.Cache();
  int32_t v = -1;
  if (m.slotKind == SlotKind::kRecord) {
    if (!cache.Valid(m.Record())) return false;
    cache.CopyRecord(m.Record(), &v, sizeof v);
  } else if (m.slotKind == SlotKind::kValue) {
    v = cache.Value(m.Value());
    if (v == -1) return false;
  } else {
    return false;
  }
  // A value that failed its check is kept but never answers.
  return m.check != Check::kAngle || IsAngle(v);
}

void CopyFromSlot(CameraContext& camera, const Member& m, void* out) {
  SettingsCache& cache = camera.Cache();
  if (m.slotKind == SlotKind::kRecord) {
    cache.CopyRecord(m.Record(), out, m.size);
  } else {
    const int32_t v = cache.Value(m.Value());
    std::memcpy(out, &v, sizeof v);
  }
}

void StoreInSlot(CameraContext& camera, const Member& m, const void* bytes) {
  SettingsCache& cache = camera.Cache();
  if (m.slotKind == SlotKind::kRecord) {
    cache.SetRecord(m.Record(), bytes, m.size);
  } else if (m.slotKind == SlotKind::kValue) {
    int32_t v;
    std::memcpy(&v, bytes, sizeof v);
    cache.SetValue(m.Value(), v);
  }
}

// A valid slot equal to `in`, byte for byte.
bool SlotEquals(CameraContext& camera, const Member& m, const void* in) {
  SettingsCache& cache = camera.Cache();
  if (m.slotKind == SlotKind::kRecord) {
    if (!cache.Valid(m.Record())) return false;
    uint8_t cached[SettingsCache::kMaxRecord];
    cache.CopyRecord(m.Record(), cached, m.size);
    return std::memcmp(cached, in, m.size) == 0;
  }
  if (m.slotKind == SlotKind::kValue) {
    int32_t v;
    std::memcpy(&v, in, sizeof v);
    return cache.Value(m.Value()) != -1 && cache.Value(m.Value()) == v;
  }
  return false;
}

bool ModelAllows(const CameraContext& camera, const Member& m) {
  if (!m.modelRestricted || camera.Model().regionSettings) return true;
  SetLastError(err::kNotSupported);
  return false;
}

}  // namespace

int DecodeTemperature(int32_t value) {
  const uint32_t v = static_cast<uint32_t>(value) & 0xFFFFu;
  const double degrees = ((v >> 5) & 0x3FFu) * 0.125;
  return static_cast<int>((v & 0x8000u) != 0 ? -degrees : degrees);
}

int GetMember(CameraContext& camera, const Member& m, void* out, uint32_t ms) {
  if (out == nullptr) return Fail(err::kInvalidParam);
  std::lock_guard<std::recursive_mutex> lock(camera.CommandLock());
  if (!ModelAllows(camera, m)) return 1;
  if (SlotAnswers(camera, m)) {
    CopyFromSlot(camera, m, out);
    return 0;
  }
  if (camera.Exchange(Request{m.command}, ms) != 0) return 1;

  // The result, bounded by what the reply really holds: a short record is
  // completed with zeros, never with an earlier reply's bytes.
  uint8_t result[SettingsCache::kMaxRecord] = {};
  const CommandHeader& reply = camera.ReplyHeader();
  if (m.form == Form::kValue) {
    std::memcpy(result, &reply.value, sizeof reply.value);
  } else {
    uint32_t take = m.size;
    if (m.shortSize != 0) {
      if (m.learnsForm) camera.SetShortRecords(reply.length == m.shortSize);
      take = camera.ShortRecords() ? m.shortSize : m.size;
    }
    std::memcpy(result, camera.ReplyPayload(), std::min<uint32_t>(reply.length, take));
  }
  int32_t value;
  std::memcpy(&value, result, sizeof value);

  switch (m.check) {
    case Check::kTwoState:
      std::memcpy(out, &value, sizeof value);
      if (reply.version > Library::Instance().ProtocolVersion() && value != 0 && value != 1) {
        return Fail(err::kReplyOutOfRange);
      }
      break;
    case Check::kAngle:
      // Stored whatever it is: an angle-less slot stops answering reads.
      StoreInSlot(camera, m, result);
      if (!IsAngle(value)) return Fail(err::kInvalidParam);
      break;
    case Check::kTemperature:
      value = DecodeTemperature(value);
      std::memcpy(result, &value, sizeof value);
      break;
    case Check::kNone:
      break;
  }
  if (m.readCache != ReadCache::kNone) StoreInSlot(camera, m, result);
  std::memcpy(out, result, m.size);
  return 0;
}

int SetMember(CameraContext& camera, const Member& m, const void* in, uint32_t ms, bool* sent) {
  if (sent != nullptr) *sent = false;
  if (in == nullptr) return Fail(err::kInvalidParam);
  std::lock_guard<std::recursive_mutex> lock(camera.CommandLock());
  if (!ModelAllows(camera, m)) return 1;
  int32_t value = 0;
  std::memcpy(&value, in, sizeof value);
  if (m.check == Check::kAngle && !IsAngle(value)) return Fail(err::kInvalidParam);
  if (m.skipUnchanged && SlotEquals(camera, m, in)) return 0;

  // What goes out, and into the slot: the whole record, or its short form
  // followed by zeros when the camera uses that.
  uint8_t record[SettingsCache::kMaxRecord] = {};
  Request request{m.command};
  if (m.form == Form::kValue) {
    request.value = value;
    std::memcpy(record, &value, sizeof value);
  } else {
    request.length = (m.shortSize != 0 && camera.ShortRecords()) ? m.shortSize : m.size;
    std::memcpy(record, in, request.length);
    request.payload = record;
  }
  if (camera.Exchange(request, ms) != 0) return 1;
  if (sent != nullptr) *sent = true;
  StoreInSlot(camera, m, record);
  return 0;
}

int SetNetWorkParam(CameraContext& camera, const NetWorkParam* in, uint32_t ms) {
  std::lock_guard<std::recursive_mutex> lock(camera.CommandLock());
  bool sent = false;
  if (SetMember(camera, MemberOf(MemberId::kSetNetWorkParam), in, ms, &sent) != 0) return 1;
  const DeviceRecord& record = camera.Record();
  if (sent && (in->ipAddress != record.ipAddress || in->addressWord1 != record.addressWord1)) {
    // The camera now lives at the new address: drop the connection (and
    // the caches) and connect there next time.
    Library::Instance().Registry().Readdress(camera, in->ipAddress, in->addressWord1);
  }
  return 0;
}

int NtpTiming(CameraContext& camera, uint32_t ms) {
  std::lock_guard<std::recursive_mutex> lock(camera.CommandLock());
  switch (camera.ExchangeTwoPhase(command::kNtpTiming, ms)) {
    case TwoPhaseResult::kCompleted:
      return 0;
    case TwoPhaseResult::kNotSent:
      return 1;
    case TwoPhaseResult::kRequestFailed:
      return Fail(err::kNtpFailed);
    case TwoPhaseResult::kCompletionFailed:
      break;
  }
  SetLastError(LastError() == err::kTimeout ? err::kNtpTimeout : err::kNtpFailed);
  camera.Disconnect();
  return 1;
}

int GetState(CameraContext& camera, int* state, uint32_t ms) {
  if (state == nullptr) return Fail(err::kInvalidParam);
  *state = 1;
  if (camera.Exchange(Request{command::kState}, ms) != 0) return 1;
  *state = 0;
  return 0;
}

int ResetCamera(CameraContext& camera, int mode, uint32_t ms) {
  std::lock_guard<std::recursive_mutex> lock(camera.CommandLock());
  if (camera.CheckPendingSave(ms) != 0) return 1;
  if (mode != 0 && mode != 1) return Fail(err::kInvalidParam);
  if (camera.Exchange(Request{mode == 0 ? command::kRestart : command::kFactoryReset}, ms) != 0) return 1;
  // The camera restarts: its connection and everything cached go with it.
  camera.Disconnect();
  return 0;
}

int SaveConfig(CameraContext& camera, uint32_t ms) {
  std::lock_guard<std::recursive_mutex> lock(camera.CommandLock());
  switch (camera.ExchangeTwoPhase(command::kSaveConfig, ms)) {
    case TwoPhaseResult::kCompleted:
      return 0;
    case TwoPhaseResult::kNotSent:
    case TwoPhaseResult::kRequestFailed:
      return 1;
    case TwoPhaseResult::kCompletionFailed:
      break;
  }
  // The connection stays open: the completion may still come, and the next
  // command will wait for it.
  if (LastError() == err::kTimeout) {
    camera.SetPendingSave();
    return Fail(err::kSavePending);
  }
  return Fail(err::kSaveFailed);
}

int GetParamState(CameraContext& camera, uint32_t ms) {
  std::lock_guard<std::recursive_mutex> lock(camera.CommandLock());
  return camera.CheckPendingSave(ms);
}

}  // namespace vkt::settings
