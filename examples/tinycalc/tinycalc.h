/* tinycalc: a small command-line calculator.
 * The pipeline: lexer (text to tokens), parser (tokens to a tree),
 * evaluator (tree to a number), formatter (number or error to text). */
#ifndef TINYCALC_H
#define TINYCALC_H

#include <stddef.h>
#include <stdio.h>

#define TC_VERSION "1.4.0"
#define TC_MAX_TOKEN 32   /* longest number or name, terminating NUL included */
#define TC_MAX_NODES 64   /* largest expression tree */
#define TC_MAX_ARGS 4     /* most arguments of a call */
#define TC_MAX_DEPTH 32   /* deepest nesting of parentheses and signs */

/* An error and the offset in the input of the byte it points at. */
typedef struct {
  char message[96];
  size_t pos;
} CalcError;

typedef enum {
  TOK_NUMBER, TOK_NAME, TOK_OPERATOR, TOK_LPAREN, TOK_RPAREN, TOK_COMMA, TOK_END, TOK_ERROR
} TokenKind;

typedef struct {
  TokenKind kind;
  size_t pos;
  double number;             /* TOK_NUMBER */
  char text[TC_MAX_TOKEN];   /* the token as written; TOK_ERROR: the message */
} Token;

typedef struct {
  const char *input;
  size_t pos;
} Lexer;

void lexer_init(Lexer *lexer, const char *input);
Token lexer_next(Lexer *lexer);

typedef enum { NODE_NUMBER, NODE_NAME, NODE_NEGATE, NODE_BINARY, NODE_CALL } NodeKind;

typedef struct Node {
  NodeKind kind;
  size_t pos;
  double number;                  /* NODE_NUMBER */
  char name[TC_MAX_TOKEN];        /* NODE_NAME, NODE_CALL */
  char op;                        /* NODE_BINARY */
  int argc;                       /* operands: 1 for NODE_NEGATE, 2 for NODE_BINARY */
  struct Node *args[TC_MAX_ARGS];
} Node;

typedef struct {
  Lexer lexer;
  Token current;
  Node nodes[TC_MAX_NODES];
  int used;
  int depth;
  CalcError error;
} Parser;

/* The tree of one whole expression, held by the parser; NULL on a syntax
 * error, described in parser->error. */
Node *parse_expression(Parser *parser, const char *input);

typedef struct {
  int strict;      /* out-of-range and inexact results are errors */
  int has_answer;  /* "ans" names the last result */
  double answer;
} EvalContext;

/* 1 and the value in *value, or 0 and the error in *error. */
int evaluate(const Node *node, const EvalContext *context, double *value, CalcError *error);

void format_number(double value, int precision, char *out, size_t size);
void format_error(FILE *out, const char *input, const CalcError *error);

#endif
