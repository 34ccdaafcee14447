// Loads the library in a process of its own and prints what VKT_Init
// returns. With "hold" it then stays alive until killed.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "VKTNetSDK11.h"

int main(int argc, char** argv) {
  int supported = 0;
  int result = VKT_Init(VKT_SDK_VERSION, &supported);
  std::printf("%d\n", result);
  std::fflush(stdout);
  if (argc > 1 && std::strcmp(argv[1], "hold") == 0) {
    for (;;) pause();
  }
  VKT_Close();
  return 0;
}
