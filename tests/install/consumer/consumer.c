/* Builds against the installed VKTNetSDK package and uses it the smallest
 * way there is: start the library, read the last error, stop it. It sends
 * nothing on the network (no search, no camera).
 *
 * Prints one line per step; install_test.sh compares them. Exit status 0
 * when every step gave what the header promises. */
#include <stdio.h>

#include "VKTNetSDK11.h"

int main(void) {
    int failures = 0;
    printf("VKTNetSDK %d.%d.%d protocol %d\n", VKTNETSDK_VERSION_MAJOR, VKTNETSDK_VERSION_MINOR,
           VKTNETSDK_VERSION_PATCH, VKT_SDK_VERSION);

    /* A fresh thread has no last error; a call before VKT_Init stores
     * VKT_ERR_NOT_STARTED. */
    int before = VKT_GetLastError();
    int deleted = VKT_DelCamera(2);
    int notStarted = VKT_GetLastError();
    printf("before init: last error 0x%08x, VKT_DelCamera %d, last error 0x%08x\n", (unsigned)before, deleted,
           (unsigned)notStarted);
    if (before != VKT_OK || deleted != 1 || notStarted != VKT_ERR_NOT_STARTED) failures++;

    int supported = 0;
    int init = VKT_Init(VKT_SDK_VERSION, &supported);
    printf("VKT_Init %d, supported version %d\n", init, supported);
    if (init != 0 || supported != VKT_SDK_VERSION) {
        /* -1: another process of this network namespace uses the library. */
        printf("the library did not start\n");
        return 1;
    }

    /* Started: an unknown handle is now VKT_ERR_INVALID_HANDLE. */
    deleted = VKT_DelCamera(2);
    int invalidHandle = VKT_GetLastError();
    printf("after init: VKT_DelCamera %d, last error 0x%08x\n", deleted, (unsigned)invalidHandle);
    if (deleted != 1 || invalidHandle != VKT_ERR_INVALID_HANDLE) failures++;

    int closed = VKT_Close();
    printf("VKT_Close %d\n", closed);
    if (closed != 0) failures++;
    return failures == 0 ? 0 : 1;
}
