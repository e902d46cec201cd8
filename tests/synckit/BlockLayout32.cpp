// Compiled with -m32 by the test run: the layout header's size and offset checks hold on a 32-bit build.
#include "synckit/SyncBlocks.h"

static_assert(sizeof(void*) == 4, "this check must be compiled as a 32-bit program");
