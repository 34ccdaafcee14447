/* first_camera: search the network for cameras, add one, read a setting and
 * receive a picture from it.
 *
 *   first_camera [ADDRESS [OUTPUT]]
 *
 * ADDRESS picks the camera (dotted decimal, as the search lists it); without
 * it the first camera found is used. The picture is saved as OUTPUT
 * (default first_camera.jpg).
 *
 * The search broadcasts to 255.255.255.255: on a development machine run
 * this beside the camera emulator inside tools/netns-run (see
 * docs/getting-started-c.md), never on a network you do not own.
 *
 * Exit status: 0 a picture was received and saved, 1 otherwise. */
#define _POSIX_C_SOURCE 200809L

#include <arpa/inet.h>
#include <errno.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "VKTNetSDK11.h"

enum {
    SEARCH_MS = 1000,  /* how long the search listens for answers */
    CALL_MS = 3000,    /* time-out of each camera call */
    PICTURE_MS = 5000  /* how long to wait for the picture to arrive */
};

/* The picture handed over from the library's picture thread. */
static struct {
    pthread_mutex_t lock;
    pthread_cond_t arrived;
    char *bytes;  /* a copy: the library's buffer is valid only during the callback */
    int length;
    int value;
    PictureInfo info;
} received = {.lock = PTHREAD_MUTEX_INITIALIZER};

/* Runs on one of the library's picture threads. Copy what is needed and
 * return quickly; never call VKT_Close from here. */
static void on_picture(char *picture, int length, PictureInfo *info, int value) {
    char *copy = malloc((size_t)length);
    if (copy == NULL) return;
    memcpy(copy, picture, (size_t)length);
    pthread_mutex_lock(&received.lock);
    if (received.bytes == NULL) { /* keep the first picture only */
        received.bytes = copy;
        received.length = length;
        received.value = value;
        received.info = *info;
        copy = NULL;
        pthread_cond_signal(&received.arrived);
    }
    pthread_mutex_unlock(&received.lock);
    free(copy);
}

/* Waits for the first picture at most `ms` milliseconds; 1 when it came. */
static int wait_for_picture(int ms) {
    struct timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += ms / 1000;
    deadline.tv_nsec += (long)(ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    pthread_mutex_lock(&received.lock);
    int status = 0;
    while (received.bytes == NULL && status != ETIMEDOUT) {
        status = pthread_cond_timedwait(&received.arrived, &received.lock, &deadline);
    }
    int got = received.bytes != NULL;
    pthread_mutex_unlock(&received.lock);
    return got;
}

/* Prints why the last call of this thread failed. */
static void report(const char *call) {
    fprintf(stderr, "first_camera: %s failed, last error 0x%08X\n", call, (unsigned)VKT_GetLastError());
}

static void address_text(uint32_t networkOrder, char *text, size_t size) {
    struct in_addr address = {.s_addr = networkOrder};
    if (inet_ntop(AF_INET, &address, text, (socklen_t)size) == NULL) snprintf(text, size, "?");
}

int main(int argc, char **argv) {
    const char *wanted = argc > 1 ? argv[1] : NULL;
    const char *output = argc > 2 ? argv[2] : "first_camera.jpg";

    pthread_condattr_t clock;
    pthread_condattr_init(&clock);
    pthread_condattr_setclock(&clock, CLOCK_MONOTONIC);
    pthread_cond_init(&received.arrived, &clock);
    pthread_condattr_destroy(&clock);

    /* 1. Start the library. -1: another process of this host (network
     *    namespace) uses it; 1: refused. */
    int supported = 0;
    int started = VKT_Init(VKT_SDK_VERSION, &supported);
    if (started != 0) {
        fprintf(stderr, "first_camera: VKT_Init returned %d%s\n", started,
                started == -1 ? " (another process uses the library)" : "");
        return 1;
    }
    printf("library %d.%d.%d started\n", VKTNETSDK_VERSION_MAJOR, VKTNETSDK_VERSION_MINOR,
           VKTNETSDK_VERSION_PATCH);

    int status = 1;
    int camera = -1;
    DeviceRecord *cameras = NULL;

    /* 2. Search: with no array the call only counts (it "fails" with
     *    VKT_ERR_INVALID_PARAM and sets the count), then a time-out of 0
     *    copies the stored result without searching again. */
    int count = 0;
    if (VKT_SearchCamera(NULL, 0, &count, SEARCH_MS) != 0 && VKT_GetLastError() != VKT_ERR_INVALID_PARAM) {
        report("VKT_SearchCamera");
        goto done;
    }
    printf("search: %d camera(s)\n", count);
    if (count == 0) goto done;
    cameras = calloc((size_t)count, sizeof *cameras);
    if (cameras == NULL || VKT_SearchCamera(cameras, count, &count, 0) != 0) {
        report("VKT_SearchCamera (fetch)");
        goto done;
    }

    const DeviceRecord *chosen = NULL;
    for (int i = 0; i < count; ++i) {
        const DeviceRecord *c = &cameras[i];
        char ip[INET_ADDRSTRLEN];
        address_text(c->ipAddress, ip, sizeof ip);
        printf("  %s  %02x:%02x:%02x:%02x:%02x:%02x  %.32s  port %d\n", ip, c->macAddress[0], c->macAddress[1],
               c->macAddress[2], c->macAddress[3], c->macAddress[4], c->macAddress[5], c->modelName,
               c->commandPort & 0xFFFF);
        if (chosen == NULL && (wanted == NULL || strcmp(ip, wanted) == 0)) chosen = c;
    }
    if (chosen == NULL) {
        fprintf(stderr, "first_camera: no camera at %s\n", wanted);
        goto done;
    }

    /* 3. Add the camera with a picture callback: the library tells it
     *    where to push its pictures. */
    camera = VKT_AddCamera(chosen, on_picture, CALL_MS);
    if (camera == -1 || camera == 1) {
        report("VKT_AddCamera");
        camera = -1;
        goto done;
    }
    printf("camera added, handle %d\n", camera);

    /* 4. Read a setting. */
    int degrees = 0;
    if (VKT_GetImageRotation(camera, &degrees, CALL_MS) != 0) {
        report("VKT_GetImageRotation");
        goto done;
    }
    printf("image rotation: %d degrees\n", degrees);

    /* 5. Ask for a picture; it arrives through on_picture, on a library
     *    thread, possibly before VKT_SnapPicture returns. */
    if (VKT_SnapPicture(camera, 7, CALL_MS) != 0) {
        report("VKT_SnapPicture");
        goto done;
    }
    if (!wait_for_picture(PICTURE_MS)) {
        fprintf(stderr, "first_camera: no picture within %d ms\n", PICTURE_MS);
        goto done;
    }

    pthread_mutex_lock(&received.lock);
    const CameraTime *t = &received.info.time;
    printf("received picture: %d bytes, value %d, taken %04u-%02u-%02u %02u:%02u:%02u.%03u\n", received.length,
           received.value, t->year, t->month, t->day, t->hour, t->minute, t->second, t->milliseconds);
    FILE *file = fopen(output, "wb");
    if (file != NULL) {
        size_t written = fwrite(received.bytes, 1, (size_t)received.length, file);
        if (fclose(file) == 0 && written == (size_t)received.length) status = 0;
    }
    if (status == 0) {
        printf("saved %s\n", output);
    } else {
        fprintf(stderr, "first_camera: cannot write %s\n", output);
    }
    pthread_mutex_unlock(&received.lock);

done:
    /* 6. Delete the camera and stop the library: VKT_Close joins the
     *    library's threads, so no callback runs after it returns. */
    if (camera != -1) VKT_DelCamera(camera);
    VKT_Close();
    free(cameras);
    free(received.bytes);
    return status;
}
