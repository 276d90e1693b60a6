#!/usr/bin/env python3
"""Fails every library call of a run in turn: the stand-in's fault plan (SAPSIM_FAIL_CALL=N,
SAPSIM_FAIL_MODE=return|abort) fails the Nth call of the run, and N walks 1, 2, ... until a run no
longer reaches it. Each run is an end-to-end case's run (its files and arguments), and each must end
by itself in time, without a sanitizer report, with exit status 0, 1 or 2 as the failed call
allows, one well-formed PRTG document with the right message, and the trace file left after a
failure. A second walk fails, behind a connection that breaks, each call the error handler makes.

    fault_walk.py --program build/native/SapMarrowind --tool build/native/MarrowindProfile CASE...
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run_cases  # noqa: E402

ANNOUNCED = re.compile(r"sapsim: failing call (\d+) \((\w+)\) by (return|abort)")
# Operations without a failure result: failing them by "return" need not fail the run.
SILENT = {"RfcEnvironment", "RfcLastError", "RfcClose", "ItFill"}
# What the program reports for a call that returns its failure.
RETURNED_ERROR = {"RfcOpen": "Error 1011: ", "RfcOpenEx": "Error 1011: ", "RfcCall": "Error 1014: ",
                  "RfcReceive": "Error 1014: "}
RETURNED_ABORT = {"RfcInstallStructure": "RfcInstallStructure", "ItCreate": "ItCreate TS",
                  "ItGetLine": "ItGetLine TS", "ItDelete": "ItDelete TS"}


def prepare(case, tool):
    workdir = tempfile.mkdtemp(prefix=f"marrowind-walk-{case.name}-")
    for name, text, crlf in case.files:
        text = re.sub(r"\{SCRAMBLED:([^}]*)\}", lambda m: run_cases.scramble(tool, m.group(1), []), text)
        data = text.encode("latin-1")
        if crlf:
            data = data.replace(b"\n", b"\r\n")
        with open(os.path.join(workdir, *name.split("\\")), "wb") as handle:
            handle.write(data)
    return workdir


def text_of(document):
    """The document's last text: an error that ends a document already out stands behind the summary."""
    texts = re.findall(r"<Text>(.*?)</Text>", document, re.S)
    return texts[-1] if texts else ""


class Walk:
    def __init__(self, args):
        self.args = args
        self.runs = 0
        self.failures = []

    def run(self, case, plan):
        """Runs the case in a fresh directory with the fault plan; returns the failures announced."""
        workdir = prepare(case, self.args.tool)
        env = dict(os.environ, SAPSIM_FAIL_CALL=plan, ASAN_OPTIONS="detect_leaks=1")
        env.pop("SAPSIM_FAIL_MODE", None)
        self.runs += 1
        try:
            result = subprocess.run([self.args.program] + case.args, cwd=workdir, capture_output=True,
                                    timeout=self.args.timeout, env=env)
        except subprocess.TimeoutExpired:
            self.failures.append(f"{case.name} {plan}: no end within {self.args.timeout} s")
            shutil.rmtree(workdir, ignore_errors=True)
            return None
        stdout = result.stdout.decode("latin-1")
        stderr = result.stderr.decode("latin-1")
        announced = [(int(n), op, mode) for n, op, mode in ANNOUNCED.findall(stderr)]
        trace_left = os.path.isfile(os.path.join(workdir, "Dev_Rfc.Trc"))
        shutil.rmtree(workdir, ignore_errors=True)
        problems = []
        if result.returncode < 0:
            problems.append(f"ended by signal {-result.returncode}")
        if "Sanitizer" in stderr or "runtime error" in stderr:
            problems.append("sanitizer report:\n" + stderr)
        if result.returncode not in (0, 1, 2) and result.returncode >= 0:
            problems.append(f"exit status {result.returncode}")
        if run_cases.expects_document(case):
            problem = run_cases.xml_problem(stdout)
            if problem:
                problems.append(problem)
        self.judge(case, result.returncode, stdout, trace_left, announced, problems)
        if problems:
            self.failures.append(f"{case.name} SAPSIM_FAIL_CALL={plan}: " + "; ".join(problems)
                                 + "\n--- stdout\n" + stdout + "--- stderr\n" + stderr[-2000:])
        return announced

    def judge(self, case, status, stdout, trace_left, announced, problems):
        if not announced:
            return
        _, operation, mode = announced[0]
        item_mode = "<Text>(***)" in stdout or "(***) " in text_of(stdout)
        text = text_of(stdout)
        if status == 0:
            allowed = (mode == "return" and operation in SILENT) or item_mode
            if not allowed:
                problems.append(f"{operation} failed by {mode}, yet the run succeeded")
            if item_mode:
                counts = re.search(r"NoSystems=(\d+), Processed=(\d+), Failed=(\d+)", text)
                if not counts:
                    problems.append("item mode without its summary")
                elif int(counts.group(2)) + int(counts.group(3)) != int(counts.group(1)):
                    problems.append("Processed and Failed do not add up to NoSystems")
                elif operation not in SILENT and int(counts.group(3)) == 0 and len(announced) == 1:
                    problems.append(f"{operation} failed by {mode}, yet no system failed")
            elif trace_left:
                problems.append("the trace file is left after a successful run")
            if "<Error>" in stdout:
                problems.append("an error element with exit status 0")
            return
        if status == 2:
            if not text.startswith("Error 10"):
                problems.append("exit status 2 without an 'Error 10nn' text")
            expected = RETURNED_ERROR.get(operation) if mode == "return" else None
            if expected and len(announced) == 1 and not text.startswith(expected):
                problems.append(f"{operation} failed, expected a text starting {expected!r}")
            if mode == "abort":
                problems.append("a connection broken through the handler ended with exit status 2")
        if status == 1:
            if not text.startswith("RFC error; operation/code : "):
                problems.append("exit status 1 without the RFC failure document")
            elif len(announced) == 1:
                expected = operation if mode == "abort" else RETURNED_ABORT.get(operation)
                if expected is None:
                    problems.append(f"{operation} failed by return, yet the handler ended the run")
                elif not text.startswith(f"RFC error; operation/code : {expected};"):
                    problems.append(f"the failure document does not name {expected}")
        if status in (1, 2) and not trace_left and not (operation == "RfcLastError" and mode == "return"):
            problems.append("the trace file is not left after a failure")

    def walk(self, case):
        calls = 0
        first_break = None
        number = 1
        while True:
            reached = False
            for mode in ("return", "abort"):
                announced = self.run(case, f"{number}:{mode}")
                if announced:
                    reached = True
                    if mode == "abort" and first_break is None and announced[0][1] == "RfcCall":
                        first_break = number
            if not reached:
                break
            calls = number
            number += 1
        # The calls the error handler makes after the connection broke at first_break.
        handler_calls = 0
        if first_break is not None:
            k = 1
            while True:
                reached = False
                for mode in ("return", "abort"):
                    announced = self.run(case, f"{first_break}:abort,{first_break + k}:{mode}")
                    if announced and len(announced) > 1:
                        reached = True
                if not reached:
                    break
                handler_calls = k
                k += 1
        return calls, handler_calls


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--program", required=True)
    parser.add_argument("--tool", required=True)
    parser.add_argument("--timeout", type=int, default=60)
    parser.add_argument("cases", nargs="+")
    args = parser.parse_args()
    args.program = os.path.abspath(args.program)
    args.tool = os.path.abspath(args.tool)
    walk = Walk(args)
    for path in args.cases:
        case = run_cases.Case(path)
        calls, handler_calls = walk.walk(case)
        print(f"{case.name}: {calls} calls failed in turn (each returned and aborted), "
              f"{handler_calls} calls of the error handler behind a broken connection")
        if calls == 0:
            walk.failures.append(f"{case.name}: no call was ever failed (is the fault plan in the library?)")
    for failure in walk.failures:
        print("FAIL " + failure + "\n")
    print(f"fault walk: {walk.runs} runs")
    print(f"{walk.runs - len(walk.failures)} passed, {len(walk.failures)} failed")
    return 1 if walk.failures else 0


if __name__ == "__main__":
    sys.exit(main())
