#!/usr/bin/env python3
"""Writes deterministic coverage suites (.tio files) for the benchmarks.

Two kinds of instance:

  realistic  A code base of modules, source files (FT keys) and functions
             (DC keys) whose branches are of kinds F (function entry), L (line
             block), B (decision outcome) and C (condition). Every test runs a
             setup path, then reaches a few modules picked with skewed
             (Zipf-like) popularity and, in each function it enters, one of a
             few paths, the common one most often. Tests come in families of
             near-duplicate parameterised cases; a few reach a private error
             handler (so they are mandatory). Tests are spread over several
             executions (one .tio file each), and some are run again in
             another execution, with the same name and the same or almost the
             same coverage.
  lines      The same suites at line level, as the converters write real
             coverage: an FT key per source file, a DC line per source line
             reached (its line number), TL 0 for the line and TB n for each
             branch of it taken: about one DC line per branch line.
  random     A plain random set cover: every test reaches every branch with
             the fixed probability p. The hard case for an exact search.

The output depends only on the preset and the seed:

    bench/generate_suite.py --out bench/data s50 rand60x120
    bench/generate_suite.py --list

Each preset goes into OUT/<preset>/ as one or more .tio files and a
preset.txt stamp; a preset whose stamp is current is not written again.
"""

import argparse
import bisect
import hashlib
import os
import random
import sys
from dataclasses import dataclass, asdict

# Bump when the output for the same parameters changes.
GENERATOR_VERSION = 3


@dataclass(frozen=True)
class Realistic:
    tests: int                 # NT lines over all files, re-runs included
    executions: int            # .tio files
    modules: int
    files_per_module: int
    functions_per_file: int
    setup_functions: int       # functions of the path every test runs
    mean_modules: float        # modules a test family reaches
    reach: float               # chance that a family enters a function of a module it reaches
    rerun_share: float         # share of the NT lines that are re-runs
    private_share: float = 0.02  # tests with a private error handler
    mean_family: float = 4.0   # mean size of a family of parameterised tests
    mutate: float = 0.08       # chance that a family member takes another path in a function
    flaky: float = 0.25        # chance that a re-run takes another path somewhere
    seed: int = 1
    line_level: bool = False   # DC per source line (as the converters write)


@dataclass(frozen=True)
class RandomCover:
    tests: int
    branches: int
    p: float
    seed: int = 1


PRESETS = {
    "s50": Realistic(tests=50, executions=2, modules=6, files_per_module=2,
                     functions_per_file=4, setup_functions=4, mean_modules=1.8,
                     reach=0.6, rerun_share=0.1),
    # Small enough for the reference search to finish in seconds.
    "s150": Realistic(tests=150, executions=3, modules=12, files_per_module=3,
                      functions_per_file=4, setup_functions=6, mean_modules=2.0,
                      reach=0.55, rerun_share=0.1, seed=2),
    "s200": Realistic(tests=200, executions=3, modules=14, files_per_module=3,
                      functions_per_file=4, setup_functions=6, mean_modules=2.2,
                      reach=0.5, rerun_share=0.1),
    "s500": Realistic(tests=500, executions=4, modules=24, files_per_module=3,
                      functions_per_file=5, setup_functions=8, mean_modules=2.5,
                      reach=0.5, rerun_share=0.12),
    "rerun300": Realistic(tests=300, executions=6, modules=12, files_per_module=3,
                          functions_per_file=4, setup_functions=6, mean_modules=2.2,
                          reach=0.5, rerun_share=0.65, flaky=0.35),
    "s5000": Realistic(tests=5000, executions=8, modules=80, files_per_module=4,
                       functions_per_file=5, setup_functions=20, mean_modules=2.5,
                       reach=0.5, rerun_share=0.12),
    # s5000's suite run as 400 executions: reading many small files.
    "s5000x400": Realistic(tests=5000, executions=400, modules=80, files_per_module=4,
                           functions_per_file=5, setup_functions=20, mean_modules=2.5,
                           reach=0.5, rerun_share=0.12),
    "s20000": Realistic(tests=20000, executions=12, modules=160, files_per_module=6,
                        functions_per_file=14, setup_functions=100, mean_modules=3.0,
                        reach=0.6, rerun_share=0.12),
    # s20000's suite at line level, about the size of s20000.
    "l20000": Realistic(tests=20000, executions=12, modules=160, files_per_module=6,
                        functions_per_file=14, setup_functions=24, mean_modules=3.0,
                        reach=0.6, rerun_share=0.12, line_level=True),
    "l500": Realistic(tests=500, executions=4, modules=24, files_per_module=3,
                      functions_per_file=5, setup_functions=8, mean_modules=2.5,
                      reach=0.5, rerun_share=0.12, line_level=True),
    "rand60x120": RandomCover(tests=60, branches=120, p=0.15),
    "rand70x160": RandomCover(tests=70, branches=160, p=0.15),
    "rand80x200": RandomCover(tests=80, branches=200, p=0.15),
    "rand150x400": RandomCover(tests=150, branches=400, p=0.05),
}

# Small enough for a quick check of the whole kit.
QUICK_PRESETS = ["s50", "s150", "s200", "s500", "l500", "rerun300", "rand60x120", "rand70x160"]


def lsd_hex(value):
    """A number as the coverage files write it: least significant digit first."""
    return format(value, "X")[::-1]


class Sampler:
    """Deterministic draws built on random.random() alone, whose sequence
    does not change between Python versions."""

    def __init__(self, seed):
        self.rng = random.Random(seed)

    def chance(self, p):
        return self.rng.random() < p

    def below(self, n):
        return min(int(self.rng.random() * n), n - 1)

    def geometric(self, mean):
        """0, 1, 2... with the given mean."""
        if mean <= 0:
            return 0
        stop = 1.0 / (1.0 + mean)
        k = 0
        while self.rng.random() >= stop:
            k += 1
        return k

    def weighted(self, cumulative):
        return bisect.bisect_right(cumulative, self.rng.random() * cumulative[-1])

    def key(self):
        """A 32-bit key, like the hash of a file or function name."""
        return int(self.rng.random() * 2**32) & 0xFFFFFFFF


def zipf_cumulative(n, s):
    total, out = 0.0, []
    for rank in range(n):
        total += 1.0 / (rank + 1) ** s
        out.append(total)
    return out


class Function:
    """A function and the few paths a test can take through it, each written
    out once as the DC line and branch lines it records."""

    def __init__(self, sampler, source, first_line=None):
        self.source = source
        self.dc_key = sampler.key()
        # At line level, the function's lines from first_line on.
        self.first_line = first_line
        decisions = 1 + sampler.geometric(1.8)
        compound = [sampler.chance(0.2) for _ in range(decisions)]
        paths = 1 + min(sampler.geometric(1.5), 2 * decisions)
        self.paths = [self._render(sampler, decisions, compound, first=(i == 0))
                      for i in range(paths)]
        self.popularity = zipf_cumulative(paths, 1.6)

    def _render(self, sampler, decisions, compound, first):
        lines = {0}
        branches, conditions = set(), set()
        for d in range(decisions):
            # The common path mostly goes the "true" way; a loop takes both.
            outcomes = [0] if first else [sampler.below(2)]
            if sampler.chance(0.15):
                outcomes = [0, 1]
            for outcome in outcomes:
                branches.add(2 * d + outcome)
                if outcome == 0:
                    lines.add(d + 1)
                if compound[d]:
                    conditions.add(2 * d + outcome)
        if self.first_line is not None:
            return self._render_lines(lines, branches)
        text = ["DC %s\nTF 0\n" % lsd_hex(self.dc_key)]
        text += ["TL %s\n" % lsd_hex(i) for i in sorted(lines)]
        text += ["TB %s\n" % lsd_hex(i) for i in sorted(branches)]
        text += ["TC %s\n" % lsd_hex(i) for i in sorted(conditions)]
        return "".join(text)


    def _render_lines(self, lines, branches):
        """Decision d stands on line 2d + 1, with its outcome k as branch k
        of the line; the line after it is the body its outcome 0 runs. The
        function's first line is its entry."""
        text = ["DC %s\nTL 0\nTF 0\n" % lsd_hex(self.first_line)]
        for d in range(max(b // 2 for b in branches) + 1):
            text.append("DC %s\nTL 0\n" % lsd_hex(self.first_line + 2 * d + 1))
            text += ["TB %s\n" % lsd_hex(b % 2) for b in sorted(branches) if b // 2 == d]
            if d + 1 in lines:
                text.append("DC %s\nTL 0\n" % lsd_hex(self.first_line + 2 * d + 2))
        return "".join(text)


class CodeBase:
    def __init__(self, sampler, preset):
        def source():
            return "FT %s\n" % lsd_hex(sampler.key())

        def functions(count):
            ft = source()
            if not preset.line_level:
                return [Function(sampler, ft) for _ in range(count)]
            # Functions one after another in the file, a few lines apart.
            made, line = [], 1
            for _ in range(count):
                made.append(Function(sampler, ft, first_line=line))
                line += 20 + sampler.below(40)
            return made

        # The setup path spans a few sources of six functions each.
        self.setup = []
        for first in range(0, preset.setup_functions, 6):
            self.setup += functions(min(6, preset.setup_functions - first))
        self.modules = []
        for _ in range(preset.modules):
            module = []
            for _ in range(preset.files_per_module):
                module += functions(preset.functions_per_file)
            self.modules.append(module)
        self.module_popularity = zipf_cumulative(preset.modules, 1.1)
        # Private error handlers live in sources of their own.
        self.handler_source = source()
        self.handler_keys = set()

    def private_handler(self, sampler):
        key = sampler.key()
        while key in self.handler_keys:
            key = sampler.key()
        self.handler_keys.add(key)
        return "DC %s\nTF 0\nTL 0\nTB 1\n" % lsd_hex(key)


class RealisticSuite:
    def __init__(self, name, preset):
        self.name = name
        self.preset = preset
        self.sampler = Sampler(hash_seed(name, preset.seed))
        self.code = CodeBase(self.sampler, preset)

    def family_plan(self):
        """The functions a family enters: setup first, then its modules."""
        s, code = self.sampler, self.code
        wanted = min(1 + s.geometric(self.preset.mean_modules - 1), len(code.modules))
        chosen = set()
        while len(chosen) < wanted:
            chosen.add(s.weighted(code.module_popularity))
        plan = []
        for m in sorted(chosen):
            entered = [f for f in code.modules[m] if s.chance(self.preset.reach)]
            plan += entered or [code.modules[m][0]]
        return plan

    def take_paths(self, plan):
        return [(f, self.sampler.weighted(f.popularity)) for f in plan]

    def vary(self, taken, share):
        """A near duplicate: some functions take another path."""
        s = self.sampler
        return [(f, s.weighted(f.popularity) if s.chance(share) else path)
                for f, path in taken]

    def make_tests(self):
        """Distinct tests, in suite order: (name, description, taken, handler)."""
        p, s = self.preset, self.sampler
        distinct = max(1, round(p.tests * (1 - p.rerun_share)))
        tests = []
        family = 0
        while len(tests) < distinct:
            family += 1
            size = min(1 + s.geometric(p.mean_family - 1), distinct - len(tests))
            plan = self.family_plan()
            base = self.take_paths(plan)
            for member in range(size):
                taken = base if member == 0 else self.vary(base, p.mutate)
                handler = self.code.private_handler(s) if s.chance(p.private_share) else None
                suffix = "[%d]" % member if size > 1 else ""
                name = '"suite%d.family%d.case%s"' % (family % 7, family, suffix)
                description = "family %d, parameter set %d of %d" % (family, member + 1, size)
                tests.append((name, description, taken, handler))
        return tests

    def plan_files(self, tests):
        """Which tests each execution runs: a family runs in one execution;
        re-runs go to another one, in suite order."""
        p, s = self.preset, self.sampler
        weights = zipf_cumulative(p.executions, 0.8)
        home, runs = {}, [[] for _ in range(p.executions)]
        for index, (name, _, _, _) in enumerate(tests):
            family = name.split(".")[1]
            if family not in home:
                home[family] = s.weighted(weights)
            runs[home[family]].append((index, False))
        for _ in range(p.tests - len(tests)):
            index = s.below(len(tests))
            execution = s.below(p.executions)
            if p.executions > 1:
                while execution == home[tests[index][0].split(".")[1]]:
                    execution = s.below(p.executions)
            runs[execution].append((index, True))
        return [sorted(run) for run in runs]

    def render_test(self, test, rerun):
        name, description, taken, handler = test
        if rerun and self.sampler.chance(self.preset.flaky):
            taken = self.vary(taken, 1.0 / max(1, len(taken)))
        out = ["NT %s\nDT %s%s\n" % (name, description, " (re-run)" if rerun else "")]
        source = None
        for f in self.code.setup:
            if f.source != source:
                out.append(f.source)
                source = f.source
            out.append(f.paths[0])
        for f, path in taken:
            if f.source != source:
                out.append(f.source)
                source = f.source
            out.append(f.paths[path])
        if handler:
            out.append(self.code.handler_source)
            out.append(handler)
        return "".join(out)

    def write(self, directory):
        tests = self.make_tests()
        runs = self.plan_files(tests)
        paths = []
        for number, run in enumerate(runs, 1):
            path = os.path.join(directory, "%s-exec%02d.tio" % (self.name, number))
            with open(path, "w", encoding="ascii", newline="\n") as out:
                out.write("# %s, execution %d of %d, %d tests\n"
                          % (self.name, number, len(runs), len(run)))
                for index, rerun in run:
                    out.write(self.render_test(tests[index], rerun))
            paths.append(path)
        return {"distinct_tests": len(tests)}, paths


class RandomSuite:
    def __init__(self, name, preset):
        self.name = name
        self.preset = preset
        self.sampler = Sampler(hash_seed(name, preset.seed))

    def write(self, directory):
        p, s = self.preset, self.sampler
        path = os.path.join(directory, "%s.tio" % self.name)
        with open(path, "w", encoding="ascii", newline="\n") as out:
            out.write("# random set cover: %d tests, %d branches, p=%g\nFT 1\n"
                      % (p.tests, p.branches, p.p))
            for t in range(p.tests):
                out.write("NT rand.t%d\n" % (t + 1))
                dc = None
                for b in range(p.branches):
                    if not s.chance(p.p):
                        continue
                    # 32 branches per decision key, to spread them over groups.
                    if b // 32 != dc:
                        dc = b // 32
                        out.write("DC %s\n" % lsd_hex(dc + 1))
                    out.write("TB %s\n" % lsd_hex(b % 32))
        return {"distinct_tests": p.tests}, [path]


def hash_seed(name, seed):
    return int.from_bytes(hashlib.sha256(("%s/%d" % (name, seed)).encode()).digest()[:8], "big")


def stamp_text(name, preset):
    kind = "random" if isinstance(preset, RandomCover) else "realistic"
    fields = " ".join("%s=%s" % item for item in asdict(preset).items())
    return "preset=%s kind=%s generator=%d %s" % (name, kind, GENERATOR_VERSION, fields)


def generate(name, out_dir, force):
    preset = PRESETS[name]
    directory = os.path.join(out_dir, name)
    stamp_path = os.path.join(directory, "preset.txt")
    stamp = stamp_text(name, preset)
    if not force and os.path.exists(stamp_path):
        with open(stamp_path) as f:
            if f.readline().strip() == stamp:
                return False
    os.makedirs(directory, exist_ok=True)
    for old in os.listdir(directory):
        os.remove(os.path.join(directory, old))
    suite = (RandomSuite if isinstance(preset, RandomCover) else RealisticSuite)(name, preset)
    facts, paths = suite.write(directory)
    size = sum(os.path.getsize(p) for p in paths)
    # The stamp is written last, so that an interrupted run is redone.
    with open(stamp_path, "w") as f:
        f.write(stamp + "\n")
        f.write("files=%d bytes=%d distinct_tests=%d\n" % (len(paths), size, facts["distinct_tests"]))
    return True


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("presets", nargs="*", help="preset names (default: all)")
    parser.add_argument("--out", default=os.path.join(os.path.dirname(__file__), "data"))
    parser.add_argument("--quick", action="store_true", help="the small presets only")
    parser.add_argument("--force", action="store_true", help="write even if up to date")
    parser.add_argument("--list", action="store_true", help="list the presets")
    args = parser.parse_args()
    if args.list:
        for name, preset in PRESETS.items():
            print(stamp_text(name, preset))
        return 0
    names = args.presets or (QUICK_PRESETS if args.quick else list(PRESETS))
    unknown = [n for n in names if n not in PRESETS]
    if unknown:
        parser.error("unknown preset(s): %s" % ", ".join(unknown))
    for name in names:
        if generate(name, args.out, args.force):
            print("generated %s" % name, file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
