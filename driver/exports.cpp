// The two small exports: CharNextW, and an fputws stub that callers resolving the symbol in this
// library get instead of the C library's. The stub is exported only under the non-default
// version TVRNSQL_1 (fputws@TVRNSQL_1, not @@), so the static linker never binds a program's
// fputws to it and symbol lookup in the process still finds the C library's; dlvsym(handle,
// "fputws", "TVRNSQL_1") finds the stub.
#include <cstdint>

#include "tvrnsql.h"

extern "C" TVRNSQL_API uint16_t* CharNextW(const uint16_t* p) {
  return const_cast<uint16_t*>(p + 1);
}

extern "C" TVRNSQL_API int tvrnsqlFputwsStub(const void* /*text*/, void* /*stream*/) {
  return 65535;
}
__asm__(".symver tvrnsqlFputwsStub, fputws@TVRNSQL_1");
