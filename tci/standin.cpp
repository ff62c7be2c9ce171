// placeholder until the stand-in lands
#include "tci/tci.h"
extern "C" int32_t TCIHandleFree(TCIHandle, uint32_t) { return 0; }
