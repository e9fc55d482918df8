/* Splits an expression into tokens. Numbers are decimal (3, 3.25, .5, 1e-3)
 * or hexadecimal (0x1F); '#' starts a comment that runs to the end of the line. */
#include "tinycalc.h"

#include <ctype.h>
#include <stdlib.h>
#include <string.h>

void lexer_init(Lexer *lexer, const char *input) {
  lexer->input = input;
  lexer->pos = 0;
}

static void skip_space(Lexer *lexer) {
  for (;;) {
    char c = lexer->input[lexer->pos];
    if (isspace((unsigned char)c)) {
      lexer->pos++;
    } else if (c == '#') {
      while (lexer->input[lexer->pos] != '\0' && lexer->input[lexer->pos] != '\n')
        lexer->pos++;
    } else {
      return;
    }
  }
}

static Token error_token(Token token, const char *message) {
  token.kind = TOK_ERROR;
  strcpy(token.text, message);
  return token;
}

static size_t digits_end(const char *text, size_t pos, int hex) {
  while (hex ? isxdigit((unsigned char)text[pos]) : isdigit((unsigned char)text[pos]))
    pos++;
  return pos;
}

/* Rounds like a decimal number where an integer type would wrap around. */
static double hex_value(const char *digits) {
  double value = 0;
  for (; *digits != '\0'; digits++)
    value = value * 16 + (isdigit((unsigned char)*digits) ? *digits - '0'
                          : tolower((unsigned char)*digits) - 'a' + 10);
  return value;
}

static Token read_number(Lexer *lexer, Token token) {
  const char *input = lexer->input;
  size_t start = lexer->pos, end;
  int hex = input[start] == '0' && (input[start + 1] == 'x' || input[start + 1] == 'X');
  if (hex) {
    end = digits_end(input, start + 2, 1);
    if (end == start + 2) return error_token(token, "bad hexadecimal number");
  } else {
    end = digits_end(input, start, 0);
    if (input[end] == '.') end = digits_end(input, end + 1, 0);
    if (input[end] == 'e' || input[end] == 'E') {
      size_t exponent = end + 1;
      if (input[exponent] == '+' || input[exponent] == '-') exponent++;
      if (!isdigit((unsigned char)input[exponent])) return error_token(token, "bad exponent");
      end = digits_end(input, exponent, 0);
    }
  }
  if (end - start >= TC_MAX_TOKEN) return error_token(token, "number too long");
  memcpy(token.text, input + start, end - start);
  token.text[end - start] = '\0';
  token.kind = TOK_NUMBER;
  token.number = hex ? hex_value(token.text + 2) : strtod(token.text, NULL);
  lexer->pos = end;
  return token;
}

static Token read_name(Lexer *lexer, Token token) {
  size_t start = lexer->pos, end = start;
  while (isalnum((unsigned char)lexer->input[end]) || lexer->input[end] == '_') end++;
  if (end - start >= TC_MAX_TOKEN) return error_token(token, "name too long");
  memcpy(token.text, lexer->input + start, end - start);
  token.text[end - start] = '\0';
  token.kind = TOK_NAME;
  lexer->pos = end;
  return token;
}

Token lexer_next(Lexer *lexer) {
  Token token;
  char c, next;
  skip_space(lexer);
  memset(&token, 0, sizeof token);
  token.pos = lexer->pos;
  c = lexer->input[lexer->pos];
  next = c != '\0' ? lexer->input[lexer->pos + 1] : '\0';
  if (c == '\0') {
    token.kind = TOK_END;
    return token;
  }
  if (isdigit((unsigned char)c) || (c == '.' && isdigit((unsigned char)next)))
    return read_number(lexer, token);
  if (isalpha((unsigned char)c) || c == '_') return read_name(lexer, token);
  if (strchr("+-*/%^(),", c) == NULL) return error_token(token, "unexpected character");
  token.kind = c == '(' ? TOK_LPAREN : c == ')' ? TOK_RPAREN : c == ',' ? TOK_COMMA
                                                                         : TOK_OPERATOR;
  token.text[0] = c;
  lexer->pos++;
  return token;
}
