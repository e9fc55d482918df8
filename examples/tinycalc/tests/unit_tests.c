/* Unit tests of tinycalc's lexer, parser, evaluator and formatter.
 *   unit_tests NAME   runs the case NAME: status 0 when it passes
 *   unit_tests        lists the cases
 * TINYCALC_STRICT set (and not 0) evaluates in strict mode, as tinycalc does. */
#include "tinycalc.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

static int failures;

#define CHECK(condition) check((condition), #condition, __LINE__)

static void check(int passed, const char *what, int line) {
  if (passed) return;
  fprintf(stderr, "unit_tests.c:%d: check failed: %s\n", line, what);
  failures++;
}

static EvalContext context;

/* The value of an expression; NAN after an error, with the error in
 * *error when error is not NULL. */
static double calculate(const char *input, CalcError *error) {
  Parser parser;
  CalcError ignored;
  double value;
  const Node *root = parse_expression(&parser, input);
  if (error == NULL) error = &ignored;
  if (root == NULL) {
    *error = parser.error;
    return NAN;
  }
  return evaluate(root, &context, &value, error) ? value : NAN;
}

static void check_value(const char *input, double expected) {
  double value = calculate(input, NULL);
  if (fabs(value - expected) <= 1e-12 * fmax(1, fabs(expected))) return;
  fprintf(stderr, "%s: %.17g, expected %.17g\n", input, value, expected);
  failures++;
}

static void check_error(const char *input, const char *message, size_t pos) {
  CalcError error;
  double value = calculate(input, &error);
  if (isnan(value) && strcmp(error.message, message) == 0 && error.pos == pos) return;
  if (isnan(value))
    fprintf(stderr, "%s: error \"%s\" at %lu, expected \"%s\" at %lu\n", input, error.message,
            (unsigned long)error.pos, message, (unsigned long)pos);
  else
    fprintf(stderr, "%s: %.17g, expected error \"%s\"\n", input, value, message);
  failures++;
}

/* The kinds of the tokens of input, one letter each: n number, a name,
 * o operator, ( ) , and ! for an error, up to the end. */
static void check_tokens(const char *input, const char *expected) {
  char kinds[64];
  size_t count = 0;
  Lexer lexer;
  Token token;
  lexer_init(&lexer, input);
  for (token = lexer_next(&lexer); token.kind != TOK_END && count + 1 < sizeof kinds;
       token = lexer_next(&lexer)) {
    kinds[count++] = "nao(),.!"[token.kind];
    if (token.kind == TOK_ERROR) break;
  }
  kinds[count] = '\0';
  if (strcmp(kinds, expected) == 0) return;
  fprintf(stderr, "%s: tokens %s, expected %s\n", input, kinds, expected);
  failures++;
}

static void check_format(double value, int precision, const char *expected) {
  char text[64];
  format_number(value, precision, text, sizeof text);
  if (strcmp(text, expected) == 0) return;
  fprintf(stderr, "%.17g: \"%s\", expected \"%s\"\n", value, text, expected);
  failures++;
}

static void check_error_text(const char *input, const char *expected) {
  char text[512];
  size_t length;
  CalcError error;
  FILE *out = tmpfile();
  calculate(input, &error);
  format_error(out, input, &error);
  rewind(out);
  length = fread(text, 1, sizeof text - 1, out);
  text[length] = '\0';
  fclose(out);
  if (strcmp(text, expected) == 0) return;
  fprintf(stderr, "%s: printed\n%sexpected\n%s", input, text, expected);
  failures++;
}

static void lexer_integer_literal(void) {
  Lexer lexer;
  Token token;
  lexer_init(&lexer, "42");
  token = lexer_next(&lexer);
  CHECK(token.kind == TOK_NUMBER && token.number == 42 && strcmp(token.text, "42") == 0);
  CHECK(lexer_next(&lexer).kind == TOK_END);
}
static void lexer_decimal_literal(void) {
  check_value("3.25", 3.25);
  check_value(".5", 0.5);
  check_value("7.", 7);
}
static void lexer_exponent_literal(void) {
  check_value("1e3", 1000);
  check_value("2.5E-2", 0.025);
  check_value("1e+2", 100);
  check_error("1e", "bad exponent", 0);
}
static void lexer_hex_literal(void) {
  check_value("0x1F", 31);
  check_value("0XFF", 255);
  /* 2^64: beyond the integers a double holds exactly */
  if (context.strict)
    check_error("0x10000000000000000", "result too large to be exact", 0);
  else
    check_value("0x10000000000000000", 18446744073709551616.0);
  check_error("0x", "bad hexadecimal number", 0);
}
static void lexer_number_too_long(void) {
  check_error("1234567890123456789012345678901234567890", "number too long", 0);
}
static void lexer_identifiers(void) {
  check_tokens("pi e_2 _x", "aaa");
  check_error("abcdefghijklmnopqrstuvwxyz_abcdef", "name too long", 0);
}
static void lexer_operators(void) {
  check_tokens("1+2-3*4/5%6^7", "nonononononon");
  check_tokens("max(1,2)", "a(n,n)");
}
static void lexer_skips_comment(void) {
  check_tokens("1 # the rest is a comment", "n");
  check_value("2 # two\n", 2);
}
static void lexer_unknown_character(void) {
  check_tokens("1 $ 2", "n!");
  check_error("1 $ 2", "unexpected character", 2);
}

static void parser_precedence(void) {
  check_value("1+2*3", 7);
  check_value("2*3+1", 7);
  check_value("7-6/3", 5);
}
static void parser_left_associative(void) {
  check_value("10-4-3", 3);
  check_value("64/4/2", 8);
}
static void parser_parentheses(void) {
  check_value("(1+2)*3", 9);
  check_value("((4))", 4);
}
static void parser_unary_minus(void) {
  check_value("-3+5", 2);
  check_value("--2", 2);
  check_value("+4", 4);
  check_value("-2^2", -4);
}
static void parser_power_right_assoc(void) {
  check_value("2^3^2", 512);
  check_value("2^-1", 0.5);
}
static void parser_missing_paren(void) {
  check_error("(1+2", "missing ')'", 0);
  check_error("max(1, 2", "missing ')'", 3);
}
static void parser_unexpected_token(void) {
  check_error("1 + * 2", "unexpected '*'", 4);
  check_error("1 2", "unexpected '2'", 2);
  check_error("", "unexpected end of expression", 0);
  check_error("(1 2)", "unexpected '2'", 3);
}
static void parser_call_arguments(void) {
  check_value("max(1, 2)", 2);
  check_value("min(3, 1+1)", 2);
  check_value("abs(-(2))", 2);
  check_error("max(1, 2, 3, 4, 5)", "too many arguments", 16);
}
static void parser_expression_too_long(void) {
  char input[300] = "1";
  int i;
  for (i = 0; i < 40; i++) strcat(input, "+1");
  check_error(input, "expression too long", 63);
  memset(input, '(', 100);
  strcpy(input + 100, "1");
  check_error(input, "expression nested too deeply", 32);
  memset(input, '-', 100);
  check_error(input, "expression nested too deeply", 32);
}

static void eval_arithmetic(void) {
  check_value("1+2", 3);
  check_value("5-7", -2);
  check_value("6*7", 42);
  check_value("7/2", 3.5);
}
static void eval_division_by_zero(void) { check_error("1/(2-2)", "division by zero", 1); }
static void eval_modulo(void) {
  check_value("17%5", 2);
  check_error("1%0", "modulo by zero", 1);
}
static void eval_power(void) {
  check_value("2^10", 1024);
  check_value("4^0.5", 2);
}
static void eval_constants(void) {
  check_value("pi", 3.14159265358979323846);
  check_value("e", 2.71828182845904523536);
  check_error("ans", "no previous result", 0);
  context.has_answer = 1;
  context.answer = 6;
  check_value("ans*7", 42);
}
static void eval_unknown_variable(void) { check_error("1+x", "unknown variable 'x'", 2); }
static void eval_functions(void) {
  check_value("sqrt(16)", 4);
  check_value("abs(-3)", 3);
  check_value("floor(2.7)", 2);
  check_value("hypot(3, 4)", 5);
}
static void eval_function_arity(void) {
  check_error("sqrt(1, 2)", "sqrt takes 1 argument, not 2", 0);
  check_error("max(1)", "max takes 2 arguments, not 1", 0);
  check_error("abs()", "abs takes 1 argument, not 0", 0);
}
static void eval_unknown_function(void) { check_error("2*cube(3)", "unknown function 'cube'", 2); }
static void eval_sqrt_of_negative(void) {
  check_error("sqrt(-4)", "square root of a negative number", 0);
}
static void eval_strict_range(void) {
  context.strict = 1;
  check_error("2^1024", "result out of range", 1);
  check_error("2^60", "result too large to be exact", 1);
  check_value("2^53", 9007199254740992.0);
}

static void format_integers(void) {
  check_format(42, 10, "42");
  check_format(-7, 10, "-7");
  check_format(-0.0, 10, "0");
}
static void format_fractions(void) {
  check_format(3.25, 10, "3.25");
  check_format(1.0 / 3, 10, "0.3333333333");
  check_format(1.0 / 3, 3, "0.333");
}
static void format_large_numbers(void) {
  check_format(1e20, 10, "1e+20");
  check_format(123456789012345.0, 10, "123456789012345");
}
static void format_special_values(void) {
  check_format(INFINITY, 10, "inf");
  check_format(-INFINITY, 10, "-inf");
  check_format(NAN, 10, "nan");
}
static void format_error_caret(void) {
  check_error_text("1 + * 2", "1 + * 2\n    ^\nerror: unexpected '*'\n");
  check_error_text("1 + x  # a comment that makes the line too long to be shown above a caret",
                   "error at column 5: unknown variable 'x'\n");
}

static const struct {
  const char *name;
  void (*run)(void);
} cases[] = {
  {"lexer.integer_literal", lexer_integer_literal},
  {"lexer.decimal_literal", lexer_decimal_literal},
  {"lexer.exponent_literal", lexer_exponent_literal},
  {"lexer.hex_literal", lexer_hex_literal},
  {"lexer.number_too_long", lexer_number_too_long},
  {"lexer.identifiers", lexer_identifiers},
  {"lexer.operators", lexer_operators},
  {"lexer.skips_comment", lexer_skips_comment},
  {"lexer.unknown_character", lexer_unknown_character},
  {"parser.precedence", parser_precedence},
  {"parser.left_associative", parser_left_associative},
  {"parser.parentheses", parser_parentheses},
  {"parser.unary_minus", parser_unary_minus},
  {"parser.power_right_assoc", parser_power_right_assoc},
  {"parser.missing_paren", parser_missing_paren},
  {"parser.unexpected_token", parser_unexpected_token},
  {"parser.call_arguments", parser_call_arguments},
  {"parser.expression_too_long", parser_expression_too_long},
  {"eval.arithmetic", eval_arithmetic},
  {"eval.division_by_zero", eval_division_by_zero},
  {"eval.modulo", eval_modulo},
  {"eval.power", eval_power},
  {"eval.constants", eval_constants},
  {"eval.unknown_variable", eval_unknown_variable},
  {"eval.functions", eval_functions},
  {"eval.function_arity", eval_function_arity},
  {"eval.unknown_function", eval_unknown_function},
  {"eval.sqrt_of_negative", eval_sqrt_of_negative},
  {"eval.strict_range", eval_strict_range},
  {"format.integers", format_integers},
  {"format.fractions", format_fractions},
  {"format.large_numbers", format_large_numbers},
  {"format.special_values", format_special_values},
  {"format.error_caret", format_error_caret},
};

int main(int argc, char **argv) {
  const char *strict = getenv("TINYCALC_STRICT");
  size_t i;
  context.strict = strict != NULL && *strict != '\0' && strcmp(strict, "0") != 0;
  for (i = 0; i < sizeof cases / sizeof cases[0]; i++) {
    if (argc < 2) {
      puts(cases[i].name);
    } else if (strcmp(argv[1], cases[i].name) == 0) {
      cases[i].run();
      return failures > 0;
    }
  }
  if (argc < 2) return 0;
  fprintf(stderr, "unit_tests: no case named '%s'\n", argv[1]);
  return 2;
}
