// Compiles the public header as C++20 (-std=c++20 -Wall -Wextra -Wpedantic -Werror, see
// tests/api/CMakeLists.txt) in a program linked to the shared library, and calls CharNextW
// through the C ABI. header_c.c does the same as C99.
#include "tvrnsql.h"

#include <cstdio>

int main() {
  static const uint16_t text[] = {u'a', u'\u00e9', 0};
  int failures = 0;
  for (int i = 0; i < 3; ++i) {  // the last step starts at the terminator
    if (CharNextW(text + i) != text + i + 1) {
      std::printf("FAIL CharNextW(text + %d) is not text + %d\n", i, i + 1);
      ++failures;
    }
  }
  std::printf("%d check(s) failed\n", failures);
  return failures == 0 ? 0 : 1;
}
