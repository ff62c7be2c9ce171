// Shows that the library's fputws stub never takes over the C library's fputws. ctest runs this
// program linked to the library, linked with libc named after the library, and under LD_PRELOAD
// (tests/api/CMakeLists.txt); every run must write through the C library, while
// dlvsym(h, "fputws", "TVRNSQL_1") still finds the stub.
// Usage: tvrnsql_api_fputws <path of libtvrnsql.so> <scratch directory>
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <wchar.h>

#include "tvrnsql.h"

typedef int (*FputwsFn)(const wchar_t *, FILE *);

// dlsym returns an object pointer; ISO C has no cast from it to a function pointer.
typedef char FunctionPointerFitsVoidPointer[sizeof(void *) == sizeof(FputwsFn) ? 1 : -1];
static FputwsFn asFputws(void *p) {
  FputwsFn f;
  memcpy(&f, &p, sizeof f);
  return f;
}

static int failures = 0;

static void check(int ok, const char *what) {
  printf("%s %s\n", ok ? "ok  " : "FAIL", what);
  failures += !ok;
}

// Calls the C library's fputws as any program would, on a fresh file, and checks the text
// arrived. A program bound to the stub gets 65535 and an empty file.
static void writeThroughFputws(const char *scratchDir) {
  char path[4096], text[64] = {0};
  snprintf(path, sizeof path, "%s/fputws-XXXXXX", scratchDir);  // cut short: mkstemp fails
  int fd = mkstemp(path);
  FILE *out = fd >= 0 ? fdopen(fd, "w") : NULL;
  check(out != NULL, "scratch file opened");
  if (out == NULL) return;
  int written = fputws(L"hello", out);
  check(written != 65535, "fputws(L\"hello\") did not return the stub's 65535");
  check(written >= 0, "fputws(L\"hello\") reported success");
  check(fclose(out) == 0, "scratch file closed");
  FILE *in = fopen(path, "rb");
  size_t got = in != NULL ? fread(text, 1, sizeof text - 1, in) : 0;
  if (in != NULL) fclose(in);
  check(got == 5 && memcmp(text, "hello", 5) == 0, "the file holds exactly \"hello\"");
  unlink(path);
}

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s <path of libtvrnsql.so> <scratch directory>\n", argv[0]);
    return 2;
  }
  // The run proves nothing unless the library is in the process before the program calls fputws:
  // linked (the call to CharNextW keeps it needed under --as-needed) or preloaded.
  static const uint16_t one[] = {'x', 0};
  check(CharNextW(one) == one + 1, "CharNextW from the linked library");
  void *already = dlopen(argv[1], RTLD_NOW | RTLD_NOLOAD);
  check(already != NULL, "the library was loaded at startup");

  writeThroughFputws(argv[2]);

  void *libc = dlopen("libc.so.6", RTLD_NOW | RTLD_NOLOAD);
  check(libc != NULL, "libc.so.6 is loaded");
  FputwsFn libcFputws = libc != NULL ? asFputws(dlsym(libc, "fputws")) : NULL;
  check(libcFputws != NULL, "libc.so.6 defines fputws");

  // An unversioned lookup over the whole process (what a plugin or an unversioned program gets)
  // must skip the non-default fputws@TVRNSQL_1, also when the library is preloaded.
  check(asFputws(dlsym(RTLD_DEFAULT, "fputws")) == libcFputws,
        "dlsym(RTLD_DEFAULT, \"fputws\") is the C library's");

  void *library = dlopen(argv[1], RTLD_NOW);
  check(library != NULL, "dlopen of the library by its build path");
  if (library == NULL) {
    printf("dlopen: %s\n", dlerror());
    return 1;
  }
  FputwsFn stub = asFputws(dlvsym(library, "fputws", "TVRNSQL_1"));
  check(stub != NULL, "dlvsym(h, \"fputws\", \"TVRNSQL_1\") finds the stub");
  check(stub != libcFputws, "the stub is not the C library's fputws");
  check(stub != NULL && stub(L"hello", stdout) == 65535, "the stub returns 65535");

  // Searching the library's own scope without a version skips the hidden stub and goes on to
  // its dependencies, ending at the C library.
  FputwsFn plain = asFputws(dlsym(library, "fputws"));
  check(plain != stub, "dlsym(h, \"fputws\") is not the stub");
  check(plain == libcFputws, "dlsym(h, \"fputws\") is the C library's");

  dlclose(library);
  if (already != NULL) dlclose(already);
  printf("%d check(s) failed\n", failures);
  return failures == 0 ? 0 : 1;
}
