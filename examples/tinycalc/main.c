/* The tinycalc command: evaluates the expressions given as arguments, or
 * those read from standard input one a line, or runs an interactive session. */
#include "tinycalc.h"

#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#define PROMPT "> "
#define LONGEST_LINE 256

typedef struct {
  int precision;      /* significant digits of fractions */
  int interactive;
  EvalContext context;
} Options;

static void usage(FILE *out) {
  fputs("usage: tinycalc [options] [expression...]\n"
        "Evaluates each expression, or those read from standard input, one a line.\n"
        "  -p, --precision N   significant digits of fractions (1 to 17, default 10)\n"
        "  -s, --strict        out-of-range and inexact results are errors\n"
        "                      (also when TINYCALC_STRICT is set and not 0)\n"
        "  -i, --interactive   prompt for expressions, even when input is not a terminal\n"
        "  -h, --help          show this help\n"
        "      --version       show the version\n"
        "Operators: + - * / % ^ and parentheses; constants pi, e; ans is the last result.\n"
        "Functions: sqrt abs floor (one argument), min max hypot (two).\n",
        out);
}

static int is_option(const char *arg, const char *short_name, const char *long_name) {
  return (short_name != NULL && strcmp(arg, short_name) == 0) || strcmp(arg, long_name) == 0;
}

/* An argument that starts with '-' is an expression when a number, a point
 * or a parenthesis follows: "-5+3", "-.5", "-(2)". */
static int looks_like_expression(const char *arg) {
  return arg[0] != '-' || arg[1] == '\0' || strchr("0123456789.(", arg[1]) != NULL;
}

static int bad_usage(const char *format, const char *arg) {
  fprintf(stderr, "tinycalc: ");
  fprintf(stderr, format, arg);
  fputs("\nTry 'tinycalc --help'.\n", stderr);
  return 2;
}

/* Reads the options; the index of the first expression in *first. Returns -1
 * to go on, or the exit status when there is nothing more to do. */
static int parse_options(int argc, char **argv, Options *options, int *first) {
  int i;
  for (i = 1; i < argc && !looks_like_expression(argv[i]); i++) {
    const char *arg = argv[i];
    if (is_option(arg, "-h", "--help")) {
      usage(stdout);
      return 0;
    } else if (is_option(arg, NULL, "--version")) {
      printf("tinycalc %s\n", TC_VERSION);
      return 0;
    } else if (is_option(arg, "-s", "--strict")) {
      options->context.strict = 1;
    } else if (is_option(arg, "-i", "--interactive")) {
      options->interactive = 1;
    } else if (is_option(arg, "-p", "--precision")) {
      char *end;
      long precision;
      if (i + 1 == argc) return bad_usage("option '%s' needs a value", arg);
      precision = strtol(argv[++i], &end, 10);
      if (*argv[i] == '\0' || *end != '\0' || precision < 1 || precision > 17)
        return bad_usage("bad precision '%s' (1 to 17)", argv[i]);
      options->precision = (int)precision;
    } else if (strcmp(arg, "--") == 0) {
      i++;
      break;
    } else {
      return bad_usage("unknown option '%s'", arg);
    }
  }
  *first = i;
  return -1;
}

static void report(const char *line, const CalcError *error, const Options *options) {
  fflush(stdout);  /* keep results and errors in order on a shared output */
  if (options->interactive) {
    /* The line is on the screen already: point under it, past the prompt. */
    fprintf(stderr, "%*s^\nerror: %s\n", (int)(strlen(PROMPT) + error->pos), "",
            error->message);
  } else {
    format_error(stderr, line, error);
  }
}

/* Evaluates one expression and prints its value; 0 after an error. */
static int run_line(const char *line, Options *options) {
  Parser parser;
  CalcError error;
  char text[64];
  double value;
  const Node *root = parse_expression(&parser, line);
  if (root == NULL) {
    report(line, &parser.error, options);
    return 0;
  }
  if (!evaluate(root, &options->context, &value, &error)) {
    report(line, &error, options);
    return 0;
  }
  format_number(value, options->precision, text, sizeof text);
  puts(text);
  options->context.answer = value;
  options->context.has_answer = 1;
  return 1;
}

static int is_blank(const char *line) {
  Lexer lexer;
  lexer_init(&lexer, line);
  return lexer_next(&lexer).kind == TOK_END;
}

/* Reads expressions one a line until the end of input (or "quit" in an
 * interactive session). Blank and comment lines are passed over. */
static int run_input(Options *options) {
  char line[LONGEST_LINE];
  int failed = 0;
  for (;;) {
    size_t length;
    if (options->interactive) {
      fputs(PROMPT, stdout);
      fflush(stdout);
    }
    if (fgets(line, sizeof line, stdin) == NULL) break;
    length = strlen(line);
    if (length > 0 && line[length - 1] == '\n') {
      line[--length] = '\0';
    } else if (!feof(stdin)) {
      int c;
      while ((c = getchar()) != EOF && c != '\n') continue;
      fflush(stdout);
      fprintf(stderr, "error: line longer than %d characters\n", LONGEST_LINE - 2);
      failed = 1;
      continue;
    }
    if (is_blank(line)) continue;
    if (options->interactive && (strcmp(line, "quit") == 0 || strcmp(line, "exit") == 0))
      return 0;
    if (!run_line(line, options)) failed = 1;
  }
  if (options->interactive) putchar('\n');  /* end the prompt's line */
  return failed && !options->interactive;
}

int main(int argc, char **argv) {
  Options options;
  const char *strict = getenv("TINYCALC_STRICT");
  int first, status, failed = 0;
  memset(&options, 0, sizeof options);
  options.precision = 10;
  options.context.strict = strict != NULL && *strict != '\0' && strcmp(strict, "0") != 0;
  status = parse_options(argc, argv, &options, &first);
  if (status >= 0) return status;
  if (first == argc) {
    options.interactive = options.interactive || isatty(STDIN_FILENO);
    return run_input(&options);
  }
  for (; first < argc; first++)
    if (!run_line(argv[first], &options)) failed = 1;
  return failed;
}
