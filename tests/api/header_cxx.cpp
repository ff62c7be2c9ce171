// Compiles the public header as C++20 (-std=c++20 -Wall -Wextra -Wpedantic -Werror, see
// tests/api/CMakeLists.txt): the program of header_c.c, built as C++.
#include "header_c.c"
