// placeholder until the SELECT derivation lands
#include "tvrnsql.h"
extern "C" TVRNSQL_API int32_t ParseSQLStr(const uint16_t*, uint16_t*, uint16_t*, uint16_t) { return 0; }
extern "C" TVRNSQL_API int32_t ParseSQLStrEx(const uint16_t*, uint16_t*, uint32_t, uint16_t*, uint32_t, uint16_t, uint32_t*) { return 0; }
