/* Recursive-descent parser. From the loosest binding to the tightest:
 *   sum     = product { ("+" | "-") product }
 *   product = unary { ("*" | "/" | "%") unary }
 *   unary   = "-" unary | "+" unary | power
 *   power   = primary [ "^" unary ]          (right-associative: 2^3^2 is 2^9)
 *   primary = number | name [ "(" [ sum { "," sum } ] ")" ] | "(" sum ")"
 * so -2^2 is -(2^2) and 2^-1 is 2^(-1). */
#include "tinycalc.h"

#include <string.h>

static Node *parse_sum(Parser *parser);
static Node *parse_unary(Parser *parser);

/* Keeps the first error: the one nearest to where the input went wrong. */
static Node *fail(Parser *parser, size_t pos, const char *message) {
  if (parser->error.message[0] == '\0') {
    strcpy(parser->error.message, message);
    parser->error.pos = pos;
  }
  return NULL;
}

static void advance(Parser *parser) {
  parser->current = lexer_next(&parser->lexer);
}

static int at_operator(const Parser *parser, const char *operators) {
  return parser->current.kind == TOK_OPERATOR && strchr(operators, parser->current.text[0]);
}

static Node *new_node(Parser *parser, NodeKind kind, size_t pos) {
  Node *node;
  if (parser->used == TC_MAX_NODES) return fail(parser, pos, "expression too long");
  node = &parser->nodes[parser->used++];
  memset(node, 0, sizeof *node);
  node->kind = kind;
  node->pos = pos;
  return node;
}

static Node *new_operation(Parser *parser, NodeKind kind, char op, size_t pos, Node *left,
                           Node *right) {
  Node *node;
  if (left == NULL || (kind == NODE_BINARY && right == NULL)) return NULL;
  node = new_node(parser, kind, pos);
  if (node == NULL) return NULL;
  node->op = op;
  node->args[0] = left;
  node->args[1] = right;
  node->argc = kind == NODE_BINARY ? 2 : 1;
  return node;
}

/* What the parser met where it wanted an operand or a closing parenthesis. */
static Node *unexpected(Parser *parser) {
  char message[96];
  const Token *token = &parser->current;
  if (token->kind == TOK_ERROR) return fail(parser, token->pos, token->text);
  if (token->kind == TOK_END) return fail(parser, token->pos, "unexpected end of expression");
  strcpy(message, "unexpected '");
  strcat(message, token->text);
  strcat(message, "'");
  return fail(parser, token->pos, message);
}

static int expect_closing(Parser *parser, size_t opening) {
  if (parser->current.kind == TOK_RPAREN) {
    advance(parser);
    return 1;
  }
  if (parser->current.kind == TOK_END) fail(parser, opening, "missing ')'");
  else unexpected(parser);
  return 0;
}

static Node *parse_call(Parser *parser, const Token *name) {
  size_t opening = parser->current.pos;
  Node *call = new_node(parser, NODE_CALL, name->pos);
  if (call == NULL) return NULL;
  strcpy(call->name, name->text);
  advance(parser);
  if (parser->current.kind != TOK_RPAREN) {
    for (;;) {
      Node *argument;
      if (call->argc == TC_MAX_ARGS) return fail(parser, parser->current.pos, "too many arguments");
      argument = parse_sum(parser);
      if (argument == NULL) return NULL;
      call->args[call->argc++] = argument;
      if (parser->current.kind != TOK_COMMA) break;
      advance(parser);
    }
  }
  return expect_closing(parser, opening) ? call : NULL;
}

static Node *parse_primary(Parser *parser) {
  Token token = parser->current;
  Node *node;
  switch (token.kind) {
  case TOK_NUMBER:
    node = new_node(parser, NODE_NUMBER, token.pos);
    if (node != NULL) node->number = token.number;
    advance(parser);
    return node;
  case TOK_NAME:
    advance(parser);
    if (parser->current.kind == TOK_LPAREN) return parse_call(parser, &token);
    node = new_node(parser, NODE_NAME, token.pos);
    if (node != NULL) strcpy(node->name, token.text);
    return node;
  case TOK_LPAREN:
    advance(parser);
    node = parse_sum(parser);
    if (node == NULL) return NULL;
    return expect_closing(parser, token.pos) ? node : NULL;
  default:
    return unexpected(parser);
  }
}

static Node *parse_power(Parser *parser) {
  Node *base = parse_primary(parser);
  size_t pos;
  if (base == NULL || !at_operator(parser, "^")) return base;
  pos = parser->current.pos;
  advance(parser);
  return new_operation(parser, NODE_BINARY, '^', pos, base, parse_unary(parser));
}

static Node *parse_unary(Parser *parser) {
  size_t pos = parser->current.pos;
  Node *node;
  /* Signs and parentheses nest through here: a bound keeps the stack small. */
  if (parser->depth == TC_MAX_DEPTH) return fail(parser, pos, "expression nested too deeply");
  parser->depth++;
  if (at_operator(parser, "-")) {
    advance(parser);
    node = new_operation(parser, NODE_NEGATE, '-', pos, parse_unary(parser), NULL);
  } else if (at_operator(parser, "+")) {
    advance(parser);
    node = parse_unary(parser);
  } else {
    node = parse_power(parser);
  }
  parser->depth--;
  return node;
}

static Node *parse_product(Parser *parser) {
  Node *left = parse_unary(parser);
  while (left != NULL && at_operator(parser, "*/%")) {
    char op = parser->current.text[0];
    size_t pos = parser->current.pos;
    advance(parser);
    left = new_operation(parser, NODE_BINARY, op, pos, left, parse_unary(parser));
  }
  return left;
}

static Node *parse_sum(Parser *parser) {
  Node *left = parse_product(parser);
  while (left != NULL && at_operator(parser, "+-")) {
    char op = parser->current.text[0];
    size_t pos = parser->current.pos;
    advance(parser);
    left = new_operation(parser, NODE_BINARY, op, pos, left, parse_product(parser));
  }
  return left;
}

Node *parse_expression(Parser *parser, const char *input) {
  Node *root;
  memset(parser, 0, sizeof *parser);
  lexer_init(&parser->lexer, input);
  advance(parser);
  root = parse_sum(parser);
  if (root == NULL) return NULL;
  if (parser->current.kind != TOK_END) return unexpected(parser);
  return root;
}
