#include "settings/trigger_flash.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "api/last_error.h"

namespace vkt::settings {
namespace {

constexpr size_t kHeadSize = 28;
constexpr size_t kEntrySize = 40;
constexpr size_t kEntries = 16;

// Head words and entry offsets.
constexpr size_t kLampA = 4, kLampB = 8, kLampC = 12;  // C is repeated at 12, 16, 20, 24
constexpr size_t kLampD = 16, kLampE = 20;             // in every entry
constexpr size_t kBitWord1 = 32, kBitWord2 = 36;

uint32_t Word(const uint8_t* p, size_t offset) {
  uint32_t w;
  std::memcpy(&w, p + offset, sizeof w);
  return w;
}
void PutWord(uint8_t* p, size_t offset, uint32_t w) { std::memcpy(p + offset, &w, sizeof w); }
const uint8_t* Entry(const uint8_t* record, size_t i) { return record + kHeadSize + kEntrySize * i; }
uint8_t* Entry(uint8_t* record, size_t i) { return record + kHeadSize + kEntrySize * i; }
int32_t Signed(uint32_t w) { return static_cast<int32_t>(w); }
uint32_t Bit(uint32_t w, int bit) { return (w >> bit) & 1u; }

RecordSlot SlotOf(bool factory) { return factory ? RecordSlot::kDefaultTriggFlash : RecordSlot::kTriggFlash; }

// The combined record into `record` (kCombinedSize bytes) from the cache,
// or else from the camera (into the cache too). The caller holds the
// command lock.
int ReadCombined(CameraContext& camera, bool factory, uint8_t* record, uint32_t ms) {
  SettingsCache& cache = camera.Cache();
  if (cache.Valid(SlotOf(factory))) {
    cache.CopyRecord(SlotOf(factory), record, kCombinedSize);
    return 0;
  }
  Request request{factory ? command::kGetDefaultTriggFlash : command::kGetTriggFlash};
  request.value = 0;
  if (camera.Exchange(request, ms) != 0) return 1;
  std::memset(record, 0, kCombinedSize);
  std::memcpy(record, camera.ReplyPayload(), std::min<size_t>(camera.ReplyHeader().length, kCombinedSize));
  cache.SetRecord(SlotOf(factory), record, kCombinedSize);
  return 0;
}

// Sends a whole record; once the camera took it, it is the current slot.
int WriteCombined(CameraContext& camera, const uint8_t* record, uint32_t ms) {
  Request request{command::kSetTriggFlash};
  request.payload = record;
  request.length = kCombinedSize;
  if (camera.Exchange(request, ms) != 0) return 1;
  camera.Cache().SetRecord(SlotOf(false), record, kCombinedSize);
  return 0;
}

// Whether the cached current record already shows `wanted` through `view`:
// then a set has nothing to send.
template <typename View, typename ViewOf>
bool SameAsCached(SettingsCache& cache, const View& wanted, ViewOf viewOf) {
  if (!cache.Valid(SlotOf(false))) return false;
  uint8_t record[kCombinedSize];
  cache.CopyRecord(SlotOf(false), record, kCombinedSize);
  const View cached = viewOf(record);
  return std::memcmp(&cached, &wanted, sizeof cached) == 0;
}

}  // namespace

FlashLampParam FlashLampFromCombined(const uint8_t* record) {
  FlashLampParam lamp;
  lamp.word[0] = Signed(Word(record, kLampA));
  lamp.word[1] = Signed(Word(record, kLampC));
  lamp.word[2] = Signed(Word(record, kLampB));
  lamp.word[3] = Signed(Word(Entry(record, 0), kLampD));
  lamp.word[4] = Signed(Word(Entry(record, 0), kLampE));
  return lamp;
}

void WriteFlashLamp(const FlashLampParam& lamp, uint8_t* record) {
  PutWord(record, kLampA, static_cast<uint32_t>(lamp.word[0]));
  for (size_t offset = kLampC; offset < kHeadSize; offset += 4) PutWord(record, offset, static_cast<uint32_t>(lamp.word[1]));
  PutWord(record, kLampB, static_cast<uint32_t>(lamp.word[2]));
  for (size_t i = 0; i < kEntries; ++i) {
    PutWord(Entry(record, i), kLampD, static_cast<uint32_t>(lamp.word[3]));
    PutWord(Entry(record, i), kLampE, static_cast<uint32_t>(lamp.word[4]));
  }
}

TriggInputSet TriggInputFromCombined(const uint8_t* record, bool defaultView) {
  TriggInputSet set;
  for (size_t i = 0; i < kEntries; ++i) {
    const uint8_t* e = Entry(record, i);
    const uint32_t w1 = Word(e, kBitWord1), w2 = Word(e, kBitWord2);
    int32_t* v = set.entry[i].value;
    v[0] = Signed(Bit(Word(e, 0), 0));
    v[1] = Signed((w1 >> 4) & 15u);
    v[2] = Signed(Word(e, 4) + 1u);
    v[3] = Signed(Bit(Word(e, 8), 0));
    v[4] = Signed(Bit(w1, 30));
    v[5] = Signed((w1 + 1u) & 15u);
    v[6] = Signed(Bit(w1, 31));
    v[7] = Signed(Word(e, 12));
    v[8] = Signed(Word(e, 24));
    v[9] = Signed(Word(e, 28));
    v[10] = Signed(Bit(w2, 0));
    v[11] = Signed(Bit(w2, 1));
    v[12] = Signed(Bit(w2, 2));
    v[13] = Signed(Bit(w2, 3));
    v[14] = Signed(Bit(w2, 31));
    if (defaultView) {
      // The factory record reads its switch-dependent values only when the
      // switch is on, and its three middle flags masked but not shifted.
      if (Bit(w1, 30) == 0) v[4] = v[5] = v[6] = 0;
      v[11] = Signed(w2 & 2u);
      v[12] = Signed(w2 & 4u);
      v[13] = Signed(w2 & 8u);
    }
  }
  return set;
}

void CombinedFromTriggInput(const TriggInputSet& set, uint8_t* record) {
  std::memset(record, 0, kCombinedSize);
  for (size_t i = 0; i < kEntries; ++i) {
    uint8_t* e = Entry(record, i);
    const int32_t* v = set.entry[i].value;
    const bool switchOn = v[4] == 1;
    PutWord(e, 0, v[0] != 0 ? 1u : 0u);
    PutWord(e, 4, static_cast<uint32_t>(v[2]) - 1u);
    PutWord(e, 8, static_cast<uint32_t>(v[3]));
    PutWord(e, 12, static_cast<uint32_t>(v[7]));
    PutWord(e, 24, static_cast<uint32_t>(v[8]));
    PutWord(e, 28, static_cast<uint32_t>(v[9]));
    uint32_t w1 = (static_cast<uint32_t>(v[1]) & 15u) << 4;
    if (switchOn) w1 |= (1u << 30) | ((static_cast<uint32_t>(v[5]) - 1u) & 15u);
    if (v[6] != 0) w1 |= 1u << 31;
    uint32_t w2 = 0;
    if (v[10] != 0) w2 |= 1u;
    if (v[11] != 0) w2 |= 2u;
    if (v[12] != 0) w2 |= 4u;
    if (v[13] != 0) w2 |= 8u;
    if (v[14] != 0) w2 |= 1u << 31;
    PutWord(e, kBitWord1, w1);
    PutWord(e, kBitWord2, w2);
  }
}

int GetFlashLamp(CameraContext& camera, bool factory, FlashLampParam* out, uint32_t ms) {
  if (out == nullptr) return Fail(err::kInvalidParam);
  std::lock_guard<std::recursive_mutex> lock(camera.CommandLock());
  uint8_t record[kCombinedSize];
  if (ReadCombined(camera, factory, record, ms) != 0) return 1;
  *out = FlashLampFromCombined(record);
  return 0;
}

int GetTriggInput(CameraContext& camera, bool factory, TriggInputSet* out, uint32_t ms) {
  if (out == nullptr) return Fail(err::kInvalidParam);
  std::lock_guard<std::recursive_mutex> lock(camera.CommandLock());
  uint8_t record[kCombinedSize];
  if (ReadCombined(camera, factory, record, ms) != 0) return 1;
  *out = TriggInputFromCombined(record, factory);
  return 0;
}

int SetFlashLamp(CameraContext& camera, const FlashLampParam* in, uint32_t ms) {
  if (in == nullptr) return Fail(err::kInvalidParam);
  std::lock_guard<std::recursive_mutex> lock(camera.CommandLock());
  if (SameAsCached(camera.Cache(), *in, FlashLampFromCombined)) return 0;
  if (camera.CheckPendingSave(ms) != 0) return 1;
  // Only the lamp words change: the rest goes back as the camera sent it.
  uint8_t work[kCombinedSize];
  if (ReadCombined(camera, false, work, ms) != 0) return 1;
  WriteFlashLamp(*in, work);
  return WriteCombined(camera, work, ms);
}

int SetTriggInput(CameraContext& camera, const TriggInputSet* in, uint32_t ms) {
  if (in == nullptr) return Fail(err::kInvalidParam);
  std::lock_guard<std::recursive_mutex> lock(camera.CommandLock());
  const auto currentView = [](const uint8_t* record) { return TriggInputFromCombined(record, false); };
  if (SameAsCached(camera.Cache(), *in, currentView)) return 0;
  if (camera.CheckPendingSave(ms) != 0) return 1;
  uint8_t work[kCombinedSize];
  CombinedFromTriggInput(*in, work);
  return WriteCombined(camera, work, ms);
}

}  // namespace vkt::settings
