/* The public header compiles as C; its records have their wire sizes (the
 * header asserts them) and the error codes are usable as int constants. */
#include <stddef.h>

#include "VKTNetSDK11.h"

_Static_assert(offsetof(DeviceRecord, commandPort) == 20, "commandPort at 20");
_Static_assert(offsetof(DeviceRecord, modelName) == 24, "modelName at 24");
_Static_assert(offsetof(DeviceRecord, infoWords) == 120, "infoWords at 120");
_Static_assert(offsetof(DeviceRecord, infoBlock) == 144, "infoBlock at 144");
_Static_assert(offsetof(DeviceRecord, tailWord2) == 212, "tailWord2 at 212");
_Static_assert(offsetof(ChangeIPParam, macAddress) == 12, "macAddress at 12");

int main(void) {
  int codes[] = {VKT_OK, VKT_ERR_NOT_STARTED, VKT_ERR_TIMEOUT, VKT_ERR_CONTEXT_CREATION};
  /* -1 and the 0x8000xxxx codes must come out as negative ints. */
  return (codes[1] == -1 && codes[2] < 0 && codes[3] < 0 && codes[0] == 0) ? 0 : 1;
}
