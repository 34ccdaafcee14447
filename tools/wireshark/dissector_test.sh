#!/bin/sh
# The Wireshark dissector (vktnet.lua) against real traffic: vktcli drives an
# emulated camera while dumpcap captures the loopback interface, then tshark
# decodes the capture with the dissector and the decoded fields are checked.
# A small crafted capture adds command messages split over TCP segments and
# several messages in one segment.
#
# Run inside a private network namespace (search and change-ip broadcast):
#   tools/netns-run sh tools/wireshark/dissector_test.sh VKTCLI VKT_EMULATOR
# Exit codes: 0 every check passed, 1 a check or a step failed, 77 tshark
# is not installed (skipped).
set -u

script_name=dissector_test
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../tests/script_support.sh"
need_args 2 $# "dissector_test.sh VKTCLI VKT_EMULATOR"
cli=$1
emulator=$2
lua="$here/vktnet.lua"

if ! command -v tshark >/dev/null 2>&1; then
  echo "tshark is not installed: skipped"
  exit 77
fi
need_tools dumpcap text2pcap bash timeout
# Searches broadcast.
need_private_namespace

work=$(mktemp -d)
failure_logs="dumpcap.err emulator.out cli.log"
capture="$work/capture.pcapng"
control_port=34999
camera_ip=127.0.0.10
camera_mac=00:1c:27:00:00:10
camera_model=VKT-N2F0Kq
camera_port=30000
camera_name=dissector-test
moved_ip=127.0.0.77
snap_value=4242
trigger_value=77
dumpcap_pid=
emulator_pid=
listen_pid=

cleanup() {
  stop_process "$listen_pid"
  stop_process "$emulator_pid"
  stop_process "$dumpcap_pid"
  remove_work
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

run_cli() {
  echo "\$ vktcli $*" >>"$work/cli.log"
  (cd "$work" && timeout 60 "$cli" "$@") >>"$work/cli.log" 2>&1 || die "vktcli $* failed"
}

# ---------------------------------------------------------------- capture

# -a duration bounds the capture even if this script is killed.
dumpcap -i lo -w "$capture" -a duration:300 >"$work/dumpcap.out" 2>"$work/dumpcap.err" &
dumpcap_pid=$!
wait_for 15 'grep -q "Capturing on" "$work/dumpcap.err" && [ -s "$capture" ]' ||
  die "dumpcap did not start capturing"

"$emulator" --control "$control_port" \
  --camera "ip=$camera_ip,mac=$camera_mac,model=$camera_model,port=$camera_port,mask=255.255.255.0,gateway=127.0.0.1,name=$camera_name" \
  >"$work/emulator.out" 2>&1 &
emulator_pid=$!
wait_for 10 'grep -q "^ready$" "$work/emulator.out" || ! kill -0 "$emulator_pid" 2>/dev/null'
grep -q '^ready$' "$work/emulator.out" || die "the emulator did not start"

t="--timeout"
run_cli search $t 300
run_cli add --ip "$camera_ip" $t 300
run_cli get ae --ip "$camera_ip" $t 500
run_cli set ae 0 --ip "$camera_ip" $t 500
run_cli set rotation 180 --ip "$camera_ip" $t 500
run_cli get device-info --ip "$camera_ip" $t 500
run_cli get network --ip "$camera_ip" $t 500
run_cli state --ip "$camera_ip" $t 500
run_cli time get --ip "$camera_ip" $t 500
# A save is answered twice; without a delay between them the two replies
# often share a segment.
control cfault 0 100 completionDelayMs 0 | grep -q '^ok' || die "control: cfault"
run_cli save --ip "$camera_ip" $t 1000
control cfault 0 clear | grep -q '^ok' || die "control: cfault clear"

# The snapshot picture goes out in 1000-byte pieces, so its push spans many
# TCP segments and must be reassembled.
control pfault 0 chunkBytes 1000 | grep -q '^ok' || die "control: pfault chunkBytes"
control pfault 0 chunkDelayMs 2 | grep -q '^ok' || die "control: pfault chunkDelayMs"
run_cli snap --ip "$camera_ip" $t 2000 --value "$snap_value" --out "$work/snap.jpg"
control pfault 0 clear | grep -q '^ok' || die "control: pfault clear"

# A triggered picture, pushed while vktcli listens: trigger once the
# listener's push registration has reached the camera.
before=$(control commands 0 | sed -n 's/^ok n=\([0-9]*\).*/\1/p')
[ -n "$before" ] || die "control: commands"
(cd "$work" && timeout 60 "$cli" listen --ip "$camera_ip" --dir "$work/pictures" --duration 3 $t 500) \
  >>"$work/cli.log" 2>&1 &
listen_pid=$!
wait_for 10 '[ "$(control commands 0 | sed -n "s/^ok n=\([0-9]*\).*/\1/p")" -gt "$before" ]' ||
  die "the listener's push registration did not arrive"
control trigger 0 "$trigger_value" | grep -q '^ok' || die "control: trigger"
wait_for 20 '! kill -0 "$listen_pid" 2>/dev/null' || die "vktcli listen did not end"
wait "$listen_pid" || die "vktcli listen failed"
listen_pid=

run_cli stream --ip "$camera_ip" $t 1000 --frames 5
# Again with junk around every frame (1024-byte datagrams with index 0 from
# 127.0.0.250), odd packets from a second source port, middle packets swapped.
control sfault 0 foreignDatagrams 1 | grep -q '^ok' || die "control: sfault foreignDatagrams"
control sfault 0 reorder 1 | grep -q '^ok' || die "control: sfault reorder"
run_cli stream --ip "$camera_ip" $t 1000 --frames 3
control sfault 0 clear | grep -q '^ok' || die "control: sfault clear"

has_sd=no
if "$cli" --help 2>&1 | grep -q '^  sd '; then
  has_sd=yes
  # Larger than one loopback segment (64 KiB): the 1216 reply is reassembled.
  # In a directory of its own: the camera files the pictures it takes under
  # today's date, which is any day.
  control sd 0 add /20200101/big.jpg 200000 | grep -q '^ok' || die "control: sd add"
  run_cli sd state --ip "$camera_ip" $t 500
  run_cli sd ls / --ip "$camera_ip" $t 500
  run_cli sd ls /20200101 --ip "$camera_ip" $t 500
  run_cli sd get /20200101/big.jpg -o "$work/big.jpg" --ip "$camera_ip" $t 2000
fi

run_cli change-ip --mac "$camera_mac" --ip "$moved_ip" --search-timeout 300

# dumpcap hands packets to its file in batches: stop only once a marker
# datagram sent after all the traffic has reached the file.
marker=vktnet-capture-complete
tries=0
until grep -q "$marker" "$capture" 2>/dev/null; do
  tries=$((tries + 1))
  [ $tries -gt 10 ] && die "the capture file never caught up with the traffic"
  timeout 5 bash -c 'printf "%s" "$1" >/dev/udp/127.0.0.1/9' marker "$marker" ||
    die "cannot send the capture marker"
  wait_for 1 'grep -q "$marker" "$capture"'
done
stop_process "$dumpcap_pid"
dumpcap_pid=
stop_process "$emulator_pid"
emulator_pid=

# ------------------------------------------------------------ decoding

# tshark with no personal settings or plugins: only this dissector. The
# receivers' ports are ephemeral and may be one that another dissector owns
# (HCrt's 47000 was seen), so heuristics, ours among them, go first on UDP.
mkdir -p "$work/home"
shark() {
  HOME="$work/home" XDG_CONFIG_HOME="$work/home" timeout 120 tshark -X "lua_script:$lua" \
    -o udp.try_heuristic_first:TRUE --disable-protocol hcrt "$@" 2>>"$work/tshark.err"
}
# decode FILTER FIELD...: one line per matching packet, fields tab-separated.
decode() {
  filter=$1
  shift
  for f do set -- "$@" -e "$f"; shift; done
  shark -r "$capture" -Y "$filter" -T fields -E occurrence=a "$@"
}

passed=0
failed=0
check() {
  if [ "$2" = yes ]; then
    passed=$((passed + 1))
    echo "ok - $1"
  else
    failed=$((failed + 1))
    echo "FAIL - $1"
    [ -n "${3-}" ] && printf '%s\n' "$3" | head -n 15 | sed 's/^/    /'
  fi
}
yes_if() { if "$@"; then echo yes; else echo no; fi; }
# has_line TEXT LINE: TEXT has exactly this line. has_match TEXT REGEX: a line matches.
has_line() { printf '%s\n' "$1" | grep -Fqx -- "$2"; }
has_match() { printf '%s\n' "$1" | grep -q -- "$2"; }

# Every packet decodes without a Lua error or a malformed report.
verbose=$(shark -r "$capture" -V)
check "the capture decodes without Lua errors" \
  "$(yes_if test -z "$(printf '%s\n' "$verbose" | grep -i 'Lua Error')")" \
  "$(printf '%s\n' "$verbose" | grep -i -m 5 'Lua Error'; tail -n 5 "$work/tshark.err" 2>/dev/null)"
check "no packet is malformed" \
  "$(yes_if test -z "$(printf '%s\n' "$verbose" | grep -m 1 'Malformed')")" \
  "$(printf '%s\n' "$verbose" | grep -m 5 'Malformed')"

# Discovery.
out=$(decode 'vktdisc.type == 1' vktdisc.probe)
check "a discovery probe is decoded" \
  "$(yes_if has_line "$out" 'Where_oKrimu_IPNC_Lumarest')" "$out"
out=$(decode 'vktdisc.type == 2' vktdisc.ip vktdisc.mac vktdisc.model vktdisc.command_port \
  vktdisc.address_word1 vktdisc.info_text2)
check "an answer carries the camera's address, MAC, model, port and name" \
  "$(yes_if has_line "$out" "$camera_ip	$camera_mac	$camera_model	$camera_port	255.255.255.0	$camera_name")" \
  "$out"
out=$(decode 'vktdisc.type == 3' vktdisc.ip vktdisc.mac)
check "the change-IP request names the MAC and the new address" \
  "$(yes_if has_line "$out" "$moved_ip	$camera_mac")" "$out"
out=$(decode 'vktdisc.type == 4' vktdisc.ip vktdisc.mac udp.srcport)
check "the camera confirms the change-IP request from the discovery port" \
  "$(yes_if has_line "$out" "$moved_ip	$camera_mac	34565")" "$out"

# Command channel: a Get and its reply.
out=$(decode 'vktcmd.command == 704' frame.number vktcmd.type vktcmd.command_name vktcmd.sequence \
  vktcmd.status vktcmd.response_to tcp.dstport tcp.srcport)
check "command 704 is a request to the camera named Get AE mode, answered with its sequence" "$(printf '%s\n' "$out" |
  awk -F '\t' -v port="$camera_port" '
    $2 == 1 && $3 == "Get AE mode" && $7 == port { req[$4] = $1 }
    $2 == 2 && $3 == "Get AE mode" && $8 == port && $5 == 0 && ($4 in req) && $6 == req[$4] { good = 1 }
    END { print good ? "yes" : "no" }')" "$out"
out=$(decode 'vktcmd.command == 705 && vktcmd.type == 1' vktcmd.command_name vktcmd.value vktcmd.setting)
check "command 705 sets the AE mode to 0" \
  "$(yes_if has_line "$out" 'Set AE mode	0	AE mode')" "$out"
out=$(decode 'vktcmd.command == 1181 && vktcmd.type == 1' vktcmd.command_name vktcmd.value)
check "command 1181 sets the rotation to 180" \
  "$(yes_if has_line "$out" 'Set image rotation	180')" "$out"
out=$(decode 'vktcmd.command == 1000 && vktcmd.type == 2' vktcmd.length vktcmd.record.word)
check "the device information reply is 100 bytes shown as 25 words" "$(printf '%s\n' "$out" |
  awk -F '\t' '$1 == 100 && split($2, w, ",") == 25 { good = 1 } END { print good ? "yes" : "no" }')" "$out"
out=$(decode 'vktcmd.command == 1016 && vktcmd.type == 2' vktcmd.network.address vktcmd.network.word1 \
  vktcmd.network.word2)
check "the network reply holds the camera's address words" \
  "$(yes_if has_line "$out" "$camera_ip	255.255.255.0	127.0.0.1")" "$out"
out=$(decode 'vktcmd.command == 200 && vktcmd.type == 2' vktcmd.temperature)
check "the temperature reply decodes to 36.5 degrees" \
  "$(yes_if has_line "$out" '36.5')" "$out"

out=$(decode 'vktcmd.command == 1070 && vktcmd.type == 2' vktcmd.clock.seconds vktcmd.clock.microseconds \
  frame.time_epoch)
check "the clock reply holds the camera's time (the host's, within a minute)" "$(printf '%s\n' "$out" |
  awk -F '\t' '$1 != "" && $2 >= 0 && $2 < 1000000 && $1 - $3 < 60 && $3 - $1 < 60 { good = 1 }
    END { print good ? "yes" : "no" }')" "$out"
out=$(decode 'vktcmd.command == 100' vktcmd.type vktcmd.status vktcmd.response_to frame.number)
check "both replies of the save (0, then 11: saved) answer its request" "$(printf '%s\n' "$out" | awk -F '\t' '
  { n = split($1, type, ","); split($2, status, ","); split($3, to, ",")
    for (i = 1; i <= n; i++) {
      if (type[i] == 1) request = $4
      else if (to[i] == request && request != "") got = got " " status[i]
    } }
  END { print got == " 0 11" ? "yes" : "no" }')" "$out"

# Push registration and pictures.
out=$(decode 'vktcmd.command == 1080 && vktcmd.type == 1' vktcmd.command_name vktcmd.target.port \
  vktcmd.target.address ip.src)
check "command 1080 announces the host's picture port 34660 and its own address" "$(printf '%s\n' "$out" |
  awk -F '\t' '$1 == "Push target" && $2 == 34660 && $3 == $4 { good = 1 } END { print good ? "yes" : "no" }')" "$out"
out=$(decode 'vktpic.source' vktpic.source vktpic.value vktpic.number vktpic.total_length vktpic.length \
  vktpic.app1_length vktpic.soi vktpic.app1_marker vktpic.word24 vktpic.word40 tcp.segment.count tcp.dstport)
pictures_ok() { # SOURCE VALUE MIN_SEGMENTS
  printf '%s\n' "$out" | awk -F '\t' -v source="$1" -v value="$2" -v segments="$3" '
    function hex(s,   i, n, c) { n = 0; s = tolower(s); sub(/^0x/, "", s)
      for (i = 1; i <= length(s); i++) { c = index("0123456789abcdef", substr(s, i, 1)) - 1; n = n * 16 + c }
      return n }
    $1 == source && $2 == value && $4 == $5 && $4 > 76 && $6 == 54 && hex($7) == 65496 && hex($8) == 65505 &&
    hex($9) == 603979776 + $3 % 16777216 && hex($10) == 1073741824 + $3 % 16777216 &&
    $11 + 0 >= segments && $12 == 34660 { good = 1 }
    END { print good ? "yes" : "no" }'
}
check "the snapshot picture is reassembled from its pieces, with its APP1 record" \
  "$(pictures_ok 1 "$snap_value" 10)" "$out"
check "the triggered picture carries the trigger's value" "$(pictures_ok 2 "$trigger_value" 0)" "$out"
check "the snapshot request carries the value" \
  "$(yes_if test -n "$(decode "vktcmd.command == 102 && vktcmd.type == 1 && vktcmd.snapshot_value == $snap_value" frame.number)")"

# Stream.
out=$(decode 'vktcmd.command == 1081 && vktcmd.type == 1' frame.number vktcmd.target.port)
stream_port=$(printf '%s\n' "$out" | sed -n '1s/.*	//p')
faulty_from=$(printf '%s\n' "$out" | sed -n '2s/	.*//p')
two_targets() { [ -n "$stream_port" ] && [ -n "$faulty_from" ] && [ "$(printf '%s\n' "$out" | wc -l)" -eq 2 ]; }
check "command 1081 announces a stream port, once per stream run" "$(yes_if two_targets)" "$out"
out=$(decode 'vktcmd.command == 501 && vktcmd.type == 1' vktcmd.stream_mode)
check "command 501 starts (5) and stops (1) the stream" \
  "$(yes_if test "$(printf '%s\n' "$out" | tr '\n' ' ')" = "5 1 5 1 ")" "$out"
out=$(decode "vktstream && frame.number < ${faulty_from:-0}" udp.dstport vktstream.frame vktstream.index \
  vktstream.packets)
check "stream packets go to the announced port, each frame's indices consecutive from 0" "$(printf '%s\n' "$out" |
  awk -F '\t' -v port="$stream_port" '
    $1 != port { bad = 1 }
    $3 == 0 { if (open && next_index != packets) bad = 1; open = 1; frame = $2; next_index = 0; packets = $4
              if (frames > 0 && frame != last_frame + 1) bad = 1 }
    { if (!open || $2 != frame || $3 != next_index) bad = 1; next_index++ }
    next_index == packets && open { frames++; last_frame = frame; open = 0 }
    END { print (!bad && frames >= 3) ? "yes" : "no" }')" "$(printf '%s\n' "$out" | head -n 30)"
out=$(decode "vktstream && frame.number > ${faulty_from:-0}" ip.src vktstream.frame vktstream.index \
  vktstream.packets)
check "amid junk, reordering and a second source port, each camera frame gets all its packets" \
  "$(printf '%s\n' "$out" | awk -F '\t' -v ip="$camera_ip" '
    $1 == "127.0.0.250" { junk++ }
    $1 == ip { if ($2 == "") bad = 1; seen[$2 SUBSEP $3]++; packets[$2] = $4; if ($3 == 0) opened[$2] = 1 }
    END {
      for (k in packets) {
        if (!opened[k]) bad = 1
        n = 0
        for (i = 0; i < packets[k]; i++) if (seen[k, i] == 1) n++
        if (n == packets[k]) complete++
      }
      print (!bad && junk >= 3 && complete >= 3) ? "yes" : "no"
    }')" "$(printf '%s\n' "$out" | head -n 30)"

# SD card.
if [ "$has_sd" = yes ]; then
  out=$(decode 'vktcmd.command == 1200 && vktcmd.type == 2' vktcmd.sd.status vktcmd.sd.capacity)
  check "the SD card state reply: ready, 32768 MiB" "$(yes_if has_line "$out" '1	32768')" "$out"
  out=$(decode 'vktcmd.command == 1210 && vktcmd.type == 1' vktcmd.dir.path vktcmd.length)
  check "directory listing requests carry the path in 264 bytes" \
    "$(yes_if has_line "$out" '/20200101	264')" "$out"
  out=$(decode 'vktcmd.command == 1210 && vktcmd.type == 2' vktcmd.dir.tree vktcmd.dir.path vktcmd.dir.count \
    vktcmd.dir.entry.value vktcmd.dir.entry.name)
  # The seeded days, the added directory and, unless it is one of them,
  # the day the camera filed its pictures under.
  check "the root listing names its directories (value -1)" "$(printf '%s\n' "$out" | awk -F '\t' '
    $1 == 1 && $2 == "/" {
      n = split($4, values, ","); m = split($5, names, ",")
      ok = n == $3 && m == $3 && $3 >= 3
      for (i = 1; i <= n; i++) if (values[i] != -1) ok = 0
      seen = 0
      for (i = 1; i <= m; i++) if (names[i] == "20200101" || names[i] == "20261208" || names[i] == "20261209") seen++
      if (ok && seen == 3) good = 1
    }
    END { print good ? "yes" : "no" }')" "$out"
  check "the directory listing names the stored picture with its size" \
    "$(yes_if has_match "$out" "^1	/20200101	1	200000	big.jpg$")" "$out"
  out=$(decode 'vktcmd.command == 1216' vktcmd.type vktcmd.file.name vktcmd.picture.length tcp.segment.count)
  size=$(wc -c <"$work/big.jpg" | tr -d ' ')
  check "the fetch request names the picture; the reply, reassembled, holds all its bytes" "$(printf '%s\n' "$out" |
    awk -F '\t' -v size="$size" '
      $1 == 1 && $2 == "/20200101/big.jpg" { req = 1 }
      $1 == 2 && $3 == size && $4 + 0 >= 2 { rep = 1 }
      END { print (req && rep) ? "yes" : "no" }')" "$out"
else
  echo "note: this vktcli has no 'sd' command; the SD card checks did not run"
fi

# --------------------------------------------- crafted segmentation

# Camera 127.0.0.10:30000, host 127.0.0.1:40000: a Get AE mode request,
# then its reply and the first 10 bytes of an SD state reply in one
# segment, then the rest of that reply and a whole format-progress reply.
le() { printf '%08x' $(($1 & 0xFFFFFFFF)) | sed 's/\(..\)\(..\)\(..\)\(..\)/\4\3\2\1/'; }
header() { printf '%s' "$(le 257)$(le 0)$(le "$1")$(le "$2")$(le "$3")$(le "$4")$(le "$5")"; }
dump() { printf '%s\n' "$2" | sed 's/../& /g' | fold -w 48 | awk -v dir="$1" '{ printf "%s%06x %s\n", (NR == 1 ? dir "\n" : ""), (NR - 1) * 16, $0 }'; }
request=$(header 704 7 0 0 0)
reply=$(header 704 7 0 0 1)
sd=$(header 1200 8 0 12 0)$(le 1)$(le 32768)$(le 1024)
progress=$(header 1206 9 0 0 55)
sd_head=$(printf '%s' "$sd" | cut -c 1-20)
sd_tail=$(printf '%s' "$sd" | cut -c 21-)
{
  dump I "$request"
  dump O "$reply$sd_head"
  dump O "$sd_tail$progress"
} >"$work/crafted.txt"
text2pcap -q -D -4 127.0.0.1,127.0.0.10 -T 40000,30000 "$work/crafted.txt" "$work/crafted.pcapng" >/dev/null 2>&1 ||
  die "text2pcap failed"
out=$(shark -r "$work/crafted.pcapng" -Y vktcmd -T fields -E occurrence=a \
  -e frame.number -e vktcmd.type -e vktcmd.command -e vktcmd.sequence -e vktcmd.value -e vktcmd.sd.capacity \
  -e vktcmd.response_to)
check "a reply and a message's first bytes in one segment, its rest and another in the next" \
  "$(yes_if test "$out" = "$(printf '1\t1\t704\t7\t0\t\t\n2\t2\t704\t7\t1\t\t1\n3\t2,2\t1200,1206\t8,9\t0,55\t32768\t')")" \
  "$out"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
