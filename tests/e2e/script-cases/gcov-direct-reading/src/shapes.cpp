#include "shapes.h"
#include <csetjmp>
#include <cstdlib>
#include <string>

static std::jmp_buf recovery;

static void bail(int code) { std::longjmp(recovery, code); }

int parseCount(const char *text) {
  if (setjmp(recovery) != 0) return -1;
  char *end = nullptr;
  long value = std::strtol(text, &end, 10);
  if (*end != '\0') bail(1);
  try {
    if (value < 0) throw std::out_of_range("negative");
    return clampTo(static_cast<int>(value), 0, 100);
  } catch (const std::out_of_range &) {
    return 0;
  }
}

int sumTo(int n) {
  int s = 0;
  for (int i = 0; i < n; ++i) s += i;
  return s;
}

#line 500 "generated.y"
int fromGrammar(int x) {
  switch (x) {
    case 1: return 10;
    case 2: return 20;
    default: break;
  }
  return x > 5 && x < 9 ? 1 : 0;
}
