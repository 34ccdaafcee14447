-- Wireshark dissector for the traffic cameras' protocols, as the VKTNetSDK11
-- library and the camera emulator speak them:
--
--   vktcmd     the TCP command channel (camera command ports, 30000-30255
--              by default; a preference)
--   vktdisc    discovery on UDP 34565: probe, answers, address change
--   vktpic     pictures the cameras push to the host (TCP 34660)
--   vktstream  the video stream: 1024-byte UDP datagrams to the port the
--              host announced with command 1081 (found heuristically)
--
-- Load it with `wireshark -X lua_script:vktnet.lua` (tshark alike) or copy
-- it to ~/.local/lib/wireshark/plugins/. Every word on these channels is a
-- little-endian 32-bit word unless said otherwise; IPv4 addresses and the
-- ports inside target records are in network byte order.

set_plugin_info({
  version = "1.0.0",
  description = "VKT camera command channel, discovery, picture push and video stream",
})

---------------------------------------------------------------------------
-- Shared knowledge
---------------------------------------------------------------------------

local COMMAND_HEADER = 28
local DISCOVERY_PORT = 34565
local PICTURE_PORT = 34660
local STREAM_DATAGRAM = 1024
local STREAM_PACKET_DATA = 1020
-- Far above anything a camera sends (pictures and listings stop at 4 MiB):
-- a larger length means the bytes are not a message header.
local MAX_MESSAGE_PAYLOAD = 64 * 1024 * 1024
local MAX_PICTURE = 64 * 1024 * 1024
-- Packet indices of the largest frame the library takes (4 MiB).
local MAX_STREAM_INDEX = math.floor(4 * 1024 * 1024 / STREAM_PACKET_DATA) + 1

-- Settings: the Get, Set and GetDefault commands of each, the form of its
-- data (a value in the header's value field, or a record as the payload)
-- and the record's size and shape.
--   words    little-endian 32-bit words
--   bytes    an opaque block (shown as bytes and its printable text)
--   network  the camera's address: three addresses
local SETTINGS = {
  { get = 704,  set = 705,  name = "AE mode", form = "value" },
  { get = 1044, set = 1045, name = "AE parameters", form = "words", size = 8 },
  { get = 708,  set = 709,  name = "AWB mode", form = "value" },
  { get = 1056, set = 1057, name = "AWB parameters", form = "words", size = 12 },
  { get = 720,  set = 721,  name = "flash lamp state", form = "value", set_name = "Open flash lamp" },
  { get = 1000, set = 1001, default = 1002, name = "device information", form = "words", size = 100 },
  { get = 1180, set = 1181, default = 1182, name = "image rotation", form = "value" },
  { get = 1060, set = 1061, default = 1062, name = "hot region", form = "words", size = 64 },
  { get = 1064, set = 1065, default = 1066, name = "stream picture type", form = "value" },
  { get = 200,  name = "temperature", form = "value" },
  { set = 1270, name = "picture pixel size", form = "value" },
  { get = 1301, name = "work mode", form = "value" },
  { get = 1302, name = "camera mode", form = "value" },
  { get = 1310, set = 1311, name = "level value", form = "value" },
  { get = 1314, name = "electricity", form = "value" },
  { get = 1016, set = 1017, default = 1018, name = "network parameters", form = "network", size = 12 },
  { get = 1020, set = 1021, default = 1022, name = "FTP parameters", form = "bytes", size = 264 },
  { get = 1024, set = 1025, default = 1026, name = "SNTP parameters", form = "bytes", size = 72 },
  { get = 1076, set = 1077, default = 1078, name = "time zone", form = "value" },
  { get = 1312, set = 1313, name = "automatic synchronisation", form = "value" },
  { get = 1008, set = 1009, default = 1010, name = "ITS parameters", form = "words", size = 52, short = 32 },
  { get = 1012, set = 1013, default = 1014, name = "night control parameters", form = "words", size = 48, short = 44 },
  { get = 1251, set = 1252, default = 1253, name = "RS485 settings", form = "words", size = 16 },
  { get = 1254, set = 1255, default = 1256, name = "RS232 settings", form = "words", size = 16 },
  { get = 1257, set = 1258, default = 1259, name = "speed settings", form = "words", size = 132 },
  { get = 1032, set = 1033, default = 1034, name = "OSD", form = "bytes", size = 60 },
  { get = 1036, set = 1037, default = 1038, name = "picture file name configuration", form = "bytes", size = 40 },
  -- Flash lamps and trigger inputs are two views of this one record.
  { get = 1028, set = 1029, default = 1030, name = "flash and trigger record", form = "words", size = 668 },
}

-- command code -> { name = ..., setting = row, access = "get"|"set"|"default" }
local COMMANDS = {}
local function upper_first(text) return text:sub(1, 1):upper() .. text:sub(2) end
for _, s in ipairs(SETTINGS) do
  if s.get then COMMANDS[s.get] = { name = "Get " .. s.name, setting = s, access = "get" } end
  if s.set then COMMANDS[s.set] = { name = s.set_name or ("Set " .. s.name), setting = s, access = "set" } end
  if s.default then COMMANDS[s.default] = { name = "Get default " .. s.name, setting = s, access = "default" } end
end
COMMANDS[200].name = "Get temperature"
for code, name in pairs({
  [100] = "Save configuration",
  [101] = "NTP synchronisation",
  [102] = "Snapshot",
  [103] = "Reset (mode 0)",
  [104] = "Reset (mode 1)",
  [501] = "Stream mode",
  [1070] = "Get clock",
  [1071] = "Set clock",
  [1080] = "Push target",
  [1081] = "Stream target",
  [1200] = "SD card state",
  [1205] = "Format SD card",
  [1206] = "SD card format progress",
  [1210] = "Directory listing",
  [1216] = "Fetch stored picture",
  [1217] = "Delete stored picture",
  [1300] = "Get state",
}) do
  COMMANDS[code] = { name = name }
end

local command_names = {}
for code, c in pairs(COMMANDS) do command_names[code] = c.name end

local function command_name(code)
  local c = COMMANDS[code]
  return c and c.name or ("Unknown command " .. code)
end

local status_names = {
  [0] = "OK",
  [11] = "Save completed",
  [-1] = "Refused",
  [-2] = "Busy",
  [-3] = "Bad parameter",
}

local function status_text(command, status)
  if status == 11 and command ~= 100 then return "camera-defined" end
  return status_names[status] or (status < 0 and "Refused (camera-defined)" or "camera-defined")
end

local message_types = { [1] = "Request", [2] = "Reply" }
local stream_modes = { [5] = "Start", [1] = "Stop" }
local sd_states = { [0] = "No card", [1] = "Ready", [2] = "Formatting" }
local picture_sources = { [1] = "Snapshot", [2] = "Trigger" }

-- "30000-30255,8000" -> { {30000, 30255}, {8000, 8000} }
local function parse_ranges(text)
  local ranges = {}
  for part in string.gmatch(text or "", "[^,%s]+") do
    local lo, hi = part:match("^(%d+)%-(%d+)$")
    if not lo then lo = part:match("^(%d+)$"); hi = lo end
    if lo then ranges[#ranges + 1] = { tonumber(lo), tonumber(hi) } end
  end
  return ranges
end

local function in_ranges(ranges, port)
  for _, r in ipairs(ranges) do
    if port >= r[1] and port <= r[2] then return true end
  end
  return false
end

-- The text of a zero-terminated field of at most `max` bytes at `offset`:
-- text, bytes including the terminator; nil when no terminator is found.
local function find_stringz(tvb, offset, max)
  local available = math.min(max, tvb:len() - offset)
  if available <= 0 then return nil end
  local bytes = tvb(offset, available):bytes()
  for i = 0, available - 1 do
    if bytes:get_index(i) == 0 then
      return (i > 0) and tvb(offset, i):string() or "", i + 1
    end
  end
  return nil
end

-- Text of a fixed-size field up to its first zero byte.
local function fixed_text(range)
  local text = range:string()
  local zero = text:find("\0", 1, true)
  if zero then text = text:sub(1, zero - 1) end
  return text
end

local function printable(text)
  local runs = {}
  for run in text:gmatch("[%g ][%g ][%g ][%g ]*") do runs[#runs + 1] = run end
  return table.concat(runs, " | ")
end

local jpeg_dissector = nil
local function call_jpeg(tvb, pinfo, tree)
  if jpeg_dissector == nil then
    local ok, d = pcall(Dissector.get, "image-jfif")
    jpeg_dissector = ok and d or false
  end
  if jpeg_dissector then pcall(function() jpeg_dissector:call(tvb, pinfo, tree) end) end
end

-- Stream targets announced with command 1081, by port: the stream
-- heuristic takes datagrams to these ports.
local stream_target_ports = {}

---------------------------------------------------------------------------
-- Command channel
---------------------------------------------------------------------------

local vktcmd = Proto("vktcmd", "VKT camera command channel")

local cf = {
  version = ProtoField.int32("vktcmd.version", "Version", base.DEC),
  reserved = ProtoField.int32("vktcmd.reserved", "Reserved", base.DEC),
  command = ProtoField.int32("vktcmd.command", "Command", base.DEC, command_names),
  command_name = ProtoField.string("vktcmd.command_name", "Command name"),
  sequence = ProtoField.int32("vktcmd.sequence", "Sequence", base.DEC),
  status = ProtoField.int32("vktcmd.status", "Status", base.DEC),
  length = ProtoField.uint32("vktcmd.length", "Payload length", base.DEC),
  value = ProtoField.int32("vktcmd.value", "Value", base.DEC),
  type = ProtoField.uint8("vktcmd.type", "Message type", base.DEC, message_types),
  setting = ProtoField.string("vktcmd.setting", "Setting"),
  response_to = ProtoField.framenum("vktcmd.response_to", "Reply to the request in", base.NONE, frametype.REQUEST),
  response_in = ProtoField.framenum("vktcmd.response_in", "Reply in", base.NONE, frametype.RESPONSE),
  time = ProtoField.relative_time("vktcmd.time", "Time since the request"),
  payload = ProtoField.bytes("vktcmd.payload", "Payload"),
  -- 501, 102 and 200 in the header's value field
  stream_mode = ProtoField.int32("vktcmd.stream_mode", "Stream mode", base.DEC, stream_modes),
  snapshot_value = ProtoField.int32("vktcmd.snapshot_value", "Value for the picture's record"),
  temperature = ProtoField.double("vktcmd.temperature", "Temperature (degrees)"),
  progress = ProtoField.int32("vktcmd.progress", "Format progress"),
  -- 1080, 1081
  target_address = ProtoField.ipv4("vktcmd.target.address", "Target address"),
  target_port = ProtoField.uint16("vktcmd.target.port", "Target port", base.DEC),
  target_flag = ProtoField.uint16("vktcmd.target.flag", "Target flag", base.DEC),
  -- settings records
  record = ProtoField.bytes("vktcmd.record", "Record"),
  word = ProtoField.int32("vktcmd.record.word", "Word", base.DEC),
  record_text = ProtoField.string("vktcmd.record.text", "Printable text"),
  net_address = ProtoField.ipv4("vktcmd.network.address", "IP address"),
  net_word1 = ProtoField.ipv4("vktcmd.network.word1", "Address word 1 (netmask on most cameras)"),
  net_word2 = ProtoField.ipv4("vktcmd.network.word2", "Address word 2 (gateway on most cameras)"),
  -- clock
  clock_seconds = ProtoField.int32("vktcmd.clock.seconds", "Seconds since 1970", base.DEC),
  clock_micro = ProtoField.int32("vktcmd.clock.microseconds", "Microseconds", base.DEC),
  clock_time = ProtoField.absolute_time("vktcmd.clock.time", "Camera clock", base.UTC),
  clock_reserved = ProtoField.bytes("vktcmd.clock.reserved", "Reserved"),
  clock_extra = ProtoField.int32("vktcmd.clock.extra", "Extra word", base.DEC),
  -- SD card
  sd_status = ProtoField.int32("vktcmd.sd.status", "Card status", base.DEC, sd_states),
  sd_capacity = ProtoField.int32("vktcmd.sd.capacity", "Capacity (MiB)", base.DEC),
  sd_free = ProtoField.int32("vktcmd.sd.free", "Free (MiB)", base.DEC),
  dir_path = ProtoField.string("vktcmd.dir.path", "Path"),
  dir_count = ProtoField.int32("vktcmd.dir.count", "Count", base.DEC),
  dir_reserved = ProtoField.bytes("vktcmd.dir.reserved", "Reserved"),
  dir_tree = ProtoField.int32("vktcmd.dir.tree", "Tree follows", base.DEC),
  dir_entry = ProtoField.none("vktcmd.dir.entry", "Entry"),
  entry_value = ProtoField.int32("vktcmd.dir.entry.value", "Value (-1: directory, else size)", base.DEC),
  entry_name = ProtoField.string("vktcmd.dir.entry.name", "Name"),
  file_value = ProtoField.int32("vktcmd.file.value", "Value", base.DEC),
  file_name = ProtoField.string("vktcmd.file.name", "Name"),
  file_reserved = ProtoField.bytes("vktcmd.file.reserved", "Reserved"),
  picture = ProtoField.bytes("vktcmd.picture", "Stored picture"),
  picture_length = ProtoField.uint32("vktcmd.picture.length", "Stored picture length", base.DEC),
}
local cmd_field_list = {}
for _, f in pairs(cf) do cmd_field_list[#cmd_field_list + 1] = f end
vktcmd.fields = cmd_field_list

local ce = {
  unknown = ProtoExpert.new("vktcmd.unknown_command", "Command not known to the library",
                            expert.group.UNDECODED, expert.severity.NOTE),
  refused = ProtoExpert.new("vktcmd.refused", "The camera refused the request",
                            expert.group.RESPONSE_CODE, expert.severity.WARN),
  size = ProtoExpert.new("vktcmd.size", "Payload size differs from the record's",
                         expert.group.MALFORMED, expert.severity.WARN),
  malformed = ProtoExpert.new("vktcmd.malformed", "Malformed payload",
                              expert.group.MALFORMED, expert.severity.ERROR),
  no_request = ProtoExpert.new("vktcmd.no_request", "No request with this command and sequence seen",
                               expert.group.SEQUENCE, expert.severity.NOTE),
  not_header = ProtoExpert.new("vktcmd.not_header", "Not a message header: length out of range",
                               expert.group.MALFORMED, expert.severity.ERROR),
}
vktcmd.experts = { ce.unknown, ce.refused, ce.size, ce.malformed, ce.no_request, ce.not_header }

vktcmd.prefs.ports = Pref.range("Command ports", "30000-30255",
                                "TCP ports of the cameras' command channels", 65535)

local f_tcp_stream = Field.new("tcp.stream")

-- Request/reply matching, filled on the first pass.
local requests = {}     -- "stream:command:sequence" -> { frame, time }
local reply_links = {}  -- "frame:offset" of a reply -> request entry
local request_links = {} -- request frame number -> first reply frame

local function conversation_key(pinfo)
  local s = f_tcp_stream()
  if s then return tostring(s.value) end
  return tostring(pinfo.src) .. ":" .. pinfo.src_port .. "-" .. tostring(pinfo.dst) .. ":" .. pinfo.dst_port
end

local function conversation_key_of_reply(pinfo)
  local s = f_tcp_stream()
  if s then return tostring(s.value) end
  return tostring(pinfo.dst) .. ":" .. pinfo.dst_port .. "-" .. tostring(pinfo.src) .. ":" .. pinfo.src_port
end

-- A reply is what the camera sends: it comes from the command port.
local function is_reply(pinfo)
  local matched = pinfo.match_uint
  if matched and matched ~= 0 and pinfo.src_port ~= pinfo.dst_port then
    if matched == pinfo.src_port then return true end
    if matched == pinfo.dst_port then return false end
  end
  local ranges = parse_ranges(vktcmd.prefs.ports)
  local src_in, dst_in = in_ranges(ranges, pinfo.src_port), in_ranges(ranges, pinfo.dst_port)
  if src_in ~= dst_in then return src_in end
  return pinfo.src_port < pinfo.dst_port
end

local function add_words(tree, tvb, offset, count)
  for i = 0, count - 1 do
    local at = offset + 4 * i
    tree:add_le(cf.word, tvb(at, 4)):set_text(string.format("Word %d: %d", i, tvb(at, 4):le_int()))
  end
end

local function dissect_record(tvb, pinfo, tree, setting)
  local len = tvb:len()
  local sub = tree:add(cf.record, tvb()):set_text(upper_first(setting.name) .. " (" .. len .. " bytes)")
  if len ~= setting.size and len ~= setting.short then
    sub:add_proto_expert_info(ce.size, string.format("%d bytes; the record has %d%s", len, setting.size,
      setting.short and (" (short form " .. setting.short .. ")") or ""))
  end
  if setting.form == "network" and len >= 12 then
    sub:add(cf.net_address, tvb(0, 4))
    sub:add(cf.net_word1, tvb(4, 4))
    sub:add(cf.net_word2, tvb(8, 4))
    add_words(sub, tvb, 0, 3)
  elseif setting.form == "bytes" then
    local text = printable(tvb():string())
    if text ~= "" then sub:add(cf.record_text, tvb(), text) end
  else
    add_words(sub, tvb, 0, math.floor(len / 4))
  end
end

local function add_text_field(tree, field, tvb, offset, max, pinfo)
  local text, size = find_stringz(tvb, offset, max)
  if not text then
    tree:add_proto_expert_info(ce.malformed, "text without terminator within " .. max .. " bytes")
    return nil
  end
  tree:add(field, tvb(offset, size), text)
  return text, size
end

local function dissect_listing_reply(tvb, pinfo, tree, info)
  local len = tvb:len()
  if len < 4 then
    if len > 0 then tree:add_proto_expert_info(ce.malformed, "listing shorter than its leading word") end
    info[#info + 1] = "no tree"
    return
  end
  local leading = tvb(0, 4):le_int()
  tree:add_le(cf.dir_tree, tvb(0, 4))
  if leading <= 0 then
    info[#info + 1] = "no tree"
    return
  end
  local offset = 4
  local path, size = add_text_field(tree, cf.dir_path, tvb, offset, 256, pinfo)
  if not path then return end
  offset = offset + size
  if len - offset < 4 then
    tree:add_proto_expert_info(ce.malformed, "no count after the path")
    return
  end
  local count = tvb(offset, 4):le_int()
  tree:add_le(cf.dir_count, tvb(offset, 4))
  offset = offset + 4
  info[#info + 1] = string.format("path=%q entries=%d", path, count)
  for i = 1, count do
    if len - offset < 5 then
      tree:add_proto_expert_info(ce.malformed, string.format("%d entries announced, %d present", count, i - 1))
      return
    end
    local name, name_size = find_stringz(tvb, offset + 4, 256)
    local entry_len = name and (4 + name_size) or (len - offset)
    local entry = tree:add(cf.dir_entry, tvb(offset, entry_len))
    local value = tvb(offset, 4):le_int()
    entry:add_le(cf.entry_value, tvb(offset, 4))
    if not name then
      entry:add_proto_expert_info(ce.malformed, "name without terminator within 256 bytes")
      return
    end
    entry:add(cf.entry_name, tvb(offset + 4, name_size), name)
    entry:set_text(string.format("Entry %d: %s %s", i - 1, name, value == -1 and "(directory)" or (value .. " bytes")))
    offset = offset + entry_len
  end
end

-- The payload of one message, by command and direction.
local function dissect_payload(tvb, pinfo, tree, h, reply, info)
  local len = tvb and tvb:len() or 0
  local c = COMMANDS[h.command]
  local setting = c and c.setting

  if setting then
    tree:add(cf.setting, setting.name):set_generated()
    local carries = (reply and c.access ~= "set") or (not reply and c.access == "set")
    if setting.form == "value" then
      if carries then info[#info + 1] = "value=" .. h.value end
      if h.command == 200 and reply then
        local raw = bit32.band(h.value, 0xFFFF)
        local degrees = bit32.band(bit32.rshift(raw, 5), 0x3FF) * 0.125
        if bit32.band(raw, 0x8000) ~= 0 then degrees = -degrees end
        tree:add(cf.temperature, degrees):set_generated()
      end
      if len > 0 then tree:add(cf.payload, tvb()) end
    elseif len > 0 then
      dissect_record(tvb, pinfo, tree, setting)
    end
    return
  end

  local code = h.command
  if (code == 1080 or code == 1081) and not reply then
    if len >= 8 then
      tree:add(cf.target_address, tvb(0, 4))
      tree:add(cf.target_port, tvb(4, 2))
      tree:add_le(cf.target_flag, tvb(6, 2))
      local port = tvb(4, 2):uint()
      info[#info + 1] = string.format("%s:%d", tostring(tvb(0, 4):ipv4()), port)
      if code == 1081 then stream_target_ports[port] = true end
      if len > 8 then tree:add(cf.payload, tvb(8)) end
    elseif len > 0 then
      tree:add(cf.payload, tvb()):add_proto_expert_info(ce.size, "a target record has 8 bytes")
    end
    return
  end
  if code == 501 and not reply then
    tree:add(cf.stream_mode, h.value):set_generated()
    info[#info + 1] = "mode=" .. (stream_modes[h.value] or h.value)
  elseif code == 102 and not reply then
    tree:add(cf.snapshot_value, h.value):set_generated()
    info[#info + 1] = "value=" .. h.value
  elseif code == 1206 and reply then
    tree:add(cf.progress, h.value):set_generated()
    info[#info + 1] = "progress=" .. h.value
  end
  if len == 0 then return end

  if code == 1070 and reply then
    if len >= 8 then
      tree:add_le(cf.clock_seconds, tvb(0, 4))
      tree:add_le(cf.clock_micro, tvb(4, 4))
      tree:add(cf.clock_time, tvb(0, 8), NSTime.new(tvb(0, 4):le_int(), tvb(4, 4):le_int() * 1000)):set_generated()
    end
    if len >= 16 then tree:add(cf.clock_reserved, tvb(8, 8)) end
    if len >= 20 then tree:add_le(cf.clock_extra, tvb(16, 4)) end
  elseif code == 1071 and not reply then
    if len >= 8 then
      tree:add_le(cf.clock_seconds, tvb(0, 4))
      tree:add_le(cf.clock_micro, tvb(4, 4))
      tree:add(cf.clock_time, tvb(0, 8), NSTime.new(tvb(0, 4):le_int(), tvb(4, 4):le_int() * 1000)):set_generated()
    end
    if len >= 12 then tree:add_le(cf.clock_extra, tvb(8, 4)) end
  elseif code == 1200 and reply then
    if len >= 4 then tree:add_le(cf.sd_status, tvb(0, 4)) end
    if len >= 8 then tree:add_le(cf.sd_capacity, tvb(4, 4)) end
    if len >= 12 then tree:add_le(cf.sd_free, tvb(8, 4)) end
    if len >= 12 then
      info[#info + 1] = string.format("%s capacity=%dMiB free=%dMiB",
        sd_states[tvb(0, 4):le_int()] or tvb(0, 4):le_int(), tvb(4, 4):le_int(), tvb(8, 4):le_int())
    end
  elseif code == 1210 and not reply then
    local path = add_text_field(tree, cf.dir_path, tvb, 0, math.min(256, len), pinfo)
    if len >= 260 then tree:add_le(cf.dir_count, tvb(256, 4)) end
    if len >= 264 then tree:add(cf.dir_reserved, tvb(260, 4)) end
    if len ~= 264 then tree:add_proto_expert_info(ce.size, "a listing request has 264 bytes") end
    if path then info[#info + 1] = string.format("path=%q", path) end
  elseif code == 1210 and reply then
    dissect_listing_reply(tvb, pinfo, tree, info)
  elseif code == 1216 and not reply then
    if len >= 4 then tree:add_le(cf.file_value, tvb(0, 4)) end
    local name = len > 4 and add_text_field(tree, cf.file_name, tvb, 4, math.min(256, len - 4), pinfo)
    if len ~= 260 then tree:add_proto_expert_info(ce.size, "a fetch request has 260 bytes") end
    if name then info[#info + 1] = string.format("name=%q", name) end
  elseif code == 1216 and reply then
    tree:add(cf.picture, tvb())
    tree:add(cf.picture_length, len):set_generated()
    info[#info + 1] = len .. " bytes"
    if vktcmd.prefs.jpeg then call_jpeg(tvb, pinfo, tree) end
  elseif code == 1217 and not reply then
    local name = add_text_field(tree, cf.file_name, tvb, 0, math.min(256, len), pinfo)
    if len >= 264 then tree:add(cf.file_reserved, tvb(256, 8)) end
    if len ~= 264 then tree:add_proto_expert_info(ce.size, "a delete request has 264 bytes") end
    if name then info[#info + 1] = string.format("name=%q", name) end
  else
    tree:add(cf.payload, tvb())
  end
end

local function dissect_message(tvb, pinfo, root, offset, total, info_parts)
  local tree = root:add(vktcmd, tvb(offset, total))
  local reply = is_reply(pinfo)
  local h = {
    version = tvb(offset, 4):le_int(),
    command = tvb(offset + 8, 4):le_int(),
    sequence = tvb(offset + 12, 4):le_int(),
    status = tvb(offset + 16, 4):le_int(),
    length = tvb(offset + 20, 4):le_uint(),
    value = tvb(offset + 24, 4):le_int(),
  }
  local name = command_name(h.command)
  tree:add(cf.type, reply and 2 or 1):set_generated()
  tree:add_le(cf.version, tvb(offset, 4))
  tree:add_le(cf.reserved, tvb(offset + 4, 4))
  local command_item = tree:add_le(cf.command, tvb(offset + 8, 4))
  if not COMMANDS[h.command] then command_item:add_proto_expert_info(ce.unknown) end
  tree:add(cf.command_name, tvb(offset + 8, 4), name):set_generated()
  tree:add_le(cf.sequence, tvb(offset + 12, 4))
  local status_item = tree:add_le(cf.status, tvb(offset + 16, 4))
  status_item:append_text(" (" .. status_text(h.command, h.status) .. ")")
  if reply and h.status < 0 then status_item:add_proto_expert_info(ce.refused) end
  tree:add_le(cf.length, tvb(offset + 20, 4))
  tree:add_le(cf.value, tvb(offset + 24, 4))

  -- Request/reply matching: sequence numbers are per connection (the
  -- snapshot request goes on a second connection of its own).
  local msg_key = pinfo.number .. ":" .. offset
  if not pinfo.visited then
    if reply then
      local req = requests[conversation_key_of_reply(pinfo) .. ":" .. h.command .. ":" .. h.sequence]
      if req then
        reply_links[msg_key] = req
        if not request_links[req.frame] then request_links[req.frame] = pinfo.number end
      end
    else
      requests[conversation_key(pinfo) .. ":" .. h.command .. ":" .. h.sequence] = { frame = pinfo.number, time = pinfo.abs_ts }
    end
  end
  if reply then
    local req = reply_links[msg_key]
    if req then
      tree:add(cf.response_to, req.frame):set_generated()
      local delta = pinfo.abs_ts - req.time
      local secs = math.floor(delta)
      tree:add(cf.time, NSTime.new(secs, math.floor((delta - secs) * 1e9 + 0.5))):set_generated()
    else
      tree:add_proto_expert_info(ce.no_request)
    end
  elseif request_links[pinfo.number] then
    tree:add(cf.response_in, request_links[pinfo.number]):set_generated()
  end

  local info = {}
  info[1] = string.format("%s %d %s seq=%d", reply and "Reply" or "Request", h.command, name, h.sequence)
  if reply then info[#info + 1] = "status=" .. h.status .. " (" .. status_text(h.command, h.status) .. ")" end
  if h.length > 0 and total > COMMAND_HEADER then
    dissect_payload(tvb(offset + COMMAND_HEADER, total - COMMAND_HEADER):tvb(), pinfo, tree, h, reply, info)
  else
    dissect_payload(nil, pinfo, tree, h, reply, info)
  end
  tree:append_text(string.format(", %s: %s, seq %d", reply and "Reply" or "Request", name, h.sequence))
  info_parts[#info_parts + 1] = table.concat(info, " ")
end

function vktcmd.dissector(tvb, pinfo, root)
  local len = tvb:len()
  if len == 0 then return 0 end
  pinfo.cols.protocol:set("VKT-CMD")
  local info_parts = {}
  local offset = 0
  while offset < len do
    local remaining = len - offset
    if remaining < COMMAND_HEADER then
      if pinfo.can_desegment > 0 then
        pinfo.desegment_offset = offset
        pinfo.desegment_len = DESEGMENT_ONE_MORE_SEGMENT
        break
      end
      root:add(vktcmd, tvb(offset)):append_text(" (a header's first bytes)")
      offset = len
      break
    end
    local plen = tvb(offset + 20, 4):le_uint()
    if plen > MAX_MESSAGE_PAYLOAD then
      root:add(vktcmd, tvb(offset)):add_proto_expert_info(ce.not_header)
      info_parts[#info_parts + 1] = "[bytes out of step with the message headers]"
      offset = len
      break
    end
    local total = COMMAND_HEADER + plen
    if remaining < total then
      if pinfo.can_desegment > 0 then
        pinfo.desegment_offset = offset
        pinfo.desegment_len = total - remaining
        break
      end
      total = remaining  -- no reassembly: show what is here
    end
    dissect_message(tvb, pinfo, root, offset, total, info_parts)
    offset = offset + total
  end
  if #info_parts > 0 then pinfo.cols.info:set(table.concat(info_parts, "; ")) end
  return len
end

vktcmd.prefs.jpeg = Pref.bool("Dissect stored pictures as JPEG", true,
                              "Hand fetched stored pictures (1216) to the JPEG dissector")

---------------------------------------------------------------------------
-- Discovery
---------------------------------------------------------------------------

local vktdisc = Proto("vktdisc", "VKT camera discovery")

local discovery_types = {
  [1] = "Probe",
  [2] = "Answer",
  [3] = "Change-IP request",
  [4] = "Change-IP confirmation",
  [0] = "Unknown",
}

local df = {
  type = ProtoField.uint8("vktdisc.type", "Datagram type", base.DEC, discovery_types),
  probe = ProtoField.string("vktdisc.probe", "Probe"),
  keyword = ProtoField.string("vktdisc.keyword", "Keyword"),
  address = ProtoField.ipv4("vktdisc.ip", "IP address"),
  word1 = ProtoField.ipv4("vktdisc.address_word1", "Address word 1 (netmask on most cameras)"),
  word2 = ProtoField.ipv4("vktdisc.address_word2", "Address word 2 (gateway on most cameras)"),
  mac = ProtoField.ether("vktdisc.mac", "MAC address"),
  filler = ProtoField.bytes("vktdisc.filler", "Filler"),
  model = ProtoField.string("vktdisc.model", "Model"),
  info_text1 = ProtoField.string("vktdisc.info_text1", "Info text 1"),
  info_text2 = ProtoField.string("vktdisc.info_text2", "Info text 2"),
  reserved = ProtoField.bytes("vktdisc.reserved", "Reserved"),
  command_port_word = ProtoField.int32("vktdisc.command_port_word", "Command port word", base.DEC),
  command_port = ProtoField.uint16("vktdisc.command_port", "Command port", base.DEC),
  info_word = ProtoField.int32("vktdisc.info_word", "Info word", base.DEC),
  info_block = ProtoField.bytes("vktdisc.info_block", "Info block"),
  tail_word1 = ProtoField.int32("vktdisc.tail_word1", "Tail word 1", base.DEC),
  tail_word2 = ProtoField.int32("vktdisc.tail_word2", "Tail word 2", base.DEC),
  data = ProtoField.bytes("vktdisc.data", "Data"),
}
local disc_field_list = {}
for _, f in pairs(df) do disc_field_list[#disc_field_list + 1] = f end
vktdisc.fields = disc_field_list

local de = {
  size = ProtoExpert.new("vktdisc.size", "Datagram size differs from the format's",
                         expert.group.MALFORMED, expert.severity.WARN),
  unknown = ProtoExpert.new("vktdisc.unknown", "Not a discovery datagram the library knows",
                            expert.group.UNDECODED, expert.severity.NOTE),
}
vktdisc.experts = { de.size, de.unknown }

local PROBE = "Where_oKrimu_IPNC_Lumarest"
local ANSWER_KEYWORD = "IPNC_AnswerInfo="
local CHANGE_IP_KEYWORD = "oKrimu_IPNC_Change_IP"

-- Change-IP requests seen, by content: the confirmation is the same bytes
-- sent back by the camera.
local change_requests = {}
local change_kinds = {}

-- The MAC as six hex bytes (Info column: no vendor names).
local function mac_text(range)
  return (range:bytes():tohex():lower():gsub("(..)", "%1:"):sub(1, -2))
end

local function starts_with(tvb, text)
  return tvb:len() >= #text and tvb(0, #text):string() == text
end

local function dissect_answer(tvb, pinfo, tree)
  tree:add(df.keyword, tvb(0, 16))
  if tvb:len() < 396 then
    tree:add_proto_expert_info(de.size, tvb:len() .. " bytes; an answer has 396")
    tree:add(df.data, tvb(16))
    return "Answer (short)"
  end
  if tvb:len() > 396 then tree:add_proto_expert_info(de.size, tvb:len() .. " bytes; an answer has 396") end
  tree:add(df.address, tvb(16, 4))
  tree:add(df.word1, tvb(20, 4))
  tree:add(df.word2, tvb(24, 4))
  tree:add(df.mac, tvb(28, 6))
  local model = fixed_text(tvb(34, 32))
  tree:add(df.model, tvb(34, 32), model)
  tree:add(df.info_text1, tvb(66, 32), fixed_text(tvb(66, 32)))
  tree:add(df.info_text2, tvb(98, 32), fixed_text(tvb(98, 32)))
  tree:add(df.reserved, tvb(130, 70))
  local port_item = tree:add_le(df.command_port_word, tvb(200, 4))
  port_item:add(df.command_port, tvb(200, 4), tvb(200, 2):le_uint()):set_generated()
  for i = 0, 5 do
    local at = 204 + 4 * i
    tree:add_le(df.info_word, tvb(at, 4)):set_text(string.format("Info word %d: %d", i, tvb(at, 4):le_int()))
  end
  tree:add(df.info_block, tvb(228, 64))
  tree:add(df.reserved, tvb(292, 96))
  tree:add_le(df.tail_word1, tvb(388, 4))
  tree:add_le(df.tail_word2, tvb(392, 4))
  return string.format("Answer: %s %s %s port %d", tostring(tvb(16, 4):ipv4()), mac_text(tvb(28, 6)),
                       model, tvb(200, 2):le_uint())
end

local function dissect_change_ip(tvb, pinfo, tree)
  local len = tvb:len()
  local content = tvb():bytes():tohex()
  if not pinfo.visited and change_kinds[pinfo.number] == nil then
    -- The camera answers from the discovery port to the requester's port;
    -- when both ends use 34565, the first copy is the request.
    local kind
    if pinfo.src_port == DISCOVERY_PORT and pinfo.dst_port ~= DISCOVERY_PORT then
      kind = 4
    elseif pinfo.dst_port == DISCOVERY_PORT and pinfo.src_port ~= DISCOVERY_PORT then
      kind = 3
    else
      kind = change_requests[content] and 4 or 3
    end
    if kind == 3 then change_requests[content] = true end
    change_kinds[pinfo.number] = kind
  end
  local kind = change_kinds[pinfo.number] or 3
  tree:add(df.type, kind):set_generated()
  tree:add(df.keyword, tvb(0, 21))
  if len < 44 then
    tree:add_proto_expert_info(de.size, len .. " bytes; a change-IP request has 44")
    if len > 21 then tree:add(df.data, tvb(21)) end
    return discovery_types[kind] .. " (short)"
  end
  if len > 44 then tree:add_proto_expert_info(de.size, len .. " bytes; a change-IP request has 44") end
  tree:add(df.reserved, tvb(21, 3))
  tree:add(df.address, tvb(24, 4))
  tree:add(df.word1, tvb(28, 4))
  tree:add(df.word2, tvb(32, 4))
  tree:add(df.mac, tvb(36, 6))
  tree:add(df.filler, tvb(42, 2))
  return string.format("%s: %s -> %s", discovery_types[kind], mac_text(tvb(36, 6)),
                       tostring(tvb(24, 4):ipv4()))
end

function vktdisc.dissector(tvb, pinfo, root)
  local len = tvb:len()
  pinfo.cols.protocol:set("VKT-DISC")
  local tree = root:add(vktdisc, tvb())
  local info
  if starts_with(tvb, PROBE) then
    tree:add(df.type, 1):set_generated()
    tree:add(df.probe, tvb(0, #PROBE))
    if len ~= #PROBE then tree:add_proto_expert_info(de.size, len .. " bytes; a probe has 26") end
    info = "Probe"
  elseif starts_with(tvb, ANSWER_KEYWORD) then
    tree:add(df.type, 2):set_generated()
    info = dissect_answer(tvb, pinfo, tree)
  elseif starts_with(tvb, CHANGE_IP_KEYWORD) then
    info = dissect_change_ip(tvb, pinfo, tree)
  else
    tree:add(df.type, 0):set_generated()
    tree:add(df.data, tvb()):add_proto_expert_info(de.unknown)
    info = "Unknown datagram, " .. len .. " bytes"
  end
  tree:append_text(", " .. info)
  pinfo.cols.info:set(info)
  return len
end

---------------------------------------------------------------------------
-- Picture push and the JPEG framing it shares with stream frames
---------------------------------------------------------------------------

local vktpic = Proto("vktpic", "VKT camera picture push")

local pf = {
  soi = ProtoField.uint16("vktpic.soi", "Start of image", base.HEX),
  app0 = ProtoField.bytes("vktpic.app0", "JFIF APP0 segment"),
  app1_marker = ProtoField.uint16("vktpic.app1_marker", "APP1 marker", base.HEX),
  app1_length = ProtoField.uint16("vktpic.app1_length", "APP1 length", base.DEC),
  tag = ProtoField.string("vktpic.tag", "Tag"),
  source = ProtoField.uint32("vktpic.source", "Word 0: source", base.DEC, picture_sources),
  total_length = ProtoField.uint32("vktpic.total_length", "Word 4: total length", base.DEC),
  number = ProtoField.int32("vktpic.number", "Word 8: picture number", base.DEC),
  value = ProtoField.int32("vktpic.value", "Word 12: value", base.DEC),
  seconds = ProtoField.int32("vktpic.seconds", "Word 16: seconds since 1970", base.DEC),
  microseconds = ProtoField.int32("vktpic.microseconds", "Word 20: microseconds", base.DEC),
  time = ProtoField.absolute_time("vktpic.time", "Camera time", base.UTC),
  word24 = ProtoField.uint32("vktpic.word24", "Word 24", base.HEX),
  word28 = ProtoField.uint32("vktpic.word28", "Word 28", base.HEX),
  word32 = ProtoField.uint32("vktpic.word32", "Word 32", base.HEX),
  word36 = ProtoField.uint32("vktpic.word36", "Word 36", base.HEX),
  word40 = ProtoField.uint32("vktpic.word40", "Word 40", base.HEX),
  filler = ProtoField.bytes("vktpic.filler", "APP1 filler"),
  length = ProtoField.uint32("vktpic.length", "Picture length", base.DEC),
  data = ProtoField.bytes("vktpic.data", "Data"),
}
local pic_field_list = {}
for _, f in pairs(pf) do pic_field_list[#pic_field_list + 1] = f end
vktpic.fields = pic_field_list

local pe = {
  marker = ProtoExpert.new("vktpic.bad_marker", "No APP1 segment where the record belongs",
                           expert.group.MALFORMED, expert.severity.ERROR),
  short_app1 = ProtoExpert.new("vktpic.short_app1", "APP1 segment shorter than the library takes (46)",
                               expert.group.MALFORMED, expert.severity.ERROR),
  partial_record = ProtoExpert.new("vktpic.partial_record", "APP1 too short for record words 36 and 40",
                                   expert.group.PROTOCOL, expert.severity.NOTE),
  total = ProtoExpert.new("vktpic.total_length", "Total length out of range",
                          expert.group.MALFORMED, expert.severity.ERROR),
  truncated = ProtoExpert.new("vktpic.truncated", "Picture shorter than its total length",
                              expert.group.MALFORMED, expert.severity.WARN),
}
vktpic.experts = { pe.marker, pe.short_app1, pe.partial_record, pe.total, pe.truncated }

vktpic.prefs.ports = Pref.range("Picture ports", tostring(PICTURE_PORT),
                                "TCP ports the host takes pushed pictures on", 65535)
vktpic.prefs.jpeg = Pref.bool("Dissect pictures as JPEG", true, "Hand each pushed picture to the JPEG dissector")

-- SOI, APP0, and the APP1 marker and length that open both kinds of
-- picture. Returns the APP1 length, or nil when the marker is wrong.
local function add_jpeg_head(tvb, tree, fields, expert_marker)
  tree:add(fields.soi, tvb(0, 2))
  tree:add(fields.app0, tvb(2, 18))
  local marker_item = tree:add(fields.app1_marker, tvb(20, 2))
  local app1 = tvb(22, 2):uint()
  tree:add(fields.app1_length, tvb(22, 2))
  if tvb(20, 2):uint() ~= 0xFFE1 then
    marker_item:add_proto_expert_info(expert_marker)
    return nil, app1
  end
  return true, app1
end

local function dissect_picture(tvb, pinfo, root, total)
  local len = tvb:len()
  local tree = root:add(vktpic, tvb())
  local ok, app1 = add_jpeg_head(tvb, tree, pf, pe.marker)
  tree:add(pf.tag, tvb(24, 8), fixed_text(tvb(24, 8)))
  if app1 < 46 then tree:add_proto_expert_info(pe.short_app1, "APP1 length " .. app1) end
  if app1 < 47 then tree:add_proto_expert_info(pe.partial_record) end
  local record = tvb(32, 44)
  local r = tree:add(record, "Picture record (44 bytes)")
  r:add_le(pf.source, tvb(32, 4))
  r:add_le(pf.total_length, tvb(36, 4))
  r:add_le(pf.number, tvb(40, 4))
  r:add_le(pf.value, tvb(44, 4))
  r:add_le(pf.seconds, tvb(48, 4))
  r:add_le(pf.microseconds, tvb(52, 4))
  r:add(pf.time, tvb(48, 8), NSTime.new(tvb(48, 4):le_int(), tvb(52, 4):le_int() * 1000)):set_generated()
  r:add_le(pf.word24, tvb(56, 4))
  r:add_le(pf.word28, tvb(60, 4))
  r:add_le(pf.word32, tvb(64, 4))
  r:add_le(pf.word36, tvb(68, 4))
  r:add_le(pf.word40, tvb(72, 4))
  local segment_end = 22 + app1
  if segment_end > 76 and segment_end <= len then tree:add(pf.filler, tvb(76, segment_end - 76)) end
  tree:add(pf.length, len):set_generated()
  if len < total then tree:add_proto_expert_info(pe.truncated, string.format("%d of %d bytes", len, total)) end
  if ok == nil then tree:add(pf.data, tvb(24)) end
  tree:append_text(string.format(", %s, number %d, value %d, %d bytes",
    picture_sources[tvb(32, 4):le_uint()] or ("source " .. tvb(32, 4):le_uint()),
    tvb(40, 4):le_int(), tvb(44, 4):le_int(), len))
  return string.format("Picture: %s number=%d value=%d length=%d",
    picture_sources[tvb(32, 4):le_uint()] or ("source " .. tvb(32, 4):le_uint()),
    tvb(40, 4):le_int(), tvb(44, 4):le_int(), len), tree
end

-- Each push is one picture on its own connection; its record's total
-- length says where it ends (as the library reads it).
function vktpic.dissector(tvb, pinfo, root)
  local len = tvb:len()
  if len == 0 then return 0 end
  pinfo.cols.protocol:set("VKT-PIC")
  local infos = {}
  local offset = 0
  while offset < len do
    local remaining = len - offset
    if remaining < 76 then
      if pinfo.can_desegment > 0 then
        pinfo.desegment_offset = offset
        pinfo.desegment_len = 76 - remaining
        break
      end
      root:add(vktpic, tvb(offset)):add(pf.data, tvb(offset))
      infos[#infos + 1] = "Picture bytes (no reassembly)"
      break
    end
    local soi = tvb(offset, 2):uint() == 0xFFD8
    local marker = tvb(offset + 20, 2):uint()
    local total = tvb(offset + 36, 4):le_uint()
    if not soi or marker ~= 0xFFE1 or total < 76 or total > MAX_PICTURE then
      -- The library drops such a picture; its end is unknown, so the rest
      -- of the data is shown as it is.
      local rest = tvb(offset):tvb()
      if soi and marker == 0xFFE1 then
        local _, t = dissect_picture(rest, pinfo, root, total)
        t:add_proto_expert_info(pe.total, "total length " .. total)
        infos[#infos + 1] = string.format("Picture with total length out of range (%d), %d bytes", total, remaining)
      elseif soi then
        local t = root:add(vktpic, rest())
        add_jpeg_head(rest, t, pf, pe.marker)
        t:add(pf.data, rest(24))
        infos[#infos + 1] = string.format("Picture without its APP1 record (marker 0x%04x), %d bytes", marker, remaining)
      elseif pinfo.can_desegment == 0 then
        root:add(vktpic, rest()):add(pf.data, rest())
        infos[#infos + 1] = "Picture data (TCP reassembly is off), " .. remaining .. " bytes"
      else
        root:add(vktpic, rest()):add(pf.data, rest()):add_proto_expert_info(pe.marker, "no start of image")
        infos[#infos + 1] = "Picture data out of step, " .. remaining .. " bytes"
      end
      break
    end
    if remaining < total and pinfo.can_desegment > 0 then
      pinfo.desegment_offset = offset
      pinfo.desegment_len = total - remaining
      break
    end
    local size = math.min(total, remaining)
    local picture = tvb(offset, size):tvb()
    infos[#infos + 1] = dissect_picture(picture, pinfo, root, total)
    if vktpic.prefs.jpeg then call_jpeg(picture, pinfo, root) end
    offset = offset + size
  end
  pinfo.cols.protocol:set("VKT-PIC")
  if #infos > 0 then pinfo.cols.info:set(table.concat(infos, "; ")) end
  return len
end

---------------------------------------------------------------------------
-- Video stream
---------------------------------------------------------------------------

local vktstream = Proto("vktstream", "VKT camera video stream")

local sf = {
  index = ProtoField.uint32("vktstream.index", "Packet index", base.DEC),
  offset = ProtoField.uint32("vktstream.offset", "Frame offset", base.DEC),
  data = ProtoField.bytes("vktstream.data", "Frame data"),
  soi = ProtoField.uint16("vktstream.soi", "Start of image", base.HEX),
  app0 = ProtoField.bytes("vktstream.app0", "JFIF APP0 segment"),
  app1_marker = ProtoField.uint16("vktstream.app1_marker", "APP1 marker", base.HEX),
  app1_length = ProtoField.uint16("vktstream.app1_length", "APP1 length", base.DEC),
  tag = ProtoField.string("vktstream.tag", "Tag"),
  word0 = ProtoField.uint32("vktstream.word0", "Word 0", base.HEX),
  total_length = ProtoField.uint32("vktstream.total_length", "Word 4: total length", base.DEC),
  counter = ProtoField.int32("vktstream.counter", "Word 8: frame counter", base.DEC),
  seconds = ProtoField.int32("vktstream.seconds", "Word 12: seconds since 1970", base.DEC),
  microseconds = ProtoField.int32("vktstream.microseconds", "Word 16: microseconds", base.DEC),
  time = ProtoField.absolute_time("vktstream.time", "Camera time", base.UTC),
  word20 = ProtoField.uint32("vktstream.word20", "Word 20", base.HEX),
  word24 = ProtoField.uint32("vktstream.word24", "Word 24", base.HEX),
  word28 = ProtoField.uint32("vktstream.word28", "Word 28", base.HEX),
  packets = ProtoField.uint32("vktstream.packets", "Packets in the frame", base.DEC),
  frame_start = ProtoField.framenum("vktstream.frame_start", "Frame opened in", base.NONE, frametype.NONE),
  frame = ProtoField.int32("vktstream.frame", "Frame counter of the frame", base.DEC),
  last = ProtoField.bool("vktstream.last", "Last packet of the frame"),
}
local stream_field_list = {}
for _, f in pairs(sf) do stream_field_list[#stream_field_list + 1] = f end
vktstream.fields = stream_field_list

local se = {
  size = ProtoExpert.new("vktstream.size", "A stream datagram has 1024 bytes",
                         expert.group.MALFORMED, expert.severity.WARN),
  beyond = ProtoExpert.new("vktstream.beyond", "Index past the end of the frame",
                           expert.group.SEQUENCE, expert.severity.WARN),
  orphan = ProtoExpert.new("vktstream.orphan", "No packet 0 of this frame seen",
                           expert.group.SEQUENCE, expert.severity.NOTE),
  marker = ProtoExpert.new("vktstream.bad_marker", "No APP1 segment where the record belongs",
                           expert.group.MALFORMED, expert.severity.WARN),
}
vktstream.experts = { se.size, se.beyond, se.orphan, se.marker }

vktstream.prefs.ports = Pref.range("Stream ports", "",
  "UDP ports the host receives the video stream on (found without this from commands 1081 and the datagrams' shape)",
  65535)

-- Per receiver (address and port): the frame in progress. Per packet: the
-- frame it belongs to, fixed on the first pass.
local stream_flows = {}
local stream_packets = {}

local function flow_key(pinfo)
  -- Some cameras send parts of a frame from a second source port, so a
  -- flow is the sender's address and the receiving address and port.
  return tostring(pinfo.src) .. ">" .. tostring(pinfo.dst) .. ":" .. pinfo.dst_port
end

local function dissect_stream(tvb, pinfo, root)
  local len = tvb:len()
  pinfo.cols.protocol:set("VKT-STREAM")
  local tree = root:add(vktstream, tvb())
  if len < 4 then
    tree:add_proto_expert_info(se.size)
    return len
  end
  if len ~= STREAM_DATAGRAM then tree:add_proto_expert_info(se.size, len .. " bytes") end
  local index = tvb(0, 4):le_uint()
  tree:add_le(sf.index, tvb(0, 4))
  tree:add(sf.offset, index * STREAM_PACKET_DATA):set_generated()
  local key = flow_key(pinfo)
  if not pinfo.visited then
    if index == 0 and len >= 4 + 40 then
      local total = tvb(4 + 36, 4):le_uint()
      local packets = math.max(1, math.ceil(total / STREAM_PACKET_DATA))
      stream_flows[key] = { start = pinfo.number, counter = tvb(4 + 40, 4):le_int(), packets = packets }
    end
    local flow = stream_flows[key]
    if flow then
      stream_packets[pinfo.number .. ":" .. index] = flow
      if index + 1 >= flow.packets then stream_flows[key] = nil end
    end
  end
  local info
  local flow = stream_packets[pinfo.number .. ":" .. index]
  if index == 0 and len >= 4 + 64 then
    local frame = tvb(4):tvb()
    local ok, app1 = add_jpeg_head(frame, tree, sf, se.marker)
    tree:add(sf.tag, frame(24, 8), fixed_text(frame(24, 8)))
    local r = tree:add(frame(32, 32), "Stream record (32 bytes)")
    r:add_le(sf.word0, frame(32, 4))
    r:add_le(sf.total_length, frame(36, 4))
    r:add_le(sf.counter, frame(40, 4))
    r:add_le(sf.seconds, frame(44, 4))
    r:add_le(sf.microseconds, frame(48, 4))
    r:add(sf.time, frame(44, 8), NSTime.new(frame(44, 4):le_int(), frame(48, 4):le_int() * 1000)):set_generated()
    r:add_le(sf.word20, frame(52, 4))
    r:add_le(sf.word24, frame(56, 4))
    r:add_le(sf.word28, frame(60, 4))
    info = string.format("Stream packet 0: frame %d, %d bytes", frame(40, 4):le_int(), frame(36, 4):le_uint())
  else
    info = string.format("Stream packet %d", index)
  end
  if flow then
    tree:add(sf.packets, flow.packets):set_generated()
    tree:add(sf.frame, flow.counter):set_generated()
    if index > 0 then tree:add(sf.frame_start, flow.start):set_generated() end
    tree:add(sf.last, index + 1 == flow.packets):set_generated()
    if index >= flow.packets then tree:add_proto_expert_info(se.beyond) end
    if index > 0 then info = string.format("%s of %d, frame %d", info, flow.packets, flow.counter) end
  elseif index > 0 then
    tree:add_proto_expert_info(se.orphan)
  end
  tree:add(sf.data, tvb(4))
  tree:append_text(", index " .. index)
  pinfo.cols.info:set(info)
  return len
end

function vktstream.dissector(tvb, pinfo, root)
  return dissect_stream(tvb, pinfo, root)
end

-- A stream datagram: exactly 1024 bytes with an index no frame of at most
-- 4 MiB exceeds; packet 0 opens a JPEG whose APP1 segment holds the record.
-- Later packets carry no mark of their own, so they are taken only on a
-- port announced with 1081 or where a packet 0 was seen.
local function stream_heuristic(tvb, pinfo, root)
  if tvb:len() ~= STREAM_DATAGRAM then return false end
  local index = tvb(0, 4):le_uint()
  if index > MAX_STREAM_INDEX then return false end
  local announced = stream_target_ports[pinfo.dst_port]
  if index == 0 then
    local shaped = tvb(4, 2):uint() == 0xFFD8 and tvb(24, 2):uint() == 0xFFE1
    if not shaped and not announced then return false end
  elseif not announced and not stream_flows[flow_key(pinfo)] and not stream_packets[pinfo.number .. ":" .. index] then
    return false
  end
  dissect_stream(tvb, pinfo, root)
  return true
end

---------------------------------------------------------------------------
-- Registration
---------------------------------------------------------------------------

local tcp_ports = DissectorTable.get("tcp.port")
local udp_ports = DissectorTable.get("udp.port")

local registered = {}
local function register_ports(key, table_, proto, ranges)
  if registered[key] and registered[key] ~= "" then table_:remove(registered[key], proto) end
  if ranges and ranges ~= "" then table_:add(ranges, proto) end
  registered[key] = ranges
end

local function apply_prefs()
  register_ports("cmd", tcp_ports, vktcmd, vktcmd.prefs.ports)
  register_ports("pic", tcp_ports, vktpic, vktpic.prefs.ports)
  register_ports("stream", udp_ports, vktstream, vktstream.prefs.ports)
end

vktcmd.prefs_changed = apply_prefs
vktpic.prefs_changed = apply_prefs
vktstream.prefs_changed = apply_prefs

udp_ports:add(DISCOVERY_PORT, vktdisc)
tcp_ports:add_for_decode_as(vktcmd)
tcp_ports:add_for_decode_as(vktpic)
udp_ports:add_for_decode_as(vktstream)
vktstream:register_heuristic("udp", stream_heuristic)
apply_prefs()

-- Every new pass over a capture starts with empty tables.
function vktcmd.init()
  requests = {}
  reply_links = {}
  request_links = {}
  stream_target_ports = {}
  change_requests = {}
  change_kinds = {}
  stream_flows = {}
  stream_packets = {}
end
