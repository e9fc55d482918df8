/* A small calculator whose suite zorvane-gcov runs under gcc --coverage. */
long absolute(long n);
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int usage(void) {
  fputs("usage: calc add|sub|div|abs N [M]\n", stderr);
  return 2;
}

static long add(long a, long b) { return a + b; }

static long sub(long a, long b) { return a - b; }

static int divide(long a, long b, long *result) {
  if (b == 0) {
    fputs("calc: division by zero\n", stderr);
    return 1;
  }
  *result = a / b;
  return 0;
}


int main(int argc, char **argv) {
  if (argc < 3) return usage();
  long a = strtol(argv[2], NULL, 10);
  long b = argc > 3 ? strtol(argv[3], NULL, 10) : 0;
  long result = 0;
  if (strcmp(argv[1], "add") == 0) {
    result = add(a, b);
  } else if (strcmp(argv[1], "sub") == 0) {
    result = sub(a, b);
  } else if (strcmp(argv[1], "div") == 0) {
    if (divide(a, b, &result)) return 1;
  } else if (strcmp(argv[1], "abs") == 0) {
    result = absolute(a);
  } else {
    return usage();
  }
  printf("%ld\n", result);
  return 0;
}
