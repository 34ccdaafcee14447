// Every setting of the settings family, one line each. The member ids, the
// table rows, the exported functions, the cache slots and the exported-symbol
// check all come from this list: adding a setting is one line here plus its
// declaration in VKTNetSDK11.h.
//
// The kinds of line, by what the camera keeps and what the library caches:
//
//   RECORD(Name, Type, get, models, shortSize, set)
//     A record with a factory default: VKT_GetDefault<Name> (command get+2),
//     VKT_Get<Name> (get) and VKT_Set<Name> (get+1, by pointer), cached in
//     the slots kDefault<Name> and k<Name>; reads answer from the cache and a
//     Set equal to it sends nothing. shortSize: the shorter form some cameras
//     use (0: none), learnt from the reply of VKT_Get<Name>. set: EXPORTED,
//     or OWN_SET where the Set has a special case of its own.
//   VALUE(Name, get, check, models)
//     The same for one 32-bit value in the header's value field.
//   WRITTEN_VALUE(Slot, GetName, SetName, get, check)
//     A value with no default, cached but never answered from (each read
//     asks the camera): VKT_<GetName> (get), VKT_<SetName> (get+1).
//   WRITTEN_RECORD(Name, Type, get)
//     A record with no default, cached the same way: VKT_Get<Name> (get),
//     VKT_Set<Name> (get+1, passed by value).
//   READ(Name, get, check) / WRITE(Name, set) / READ_WRITE(Name, get, check)
//     Device state, never cached: VKT_Get<Name> and, for READ_WRITE, VKT_Set<Name>
//     (get+1); WRITE names the whole Set function.
//   SLOTS(Name)
//     Cache slots kDefault<Name> and k<Name> for a record whose calls are
//     special cases (the combined flash lamp and trigger input record).
//
// models: ALL, or REGION for the settings only some models have
// (ModelTraits::regionSettings). check: NONE, TWO_STATE, ANGLE, TEMPERATURE.
#pragma once

#define VKT_SETTINGS(RECORD, VALUE, WRITTEN_VALUE, WRITTEN_RECORD, READ, WRITE, READ_WRITE, SLOTS) \
  /* Imaging */                                                                                    \
  WRITTEN_VALUE(AE, GetAE, SetAE, 704, TWO_STATE)                                                  \
  WRITTEN_RECORD(AEParam, AEParam, 1044)                                                           \
  WRITTEN_VALUE(AWB, GetAWB, SetAWB, 708, TWO_STATE)                                               \
  WRITTEN_RECORD(AWBParam, AWBParam, 1056)                                                         \
  /* The flash lamp's state and firing */                                                          \
  WRITTEN_VALUE(FlashLampState, GetFlashLampState, OpenFlashLamp, 720, TWO_STATE)                  \
  RECORD(DeviceInfo, DeviceInfo, 1000, ALL, 0, EXPORTED)                                           \
  VALUE(ImageRotation, 1180, ANGLE, ALL)                                                           \
  RECORD(HotRegion, HotRegion, 1060, REGION, 0, EXPORTED)                                          \
  VALUE(StreamPicType, 1064, NONE, REGION)                                                         \
  /* Device state */                                                                               \
  READ(CameraTemperature, 200, TEMPERATURE)                                                        \
  WRITE(SetPicPixel, 1270)                                                                         \
  READ(WorkMode, 1301, NONE)                                                                       \
  READ(CameraMode, 1302, NONE)                                                                     \
  READ_WRITE(LevelValue, 1310, NONE)                                                               \
  READ(Electricity, 1314, NONE)                                                                    \
  /* Network and time */                                                                           \
  RECORD(NetWorkParam, NetWorkParam, 1016, ALL, 0, OWN_SET)                                        \
  RECORD(FTPParam, FTPParam, 1020, ALL, 0, EXPORTED)                                               \
  RECORD(SNTPParam, SNTPParam, 1024, ALL, 0, EXPORTED)                                             \
  VALUE(TimeZone, 1076, NONE, ALL)                                                                 \
  READ_WRITE(AutoSyn, 1312, NONE)                                                                  \
  /* Traffic and I/O */                                                                            \
  RECORD(ITSParam, ITSParam, 1008, ALL, 32, EXPORTED)                                              \
  RECORD(NightControlParam, NightControlParam, 1012, ALL, 44, EXPORTED)                            \
  SLOTS(TriggFlash)                                                                                \
  RECORD(RS485Info, RS485Info, 1251, ALL, 0, EXPORTED)                                             \
  RECORD(RS232Info, RS232Info, 1254, ALL, 0, EXPORTED)                                             \
  RECORD(SpeedInfo, SpeedInfo, 1257, ALL, 0, EXPORTED)                                             \
  RECORD(OSDInfo, OSDInfo, 1032, ALL, 0, EXPORTED)                                                 \
  RECORD(PicFileNameConfig, PicFileNameConfig, 1036, ALL, 0, EXPORTED)

// A macro for the kinds of line a use has nothing to do with.
#define VKT_SETTING_NONE(...)
