#!/usr/bin/env python3
"""Writes the bundled example coverage files (.tio) of this folder.

They are what three executions of the test suite of "tinycalc", a small
command-line calculator written in C, would record:

  tinycalc-1-unit.tio     the unit tests of the lexer, parser, evaluator and
                          number formatter;
  tinycalc-2-cli.tio      the end-to-end tests of the command-line program,
                          which run the whole pipeline (the last one is a
                          fuzzing case, recorded without a name);
  tinycalc-3-nightly.tio  a nightly build with a French locale and the
                          strict-math option: it re-runs some tests of the
                          two other executions and runs two tests of its own.

Coverage keys: FT is the source module, DC the line where the function starts
in its module, and the branch kinds are B (a branch: each way of a decision
counts once) and L (a line, counted from the first line of the function).

The output is fully determined by the tables below; run the script again
after editing them:

    python3 examples/make_examples.py
"""

import os
import sys

# Modules (FT key) and their functions (DC key: the line where the function
# starts). The order is the one in which a test's coverage is written.
MODULES = {
    "lexer": (0x1, {"next_token": 0x1C, "read_number": 0x58,
                    "read_ident": 0x8A, "skip_space": 0xA3}),
    "parser": (0x2, {"parse_expr": 0x21, "parse_term": 0x47,
                     "parse_factor": 0x6D, "parse_call": 0xB2,
                     "expect": 0xE0}),
    "eval": (0x3, {"eval_node": 0x19, "apply_binop": 0x40,
                   "apply_func": 0x7B, "lookup_var": 0xC4}),
    "format": (0x4, {"format_number": 0x12, "format_error": 0x55}),
    "main": (0x5, {"main": 0x14, "parse_args": 0x3E, "repl_loop": 0x7A}),
}


def cov(module, function, kind, *indexes):
    """The covItems of one function: branch kind and branch indexes."""
    return [(module, function, kind, index) for index in indexes]


# What each feature of tinycalc executes. A test's coverage is the union of
# the features that it exercises.
FEATURES = {
    # lexer.c
    "lex": cov("lexer", "next_token", "L", 0, 1, 2, 3)
    + cov("lexer", "next_token", "B", 0, 1)
    + cov("lexer", "skip_space", "L", 0, 1)
    + cov("lexer", "skip_space", "B", 0),
    "lex.number": cov("lexer", "next_token", "B", 2)
    + cov("lexer", "next_token", "L", 4)
    + cov("lexer", "read_number", "L", 0, 1, 2, 3)
    + cov("lexer", "read_number", "B", 0),
    "lex.decimal": cov("lexer", "read_number", "B", 1)
    + cov("lexer", "read_number", "L", 4),
    "lex.exponent": cov("lexer", "read_number", "B", 2, 3)
    + cov("lexer", "read_number", "L", 5),
    "lex.hex": cov("lexer", "read_number", "B", 4)
    + cov("lexer", "read_number", "L", 6),
    "lex.overflow": cov("lexer", "read_number", "B", 5)
    + cov("lexer", "read_number", "L", 7),
    "lex.ident": cov("lexer", "next_token", "B", 3)
    + cov("lexer", "next_token", "L", 5)
    + cov("lexer", "read_ident", "L", 0, 1, 2, 3)
    + cov("lexer", "read_ident", "B", 0, 1),
    "lex.operator": cov("lexer", "next_token", "B", 4)
    + cov("lexer", "next_token", "L", 6),
    "lex.paren": cov("lexer", "next_token", "B", 5)
    + cov("lexer", "next_token", "L", 7),
    "lex.comma": cov("lexer", "next_token", "B", 6)
    + cov("lexer", "next_token", "L", 8),
    "lex.bad_char": cov("lexer", "next_token", "B", 7)
    + cov("lexer", "next_token", "L", 9),
    "lex.comment": cov("lexer", "skip_space", "B", 1)
    + cov("lexer", "skip_space", "L", 2),
    # parser.c
    "parse": cov("parser", "parse_expr", "L", 0, 1, 2)
    + cov("parser", "parse_expr", "B", 2)
    + cov("parser", "parse_term", "L", 0, 1, 2)
    + cov("parser", "parse_term", "B", 3)
    + cov("parser", "parse_factor", "L", 0, 1)
    + cov("parser", "parse_factor", "B", 0)
    + cov("parser", "parse_factor", "L", 2),
    "parse.add": cov("parser", "parse_expr", "B", 0)
    + cov("parser", "parse_expr", "L", 3),
    "parse.sub": cov("parser", "parse_expr", "B", 1)
    + cov("parser", "parse_expr", "L", 3, 4),
    "parse.mul": cov("parser", "parse_term", "B", 0)
    + cov("parser", "parse_term", "L", 3),
    "parse.div": cov("parser", "parse_term", "B", 1)
    + cov("parser", "parse_term", "L", 4),
    "parse.mod": cov("parser", "parse_term", "B", 2)
    + cov("parser", "parse_term", "L", 5),
    "parse.ident": cov("parser", "parse_factor", "B", 1)
    + cov("parser", "parse_factor", "L", 3),
    "parse.paren": cov("parser", "parse_factor", "B", 2)
    + cov("parser", "parse_factor", "L", 4, 5)
    + cov("parser", "expect", "L", 0, 1)
    + cov("parser", "expect", "B", 0),
    "parse.unary": cov("parser", "parse_factor", "B", 3)
    + cov("parser", "parse_factor", "L", 6),
    "parse.pow": cov("parser", "parse_factor", "B", 4)
    + cov("parser", "parse_factor", "L", 7, 8),
    "parse.missing_paren": cov("parser", "parse_factor", "B", 5)
    + cov("parser", "parse_factor", "L", 9)
    + cov("parser", "expect", "B", 1)
    + cov("parser", "expect", "L", 2),
    "parse.unexpected": cov("parser", "parse_factor", "B", 6)
    + cov("parser", "parse_factor", "L", 10)
    + cov("parser", "parse_expr", "B", 3)
    + cov("parser", "parse_expr", "L", 5),
    "parse.call": cov("parser", "parse_factor", "B", 7)
    + cov("parser", "parse_factor", "L", 11)
    + cov("parser", "parse_call", "L", 0, 1, 2)
    + cov("parser", "expect", "L", 0, 1)
    + cov("parser", "expect", "B", 0),
    "parse.call_no_args": cov("parser", "parse_call", "B", 0)
    + cov("parser", "parse_call", "L", 3),
    "parse.call_one_arg": cov("parser", "parse_call", "B", 1)
    + cov("parser", "parse_call", "L", 4),
    "parse.call_args": cov("parser", "parse_call", "B", 1, 2)
    + cov("parser", "parse_call", "L", 4, 5),
    # eval.c
    "eval": cov("eval", "eval_node", "L", 0, 1, 2)
    + cov("eval", "eval_node", "B", 0),
    "eval.var": cov("eval", "eval_node", "B", 1)
    + cov("eval", "eval_node", "L", 3)
    + cov("eval", "lookup_var", "L", 0, 1),
    "var.pi": cov("eval", "lookup_var", "B", 0)
    + cov("eval", "lookup_var", "L", 2),
    "var.e": cov("eval", "lookup_var", "B", 1)
    + cov("eval", "lookup_var", "L", 2),
    "var.unknown": cov("eval", "lookup_var", "B", 2)
    + cov("eval", "lookup_var", "L", 3),
    "eval.binop": cov("eval", "eval_node", "B", 2)
    + cov("eval", "eval_node", "L", 4)
    + cov("eval", "apply_binop", "L", 0, 1),
    "op.add": cov("eval", "apply_binop", "B", 0)
    + cov("eval", "apply_binop", "L", 2),
    "op.sub": cov("eval", "apply_binop", "B", 1)
    + cov("eval", "apply_binop", "L", 3),
    "op.mul": cov("eval", "apply_binop", "B", 2)
    + cov("eval", "apply_binop", "L", 4),
    "op.div": cov("eval", "apply_binop", "B", 3)
    + cov("eval", "apply_binop", "L", 5),
    "op.mod": cov("eval", "apply_binop", "B", 4)
    + cov("eval", "apply_binop", "L", 6),
    "op.pow": cov("eval", "apply_binop", "B", 5)
    + cov("eval", "apply_binop", "L", 7, 8),
    "op.div_zero": cov("eval", "apply_binop", "B", 6)
    + cov("eval", "apply_binop", "L", 9),
    "op.mod_zero": cov("eval", "apply_binop", "B", 7)
    + cov("eval", "apply_binop", "L", 10),
    "eval.unary": cov("eval", "eval_node", "B", 3)
    + cov("eval", "eval_node", "L", 5),
    "eval.call": cov("eval", "eval_node", "B", 4)
    + cov("eval", "eval_node", "L", 6, 7)
    + cov("eval", "apply_func", "L", 0, 1),
    "fn.sqrt": cov("eval", "apply_func", "B", 0)
    + cov("eval", "apply_func", "L", 2),
    "fn.abs": cov("eval", "apply_func", "B", 1)
    + cov("eval", "apply_func", "L", 3),
    "fn.min": cov("eval", "apply_func", "B", 2)
    + cov("eval", "apply_func", "L", 4),
    "fn.max": cov("eval", "apply_func", "B", 3)
    + cov("eval", "apply_func", "L", 5),
    "fn.unknown": cov("eval", "apply_func", "B", 4)
    + cov("eval", "apply_func", "L", 6),
    "fn.arity": cov("eval", "apply_func", "B", 5)
    + cov("eval", "apply_func", "L", 7),
    "fn.sqrt_negative": cov("eval", "apply_func", "B", 0, 6)
    + cov("eval", "apply_func", "L", 8),
    # format.c
    "fmt.int": cov("format", "format_number", "L", 0, 1, 2)
    + cov("format", "format_number", "B", 0),
    "fmt.frac": cov("format", "format_number", "B", 1)
    + cov("format", "format_number", "L", 3, 4),
    "fmt.trim": cov("format", "format_number", "B", 2)
    + cov("format", "format_number", "L", 5),
    "fmt.exp": cov("format", "format_number", "B", 3)
    + cov("format", "format_number", "L", 6),
    "fmt.neg": cov("format", "format_number", "B", 4)
    + cov("format", "format_number", "L", 7),
    "fmt.comma": cov("format", "format_number", "B", 5)
    + cov("format", "format_number", "L", 8),
    "fmt.error": cov("format", "format_error", "L", 0, 1, 4)
    + cov("format", "format_error", "B", 1),
    "fmt.error_pos": cov("format", "format_error", "L", 0, 1, 2, 3, 4)
    + cov("format", "format_error", "B", 0, 2),
    # main.c
    "cli": cov("main", "main", "L", 0, 1, 2)
    + cov("main", "parse_args", "L", 0, 1),
    "cli.expr": cov("main", "parse_args", "B", 0)
    + cov("main", "parse_args", "L", 2)
    + cov("main", "main", "B", 0)
    + cov("main", "main", "L", 3),
    "cli.precision": cov("main", "parse_args", "B", 1)
    + cov("main", "parse_args", "L", 3),
    "cli.help": cov("main", "parse_args", "B", 2)
    + cov("main", "parse_args", "L", 4),
    "cli.unknown_option": cov("main", "parse_args", "B", 3)
    + cov("main", "parse_args", "L", 5),
    "cli.missing_value": cov("main", "parse_args", "B", 4)
    + cov("main", "parse_args", "L", 6),
    "cli.version": cov("main", "parse_args", "B", 5)
    + cov("main", "main", "B", 4)
    + cov("main", "main", "L", 8),
    "cli.stdin": cov("main", "main", "B", 1)
    + cov("main", "main", "L", 4),
    "cli.repl": cov("main", "main", "B", 2)
    + cov("main", "main", "L", 5)
    + cov("main", "repl_loop", "L", 0, 1, 2)
    + cov("main", "repl_loop", "B", 0),
    "repl.empty_line": cov("main", "repl_loop", "B", 1)
    + cov("main", "repl_loop", "L", 3),
    "repl.quit": cov("main", "repl_loop", "B", 2)
    + cov("main", "repl_loop", "L", 4),
    "repl.eof": cov("main", "repl_loop", "B", 3)
    + cov("main", "repl_loop", "L", 5),
    "cli.error_exit": cov("main", "main", "B", 3)
    + cov("main", "main", "L", 6, 7),
}

# Shorthands for the layers that a test goes through.
LEX_NUM = ["lex", "lex.number"]
PARSE = LEX_NUM + ["lex.operator", "parse"]
EVAL = PARSE + ["eval"]
CLI = EVAL + ["cli", "fmt.int"]
CALLS = ["lex.ident", "lex.paren", "parse.ident", "parse.call", "eval.call"]

# The test suite: name, description, features. Tests that print fractions
# take the decimal comma branch as well when they run under a French locale.
SUITE = [
    # Unit tests of the lexer, parser, evaluator and formatter.
    ("lexer.integer_literal", "reads 42 as one number token",
     LEX_NUM),
    ("lexer.decimal_literal", "reads 3.25 and .5",
     LEX_NUM + ["lex.decimal"]),
    ("lexer.exponent_literal", "reads 1e3, 2.5E-4 and 6e+2",
     LEX_NUM + ["lex.decimal", "lex.exponent"]),
    ("lexer.hex_literal", "reads 0x1F and 0XFF",
     LEX_NUM + ["lex.hex"]),
    ("lexer.number_too_long", "rejects a 400-digit literal",
     LEX_NUM + ["lex.overflow"]),
    ("lexer.identifiers", "reads pi, x_1 and sqrt",
     ["lex", "lex.ident"]),
    ("lexer.operators", "reads + - * / % ^ ( ) as tokens",
     LEX_NUM + ["lex.operator", "lex.paren"]),
    ("lexer.skips_comment", "ignores text after # to end of line",
     LEX_NUM + ["lex.comment"]),
    ("lexer.unknown_character", "reports $ at column 3",
     LEX_NUM + ["lex.bad_char"]),
    ("parser.precedence", "1+2*3 groups as 1+(2*3)",
     PARSE + ["parse.add", "parse.mul"]),
    ("parser.left_associative", "8-3-2 groups as (8-3)-2",
     PARSE + ["parse.sub"]),
    ("parser.parentheses", "(1+2)*3 keeps the group",
     PARSE + ["lex.paren", "parse.paren", "parse.add", "parse.mul"]),
    ("parser.unary_minus", "-(2) and --3",
     PARSE + ["lex.paren", "parse.paren", "parse.unary"]),
    ("parser.power_right_assoc", "2^3^2 groups as 2^(3^2)",
     PARSE + ["parse.pow"]),
    ("parser.missing_paren", "(1+2 reports the missing )",
     PARSE + ["lex.paren", "parse.missing_paren", "parse.add"]),
    ("parser.unexpected_token", "1+*2 reports the *",
     PARSE + ["parse.add", "parse.unexpected"]),
    ("parser.call_arguments", "max(1, 2, 3) has three arguments",
     PARSE + CALLS[:4] + ["lex.comma", "parse.call_args"]),
    ("eval.arithmetic", "1+2, 7-4, 6*7 and 9/4",
     EVAL + ["parse.add", "parse.sub", "parse.mul", "parse.div",
             "eval.binop", "op.add", "op.sub", "op.mul", "op.div"]),
    ("eval.division_by_zero", "1/0 is an error, not inf",
     EVAL + ["parse.div", "eval.binop", "op.div_zero"]),
    ("eval.power", "2^10 and 2^-1",
     EVAL + ["parse.pow", "parse.unary", "eval.binop", "op.pow",
             "eval.unary"]),
    ("eval.constants", "pi and e",
     EVAL + ["lex.ident", "parse.ident", "eval.var", "var.pi", "var.e"]),
    ("eval.unknown_variable", "x is reported as undefined",
     EVAL + ["lex.ident", "parse.ident", "eval.var", "var.unknown"]),
    ("eval.functions", "sqrt(16), abs(-2), min(1,2), max(1,2)",
     EVAL + CALLS + ["lex.comma", "parse.call_one_arg", "parse.call_args",
                     "parse.unary", "eval.unary",
                     "fn.sqrt", "fn.abs", "fn.min", "fn.max"]),
    ("eval.function_arity", "sqrt(1, 2) is refused",
     EVAL + CALLS + ["lex.comma", "parse.call_args", "fn.arity"]),
    ("eval.unknown_function", "foo(1) is reported as undefined",
     EVAL + CALLS + ["parse.call_one_arg", "fn.unknown"]),
    ("eval.modulo", "7%3 is 1 and 7%0 is an error",
     EVAL + ["parse.mod", "eval.binop", "op.mod", "op.mod_zero"]),
    ("eval.sqrt_of_negative", "strict math: sqrt(-1) fails",
     EVAL + CALLS + ["parse.call_one_arg", "parse.unary", "eval.unary",
                     "fn.sqrt_negative"]),
    ("format.integers", "prints 42, -7 and 0",
     ["fmt.int", "fmt.neg"]),
    ("format.fractions", "prints 2.5 and 0.125, trims zeros",
     ["fmt.int", "fmt.frac", "fmt.trim"]),
    ("format.large_numbers", "prints 1e+20 in exponent form",
     ["fmt.int", "fmt.exp"]),
    ("format.error_caret", "puts ^ under the failing column",
     ["fmt.error_pos"]),
    # End-to-end tests of the command-line program.
    ("cli.expression_argument", "tinycalc -e '1+2*3' prints 7",
     CLI + ["cli.expr", "parse.add", "parse.mul", "eval.binop",
            "op.add", "op.mul"]),
    ("cli.reads_stdin", "echo '2*21' | tinycalc prints 42",
     CLI + ["cli.stdin", "parse.mul", "eval.binop", "op.mul"]),
    ("cli.precision_option", "-p 3 -e '10/4' prints 2.5",
     CLI + ["cli.expr", "cli.precision", "parse.div", "eval.binop",
            "op.div", "fmt.frac", "fmt.trim"]),
    ("cli.help", "--help prints the usage, status 0",
     ["cli", "cli.help"]),
    ("cli.version", "--version prints 1.4.0",
     ["cli", "cli.version"]),
    ("cli.unknown_option", "-z is refused, status 2",
     ["cli", "cli.unknown_option", "cli.error_exit", "fmt.error"]),
    ("cli.missing_option_value", "-p without a value, status 2",
     ["cli", "cli.missing_value", "cli.error_exit", "fmt.error"]),
    ("cli.syntax_error", "-e '2*$x' shows a caret, status 1",
     CLI + ["cli.expr", "lex.bad_char", "parse.unexpected",
            "cli.error_exit", "fmt.error_pos"]),
    ("cli.division_by_zero", "-e '1/0' fails with status 1",
     CLI + ["cli.expr", "parse.div", "eval.binop", "op.div_zero",
            "cli.error_exit", "fmt.error_pos"]),
    ("cli.large_result", "-e '2^70' prints 1.18e+21",
     CLI + ["cli.expr", "parse.pow", "eval.binop", "op.pow", "fmt.exp"]),
    ("cli.unknown_function", "-e 'foo(1)' names foo, status 1",
     CLI + CALLS + ["cli.expr", "parse.call_one_arg", "fn.unknown",
                    "cli.error_exit", "fmt.error_pos"]),
    ("cli.repl_session", "repl: 'pi*e', '', 'quit'",
     CLI + ["cli.repl", "lex.ident", "parse.ident", "parse.mul",
            "eval.var", "var.pi", "var.e", "eval.binop", "op.mul",
            "fmt.frac", "repl.empty_line", "repl.quit"]),
    ("cli.repl_end_of_input", "repl ends at end of input",
     ["cli", "cli.repl", "repl.eof"]),
    ("fuzz.seed_17", "random expression '-(3)^2-1/2e1'",
     CLI + ["cli.expr", "lex.decimal", "lex.exponent", "lex.paren",
            "parse.paren", "parse.unary", "parse.pow", "parse.sub",
            "parse.div", "eval.unary", "eval.binop", "op.pow", "op.sub",
            "op.div", "fmt.frac", "fmt.neg"]),
]

# Under the French locale the tests that print fractions also take the
# decimal comma branch, and their expected output reads differently.
FRENCH_DESCRIPTIONS = {
    "format.fractions": "prints 2,5 and 0,125, trims zeros",
    "cli.precision_option": "-p 3 -e '10/4' prints 2,5",
}

# The three executions: file name, title for its header comment, the
# tests it ran in order, and whether it ran under the French locale.
# The fuzzing case is written without a name, as the fuzzer's runner does;
# the tool then names it "#" and the number of its NT line in its file.
UNNAMED = {"fuzz.seed_17"}
EXECUTIONS = [
    ("tinycalc-1-unit.tio", "unit tests, debug build", False,
     [name for name, _, _ in SUITE if name.split(".")[0] in
      ("lexer", "parser", "eval", "format")
      and name not in ("eval.modulo", "eval.sqrt_of_negative")]),
    ("tinycalc-2-cli.tio", "command-line tests, debug", False,
     [name for name, _, _ in SUITE if name.split(".")[0] in ("cli", "fuzz")]),
    # Strict math and the modulo operator are only built in the nightly
    # configuration; it re-runs the tests touched since the last release.
    ("tinycalc-3-nightly.tio", "nightly, fr_FR, strict math", True,
     ["lexer.decimal_literal", "lexer.hex_literal", "parser.missing_paren",
      "parser.call_arguments", "eval.arithmetic", "eval.unknown_variable",
      "eval.functions", "eval.function_arity", "eval.modulo",
      "eval.sqrt_of_negative", "format.fractions", "cli.expression_argument",
      "cli.reads_stdin", "cli.precision_option", "cli.unknown_option",
      "cli.missing_option_value", "cli.repl_session",
      "cli.repl_end_of_input"]),
]


def executed_tests(names, french):
    """The (name, description, features) of the tests run by one
    execution, in order."""
    by_name = {name: (description, features)
               for name, description, features in SUITE}
    tests = []
    for name in names:
        description, features = by_name[name]
        if french and "fmt.frac" in features:
            features = features + ["fmt.comma"]
            description = FRENCH_DESCRIPTIONS.get(name, description)
        tests.append((name, description, features))
    return tests

# Every line is kept within 48 bytes before its newline, so that a reader
# that takes lines in short pieces still gets each one whole.
MAX_LINE = 48


def hexa(value):
    """A number as the .tio files write it: hexadecimal digits, least
    significant digit first (0x2C is written "C2")."""
    if not 0 <= value <= 0xFFFFFFFF:
        raise ValueError(f"{value} does not fit in 32 bits")
    digits = ""
    while True:
        digits += "0123456789ABCDEF"[value & 0xF]
        value >>= 4
        if value == 0:
            return digits


def coverage_lines(features):
    """The FT, DC and T lines of one test, module by module and function by
    function in source order, branches (B) before lines (L)."""
    items = set()
    for feature in features:
        items.update(FEATURES[feature])
    module_order = list(MODULES)
    lines = []
    current_module = None
    for module in module_order:
        ft_key, functions = MODULES[module]
        for function, dc_key in functions.items():
            for kind in ("B", "L"):
                indexes = sorted(index for (m, f, k, index) in items
                                 if (m, f, k) == (module, function, kind))
                if not indexes:
                    continue
                if module != current_module:
                    lines.append(f"FT {hexa(ft_key)}")
                    current_module = module
                    current_function = None
                if function != current_function:
                    lines.append(f"DC {hexa(dc_key)}")
                    current_function = function
                lines.extend(f"T{kind} {hexa(index)}" for index in indexes)
    return lines


def tio_text(title, tests):
    lines = [
        "# tinycalc 1.4.0, " + title,
        "# FT module, DC function line, TB/TL branch/line",
    ]
    for name, description, features in tests:
        unknown = [f for f in features if f not in FEATURES]
        if unknown:
            raise KeyError(f"{name}: unknown features {unknown}")
        lines.append("NT" if name in UNNAMED else f'NT "{name}"')
        lines.append(f"DT {description}")
        lines.extend(coverage_lines(features))
    for line in lines:
        if len(line.encode("ascii")) > MAX_LINE:
            raise ValueError(f"line longer than {MAX_LINE} bytes: {line}")
    return "\n".join(lines) + "\n"


def main():
    folder = os.path.dirname(os.path.abspath(__file__))
    for file_name, title, french, names in EXECUTIONS:
        tests = executed_tests(names, french)
        path = os.path.join(folder, file_name)
        with open(path, "w", encoding="ascii", newline="\n") as output:
            output.write(tio_text(title, tests))
        print(f"{path}: {len(tests)} tests", file=sys.stderr)


if __name__ == "__main__":
    main()
