#!/usr/bin/env python3
"""Turns the raw measurements of run_bench.sh (one key=value record a line)
into the Markdown tables of RESULTS.md, written on the standard output."""

import shlex
import sys


def parse(path):
    records = []
    with open(path) as f:
        for line in f:
            fields = {}
            for token in shlex.split(line):
                key, _, value = token.partition("=")
                fields[key] = value  # a later key (status=timeout) wins
            if fields:
                records.append(fields)
    return records


def num(value, default=None):
    try:
        return float(value)
    except (TypeError, ValueError):
        return default


def fmt_s(value):
    v = num(value)
    if v is None:
        return "–"
    if v < 1:
        return "%.4f" % v
    return "%.3f" % v if v < 10 else "%.1f" % v


def fmt_int(value):
    v = num(value)
    return "–" if v is None else "{:,}".format(int(v))


def fmt_nodes(value):
    v = num(value)
    if v is None:
        return "–"
    return "{:,}".format(int(v)) if v < 1e6 else "%.2e" % v


def mib(kib):
    v = num(kib)
    return "–" if v is None else "%.1f" % (v / 1024)


MODE_NAMES = {"default": "default", "T": "-T", "F2": "-F 2"}


class Results:
    def __init__(self, records):
        self.machine = next((r for r in records if r.get("run") == "machine"), {})
        self.instances = []
        self.runs = {}
        for r in records:
            name = r.get("instance")
            if not name:
                continue
            if name not in self.instances:
                self.instances.append(name)
            self.runs[(r["run"], name, r.get("mode", "default"))] = r

    def get(self, run, name, mode="default"):
        return self.runs.get((run, name, mode), {})

    def reading_rounds(self):
        return self.machine.get("reading_rounds", "?")

    def modes(self, name):
        return [m for m in ("default", "T", "F2") if ("search", name, m) in self.runs]

    def header(self):
        m = self.machine
        mode = m.get("mode", "?")
        lines = [
            "# Benchmark results",
            "",
            "Written by `bench/run_bench.sh`%s on %s; see `bench/README.md`."
            % (" --quick" if mode == "quick" else "", m.get("date", "?")),
            "",
            "- Commit: `%s`" % m.get("tree", m.get("commit", "?")),
            "- Machine: %s cores (nproc), %s, %s GiB of memory; load average at the start %s"
            % (m.get("nproc", "?"), m.get("cpu", "?"), m.get("memory_gib", "?"), m.get("load", "?")),
            "- Limits: a run of the tool's search is killed after %s s; the reference search "
            "stops after %s s or %s nodes; CBC %s (one thread) stops after %s s."
            % (m.get("search_timeout", "?"), m.get("reference_seconds", "?"),
               fmt_nodes(m.get("reference_nodes")), m.get("cbc", "?"), m.get("cbc_seconds", "?")),
            "",
        ]
        return lines

    def instance_table(self):
        lines = [
            "## Instances",
            "",
            "| instance | kind | files | MB | tests | branch lines | mandatory tests "
            "| live branches left | set cover for CBC (constraints × tests) |",
            "|---|---|--:|--:|--:|--:|--:|--:|--:|",
        ]
        for name in self.instances:
            s, wc = self.get("search", name), self.get("wc", name)
            mb = num(s.get("files_bytes"), 0) / 1e6
            lines.append("| %s | %s | %s | %.1f | %s | %s | %s | %s | %s × %s |" % (
                name, wc.get("kind", "?"), self.file_count(name), mb, fmt_int(s.get("tests")),
                fmt_int(s.get("branch_lines")), fmt_int(s.get("mandatory")),
                fmt_int(s.get("live_branches")), fmt_int(s.get("lp_rows")),
                fmt_int(s.get("lp_columns"))))
        return lines + [""]

    def file_count(self, name):
        return self.get("wc", name).get("files", "–")

    def reader_table(self):
        lines = [
            "## Reader",
            "",
            "Reading every file of the instance into the registry and the table (the driver's "
            "read time, `--no-search`), beside `wc -l` on the same files, both from the page "
            "cache, in %s turns of one and then the other, so that both meet the machine in the "
            "same states: *read s* and *`wc -l` s* are the best of the turns, and the ratio of "
            "throughputs is given for the best and for the medians. Memory, from the best "
            "reading: peak resident size after reading, and its growth over the start of "
            "the process per branch line read, less the bytes of test names and descriptions. "
            "On files of a few hundred kilobytes both times are mostly start-up and the memory "
            "figures mostly fixed costs: the large instances are the ones that tell." % self.reading_rounds(),
            "",
            "| instance | MB | read s | read MB/s | `wc -l` s | `wc -l` MB/s | reader / `wc -l`, best "
            "| reader / `wc -l`, medians | peak RSS after reading (MiB) "
            "| bytes per branch line, names aside |",
            "|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|",
        ]
        for name in self.instances:
            r, wc = self.get("read", name), self.get("wc", name)
            mb = num(r.get("files_bytes"), 0) / 1e6
            read_s, wc_s = num(r.get("read_s")), num(wc.get("seconds"))
            read_rate = mb / read_s if read_s else None
            wc_rate = mb / wc_s if wc_s else None
            ratio = "%.2f" % (wc_s / read_s) if read_s and wc_s else "–"
            median_read_s, median_wc_s = num(r.get("median_read_s")), num(wc.get("median_seconds"))
            median_ratio = ("%.2f" % (median_wc_s / median_read_s)
                            if median_read_s and median_wc_s else "–")
            lines.append("| %s | %.1f | %s | %s | %s | %s | %s | %s | %s | %s |" % (
                name, mb, fmt_s(read_s), "%.0f" % read_rate if read_rate else "–", fmt_s(wc_s),
                "%.0f" % wc_rate if wc_rate else "–", ratio, median_ratio,
                mib(r.get("read_rss_kib")), r.get("bytes_per_line_names_aside", "–")))
        return lines + [""]

    def search_table(self):
        lines = [
            "## Search",
            "",
            "*search s*: `searchCover` after the reading and the mandatory reduction. "
            "*tests*: needed tests in all (mandatory ones included), and in parentheses those "
            "the search added. *reference*: `referenceSearchCover` (the plain branch and bound) "
            "in the same mode, with the limits above; *same list* compares its needed list, "
            "order included, with the search's where it finished. *CBC*: the set cover left "
            "after the mandatory reduction (branches with the same tests merged into one "
            "constraint), its own reported solve time, wall clock (CPU in parentheses), and its "
            "optimum, which the tests the search added must equal; *search / CBC* takes CBC's "
            "time as at least 0.01 s. *tool s*: the whole `zorvane` "
            "process (read, reduce, search, report), wall clock and peak memory by "
            "`/usr/bin/time`.",
            "",
            "| instance | mode | search s | nodes | tests | files | reference s | reference nodes "
            "| same list | CBC s | CBC optimum | search / CBC | tool s | tool MiB |",
            "|---|---|--:|--:|--:|--:|--:|--:|:-:|--:|--:|--:|--:|--:|",
        ]
        for name in self.instances:
            cbc = self.get("cbc", name)
            cbc_wall = num(cbc.get("wall_s"))
            optimum = num(cbc.get("optimum"))
            for mode in self.modes(name):
                s = self.get("search", name, mode)
                ref = self.get("reference", name, mode)
                tool = self.get("tool", name, mode)
                lines.append("| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |" % (
                    name, MODE_NAMES[mode], self.search_time(s), fmt_nodes(s.get("nodes")),
                    self.tests(s, optimum), s.get("best_files", "–") if mode != "T" else "–",
                    self.reference_time(ref), fmt_nodes(ref.get("nodes")), self.same(s, ref),
                    # As CBC reports them, in hundredths.
                    "%s (%s)" % (cbc.get("wall_s") or "–", cbc.get("cpu_s") or "–") if cbc else "–",
                    self.optimum(cbc), self.ratio(s, cbc_wall),
                    self.tool_time(s, tool),
                    mib(tool.get("rss_kib")) if tool.get("rc") == "0" else "–"))
        return lines + [""]

    def file_table(self):
        rows = [(name, mode) for name in self.instances for mode in self.modes(name)
                if self.get("cbcfiles", name, mode)]
        if not rows:
            return []
        lines = [
            "## File count beside CBC",
            "",
            "Where the search counts files (default and -F 2), the fewest coverage files of a "
            "cover of the size it found (plus the allowance), as an integer program: a binary "
            "variable per test and per file, every test only with its file, the files of the "
            "mandatory tests free. CBC's optimum plus those free files must equal the search's "
            "file count. The search time is the whole search, the smallest size included.",
            "",
            "| instance | mode | search s | files | CBC s | CBC files (free + optimum) | search / CBC |",
            "|---|---|--:|--:|--:|--:|--:|",
        ]
        for name, mode in rows:
            s = self.get("search", name, mode)
            cbc = self.get("cbcfiles", name, mode)
            free, optimum = num(cbc.get("free_files")), num(cbc.get("optimum"))
            files = "–"
            if free is not None and optimum is not None:
                files = "%d (%d + %d)" % (free + optimum, free, optimum)
                if "%d" % (free + optimum) != s.get("best_files"):
                    files += " **≠ search**"
            if "Optimal" not in cbc.get("result", ""):
                files += " (%s)" % (cbc.get("result") or "no result")
            lines.append("| %s | %s | %s | %s | %s | %s | %s |" % (
                name, MODE_NAMES[mode], self.search_time(s), s.get("best_files", "–"),
                "%s (%s)" % (cbc.get("wall_s") or "–", cbc.get("cpu_s") or "–"), files,
                self.ratio(s, num(cbc.get("wall_s")))))
        return lines + [""]

    @staticmethod
    def search_time(s):
        status = s.get("status")
        if status == "ok":
            return fmt_s(s.get("search_s"))
        if status == "timeout":
            return "killed"
        return status or "–"

    @staticmethod
    def tests(s, optimum):
        if s.get("status") != "ok":
            return "–"
        text = "%s (%s)" % (s.get("needed", "?"), s.get("search_tests", "?"))
        added = num(s.get("search_tests"))
        if optimum is not None and added is not None and added != optimum:
            text += " **≠ optimum**"
        return text

    @staticmethod
    def reference_time(ref):
        if not ref:
            return "–"
        if ref.get("status") != "ok":
            return ref.get("status", "–")
        text = fmt_s(ref.get("search_s"))
        return text if ref.get("completed") == "1" else "gave up at " + text

    @staticmethod
    def same(s, ref):
        if s.get("status") != "ok" or ref.get("status") != "ok" or ref.get("completed") != "1":
            return "–"
        return "yes" if s.get("needed_list") == ref.get("needed_list") else "**NO**"

    @staticmethod
    def optimum(cbc):
        if not cbc:
            return "–"
        value = num(cbc.get("optimum"))
        text = "%d" % value if value is not None else "–"
        if "Optimal" not in cbc.get("result", ""):
            text += " (%s)" % (cbc.get("result") or "no result")
        return text

    @staticmethod
    def ratio(s, cbc_wall):
        search_s = num(s.get("search_s"))
        if s.get("status") != "ok" or search_s is None or cbc_wall is None:
            return "–"
        # CBC reports hundredths of a second.
        return "%.1f" % (search_s / max(cbc_wall, 0.01))

    @staticmethod
    def tool_time(s, tool):
        rc = tool.get("rc")
        if rc == "skipped" or rc is None:
            return "–"
        if rc != "0":
            return "killed" if rc == "124" else "exit %s" % rc
        text = tool.get("wall_s", "–")  # /usr/bin/time gives hundredths
        # The tool's report must name as many needed tests as the driver found.
        if tool.get("needed") != s.get("needed"):
            text += " **reported %s needed**" % tool.get("needed")
        return text


def main():
    if len(sys.argv) != 2:
        print("usage: write_results.py RAW_FILE", file=sys.stderr)
        return 2
    results = Results(parse(sys.argv[1]))
    lines = (results.header() + results.instance_table() + results.reader_table()
             + results.search_table() + results.file_table())
    print("\n".join(lines).rstrip())
    return 0


if __name__ == "__main__":
    sys.exit(main())
