// The library's protocol catalogue and settings list against the emulator's
// own copy: the emulator is the other side of the wire and keeps its tables
// apart on purpose, so a mistake in one shows as a disagreement here rather
// than as two sides agreeing on the wrong thing.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "VKTNetSDK11.h"
#include "camera/protocol.h"
#include "setting_table.h"
#include "settings/settings_list.h"
#include "stream_state.h"

namespace {

struct Expected {
  const char* name;
  int32_t get, set, getDefault;
  vktemu::SettingForm form;
  uint32_t size, shortSize;
};

constexpr auto kValue = vktemu::SettingForm::kValue;
constexpr auto kRecord = vktemu::SettingForm::kRecord;

#define ROW_RECORD(Name, Type, get, models, shortSize, set) \
  {#Name, get, (get) + 1, (get) + 2, kRecord, sizeof(Type), shortSize},
#define ROW_VALUE(Name, get, ...) {#Name, get, (get) + 1, (get) + 2, kValue, 0, 0},
#define ROW_WRITTEN_VALUE(Slot, GetName, SetName, get, ...) {#Slot, get, (get) + 1, 0, kValue, 0, 0},
#define ROW_WRITTEN_RECORD(Name, Type, get) {#Name, get, (get) + 1, 0, kRecord, sizeof(Type), 0},
#define ROW_READ(Name, get, ...) {#Name, get, 0, 0, kValue, 0, 0},
#define ROW_WRITE(Name, set) {#Name, 0, set, 0, kValue, 0, 0},
#define ROW_READ_WRITE(Name, get, ...) {#Name, get, (get) + 1, 0, kValue, 0, 0},
const Expected kSettings[] = {VKT_SETTINGS(ROW_RECORD, ROW_VALUE, ROW_WRITTEN_VALUE, ROW_WRITTEN_RECORD, ROW_READ,
                                           ROW_WRITE, ROW_READ_WRITE, VKT_SETTING_NONE)};

TEST(ProtocolAgreement, TheEmulatorKeepsEverySettingAsTheLibrarySendsIt) {
  for (const Expected& e : kSettings) {
    const vktemu::SettingDef* def = vktemu::findSetting(e.get != 0 ? e.get : e.set);
    if (def == nullptr) {
      ADD_FAILURE() << e.name << " is not kept by the emulator";
      continue;
    }
    EXPECT_EQ(def->get, e.get) << e.name;
    EXPECT_EQ(def->set, e.set) << e.name;
    EXPECT_EQ(def->getDefault, e.getDefault) << e.name;
    EXPECT_EQ(def->form, e.form) << e.name;
    EXPECT_EQ(def->size, e.size) << e.name;
    EXPECT_EQ(def->shortSize, e.shortSize) << e.name;
  }
  const vktemu::SettingDef* combined = vktemu::findSetting(vkt::command::kGetTriggFlash);
  ASSERT_NE(combined, nullptr);
  EXPECT_EQ(combined->set, vkt::command::kSetTriggFlash);
  EXPECT_EQ(combined->getDefault, vkt::command::kGetDefaultTriggFlash);
  EXPECT_EQ(vktemu::settingDefs().size(), std::size(kSettings) + 1) << "a setting only the emulator knows";
}

TEST(ProtocolAgreement, EveryModelStartsItsStreamAsTheEmulatorExpects) {
  for (const vkt::ModelTraits& model : vkt::kModels) {
    vktemu::StreamStart expected = vktemu::StreamStart::kNever;
    switch (model.stream) {
      case vkt::StreamStart::kTargetOnly:
        expected = vktemu::StreamStart::kOnTarget;
        break;
      case vkt::StreamStart::kModeCommand:
      case vkt::StreamStart::kModeBestEffort:
        expected = vktemu::StreamStart::kOnCommand;
        break;
      case vkt::StreamStart::kNone:
        break;
    }
    EXPECT_EQ(vktemu::streamStartOf(model.name), expected) << model.name;
  }
}

TEST(ProtocolAgreement, TheCatalogueIsWhatTheHeaderDocuments) {
  std::ifstream in(VKT_HEADER);
  std::stringstream text;
  text << in.rdbuf();
  const std::string header = text.str();
  ASSERT_FALSE(header.empty());
  EXPECT_NE(header.find(std::string("TCP ").append(std::to_string(vkt::kPicturePort))), std::string::npos);
  // The settings only some models have name their model.
  for (const vkt::ModelTraits& model : vkt::kModels) {
    const bool named =
        header.find(std::string("model \"").append(model.name).append("\" has them")) != std::string::npos;
    EXPECT_EQ(named, model.regionSettings) << model.name;
  }
  // Every model name is ten characters and names one model.
  for (size_t i = 0; i < vkt::kModels.size(); ++i) {
    EXPECT_EQ(vkt::kModels[i].name.size(), 10u);
    char field[32] = {};
    vkt::kModels[i].name.copy(field, sizeof field);
    EXPECT_EQ(&vkt::ModelOf(field), &vkt::kModels[i]);
  }
  char unknown[32] = "VKT-N2F0Kq ";
  EXPECT_FALSE(vkt::ModelOf(unknown).accepted) << "a name is compared whole";
}

}  // namespace
