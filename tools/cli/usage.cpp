#include "usage.h"

#include "commands.h"

namespace vktcli {

namespace {

constexpr std::string_view kExitCodes =
    "Exit codes:\n"
    "  0  success\n"
    "  1  the camera call failed (or no such camera was found)\n"
    "  2  usage error\n"
    "  3  the library could not start\n";

}  // namespace

const std::string_view kSearchUsage =
    "Usage: vktcli search [--timeout MS] [--json]\n"
    "\n"
    "Finds the cameras on the local network by UDP broadcast and lists them.\n"
    "\n"
    "Options:\n"
    "  --timeout MS  how long to listen for answers, in milliseconds\n"
    "                (default 1000; the search may take up to 1.5 times this)\n"
    "  --json        print a JSON array instead of the table\n"
    "\n"
    "The NETMASK and GATEWAY columns show two address words whose meaning the\n"
    "camera defines; most cameras report their netmask and gateway there.\n"
    "In JSON they are addressWord1 and addressWord2.\n"
    "\n"
    "Prints \"no camera found\" (or [] with --json) when nothing answers.\n";

const std::string_view kAddUsage =
    "Usage: vktcli add --ip ADDRESS [--timeout MS] [--json]\n"
    "\n"
    "Adds the camera at ADDRESS (found by a search first) and shows the device\n"
    "record the search returned for it, then deletes it again.\n"
    "\n"
    "Options:\n"
    "  --ip ADDRESS   the camera's current IPv4 address\n"
    "  --timeout MS   how long the search lasts, and again how long adding\n"
    "                 the camera may take (default 1000)\n"
    "  --json         print the record as JSON\n";

const std::string_view kChangeIpUsage =
    "Usage: vktcli change-ip (--mac MAC | --from CURRENT_IP) --ip NEW_IP\n"
    "                        [--netmask A.B.C.D] [--gateway A.B.C.D]\n"
    "                        [--timeout MS] [--search-timeout MS]\n"
    "\n"
    "Gives a camera a new IPv4 address. The camera is first found by a search,\n"
    "by its MAC address or by the address it has now; the camera need not be\n"
    "reachable on its current address, since the change goes out by broadcast.\n"
    "\n"
    "Options:\n"
    "  --mac MAC            the camera's MAC, e.g. 00:1c:27:00:00:10\n"
    "  --from CURRENT_IP    the camera's current address\n"
    "  --ip NEW_IP          the new address\n"
    "  --netmask A.B.C.D    new first address word (the netmask on most\n"
    "                       cameras); default: keep the camera's value\n"
    "  --gateway A.B.C.D    new second address word (the gateway on most\n"
    "                       cameras); default: keep the camera's value\n"
    "  --timeout MS         how long to wait for the camera's confirmation\n"
    "                       (default 3000; 0 checks once)\n"
    "  --search-timeout MS  how long the search lasts (default 1000)\n"
    "\n"
    "On success prints \"changed MAC: OLD_IP -> NEW_IP\".\n";

// The options every camera subcommand shares.
#define VKT_CAMERA_OPTIONS                                                      \
  "  --ip ADDRESS  the camera's IPv4 address (it is found by a search first)\n" \
  "  --timeout MS  how long the search lasts, and the time-out of each camera\n" \
  "                call (default 1000)\n"

const std::string_view kGetUsage =
    "Usage: vktcli get NAME --ip ADDRESS [--timeout MS] [--json]\n"
    "\n"
    "Reads the setting NAME of the camera at ADDRESS and prints it.\n"
    "\"vktcli settings\" lists the names and what each allows.\n"
    "\n"
    "Output:\n"
    "  a value        the number, e.g. 90\n"
    "  a record       one line per field: \"word0: 5\", \"word1: 7\", ...;\n"
    "                 addresses as dotted quads (\"ipAddress: 192.168.1.10\")\n"
    "  a byte record  \"hex: 00ff...\" with every byte, and \"text: ...\" with\n"
    "                 the printable text found in them, if any\n"
    "  entries        one line per entry: \"entry 0: enabled=1 number4=0 ...\"\n"
    "With --json: {\"value\": 90}, {\"word0\": 5, \"word1\": 7}, {\"hex\": \"00ff...\"}\n"
    "or {\"entries\": [{\"enabled\": 1, ...}, ...]}, which \"vktcli set NAME --json\"\n"
    "takes back unchanged.\n"
    "\n"
    "Options:\n" VKT_CAMERA_OPTIONS
    "  --json        print JSON\n";

const std::string_view kGetDefaultUsage =
    "Usage: vktcli get-default NAME --ip ADDRESS [--timeout MS] [--json]\n"
    "\n"
    "Reads the camera's factory value of the setting NAME and prints it like\n"
    "\"vktcli get\". Only some settings have one: see the DEFAULT column of\n"
    "\"vktcli settings\".\n"
    "\n"
    "Options:\n" VKT_CAMERA_OPTIONS
    "  --json        print JSON\n";

const std::string_view kSetUsage =
    "Usage: vktcli set NAME VALUE... --ip ADDRESS [--timeout MS]\n"
    "       vktcli set NAME --json JSON --ip ADDRESS [--timeout MS]\n"
    "       vktcli set NAME --json-file PATH --ip ADDRESS [--timeout MS]\n"
    "\n"
    "Writes the setting NAME of the camera at ADDRESS. Prints nothing on\n"
    "success. \"vktcli settings\" lists the names and what each allows.\n"
    "\n"
    "VALUE:\n"
    "  a value        one number\n"
    "  a record       one value per field, every field, in order: numbers for\n"
    "                 words, dotted quads for addresses\n"
    "  a byte record  one hex string; shorter hex is padded with zero bytes\n"
    "  entries        no VALUE: give every entry with --json or --json-file\n"
    "Numbers are decimal, negative or hex with 0x (90, -5, 0x1f) and must fit\n"
    "a signed 32-bit word. The camera call may still refuse a value it does\n"
    "not take (rotation 45, say).\n"
    "\n"
    "Take care with these:\n"
    "  network         a new ipAddress moves the camera to that address as soon\n"
    "                  as the set succeeds; later commands need --ip NEW_ADDRESS.\n"
    "                  Addresses 0.x.x.x, multicast and broadcast are refused.\n"
    "  trigger-inputs  writes the flash-lamp-param words as 0; set those again\n"
    "                  afterwards if they matter.\n"
    "\n"
    "Options:\n" VKT_CAMERA_OPTIONS
    "  --json JSON       the setting as \"vktcli get NAME --json\" prints it;\n"
    "                    \"-\" reads it from standard input\n"
    "  --json-file PATH  the same from a file (\"-\": standard input)\n"
    "\n"
    "Examples:\n"
    "  vktcli set rotation 180 --ip 192.168.1.10\n"
    "  vktcli set ae-param 120 -3 --ip 192.168.1.10\n"
    "  vktcli set network 192.168.1.20 255.255.255.0 192.168.1.1 --ip 192.168.1.10\n"
    "  vktcli get ae-param --json --ip 192.168.1.10 | vktcli set ae-param --json - --ip 192.168.1.11\n"
    "  vktcli get trigger-inputs --json --ip 192.168.1.10 > triggers.json\n"
    "  vktcli set trigger-inputs --json-file triggers.json --ip 192.168.1.10\n";

const std::string_view kSettingsUsage =
    "Usage: vktcli settings [--json]\n"
    "\n"
    "Lists the setting NAMEs of get, get-default and set: whether each is a\n"
    "single value, a record (and its words or bytes) or a row of entries,\n"
    "whether it can be read, written and read as a factory default, and what\n"
    "it is. Contacts no camera.\n"
    "\n"
    "Options:\n"
    "  --json  print a JSON array (with each record's field names)\n";

const std::string_view kSaveUsage =
    "Usage: vktcli save --ip ADDRESS [--timeout MS]\n"
    "\n"
    "Makes the camera store its settings permanently. Prints nothing on\n"
    "success; fails with VKT_ERR_SAVE_PENDING when the camera has not confirmed\n"
    "the save within the time-out.\n"
    "\n"
    "Options:\n" VKT_CAMERA_OPTIONS;

const std::string_view kResetUsage =
    "Usage: vktcli reset --ip ADDRESS --mode 0|1 [--timeout MS]\n"
    "\n"
    "Resets the camera, which then restarts. Prints nothing on success.\n"
    "\n"
    "Options:\n"
    "  --mode M      the reset mode, 0 or 1 (required)\n" VKT_CAMERA_OPTIONS;

const std::string_view kStateUsage =
    "Usage: vktcli state --ip ADDRESS [--timeout MS] [--json]\n"
    "\n"
    "Shows whether the camera answers (state: 0) and its temperature, work mode,\n"
    "camera mode, electricity and flash lamp state, one \"name: value\" line each.\n"
    "A value whose call fails is left out (null in JSON), the failure is\n"
    "reported and the exit code is 1.\n"
    "\n"
    "Options:\n" VKT_CAMERA_OPTIONS
    "  --json        print one JSON object: state, temperature, workMode,\n"
    "                cameraMode, electricity, flashLamp\n";

const std::string_view kParamStateUsage =
    "Usage: vktcli param-state --ip ADDRESS [--timeout MS] [--json]\n"
    "\n"
    "Prints \"ready\" when the camera takes commands (no configuration save\n"
    "pending in this connection), else fails with the reason. Since every\n"
    "vktcli run adds the camera afresh, this mostly shows the camera is reachable.\n"
    "\n"
    "Options:\n" VKT_CAMERA_OPTIONS
    "  --json        print {\"state\": \"ready\"}\n";

const std::string_view kTimeUsage =
    "Usage: vktcli time get --ip ADDRESS [--timeout MS] [--json]\n"
    "       vktcli time set (--now | --at \"YYYY-MM-DD HH:MM:SS[.mmm]\") [--extra N]\n"
    "                       --ip ADDRESS [--timeout MS]\n"
    "       vktcli time sync --ip ADDRESS [--timeout MS]\n"
    "\n"
    "The camera's clock, as the camera keeps it: no time zone is applied either\n"
    "way (the camera's own time zone is \"vktcli get time-zone\").\n"
    "\n"
    "  get   prints \"2026-12-08 22:30:00.000 extra=5\": the date and time, and\n"
    "        a word the camera keeps with its clock (its meaning is the camera's)\n"
    "  set   sets the clock; prints nothing on success\n"
    "  sync  makes the camera synchronise its clock now (by its SNTP\n"
    "        settings); prints nothing on success\n"
    "\n"
    "Options:\n" VKT_CAMERA_OPTIONS
    "  --json        get: print {\"year\", \"month\", \"day\", \"hour\", \"minute\",\n"
    "                \"second\", \"milliseconds\", \"dayOfWeek\" (0 Sunday), \"extra\"}\n"
    "  --now         set: the host's clock in UTC\n"
    "  --at TIME     set: this time, \"YYYY-MM-DD HH:MM:SS\" or with \".mmm\"\n"
    "                milliseconds; it must exist in the calendar (no February 30)\n"
    "                and lie within the camera's clock range, 1901-12-13 20:45:52\n"
    "                to 2038-01-19 03:14:07\n"
    "  --extra N     set: the extra word to store (default: keep the camera's)\n"
    "\n"
    "Examples:\n"
    "  vktcli time set --at \"2026-12-08 22:30:00\" --ip 192.168.1.10\n"
    "  vktcli time get --json --ip 192.168.1.10\n";

const std::string_view kConfigUsage =
    "Usage: vktcli config export FILE --ip ADDRESS [--timeout MS]\n"
    "       vktcli config import FILE --ip ADDRESS [--timeout MS]\n"
    "\n"
    "export writes nine settings of the camera into FILE (652 bytes): ftp,\n"
    "device-info, its, night-control, sntp, pic-file-name, osd, awb and\n"
    "awb-param. import applies such a file, in the same order; awb-param only\n"
    "when the file's awb is 0. Both print nothing on success.\n"
    "\n"
    "A FILE that cannot be read, or is shorter than 652 bytes, is refused before\n"
    "anything is sent. When a camera call fails part way, an exported FILE holds\n"
    "only what was read before, and an import has applied the settings before.\n"
    "\n"
    "Options:\n" VKT_CAMERA_OPTIONS
    "                (each of the nine calls has the whole time-out)\n"
    "\n"
    "Example:\n"
    "  vktcli config export camera10.cfg --ip 192.168.1.10\n"
    "  vktcli config import camera10.cfg --ip 192.168.1.11\n";

const std::string_view kSnapUsage =
    "Usage: vktcli snap --ip ADDRESS [--out FILE] [--value N] [--timeout MS] [--json]\n"
    "\n"
    "Asks the camera at ADDRESS for a picture, waits for the camera to push it,\n"
    "writes it to FILE and shows what came with it.\n"
    "\n"
    "The request carries the number N, and cameras put it into the record of the\n"
    "picture they push (its \"value\"). snap waits for the picture with value N;\n"
    "when none comes within the time-out it takes the first picture that arrived\n"
    "after the request (from a camera that does not echo the value, or a\n"
    "triggered one) and says so on standard error. A distinct N for each snap\n"
    "tells its picture apart from triggered ones.\n"
    "\n"
    "Options:\n"
    "  --ip ADDRESS  the camera's IPv4 address (it is found by a search first)\n"
    "  --timeout MS  how long the search lasts, the time-out of each camera call,\n"
    "                and how long to wait for the picture once the camera has\n"
    "                accepted the request (default 1000)\n"
    "  --out FILE    where to write the picture (default:\n"
    "                snapshot-ADDRESS-YYYYMMDD-HHMMSS-mmm.jpg in the current\n"
    "                directory, after the picture's time stamp)\n"
    "  --value N     the number the request carries (default 0)\n"
    "  --json        print one JSON object instead of the lines below\n"
    "\n"
    "Output:\n"
    "  file          where the picture went\n"
    "  size          its length in bytes\n"
    "  camera        the handle the library gave the camera for this run\n"
    "  time          the camera's time stamp, YYYY-MM-DD HH:MM:SS.mmm\n"
    "  recordWord8, recordWord24, recordWord28, recordWord32, recordWord36,\n"
    "  recordWord40  words of the picture's record as the camera sent them;\n"
    "                36 and 40 read \"absent\" (null in JSON) when the record is\n"
    "                too short to hold them\n"
    "  value         the value the picture carried\n"
    "\n"
    "Fails when the camera refuses the request, or with \"no picture arrived\n"
    "within MS ms\" when none came.\n"
    "\n"
    "Example:\n"
    "  vktcli snap --ip 192.168.1.10 --out gate.jpg --value 17\n";

const std::string_view kListenUsage =
    "Usage: vktcli listen --ip ADDRESS [--ip ADDRESS]... [--dir DIR]\n"
    "                     [--duration SECONDS] [--timeout MS]\n"
    "\n"
    "Receives the pictures the cameras push (triggered pictures, and snapshots\n"
    "anyone requests) and writes each to a file of its own in DIR:\n"
    "  ADDRESS-YYYYMMDD-HHMMSS-mmm-N.jpg\n"
    "after the camera, the picture's time stamp (the host's local time of\n"
    "arrival when the camera's is not a valid time) and a running number N from\n"
    "1, so names never collide.\n"
    "\n"
    "Once a second a line on standard error shows the pictures received per\n"
    "camera and in total, pictures/s and MB/s (10^6 bytes) over that second, and\n"
    "how many were dropped; on a terminal the line is rewritten in place. At the\n"
    "end one summary line goes to standard output.\n"
    "\n"
    "Files are written by a thread of their own. When the disk falls behind by\n"
    "256 pictures or 64 MiB, further pictures are dropped and counted rather\n"
    "than the cameras held up.\n"
    "\n"
    "Stops after --duration, or on SIGINT (Ctrl-C) or SIGTERM: the pictures\n"
    "still queued are written, the cameras deleted, the summary printed, and the\n"
    "exit code is 0.\n"
    "\n"
    "Options:\n"
    "  --ip ADDRESS        a camera's IPv4 address; repeat it for more cameras\n"
    "                      (one search finds them all)\n"
    "  --dir DIR           where the files go (default: the current directory;\n"
    "                      made if missing)\n"
    "  --duration SECONDS  stop after this many whole seconds (default: run until\n"
    "                      SIGINT or SIGTERM)\n"
    "  --timeout MS        how long the search lasts, and the time-out for telling\n"
    "                      each camera where to push (default 1000)\n"
    "\n"
    "Fails also when a picture could not be written; the first reason is shown.\n"
    "\n"
    "Example:\n"
    "  vktcli listen --ip 192.168.1.10 --ip 192.168.1.11 --dir pictures --duration 60\n";

const std::string_view kStreamUsage =
    "Usage: vktcli stream --ip ADDRESS [--seconds S | --frames N] [--dir DIR]\n"
    "                     [--timeout MS] [--json]\n"
    "\n"
    "Starts the video stream of the camera at ADDRESS, receives it for S seconds\n"
    "(default 5) or until N frames have come, stops it and sums up what came.\n"
    "Each frame is one JPEG picture.\n"
    "\n"
    "Once a second a line on standard error shows the frames received so far,\n"
    "frames/s and MB/s (10^6 bytes) over that second, and how many frames were\n"
    "missed and dropped; on a terminal the line is rewritten in place.\n"
    "\n"
    "With --dir every frame is written to a file of its own in DIR:\n"
    "  ADDRESS-stream-N.jpg\n"
    "where N counts the frames received in this run from 1. Files are written by\n"
    "a thread of their own; when the disk falls behind by 256 frames or 64 MiB,\n"
    "further frames are dropped and counted (their numbers are left out) rather\n"
    "than the stream held up.\n"
    "\n"
    "SIGINT (Ctrl-C) or SIGTERM stops early: the stream is stopped, the queued\n"
    "frames are written and the summary is printed as at the normal end.\n"
    "\n"
    "Options:\n"
    "  --ip ADDRESS  the camera's IPv4 address (it is found by a search first)\n"
    "  --timeout MS  how long the search lasts, and the time-out of adding the\n"
    "                camera and of starting and stopping its stream (default\n"
    "                1000; some cameras take a second more to stop)\n"
    "  --seconds S   receive for S whole seconds (default 5)\n"
    "  --frames N    receive until N frames have come, with no time limit\n"
    "  --dir DIR     write the frames to DIR (made if missing)\n"
    "  --json        print the summary as one JSON object\n"
    "\n"
    "Summary (JSON key in brackets):\n"
    "  frames        frames received, dropped ones too (frames)\n"
    "  seconds       how long the stream ran (seconds)\n"
    "  fps           the frame rate, from the first frame's arrival to the\n"
    "                last's (fps)\n"
    "  MB/s          10^6 bytes per second at that rate (megabytesPerSecond;\n"
    "                bytes: the total received); both n/a (null) for one frame\n"
    "  average size, min size, max size\n"
    "                of the frames, in bytes (averageSize, minSize, maxSize)\n"
    "  missed        frames the camera numbered but that never arrived: a jump\n"
    "                of its frame counter (recordWord8) by k counts k-1; a step\n"
    "                back (the camera restarted the counter) counts none (missed)\n"
    "  dropped       frames not written because the disk fell behind (dropped)\n"
    "  written       with --dir: the files written (dir, written, writeFailures)\n"
    "\n"
    "Fails when the stream cannot be started (the reason is shown), with \"no\n"
    "frame arrived\" when none came, or when a frame could not be written.\n"
    "\n"
    "Examples:\n"
    "  vktcli stream --ip 192.168.1.10 --seconds 10\n"
    "  vktcli stream --ip 192.168.1.10 --frames 50 --dir frames --json\n";

const std::string_view kSdUsage =
    "Usage: vktcli sd state --ip ADDRESS [--timeout MS] [--json]\n"
    "       vktcli sd format --ip ADDRESS [--wait SECONDS] [--timeout MS] [--json]\n"
    "       vktcli sd ls [PATH] --ip ADDRESS [--timeout MS] [--json]\n"
    "       vktcli sd get NAME [-o FILE] --ip ADDRESS [--timeout MS] [--json]\n"
    "       vktcli sd rm NAME --ip ADDRESS [--timeout MS]\n"
    "       vktcli sd pull PATH DIR --ip ADDRESS [--timeout MS] [--json]\n"
    "\n"
    "The SD card of the camera at ADDRESS and the pictures stored on it. Paths\n"
    "on the card start with '/' and have at most 255 bytes; the root \"/\" holds\n"
    "directories, a directory such as /20261209 holds pictures, and NAME is a\n"
    "picture's full path, e.g. /20261209/103015_001.jpg.\n"
    "\n"
    "  state   prints the three words the camera reports for its card, \"word0: 1\",\n"
    "          \"word1: ...\", \"word2: ...\". Their meaning is the camera's; the\n"
    "          emulator, for one, reports whether a card is there (0 none, 1\n"
    "          ready, 2 formatting), its capacity and its free space in MiB.\n"
    "  format  ERASES THE CARD: starts formatting it, then asks for the\n"
    "          progress every 200 ms and shows it (a bar rewritten in place on\n"
    "          a terminal, a line per change elsewhere, on standard error) until\n"
    "          it reaches 100 or --wait is over; then prints \"progress: 100\" and\n"
    "          the card's state as \"sd state\" does.\n"
    "  ls      lists the directory PATH (default \"/\"), one line per entry: its\n"
    "          name and \"directory\" or the picture's size (\"123456 bytes\"); a\n"
    "          value the camera gives that is neither shows as \"value N\".\n"
    "  get     fetches the picture NAME and writes it to FILE (default: the\n"
    "          picture's own name in the current directory). An existing FILE is\n"
    "          replaced. Prints \"file: FILE\" and \"size: N bytes\".\n"
    "  rm      deletes the picture NAME. Prints nothing on success.\n"
    "  pull    lists PATH and writes every picture in it to a file of the same\n"
    "          name in DIR (made if missing; existing files of those names are\n"
    "          replaced), with progress on standard error, then prints how many\n"
    "          files and bytes came. Entries that are not pictures are skipped;\n"
    "          a picture that cannot be fetched or written, or whose name could\n"
    "          not stay inside DIR, is reported, the rest are still pulled, and\n"
    "          the exit code is 1.\n"
    "\n"
    "Options:\n" VKT_CAMERA_OPTIONS
    "  --wait SECONDS  format: how long the format may take in all (default 120);\n"
    "                  when it is over the command fails, though the camera may\n"
    "                  still be formatting\n"
    "  -o, --out FILE  get: where to write the picture\n"
    "  --json          state: {\"word0\", \"word1\", \"word2\"}; format: the same\n"
    "                  with \"progress\" first; ls: {\"path\", \"entries\": [{\"name\",\n"
    "                  \"value\"}, ...]} with value -1 for a directory, else the\n"
    "                  size; get: {\"file\", \"size\"}; pull: {\"path\", \"dir\",\n"
    "                  \"files\", \"bytes\", \"failed\", \"skipped\"}\n"
    "\n"
    "Examples:\n"
    "  vktcli sd ls /20261209 --ip 192.168.1.10\n"
    "  vktcli sd get /20261209/103015_001.jpg -o gate.jpg --ip 192.168.1.10\n"
    "  vktcli sd pull /20261209 pictures-20261209 --ip 192.168.1.10\n";

#undef VKT_CAMERA_OPTIONS

std::string CommandHelp(std::string_view usage) {
  return std::string(usage) + "\n" + std::string(kExitCodes);
}

std::string OverviewUsage() {
  std::string text =
      "Usage: vktcli COMMAND [OPTIONS]\n"
      "       vktcli help [COMMAND]\n"
      "       vktcli COMMAND --help\n"
      "\n"
      "Commands:\n";
  for (const Command& command : AllCommands()) {
    std::string line = "  " + std::string(command.name);
    line.resize(16, ' ');
    text += line + std::string(command.summary) + "\n";
  }
  text += "\n";
  text += kExitCodes;
  return text;
}

}  // namespace vktcli
