// Compiles the public header as strict C99 (-std=c99 -Wall -Wextra -Wpedantic -Werror, see
// tests/api/CMakeLists.txt) in a program linked to the shared library, and calls CharNextW
// through the C ABI. header_cxx.cpp does the same as C++20.
#include "tvrnsql.h"

#include <stdio.h>

int main(void) {
  static const uint16_t text[] = {'a', 0x00E9, 0};
  int failures = 0;
  for (int i = 0; i < 3; ++i) {  // the last step starts at the terminator
    failures += CharNextW(text + i) != text + i + 1;
  }
  printf("%d check(s) failed\n", failures);
  return failures == 0 ? 0 : 1;
}
