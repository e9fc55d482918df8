/* Evaluates an expression tree in double precision. */
#include "tinycalc.h"

#include <math.h>
#include <stdarg.h>
#include <string.h>

/* Integers above 2^53 are no longer all representable in a double. */
#define LARGEST_EXACT_INTEGER 9007199254740992.0

typedef struct {
  const char *name;
  int arity;
  double (*one)(double);
  double (*two)(double, double);
} Function;

static double absolute(double x) { return fabs(x); }
static double smaller(double x, double y) { return x < y ? x : y; }
static double larger(double x, double y) { return x > y ? x : y; }

static const Function functions[] = {
  {"sqrt", 1, sqrt, NULL},      {"abs", 1, absolute, NULL}, {"floor", 1, floor, NULL},
  {"min", 2, NULL, smaller},    {"max", 2, NULL, larger},   {"hypot", 2, NULL, hypot},
};

static int fail(CalcError *error, size_t pos, const char *format, ...) {
  va_list args;
  va_start(args, format);
  vsnprintf(error->message, sizeof error->message, format, args);
  va_end(args);
  error->pos = pos;
  return 0;
}

static int lookup_name(const Node *node, const EvalContext *context, double *value,
                       CalcError *error) {
  if (strcmp(node->name, "pi") == 0) {
    *value = 3.14159265358979323846;
  } else if (strcmp(node->name, "e") == 0) {
    *value = 2.71828182845904523536;
  } else if (strcmp(node->name, "ans") == 0) {
    if (!context->has_answer) return fail(error, node->pos, "no previous result");
    *value = context->answer;
  } else {
    return fail(error, node->pos, "unknown variable '%s'", node->name);
  }
  return 1;
}

static int apply_binary(const Node *node, double left, double right, double *value,
                        CalcError *error) {
  switch (node->op) {
  case '+': *value = left + right; break;
  case '-': *value = left - right; break;
  case '*': *value = left * right; break;
  case '/':
    if (right == 0) return fail(error, node->pos, "division by zero");
    *value = left / right;
    break;
  case '%':
    if (right == 0) return fail(error, node->pos, "modulo by zero");
    *value = fmod(left, right);
    break;
  default:
    *value = pow(left, right);
    break;
  }
  return 1;
}

static int apply_function(const Node *node, const double *args, double *value,
                          CalcError *error) {
  size_t i;
  for (i = 0; i < sizeof functions / sizeof functions[0]; i++) {
    const Function *function = &functions[i];
    if (strcmp(function->name, node->name) != 0) continue;
    if (node->argc != function->arity)
      return fail(error, node->pos, "%s takes %d argument%s, not %d", function->name,
                  function->arity, function->arity == 1 ? "" : "s", node->argc);
    if (function->one == sqrt && args[0] < 0)
      return fail(error, node->pos, "square root of a negative number");
    *value = function->arity == 1 ? function->one(args[0]) : function->two(args[0], args[1]);
    return 1;
  }
  return fail(error, node->pos, "unknown function '%s'", node->name);
}

static int check_strict(const Node *node, double value, CalcError *error) {
  if (!isfinite(value)) return fail(error, node->pos, "result out of range");
  if (fabs(value) > LARGEST_EXACT_INTEGER)
    return fail(error, node->pos, "result too large to be exact");
  return 1;
}

int evaluate(const Node *node, const EvalContext *context, double *value, CalcError *error) {
  double args[TC_MAX_ARGS];
  int i;
  if (node->kind == NODE_NUMBER) {
    *value = node->number;
  } else if (node->kind == NODE_NAME) {
    if (!lookup_name(node, context, value, error)) return 0;
  } else {
    for (i = 0; i < node->argc; i++)
      if (!evaluate(node->args[i], context, &args[i], error)) return 0;
    if (node->kind == NODE_NEGATE) {
      *value = -args[0];
    } else if (node->kind == NODE_BINARY) {
      if (!apply_binary(node, args[0], args[1], value, error)) return 0;
    } else if (!apply_function(node, args, value, error)) {
      return 0;
    }
  }
  return context->strict ? check_strict(node, *value, error) : 1;
}
