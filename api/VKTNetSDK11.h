/*
 * VKTNetSDK11 - client library for networked intelligent-traffic cameras.
 *
 * One header for the whole interface, usable from C and C++.
 *
 * Conventions
 *  - Camera calls return 0 on success and 1 on failure. The reason of a
 *    failure is the calling thread's last error (VKT_GetLastError), one of the
 *    VKT_ERR_* codes below. Calls that check the library's state store
 *    VKT_OK on entry.
 *  - Every time-out is an unsigned number of milliseconds and bounds the
 *    whole call.
 *  - Records are byte layouts of little-endian 32-bit words; IPv4 addresses
 *    and ports inside them are in network byte order. Their sizes are checked
 *    at compile time below.
 *  - Null pointer arguments that have no documented meaning fail the call
 *    with VKT_ERR_INVALID_PARAM instead of crashing.
 *  - The library prints and logs nothing.
 */
#ifndef VKTNETSDK11_H
#define VKTNETSDK11_H

#include <stddef.h>
#include <stdint.h>

/* ---------------------------------------------------------------- version */

/* Version of this library (also the shared object's version). */
#define VKTNETSDK_VERSION_MAJOR 1
#define VKTNETSDK_VERSION_MINOR 0
#define VKTNETSDK_VERSION_PATCH 0

/* The only version VKT_Init accepts, and the protocol version of requests. */
#define VKT_SDK_VERSION 257

#if defined(VKTNETSDK_BUILDING)
#define VKT_API __attribute__((visibility("default")))
#else
#define VKT_API
#endif

/* ----------------------------------------------------------------- errors */

/* Last-error codes. The values are the interface; this list only grows. */
#define VKT_OK                      0
#define VKT_ERR_NOT_STARTED         ((int)0xFFFFFFFFu) /* VKT_Init has not succeeded (or VKT_Close ran) */
#define VKT_ERR_GENERAL             ((int)0x80000001u) /* stream receiver could not be set up or registered */
#define VKT_ERR_INVALID_HANDLE      ((int)0x80000002u) /* the handle names no registered camera */
#define VKT_ERR_CAMERA_REFUSED      ((int)0x80000004u) /* reply status -1 */
#define VKT_ERR_REPLY_MISMATCH      ((int)0x80000005u) /* reply command or sequence differs from the request */
#define VKT_ERR_INVALID_PARAM       ((int)0x80000006u) /* argument or reply value out of range, null pointer, buffer too small, status -3 */
#define VKT_ERR_CAMERA_NOT_FOUND    ((int)0x80000007u) /* no camera found at the given address */
#define VKT_ERR_NETWORK             ((int)0x80000100u) /* connect, send or receive failed (not a time-out) */
#define VKT_ERR_TIMEOUT             ((int)0x80000101u) /* the time-out ran out */
#define VKT_ERR_CAMERA_BUSY         ((int)0x80000200u) /* reply status -2 */
#define VKT_ERR_NO_VIDEO_STREAM     ((int)0x80000202u) /* the camera's model has no stream mode */
#define VKT_ERR_NOT_SUPPORTED       ((int)0x80000203u) /* not supported by the camera's model */
#define VKT_ERR_REPLY_OUT_OF_RANGE  ((int)0x80000204u) /* reply value outside this library's range */
#define VKT_ERR_SAVE_PENDING        ((int)0x80000300u) /* a configuration save has not completed yet */
#define VKT_ERR_SAVE_FAILED         ((int)0x80000301u) /* the configuration save failed */
#define VKT_ERR_SNAP_NOT_SENT       ((int)0x80000400u) /* snapshot request could not be sent */
#define VKT_ERR_SNAP_NO_REPLY       ((int)0x80000401u) /* snapshot reply did not arrive */
#define VKT_ERR_SNAP_REFUSED        ((int)0x80000402u) /* snapshot refused by the camera */
#define VKT_ERR_NO_PICTURE_CALLBACK ((int)0x80000403u) /* snapshot on a camera added without a picture callback */
#define VKT_ERR_NTP_FAILED          ((int)0x80000500u) /* NTP synchronisation failed */
#define VKT_ERR_NTP_TIMEOUT         ((int)0x80000501u) /* NTP synchronisation not confirmed in time */
#define VKT_ERR_NO_FREE_STREAM      ((int)0x80000800u) /* all stream receivers are in use */
#define VKT_ERR_CONTEXT_CREATION    ((int)0x80001000u) /* the camera context could not be created */

/* ---------------------------------------------------------------- records */

/* A camera found by VKT_SearchCamera: 216 bytes. The words and texts whose
 * meaning the camera defines are carried unchanged. */
typedef struct DeviceRecord {
    uint32_t ipAddress;      /* network byte order */
    uint32_t addressWord1;   /* camera-defined address word */
    uint32_t addressWord2;   /* camera-defined address word */
    uint8_t  macAddress[6];  /* identity of the camera */
    uint8_t  filler[2];      /* zero */
    int32_t  commandPort;    /* low 16 bits: TCP port of the command channel */
    char     modelName[32];  /* zero-terminated when shorter than 32 bytes */
    char     infoText1[32];
    char     infoText2[32];
    int32_t  infoWords[6];
    uint8_t  infoBlock[64];
    int32_t  tailWord1;
    int32_t  tailWord2;
} DeviceRecord;

/* The new address of a camera for VKT_ChangeCameraIP: 20 bytes, the layout of
 * the first 20 bytes of a DeviceRecord. Sent as it stands. */
typedef struct ChangeIPParam {
    uint32_t ipAddress;      /* new address, network byte order */
    uint32_t addressWord1;   /* new camera-defined address word */
    uint32_t addressWord2;   /* new camera-defined address word */
    uint8_t  macAddress[6];  /* the camera that is to take the values */
    uint8_t  filler[2];
} ChangeIPParam;

/* Broken-down time: year, month 1-12, dayOfWeek 0 (Sunday)-6, day 1-31,
 * hour 0-23, minute, second, milliseconds 0-999. 16 bytes. */
typedef struct SYSTEMTIME {
    uint16_t year;
    uint16_t month;
    uint16_t dayOfWeek;
    uint16_t day;
    uint16_t hour;
    uint16_t minute;
    uint16_t second;
    uint16_t milliseconds;
} SYSTEMTIME;

/* A camera time stamp in the host's local time. */
typedef SYSTEMTIME CameraTime;

/* What the library knows of a pushed picture: 44 bytes. The record words
 * are the camera's own; recordWord40 and recordWord36 are -1 when the
 * picture's record is too short to hold them. */
typedef struct PictureInfo {
    int32_t    camera;        /* handle of the sending camera */
    int32_t    recordWord8;
    CameraTime time;          /* the camera's time stamp */
    int32_t    recordWord24;
    int32_t    recordWord28;
    int32_t    recordWord32;
    int32_t    recordWord40;
    int32_t    recordWord36;
} PictureInfo;

/* What the library knows of a stream frame: 28 bytes. */
typedef struct StreamInfo {
    int32_t    camera;        /* handle of the camera */
    int32_t    recordWord8;
    CameraTime time;          /* the camera's time stamp of the frame */
    int32_t    recordWord28;
} StreamInfo;

/* Settings records. Their words are the camera's own; the library carries
 * them unchanged. */
typedef struct AEParam { int32_t word[2]; } AEParam;          /* exposure parameters, 8 bytes */
typedef struct AWBParam { int32_t word[3]; } AWBParam;        /* white balance parameters, 12 bytes */
typedef struct HotRegion { int32_t word[16]; } HotRegion;     /* hot region, 64 bytes */
typedef struct DeviceInfo { uint8_t bytes[100]; } DeviceInfo; /* device information, 100 bytes */

/* The camera's own address: the same three words that open its DeviceRecord. */
typedef struct NetWorkParam {
    uint32_t ipAddress;      /* network byte order */
    uint32_t addressWord1;   /* camera-defined, as in the DeviceRecord */
    uint32_t addressWord2;   /* camera-defined, as in the DeviceRecord */
} NetWorkParam;
typedef struct FTPParam { uint8_t bytes[264]; } FTPParam;                 /* FTP parameters */
typedef struct SNTPParam { uint8_t bytes[72]; } SNTPParam;                /* SNTP parameters */
typedef struct OSDInfo { uint8_t bytes[60]; } OSDInfo;                    /* on-screen display */
typedef struct PicFileNameConfig { uint8_t bytes[40]; } PicFileNameConfig; /* picture file naming */
/* Traffic parameters. Some cameras use a short form of the first 8 words;
 * the library learns which from the camera, and the rest is then zero. */
typedef struct ITSParam { int32_t word[13]; } ITSParam;                   /* 52 bytes (short: 32) */
typedef struct NightControlParam { int32_t word[12]; } NightControlParam; /* 48 bytes (short: 44) */
typedef struct RS485Info { int32_t word[4]; } RS485Info;                  /* serial port RS485 */
typedef struct RS232Info { int32_t word[4]; } RS232Info;                  /* serial port RS232 */
typedef struct SpeedInfo { int32_t word[33]; } SpeedInfo;                 /* speed settings, 132 bytes */
/* The flash lamps: five camera-defined words, a view of the camera's
 * combined flash and trigger record. */
typedef struct FlashLampParam { int32_t word[5]; } FlashLampParam;
/* One trigger input: fifteen values, a view of one entry of the camera's
 * combined flash and trigger record (see VKT_GetTriggInputSet). */
typedef struct TriggInputEntry { int32_t value[15]; } TriggInputEntry;
typedef struct TriggInputSet { TriggInputEntry entry[16]; } TriggInputSet;

/* SD card state: three camera-defined words, 12 bytes. */
typedef struct SDCardState { int32_t word[3]; } SDCardState;

/* One entry of a picture directory on the camera's SD card: 260 bytes. */
typedef struct DirectoryEntry {
    int32_t value;      /* camera-defined, carried unchanged */
    char    name[256];  /* zero-terminated */
} DirectoryEntry;

/* A picture directory: the request of VKT_GetDirectoryTree and its answer.
 * 272 bytes here; the camera is sent the first 264 (path, count and four
 * zero bytes). */
typedef struct DirectoryTree {
    char            path[256];  /* zero-terminated: the directory to list */
    int32_t         count;      /* entries in `entries` */
    DirectoryEntry *entries;    /* lent by the library, see VKT_GetDirectoryTree */
} DirectoryTree;

/* Counters the library keeps, for diagnosis in the field. Before a call set
 * `size` to sizeof the record as your header has it; the library fills at
 * most that many bytes, sets `size` to the bytes it filled and `version` to
 * VKT_STATISTICS_VERSION. Later versions only append fields. */
#define VKT_STATISTICS_VERSION 2

/* One camera, from the moment it was added. */
typedef struct CameraStatistics {
    uint32_t size;
    uint32_t version;
    /* command channel: requests sent; of those, failed exchanges by class
     * (commandsFailed is their sum); connections made again after a failure */
    uint64_t commandsSent;
    uint64_t commandsFailed;
    uint64_t commandTimeouts;        /* VKT_ERR_TIMEOUT */
    uint64_t commandNetworkErrors;   /* VKT_ERR_NETWORK */
    uint64_t commandRefusals;        /* negative reply status */
    uint64_t commandMismatches;      /* a reply to another request, or malformed */
    uint64_t reconnects;
    /* pushed pictures handed to the callback, their bytes, and pictures
     * dropped, by reason */
    uint64_t picturesDelivered;
    uint64_t pictureBytes;
    uint64_t pictureConnections;           /* push connections the camera opened */
    uint64_t picturesDroppedBadMarker;     /* no APP1 marker where the record belongs */
    uint64_t picturesDroppedShortApp1;     /* APP1 too short for the record */
    uint64_t picturesDroppedOversize;      /* larger than 4 MiB */
    uint64_t picturesDroppedTimeWindow;    /* not complete within one second */
    uint64_t picturesDroppedClosedEarly;   /* the camera closed before the end */
    uint64_t picturesDroppedCameraDeleted; /* the camera was deleted meanwhile */
    uint64_t picturesDroppedNoCallback;    /* the camera has no picture callback */
    /* stream frames handed to the callback, their bytes, frames dropped by
     * reason, and datagrams ignored */
    uint64_t framesDelivered;
    uint64_t streamBytes;
    uint64_t framesDroppedGap;        /* a packet lost or repeated */
    uint64_t framesDroppedPastLast;   /* a packet index past the frame's last */
    uint64_t framesDroppedOversize;   /* announced larger than 4 MiB */
    uint64_t datagramsIgnoredSize;    /* not 1024 bytes */
    uint64_t datagramsIgnoredSender;  /* not from the camera's address */
    /* since version 2: picture connections closed unread because the camera
     * already had VKT_PICTURE_CONNECTIONS_PER_CAMERA open; pictures dropped
     * because VKT_PICTURE_BUFFER_BYTES stayed full for their whole window;
     * the camera's picture connections open now */
    uint64_t picturesDroppedOverShare;
    uint64_t picturesDroppedBufferCap;
    uint64_t pictureConnectionsOpen;
} CameraStatistics;

/* What belongs to no camera, since the library was loaded. */
typedef struct LibraryStatistics {
    uint32_t size;
    uint32_t version;
    uint64_t unknownSenderConnections;  /* picture connections from no added camera, closed unread */
    uint64_t discoveryDatagramsSkipped; /* datagrams a search received that were no camera's answer */
    /* since version 2: picture connections open now and the most open at
     * once; picture bytes held for pictures still arriving, now and at most */
    uint64_t pictureConnectionsOpen;
    uint64_t pictureConnectionsPeak;
    uint64_t pictureBytesBuffered;
    uint64_t pictureBytesBufferedPeak;
} LibraryStatistics;

#if defined(__cplusplus)
#define VKT_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define VKT_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif
VKT_STATIC_ASSERT(sizeof(DeviceRecord) == 216, "DeviceRecord is 216 bytes");
VKT_STATIC_ASSERT(sizeof(ChangeIPParam) == 20, "ChangeIPParam is 20 bytes");
VKT_STATIC_ASSERT(sizeof(SYSTEMTIME) == 16, "SYSTEMTIME is 16 bytes");
VKT_STATIC_ASSERT(sizeof(PictureInfo) == 44, "PictureInfo is 44 bytes");
VKT_STATIC_ASSERT(sizeof(StreamInfo) == 28, "StreamInfo is 28 bytes");
VKT_STATIC_ASSERT(sizeof(AEParam) == 8, "AEParam is 8 bytes");
VKT_STATIC_ASSERT(sizeof(AWBParam) == 12, "AWBParam is 12 bytes");
VKT_STATIC_ASSERT(sizeof(HotRegion) == 64, "HotRegion is 64 bytes");
VKT_STATIC_ASSERT(sizeof(DeviceInfo) == 100, "DeviceInfo is 100 bytes");
VKT_STATIC_ASSERT(sizeof(NetWorkParam) == 12, "NetWorkParam is 12 bytes");
VKT_STATIC_ASSERT(sizeof(FTPParam) == 264, "FTPParam is 264 bytes");
VKT_STATIC_ASSERT(sizeof(SNTPParam) == 72, "SNTPParam is 72 bytes");
VKT_STATIC_ASSERT(sizeof(OSDInfo) == 60, "OSDInfo is 60 bytes");
VKT_STATIC_ASSERT(sizeof(PicFileNameConfig) == 40, "PicFileNameConfig is 40 bytes");
VKT_STATIC_ASSERT(sizeof(ITSParam) == 52, "ITSParam is 52 bytes");
VKT_STATIC_ASSERT(sizeof(NightControlParam) == 48, "NightControlParam is 48 bytes");
VKT_STATIC_ASSERT(sizeof(RS485Info) == 16, "RS485Info is 16 bytes");
VKT_STATIC_ASSERT(sizeof(RS232Info) == 16, "RS232Info is 16 bytes");
VKT_STATIC_ASSERT(sizeof(SpeedInfo) == 132, "SpeedInfo is 132 bytes");
VKT_STATIC_ASSERT(sizeof(FlashLampParam) == 20, "FlashLampParam is 20 bytes");
VKT_STATIC_ASSERT(sizeof(TriggInputSet) == 960, "TriggInputSet is 960 bytes");
VKT_STATIC_ASSERT(sizeof(SDCardState) == 12, "SDCardState is 12 bytes");
VKT_STATIC_ASSERT(sizeof(DirectoryEntry) == 260, "DirectoryEntry is 260 bytes");
VKT_STATIC_ASSERT(offsetof(DirectoryTree, count) == 256, "DirectoryTree count at 256");
VKT_STATIC_ASSERT(sizeof(CameraStatistics) == 8 + 27 * 8, "CameraStatistics version 2");
VKT_STATIC_ASSERT(sizeof(LibraryStatistics) == 8 + 6 * 8, "LibraryStatistics version 2");

#ifdef __cplusplus
extern "C" {
#endif

/* -------------------------------------------------------------- lifecycle */

/* Starts the library. Results: 0 started (or already started); 1 version
 * refused or start failed; -1 another process on this host (in this network
 * namespace) already uses the library, for the life of this process.
 * `version` must be VKT_SDK_VERSION; *supportedVersion (may be null)
 * receives VKT_SDK_VERSION whenever the version is examined.
 * Listens for pictures on TCP 34660, or on a port of the system's choosing
 * when 34660 is taken, and starts the picture and stream receiver threads.
 * Does not write the last error. */
VKT_API int VKT_Init(int version, int *supportedVersion);

/* Stops the library: stops and joins every receiver thread and deletes every
 * camera. Returns 0 when there was nothing to stop or after a normal stop.
 * Calls racing it either complete or fail with VKT_ERR_NOT_STARTED; no
 * callback runs after it returns. Called from inside a library callback it
 * refuses (returns 1), since it would have to wait for its own thread.
 * Does not write the last error. */
VKT_API int VKT_Close(void);

/* ------------------------------------------------------------- last error */

/* The calling thread's last error (0 in a thread that never failed).
 * Works whether or not the library is started. */
VKT_API int VKT_GetLastError(void);

/* -------------------------------------------------------------- discovery */

/* Searches the local network for cameras by UDP broadcast (port 34565) for
 * `timeoutMs` milliseconds and copies the cameras found into `records`.
 *  - timeoutMs 0 makes no new search and only copies the last result.
 *  - A search lasts a little more than timeoutMs (at most about 1.5 times
 *    it): the probe goes out at the start and again after half the time.
 *  - *count always receives the number of cameras in the result (one per
 *    MAC address, in the order of their first answers).
 *  - `records` null or `capacity` below that number: 1 with
 *    VKT_ERR_INVALID_PARAM, *count still set (the count-only idiom:
 *    search with a null array, then fetch with timeoutMs 0).
 * Errors: VKT_ERR_NOT_STARTED; VKT_ERR_INVALID_PARAM (null `count`, buffer
 * too small); VKT_ERR_NETWORK (the probe could not be sent).
 * Searches are serialised: a call waits for a running search to end. */
VKT_API int VKT_SearchCamera(DeviceRecord *records, int capacity, int *count,
                             unsigned int timeoutMs);

/* Gives the camera whose MAC address is param->macAddress the address words
 * of `param`, by UDP broadcast. Returns 0 once the camera echoed the request
 * within `timeoutMs` (0 polls once), 1 otherwise.
 * Errors: VKT_ERR_NOT_STARTED; VKT_ERR_INVALID_PARAM (null `param`);
 * VKT_ERR_NETWORK (the broadcast could not be sent); VKT_ERR_TIMEOUT (no
 * confirmation in time). The search result is not updated: search again to
 * reach the camera at its new address. */
VKT_API int VKT_ChangeCameraIP(const ChangeIPParam *param, unsigned int timeoutMs);

/* ---------------------------------------------------------------- cameras */

/* Pushed pictures at scale. A camera pushes each picture over a connection
 * of its own to the picture port; the library's 8 picture threads read every
 * open connection as its bytes arrive, so a slow or stuck camera holds only
 * its own connections and never delays another camera's pictures. Each
 * picture must arrive whole within one second of its connection's accept.
 * A connection is accepted once its first bytes arrive, or after about a
 * second if it stays silent; until then it takes no share, no descriptor
 * of the library and no room.
 * Limits, so that memory and fairness hold under any load:
 *  - VKT_PICTURE_CONNECTIONS: picture connections open at once. At the
 *    limit new connections wait in the listen backlog until one ends.
 *  - VKT_PICTURE_BUFFER_BYTES: bytes held for pictures still arriving. At
 *    the limit new connections wait as well; a picture that needs room while
 *    none is left waits for it within its window, and is dropped
 *    (picturesDroppedBufferCap) if none frees in time.
 *  - VKT_PICTURE_CONNECTIONS_PER_CAMERA: one camera's share of the open
 *    connections. A connection past it is closed unread
 *    (picturesDroppedOverShare), so a faulty camera can hold its own share
 *    and never the others'.
 * Each open connection takes a file descriptor: the process's RLIMIT_NOFILE
 * should exceed VKT_PICTURE_CONNECTIONS plus what the application uses;
 * while no descriptor is left, accepting pauses. */
#define VKT_PICTURE_CONNECTIONS 4096
#define VKT_PICTURE_BUFFER_BYTES (256u * 1024u * 1024u)
#define VKT_PICTURE_CONNECTIONS_PER_CAMERA 8

/* Receives a picture the camera pushed: `picture` holds `length` bytes of
 * JPEG, `info` what the library read from it, `value` a word of the
 * picture's record. Runs on one of the library's picture threads; several
 * may run at once, also for the same camera. The pointers are valid only
 * during the call. The callback must not call VKT_Close (refused, see there). */
typedef void (*PictureCallback)(char *picture, int length, PictureInfo *info, int value);

/* Adds the camera of `record` (from VKT_SearchCamera) and returns its handle,
 * an opaque number that is never 0, 1 or -1 and never reused in this process.
 * With a picture callback, the camera is told where to push its pictures
 * (within `timeoutMs`); without one, nothing is sent.
 * The same camera (same address and MAC) added again returns the same handle;
 * a different non-null callback replaces the stored one and registers again.
 * Results: the handle; -1 on failure; 1 when the library is not started.
 * Errors: VKT_ERR_NOT_STARTED; VKT_ERR_INVALID_PARAM (null record);
 * VKT_ERR_NOT_SUPPORTED (a model this library does not drive);
 * VKT_ERR_NETWORK (the push registration of a new camera failed);
 * VKT_ERR_CONTEXT_CREATION (out of memory).
 * Holds the camera list while it runs: other calls' handle look-ups wait. */
VKT_API int VKT_AddCamera(const DeviceRecord *record, PictureCallback callback, unsigned int timeoutMs);

/* Searches (for `timeoutMs`) and adds the camera whose address is the
 * dotted-decimal text `address` (compared exactly), like VKT_AddCamera with
 * the same time-out: the whole call may take about twice `timeoutMs`.
 * Results: the handle or -1. Errors: those of VKT_SearchCamera and
 * VKT_AddCamera; VKT_ERR_CAMERA_NOT_FOUND (no camera answered at `address`);
 * VKT_ERR_INVALID_PARAM (null address). */
VKT_API int VKT_AddCamera_IP(const char *address, PictureCallback callback, unsigned int timeoutMs);

/* Deletes a camera: its connections close; calls already running on it
 * finish first (their handle is no longer found by new calls). The camera is
 * not told. Its stream stops, and a picture or frame being handed to its
 * callbacks is finished before this returns: no callback of the camera
 * starts afterwards. So do not call it while holding a lock that the
 * camera's callbacks take. Called from inside a callback it does not wait
 * for other pictures of the camera (and from inside the camera's own stream
 * callback it is refused with VKT_ERR_GENERAL). Results: 0, or 1 with
 * VKT_ERR_NOT_STARTED, VKT_ERR_INVALID_HANDLE or VKT_ERR_GENERAL. */
VKT_API int VKT_DelCamera(int handle);

/* --------------------------------------------------------------- settings
 *
 * Every call below takes a camera handle first and a time-out last, and
 * returns 0 or 1 with the reason in VKT_GetLastError(). Common errors:
 * VKT_ERR_NOT_STARTED, VKT_ERR_INVALID_HANDLE, VKT_ERR_TIMEOUT (also for a
 * time-out of 0, before anything is sent), VKT_ERR_INVALID_PARAM (a null
 * pointer, before anything is sent), VKT_ERR_NETWORK, the refusals
 * VKT_ERR_CAMERA_REFUSED / VKT_ERR_CAMERA_BUSY / VKT_ERR_INVALID_PARAM,
 * VKT_ERR_REPLY_MISMATCH, and VKT_ERR_SAVE_PENDING / VKT_ERR_SAVE_FAILED
 * while a configuration save has not completed (see VKT_SaveConfig).
 * GetDefault reads the camera's factory value of a setting.
 *
 * Caching: what a Get reads or a Set writes is kept while the camera's
 * connection lasts (any failed call drops it, and the cache with it). Marked
 * [cached] reads answer from it without asking the camera; marked [skip]
 * sets send nothing when the value equals the cached one. Other calls always
 * ask the camera. A short reply record is completed with zero bytes. */

/* Automatic exposure on (1) or off (0). A reply outside 0..1 from a camera of
 * a newer protocol fails with VKT_ERR_REPLY_OUT_OF_RANGE (*mode holds it). */
VKT_API int VKT_GetAE(int camera, int *mode, unsigned int timeoutMs);
VKT_API int VKT_SetAE(int camera, int mode, unsigned int timeoutMs);
VKT_API int VKT_GetAEParam(int camera, AEParam *param, unsigned int timeoutMs);
VKT_API int VKT_SetAEParam(int camera, AEParam param, unsigned int timeoutMs);
/* Automatic white balance, as VKT_GetAE. */
VKT_API int VKT_GetAWB(int camera, int *mode, unsigned int timeoutMs);
VKT_API int VKT_SetAWB(int camera, int mode, unsigned int timeoutMs);
VKT_API int VKT_GetAWBParam(int camera, AWBParam *param, unsigned int timeoutMs);
VKT_API int VKT_SetAWBParam(int camera, AWBParam param, unsigned int timeoutMs);

/* Image rotation in degrees: 0, 90, 180 or 270 [cached, skip]. Any other
 * value, set or answered, fails with VKT_ERR_INVALID_PARAM (a set sends
 * nothing; a read leaves *degrees untouched and asks again next time). */
VKT_API int VKT_GetImageRotation(int camera, int *degrees, unsigned int timeoutMs);
VKT_API int VKT_GetDefaultImageRotation(int camera, int *degrees, unsigned int timeoutMs);
VKT_API int VKT_SetImageRotation(int camera, int degrees, unsigned int timeoutMs);

/* Picture type of the video stream and the hot region [cached, skip]: only
 * model "VKT-N2F0Kp" has them; others fail with VKT_ERR_NOT_SUPPORTED. */
VKT_API int VKT_GetStreamPicType(int camera, int *type, unsigned int timeoutMs);
VKT_API int VKT_GetDefaultStreamPicType(int camera, int *type, unsigned int timeoutMs);
VKT_API int VKT_SetStreamPicType(int camera, int type, unsigned int timeoutMs);
VKT_API int VKT_GetHotRegion(int camera, HotRegion *region, unsigned int timeoutMs);
VKT_API int VKT_GetDefaultHotRegion(int camera, HotRegion *region, unsigned int timeoutMs);
VKT_API int VKT_SetHotRegion(int camera, const HotRegion *region, unsigned int timeoutMs);

/* Picture pixel size and level value: camera-defined values, not cached. */
VKT_API int VKT_SetPicPixel(int camera, int value, unsigned int timeoutMs);
VKT_API int VKT_GetLevelValue(int camera, int *value, unsigned int timeoutMs);
VKT_API int VKT_SetLevelValue(int camera, int value, unsigned int timeoutMs);

/* ------------------------------------------------- device information, state */

/* Device information [cached, skip]. */
VKT_API int VKT_GetDeviceInfo(int camera, DeviceInfo *info, unsigned int timeoutMs);
VKT_API int VKT_GetDefaultDeviceInfo(int camera, DeviceInfo *info, unsigned int timeoutMs);
VKT_API int VKT_SetDeviceInfo(int camera, const DeviceInfo *info, unsigned int timeoutMs);

/* The camera's temperature in whole degrees (truncated toward zero). */
VKT_API int VKT_GetCameraTemperature(int camera, int *degrees, unsigned int timeoutMs);
/* Whether the camera answers: *state 0 when it did, 1 when it did not (then
 * the call fails with the reason). *state is not written when the call
 * fails before contacting the camera (not started, bad handle, time-out 0). */
VKT_API int VKT_GetState(int camera, int *state, unsigned int timeoutMs);
/* Camera-defined values, not cached. */
VKT_API int VKT_GetWorkMode(int camera, int *mode, unsigned int timeoutMs);
VKT_API int VKT_GetCameraMode(int camera, int *mode, unsigned int timeoutMs);
VKT_API int VKT_GetElectricity(int camera, int *value, unsigned int timeoutMs);

/* Flash lamp: its state (two-state, as VKT_GetAE) and firing it. */
VKT_API int VKT_GetFlashLampState(int camera, int *state, unsigned int timeoutMs);
VKT_API int VKT_OpenFlashLamp(int camera, int value, unsigned int timeoutMs);

/* Resets the camera: mode 0 or 1 (others: VKT_ERR_INVALID_PARAM, nothing
 * sent). The camera restarts, so the connection is closed on success. */
VKT_API int VKT_ResetCamera(int camera, int mode, unsigned int timeoutMs);

/* Makes the camera store its settings permanently. The camera confirms
 * twice; when the second confirmation does not come within the time-out the
 * call fails with VKT_ERR_SAVE_PENDING and the camera is "saving": every
 * later call on it that would contact the camera first waits (within its own
 * time-out) for that confirmation, failing with VKT_ERR_SAVE_PENDING while it
 * does not come and with VKT_ERR_SAVE_FAILED if the camera reports a failed
 * save. VKT_ERR_SAVE_FAILED also when the confirmation fails otherwise. */
VKT_API int VKT_SaveConfig(int camera, unsigned int timeoutMs);
/* 0 when the camera is ready for commands: no save pending, or the pending
 * save has now completed. 1 with VKT_ERR_SAVE_PENDING (still saving) or
 * VKT_ERR_SAVE_FAILED. Sends nothing. */
VKT_API int VKT_GetParamState(int camera, unsigned int timeoutMs);

/* ------------------------------------------------------- network and time */

/* The camera's address [cached, skip]. A set that changes ipAddress or
 * addressWord1 moves the library to the new address: the connection is
 * closed and the next call connects there (same command port). */
VKT_API int VKT_GetNetWorkParam(int camera, NetWorkParam *param, unsigned int timeoutMs);
VKT_API int VKT_GetDefaultNetWorkParam(int camera, NetWorkParam *param, unsigned int timeoutMs);
VKT_API int VKT_SetNetWorkParam(int camera, const NetWorkParam *param, unsigned int timeoutMs);
/* FTP and SNTP parameters, time zone [cached, skip]. */
VKT_API int VKT_GetFTPParam(int camera, FTPParam *param, unsigned int timeoutMs);
VKT_API int VKT_GetDefaultFTPParam(int camera, FTPParam *param, unsigned int timeoutMs);
VKT_API int VKT_SetFTPParam(int camera, const FTPParam *param, unsigned int timeoutMs);
VKT_API int VKT_GetSNTPParam(int camera, SNTPParam *param, unsigned int timeoutMs);
VKT_API int VKT_GetDefaultSNTPParam(int camera, SNTPParam *param, unsigned int timeoutMs);
VKT_API int VKT_SetSNTPParam(int camera, const SNTPParam *param, unsigned int timeoutMs);
VKT_API int VKT_GetTimeZone(int camera, int *zone, unsigned int timeoutMs);
VKT_API int VKT_GetDefaultTimeZone(int camera, int *zone, unsigned int timeoutMs);
VKT_API int VKT_SetTimeZone(int camera, int zone, unsigned int timeoutMs);
/* The camera's clock, as the camera keeps it (no time zone applied), with a
 * camera-defined extra word. Times outside 1901-12-13 20:45:52 ..
 * 2038-01-19 03:14:07 are clamped to those ends; an invalid SYSTEMTIME fails
 * with VKT_ERR_INVALID_PARAM before anything is sent (dayOfWeek is ignored
 * on input and computed on output). */
VKT_API int VKT_GetDateTime(int camera, SYSTEMTIME *time, int *extra, unsigned int timeoutMs);
VKT_API int VKT_SetDateTime(int camera, const SYSTEMTIME *time, int extra, unsigned int timeoutMs);
/* Makes the camera synchronise its clock now; it confirms twice.
 * Errors: VKT_ERR_NTP_FAILED, VKT_ERR_NTP_TIMEOUT (no second confirmation
 * in time); both close the connection. */
VKT_API int VKT_NTPTiming(int camera, unsigned int timeoutMs);
/* The automatic synchronisation switch, camera-defined, not cached. */
VKT_API int VKT_GetAutoSyn(int camera, int *value, unsigned int timeoutMs);
VKT_API int VKT_SetAutoSyn(int camera, int value, unsigned int timeoutMs);

/* ------------------------------------------------------ traffic and I/O */

/* Flash lamps and trigger inputs are two views of one camera record, read
 * once and shared [cached]. VKT_SetFlashLamp reads the record first if it is
 * not cached and changes only the lamp words; VKT_SetTriggInputSet builds a
 * new record (lamp words 0). Both skip a set equal to the cached view.
 * Trigger entry values: 0 enabled (0/1), 1 a 4-bit number, 2 the trigger
 * number (1-based), 3, 4 a switch (1 on), 5 a 4-bit number (1-16, used when
 * 4 is on), 6 a flag, 7-9 camera words, 10-14 flags. */
VKT_API int VKT_GetFlashLamp(int camera, FlashLampParam *param, unsigned int timeoutMs);
VKT_API int VKT_GetDefaultFlashLamp(int camera, FlashLampParam *param, unsigned int timeoutMs);
VKT_API int VKT_SetFlashLamp(int camera, const FlashLampParam *param, unsigned int timeoutMs);
VKT_API int VKT_GetTriggInputSet(int camera, TriggInputSet *set, unsigned int timeoutMs);
VKT_API int VKT_GetDefaultTriggInputSet(int camera, TriggInputSet *set, unsigned int timeoutMs);
VKT_API int VKT_SetTriggInputSet(int camera, const TriggInputSet *set, unsigned int timeoutMs);
/* Traffic and night-control parameters [cached, skip], long or short form
 * as the camera uses (learnt from the last current read of either). */
VKT_API int VKT_GetITSParam(int camera, ITSParam *param, unsigned int timeoutMs);
VKT_API int VKT_GetDefaultITSParam(int camera, ITSParam *param, unsigned int timeoutMs);
VKT_API int VKT_SetITSParam(int camera, const ITSParam *param, unsigned int timeoutMs);
VKT_API int VKT_GetNightControlParam(int camera, NightControlParam *param, unsigned int timeoutMs);
VKT_API int VKT_GetDefaultNightControlParam(int camera, NightControlParam *param, unsigned int timeoutMs);
VKT_API int VKT_SetNightControlParam(int camera, const NightControlParam *param, unsigned int timeoutMs);
/* Serial ports, speed, on-screen display, picture file names [cached, skip]. */
VKT_API int VKT_GetRS485Info(int camera, RS485Info *info, unsigned int timeoutMs);
VKT_API int VKT_GetDefaultRS485Info(int camera, RS485Info *info, unsigned int timeoutMs);
VKT_API int VKT_SetRS485Info(int camera, const RS485Info *info, unsigned int timeoutMs);
VKT_API int VKT_GetRS232Info(int camera, RS232Info *info, unsigned int timeoutMs);
VKT_API int VKT_GetDefaultRS232Info(int camera, RS232Info *info, unsigned int timeoutMs);
VKT_API int VKT_SetRS232Info(int camera, const RS232Info *info, unsigned int timeoutMs);
VKT_API int VKT_GetSpeedInfo(int camera, SpeedInfo *info, unsigned int timeoutMs);
VKT_API int VKT_GetDefaultSpeedInfo(int camera, SpeedInfo *info, unsigned int timeoutMs);
VKT_API int VKT_SetSpeedInfo(int camera, const SpeedInfo *info, unsigned int timeoutMs);
VKT_API int VKT_GetOSDInfo(int camera, OSDInfo *info, unsigned int timeoutMs);
VKT_API int VKT_GetDefaultOSDInfo(int camera, OSDInfo *info, unsigned int timeoutMs);
VKT_API int VKT_SetOSDInfo(int camera, const OSDInfo *info, unsigned int timeoutMs);
VKT_API int VKT_GetPicFileNameConfig(int camera, PicFileNameConfig *config, unsigned int timeoutMs);
VKT_API int VKT_GetDefaultPicFileNameConfig(int camera, PicFileNameConfig *config, unsigned int timeoutMs);
VKT_API int VKT_SetPicFileNameConfig(int camera, const PicFileNameConfig *config, unsigned int timeoutMs);

/* ---------------------------------------------------- configuration file */

/* Writes nine settings of the camera (FTP, device information, ITS, night
 * control, SNTP, picture file names, OSD, AWB mode, AWB parameters) into a
 * 652-byte file, read with the Get calls above (each with the whole
 * time-out). `reserved` is not used. Returns 1 when the file cannot be
 * written (last error untouched) or a Get fails (its error; the file then
 * holds what was read so far). */
VKT_API int VKT_ExportConfigFile(int camera, int reserved, const char *path, unsigned int timeoutMs);
/* Applies such a file with the Set calls, in the same order; the AWB
 * parameters only when the AWB mode in the file is 0. A file that cannot be
 * read or is shorter than 652 bytes is refused (1) before anything is sent. */
VKT_API int VKT_ImportConfigFile(int camera, const char *path, unsigned int timeoutMs);

/* --------------------------------------------------------------- pictures */

/* Asks the camera for a picture now. Returns 0 once the camera accepted the
 * request; the picture then arrives through the camera's picture callback,
 * on a library thread, possibly before this call returns. The request goes
 * on a second connection of its own, after telling the camera where to push
 * (if it does not know yet). `value` travels with the request (cameras put
 * it in the picture's record: the callback's `value`).
 * The exchange gets the whole time-out again after the push registration, so
 * the call may take up to about twice `timeoutMs`.
 * Errors: VKT_ERR_NO_PICTURE_CALLBACK (camera added without one, nothing
 * sent); the push registration's error; VKT_ERR_SNAP_NOT_SENT,
 * VKT_ERR_SNAP_NO_REPLY, VKT_ERR_SNAP_REFUSED (these three close both of the
 * camera's connections). */
VKT_API int VKT_SnapPicture(int camera, int value, unsigned int timeoutMs);

/* ----------------------------------------------------------------- stream */

/* Receives one complete stream frame (a JPEG picture): `length` bytes, with
 * what the library read from it and the user value given at the start. Runs
 * on the stream's library thread, one frame after the other; the pointers
 * are valid only during the call. It runs with the stream's own lock held,
 * so that stopping the stream waits for it: a stream callback must not start
 * or stop a stream of the same camera, nor call anything on that camera that
 * a concurrent start or stop could be waiting for (deadlock). */
typedef void (*StreamCallback)(char *frame, int length, StreamInfo *info, int user);

/* Starts (callback not null) or stops (callback null) the camera's video
 * stream. A start takes one of the library's four stream receivers (a
 * camera that already has one gives it back first) and tells the camera its
 * UDP port; some models are also told to start sending (and, at the stop, to
 * stop: that wait may take the time-out plus one second). Frames arrive as
 * 1024-byte datagrams from the camera's address and are handed over only
 * when complete. A stop always returns 0 once the receiver is free again.
 * Errors: VKT_ERR_NO_FREE_STREAM (all four in use); VKT_ERR_GENERAL (the
 * camera was not told the port; the receiver stays with the camera until a
 * stop); the start command's error; VKT_ERR_NO_VIDEO_STREAM (a model without
 * a stream). VKT_DelCamera stops the stream too. */
VKT_API int VKT_StartStream(int camera, StreamCallback callback, int user, unsigned int timeoutMs);

/* ---------------------------------------------------------------- storage */

/* The SD card's state as the camera reports it. A camera that sends fewer
 * than 12 bytes leaves the missing words 0. *state is written only on
 * success; null gives VKT_ERR_INVALID_PARAM. */
VKT_API int VKT_GetSDCardState(int camera, SDCardState *state, unsigned int timeoutMs);
/* Starts formatting the card; returns once the camera has accepted. */
VKT_API int VKT_FormatSDCard(int camera, unsigned int timeoutMs);
/* The progress of a running format, on the camera's own scale. Written
 * only on success; null gives VKT_ERR_INVALID_PARAM. */
VKT_API int VKT_GetFormatSDCardProgress(int camera, int *progress, unsigned int timeoutMs);

/* Lists the directory named by tree->path. On success the camera's answer
 * is in `tree`: path, count and `entries`, an array the library lends; it
 * stays valid until the next VKT_GetDirectoryTree on this camera (from any
 * thread) or until the camera is deleted. A camera that answers "no tree"
 * leaves `tree` as it was and the call succeeds. On failure `tree` is left as
 * it was, and the array of an earlier listing is no longer valid.
 * Errors: those of every command, and VKT_ERR_REPLY_MISMATCH for a malformed
 * answer (longer than 4 MiB, a text without its terminator or longer than
 * its 256-byte field, more entries than the answer holds); the connection
 * is then closed. Null `tree` gives VKT_ERR_INVALID_PARAM. */
VKT_API int VKT_GetDirectoryTree(int camera, DirectoryTree *tree, unsigned int timeoutMs);
/* Fetches a stored picture. `name` is a 260-byte block sent unchanged (a
 * DirectoryEntry as listed, for instance). On success *picture points to
 * *length bytes in a 4 MiB buffer of the camera's, lent until the next
 * VKT_GetJPGPic on this camera or until it is deleted; the rest of that
 * buffer is zero. On failure *picture is null and *length 0. A picture
 * longer than 4 MiB fails with VKT_ERR_REPLY_MISMATCH, unread, and the
 * connection is closed. Null arguments give VKT_ERR_INVALID_PARAM. */
VKT_API int VKT_GetJPGPic(int camera, const void *name, char **picture, int *length, unsigned int timeoutMs);
/* Deletes a stored picture. `name` is a 264-byte block sent unchanged.
 * Null `name` gives VKT_ERR_INVALID_PARAM. */
VKT_API int VKT_DeleteJPGPic(int camera, const void *name, unsigned int timeoutMs);

/* ------------------------------------------------------------ diagnostics */

/* The name of the network interface on which the last search received the
 * answer of the camera with record->macAddress ("" when the system did not
 * say). Errors: VKT_ERR_CAMERA_NOT_FOUND (not in the last search's result);
 * VKT_ERR_INVALID_PARAM (null pointer, or `nameSize` too small for the name
 * and its terminator; 16 bytes always suffice). */
VKT_API int VKT_GetSearchInterface(const DeviceRecord *record, char *name, int nameSize);
/* The camera's counters (see CameraStatistics). Sends nothing to the camera.
 * Errors: VKT_ERR_INVALID_PARAM (null, or `size` below 8). */
VKT_API int VKT_GetCameraStatistics(int camera, CameraStatistics *stats, unsigned int timeoutMs);
/* The counters that belong to no camera. Works whether or not the library
 * is started; does not write the last error on success. */
VKT_API int VKT_GetLibraryStatistics(LibraryStatistics *stats);

#ifdef __cplusplus
} /* extern "C" */

/* Silences ACE's logging for the calling thread; returns 0. Works whether or
 * not the library is started. Exported with C++ linkage. */
VKT_API int SetLogOutput();
#endif

#endif /* VKTNETSDK11_H */
