/* Turns results and errors into text. */
#include "tinycalc.h"

#include <math.h>
#include <string.h>

/* Inputs longer than this are not echoed above the caret: the caret would
 * land on a wrapped line. */
#define LONGEST_ECHOED_INPUT 72

void format_number(double value, int precision, char *out, size_t size) {
  if (isnan(value)) {
    snprintf(out, size, "nan");
  } else if (isinf(value)) {
    snprintf(out, size, value < 0 ? "-inf" : "inf");
  } else if (value == floor(value) && fabs(value) < 1e15) {
    /* Whole numbers print whole, and without the sign of a negative zero. */
    snprintf(out, size, "%.0f", value == 0 ? 0.0 : value);
  } else {
    snprintf(out, size, "%.*g", precision, value);
  }
}

void format_error(FILE *out, const char *input, const CalcError *error) {
  size_t i;
  if (strlen(input) > LONGEST_ECHOED_INPUT) {
    fprintf(out, "error at column %lu: %s\n", (unsigned long)error->pos + 1, error->message);
    return;
  }
  fprintf(out, "%s\n", input);
  for (i = 0; i < error->pos; i++) fputc(input[i] == '\t' ? '\t' : ' ', out);
  fprintf(out, "^\nerror: %s\n", error->message);
}
