#!/usr/bin/env python3
"""Runs end-to-end cases of SAP Marrowind: the real program in a fresh working directory against the
simulated SAP landscape, comparing standard output byte for byte, the exit status and the files left.

A case file holds directives, then sections:

    # comment lines start with '#'
    arg: PRD                      one program argument per line ("arg:" alone is an empty argument);
                                  {WORKDIR} stands for the working directory's own path
    status: 0                     expected exit status
    absent: Dev_Rfc.Trc           a file that must not be there after the run
    left: Dev_Rfc.Trc PRD.P00     the exact set of files (blank-separated) in the directory after the run
    only: windows                 run this case only with a Windows launcher (or "native")
    dir: Dev_Rfc.Trc              an empty directory made in the working directory before the run
    fifo: PRD.P00                 a FIFO (named pipe) made in the working directory (native runs only)
    link: PRD.P00 /dev/zero       a symbolic link to a path, {WORKDIR} allowed (native runs only)
    stdout: full                  standard output goes to /dev/full, where every write fails
    xml: no                       standard output is not a PRTG document (verbose output, a line
                                  mode chosen by a sensor definition, a usage text); without it,
                                  the output of every case whose arguments hold no verbose
                                  character ("#", "@", "$", "%") and no "MODE=" must be one
                                  well-formed XML document with the root element Prtg
    program: copy                 run a copy of the program from a fresh folder of its own, where no
                                  RFC library lies beside it unless a "library: ... beside" line
                                  puts one there
    library: rfc32_incomplete beside
                                  copy the build folder's library of that target (here
                                  librfc32_incomplete.so or .dll) as the RFC library (librfc32.so or
                                  librfc32.dll) beside the program copy ("beside", which needs
                                  "program: copy"), into the working directory ("workdir"), or
                                  into a folder of its own on the library search path ("path":
                                  LD_LIBRARY_PATH natively, WINEPATH under Wine)

    === file PRD.P00 [crlf] [utf16le|utf16be|utf8bom]
                                  an input file; "crlf" writes CR LF line ends; "utf16le" and
                                  "utf16be" write it as UTF-16 with its byte-order mark (as
                                  PowerShell's "> file" does), "utf8bom" as UTF-8 with its mark (as
                                  Notepad does); a name starting with "C:\\" or "\\" is placed on
                                  the Windows drive C: (Windows runs only, with the working
                                  directory on that drive)
    === file PRD.P00 from NAME    an input file with the content of tests/e2e/fixtures/NAME (shared
                                  by many cases: standard-profile, qas-profile, prd-landscape, ...);
                                  the section has no lines of its own
    === stdout [noeol]            the expected standard output
    === expect-file Dev_Rfc.Trc   the expected content of a file after the run

A case may run the program several times in the same working directory (state kept between runs,
such as FORECAST's history): each "=== run" section starts the next run. Its lines are "arg:" and
"status:" directives (without "arg:" lines the previous run's arguments stay; "status:" defaults
to 0); the "=== file" sections after it are written just before that run (over the files of
earlier runs), and its "=== stdout" and "=== expect-file" sections are checked right after it.
"left:" and "absent:" are checked after the last run.

    === run
    arg: PRD
    arg: forecast
    === file SapSim.json
    ...
    === stdout
    ...

Case files are UTF-8; an input file without an encoding flag is written as latin-1 bytes, with an
encoding flag its characters are encoded that way ("crlf" applies first). Section text ends at the
next "===" line; its lines are joined with line feeds and end with one (unless "noeol" is given).
In file sections {SCRAMBLED:password} becomes the stored value of the password, made by the
profile tool; in file sections and expected standard output {REPEAT n}text{END REPEAT} the text n times. In expected texts {TIME} matches a time of day HH:MM:SS, {DATE} a date YYYYMMDD,
{HHMMSS} a time without colons and {ANYTEXT} any text within one line (such as the program's own
path); {RFCLIB} stands for exactly the RFC library's file name of the program's platform
(librfc32.so, or librfc32.dll for a program ending in ".exe"), in "left:" as well. Standard output
is compared after turning CR LF into LF (the Windows console writes CR LF); nothing else is
relaxed.
"""

import argparse
import os
import xml.etree.ElementTree as ElementTree
import re
import shutil
import subprocess
import sys
import tempfile

PLACEHOLDERS = {
    "{TIME}": r"\d\d:\d\d:\d\d",
    "{DATE}": r"\d{8}",
    "{HHMMSS}": r"\d{6}",
    "{ANYTEXT}": r"[^\n]*",
}

# Encoding flags of a file section: the byte-order mark and the codec of the text behind it.
ENCODINGS = {
    "utf16le": (b"\xff\xfe", "utf-16-le"),
    "utf16be": (b"\xfe\xff", "utf-16-be"),
    "utf8bom": (b"\xef\xbb\xbf", "utf-8"),
}
FILE_FLAGS = {"crlf", "noeol"} | set(ENCODINGS)


class LaterRun:
    """A run of a "=== run" section: its arguments, status, files and expectations."""

    def __init__(self, args):
        self.args = list(args)
        self.args_given = False
        self.status = 0
        self.files = []
        self.stdout = None
        self.expect_files = []


class Case:
    def __init__(self, path):
        self.path = path
        self.name = os.path.splitext(os.path.basename(path))[0]
        self.args = []
        self.status = 0
        self.absent = []
        self.left = None
        self.only = None
        self.xml = None
        self.dirs = []
        self.fifos = []
        self.links = []  # (name, target)
        self.stdout_full = False
        self.program_copy = False
        self.libraries = []  # (target, "beside", "workdir" or "path")
        self.files = []  # (name, text, flags)
        self.stdout = None
        self.expect_files = []  # (name, text)
        self.later_runs = []  # the runs of "=== run" sections, each a LaterRun
        self.parse()

    def parse(self):
        with open(self.path, encoding="utf-8", newline="\n") as handle:
            lines = handle.read().split("\n")
        if lines and lines[-1] == "":
            lines.pop()
        section = None
        body = []
        filling = self  # the run whose files and expectations the sections fill

        def finish():
            if section is None:
                return
            kind, words = section[0], section[1:]
            if kind == "run":
                for line in body:
                    if not line.strip() or line.startswith("#"):
                        continue
                    key, _, value = line.partition(":")
                    value = value[1:] if value.startswith(" ") else value
                    if key == "arg":
                        if not filling.args_given:
                            filling.args = []
                            filling.args_given = True
                        filling.args.append(value)
                    elif key == "status":
                        filling.status = int(value)
                    else:
                        raise ValueError(f"{self.path}: a run section takes only 'arg:' and 'status:'")
                return
            flags = set(words[1:]) if kind in ("file", "expect-file") else set(words)
            text = "\n".join(body) + ("\n" if body and "noeol" not in flags else "")
            if kind == "file":
                name, _, fixture = words[0].partition(" from ")
                if fixture:
                    if body:
                        raise ValueError(f"{self.path}: section 'file {words[0]}' takes no lines")
                    with open(os.path.join(FIXTURES, fixture), encoding="utf-8", newline="\n") as handle:
                        text = handle.read()
                unknown = flags - FILE_FLAGS
                if unknown or len(flags & set(ENCODINGS)) > 1:
                    raise ValueError(f"{self.path}: file flags {sorted(flags)}")
                filling.files.append((name, text, flags))
            elif kind == "stdout":
                filling.stdout = text
            elif kind == "expect-file":
                if flags & set(ENCODINGS):
                    raise ValueError(f"{self.path}: an expected file is compared as latin-1 text")
                filling.expect_files.append((words[0], text))
            else:
                raise ValueError(f"{self.path}: unknown section {kind}")

        for line in lines:
            if line.startswith("==="):
                finish()
                words = line[3:].split()
                if words == ["run"]:
                    previous = self.later_runs[-1] if self.later_runs else self
                    filling = LaterRun(previous.args)
                    self.later_runs.append(filling)
                if words and words[0] in ("file", "expect-file") and len(words) >= 2:
                    # File names may hold blanks: the name runs up to a trailing flag word.
                    rest = line[3:].strip()[len(words[0]):].strip()
                    flag_words = []
                    while rest.split() and rest.split()[-1] in FILE_FLAGS:
                        flag_words.insert(0, rest.split()[-1])
                        rest = rest[: rest.rfind(flag_words[0])].rstrip()
                    words = [words[0], rest] + flag_words
                section = words
                body = []
                continue
            if section is not None:
                body.append(line)
                continue
            if not line.strip() or line.startswith("#"):
                continue
            key, _, value = line.partition(":")
            value = value[1:] if value.startswith(" ") else value
            if key == "arg":
                self.args.append(value)
            elif key == "status":
                self.status = int(value)
            elif key == "absent":
                self.absent.append(value.strip())
            elif key == "left":
                self.left = sorted(value.split())
            elif key == "only":
                self.only = value.strip()
            elif key == "dir":
                self.dirs.append(value.strip())
            elif key == "fifo":
                self.fifos.append(value.strip())
            elif key == "link":
                name, target = value.split()
                self.links.append((name, target))
            elif key == "stdout":
                self.stdout_full = value.strip() == "full"
            elif key == "xml":
                self.xml = value.strip() != "no"
            elif key == "program":
                if value.strip() != "copy":
                    raise ValueError(f"{self.path}: 'program:' takes only 'copy'")
                self.program_copy = True
            elif key == "library":
                words = value.split()
                if len(words) != 2 or words[1] not in ("beside", "workdir", "path"):
                    raise ValueError(f"{self.path}: 'library:' takes a target and 'beside', 'workdir' or 'path'")
                self.libraries.append((words[0], words[1]))
            else:
                raise ValueError(f"{self.path}: unknown directive {key}")
        finish()
        # The build folder's own library must never be replaced by a case.
        if any(place == "beside" for _, place in self.libraries) and not self.program_copy:
            raise ValueError(f"{self.path}: 'library: ... beside' needs 'program: copy'")


def expand_repeats(text):
    return re.sub(r"\{REPEAT (\d+)\}(.*?)\{END REPEAT\}", lambda m: m.group(2) * int(m.group(1)), text, flags=re.S)


def library_extension(program):
    return ".dll" if program.lower().endswith(".exe") else ".so"


def expects_document(case, args=None):
    """Whether PRTG would read this run's output: no verbose form, no line mode on the command line."""
    if case.xml is not None:
        return case.xml
    arguments = " ".join((case.args if args is None else args)[1:]).upper()
    return not any(c in arguments for c in "#@$%") and "MODE=" not in arguments


def xml_problem(stdout):
    try:
        root = ElementTree.fromstring(stdout.encode("latin-1"))
    except ElementTree.ParseError as error:
        return f"standard output is not well-formed XML: {error}"
    if root.tag != "Prtg":
        return f"the document's root element is {root.tag}, not Prtg"
    return None


def pattern_of(expected):
    parts = re.split(r"(\{TIME\}|\{DATE\}|\{HHMMSS\}|\{ANYTEXT\})", expected)
    return re.compile("".join(PLACEHOLDERS.get(p, re.escape(p)) for p in parts), re.S)


def matches(expected, actual):
    return pattern_of(expected).fullmatch(actual) is not None


FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixtures")

SCRAMBLED = {}


def scramble(tool, password, launcher):
    # Any stored value of a password unscrambles to it: one per password is enough.
    if password in SCRAMBLED:
        return SCRAMBLED[password]
    result = subprocess.run(launcher + [tool, "scramble"], input=password + "\n", capture_output=True,
                            text=True, timeout=60)
    if result.returncode != 0:
        raise RuntimeError(f"profile tool refused password {password!r}: {result.stderr}")
    SCRAMBLED[password] = result.stdout.strip()
    return SCRAMBLED[password]


def first_difference(expected, actual):
    for number, (e, a) in enumerate(zip(expected.split("\n"), actual.split("\n")), 1):
        if not matches(e, a):
            return f"line {number}:\n  expected: {e!r}\n  actual:   {a!r}"
    return "the outputs differ in length"


def run_case(case, args):
    windows = bool(args.launcher)
    if case.only == "windows" and not windows:
        return None, "Windows only"
    if (case.only == "native" or case.fifos or case.links) and windows:
        return None, "native only"
    if args.wrapped and (case.program_copy or case.libraries):
        return None, "places the program or the library elsewhere, which a wrapper does not follow"
    workdir = tempfile.mkdtemp(prefix=f"marrowind-{case.name}-", dir=args.workroot)
    program_folder = None
    search_folder = None
    drive_files = []
    try:
        def write_files(files):
            for name, text, flags in files:
                text = re.sub(r"\{SCRAMBLED:([^}]*)\}", lambda m: scramble(args.tool, m.group(1), []), text)
                text = expand_repeats(text)
                if "crlf" in flags:
                    text = text.replace("\n", "\r\n")
                encoding = next((ENCODINGS[flag] for flag in flags if flag in ENCODINGS), None)
                data = encoding[0] + text.encode(encoding[1]) if encoding else text.encode("latin-1")
                if re.match(r"^[A-Za-z]:\\", name) or name.startswith("\\"):
                    if not args.drive_c:
                        return "needs a Windows drive"
                    target = os.path.join(args.drive_c, *name.split(":", 1)[-1].lstrip("\\").split("\\"))
                    drive_files.append(target)
                else:
                    target = os.path.join(workdir, *name.split("\\"))
                os.makedirs(os.path.dirname(target), exist_ok=True)
                with open(target, "wb") as handle:
                    handle.write(data)
            return None

        skip = write_files(case.files)
        if skip:
            return None, skip

        for name in case.dirs:
            os.makedirs(os.path.join(workdir, *name.split("\\")), exist_ok=True)
        for name in case.fifos:
            os.mkfifo(os.path.join(workdir, name))
        for name, target in case.links:
            os.symlink(target.replace("{WORKDIR}", workdir), os.path.join(workdir, name))
        launcher = args.launcher.split() if args.launcher else []
        program = os.path.abspath(args.program)
        extension = library_extension(program)
        library_file = "librfc32" + extension
        build_folder = os.path.dirname(program)
        if case.program_copy:
            program_folder = tempfile.mkdtemp(prefix=f"marrowind-{case.name}-program-", dir=args.workroot)
            program = shutil.copy2(program, program_folder)
        env = args.env
        for target, place in case.libraries:
            source = os.path.join(build_folder, "lib" + target + extension)
            if place == "path":
                search_folder = tempfile.mkdtemp(prefix=f"marrowind-{case.name}-path-", dir=args.workroot)
                env = dict(args.env)
                if windows:
                    if not args.drive_c:
                        return None, "needs a Windows drive"
                    relative = os.path.relpath(search_folder, args.drive_c)
                    env["WINEPATH"] = "C:\\" + relative.replace(os.sep, "\\")
                else:
                    env["LD_LIBRARY_PATH"] = search_folder
            folder = {"beside": program_folder, "workdir": workdir, "path": search_folder}[place]
            shutil.copyfile(source, os.path.join(folder, library_file))
        failures = []

        def run_once(run, label):
            arguments = [a.replace("{WORKDIR}", workdir) for a in run.args]
            if case.stdout_full:
                with open("/dev/full", "wb") as full:
                    result = subprocess.run(launcher + [program] + arguments, cwd=workdir, stdout=full,
                                            stderr=subprocess.PIPE, timeout=args.timeout, env=env)
                result.stdout = b""
            else:
                result = subprocess.run(launcher + [program] + arguments, cwd=workdir, capture_output=True,
                                        timeout=args.timeout, env=env)
            stdout = result.stdout.decode("latin-1").replace("\r\n", "\n")
            expected_stdout = None if run.stdout is None else expand_repeats(run.stdout.replace("{RFCLIB}", library_file))
            if expected_stdout is not None and not matches(expected_stdout, stdout):
                failures.append(label + "standard output differs, " + first_difference(expected_stdout, stdout)
                                + "\n--- expected\n" + expected_stdout + "--- actual\n" + stdout + "---")
            if expects_document(case, run.args) and not case.stdout_full:
                problem = xml_problem(stdout)
                if problem:
                    failures.append(label + problem + "\n--- actual\n" + stdout + "---")
            if result.returncode != run.status:
                failures.append(f"{label}exit status {result.returncode}, expected {run.status}")
            for name, text in run.expect_files:
                text = text.replace("{RFCLIB}", library_file)
                path = os.path.join(workdir, *name.split("\\"))
                if not os.path.exists(path):
                    failures.append(f"{label}file {name} is missing")
                    continue
                with open(path, "rb") as handle:
                    content = handle.read().decode("latin-1").replace("\r\n", "\n")
                if not matches(text, content):
                    failures.append(f"{label}file {name} differs\n--- expected\n{text}--- actual\n{content}---")
            if result.stderr and not windows:
                sanitizer = result.stderr.decode("latin-1")
                if "Sanitizer" in sanitizer or "runtime error" in sanitizer:
                    failures.append(label + "sanitizer report:\n" + sanitizer)

        run_once(case, "")
        for number, later in enumerate(case.later_runs, 2):
            skip = write_files(later.files)
            if skip:
                return None, skip
            run_once(later, f"run {number}: ")
        for name in case.absent:
            if os.path.exists(os.path.join(workdir, *name.split("\\"))):
                failures.append(f"file {name} should not be there")
        if case.left is not None:
            present = sorted(os.path.relpath(os.path.join(root, f), workdir).replace(os.sep, "\\")
                             for root, dirs, files in os.walk(workdir)
                             for f in files + [d for d in dirs if not os.listdir(os.path.join(root, d))])
            expected_left = sorted(name.replace("{RFCLIB}", library_file) for name in case.left)
            if present != expected_left:
                failures.append(f"files left {present}, expected {expected_left}")
        return (not failures), "\n".join(failures)
    except subprocess.TimeoutExpired:
        return False, f"the program did not end within {args.timeout} seconds"
    finally:
        for path in drive_files:
            try:
                os.remove(path)
            except OSError:
                pass
        shutil.rmtree(workdir, ignore_errors=True)
        for folder in (program_folder, search_folder):
            if folder:
                shutil.rmtree(folder, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--program", required=True, help="the sensor program to run")
    parser.add_argument("--tool", required=True, help="the profile tool, for {SCRAMBLED:...} (runs natively)")
    parser.add_argument("--launcher", default="", help="command that runs the program, e.g. wine64")
    parser.add_argument("--drive-c", default="", help="folder of the Windows drive C: (Windows runs)")
    parser.add_argument("--workroot", default=None, help="folder for the working directories")
    parser.add_argument("--timeout", type=int, default=30)
    parser.add_argument("--wrapped", action="store_true",
                        help="the program is a wrapper that runs the real one from its own folder "
                             "(scripts/memcheck): cases that copy the program or place the library skip")
    parser.add_argument("cases", nargs="+", help="case files or folders of case files")
    args = parser.parse_args()
    args.env = dict(os.environ)
    args.env.setdefault("ASAN_OPTIONS", "detect_leaks=1")
    if args.launcher:
        args.env.setdefault("WINEDEBUG", "-all")

    paths = []
    for item in args.cases:
        if os.path.isdir(item):
            paths += sorted(os.path.join(item, f) for f in os.listdir(item) if f.endswith(".case"))
        else:
            paths.append(item)

    passed = failed = skipped = 0
    for path in paths:
        case = Case(path)
        ok, message = run_case(case, args)
        if ok is None:
            skipped += 1
            if len(paths) == 1:
                print(f"SKIP {case.name}: {message}")
            continue
        if ok:
            passed += 1
        else:
            failed += 1
            print(f"FAIL {case.name}\n{message}\n")
    label = "wine" if args.launcher else "native"
    print(f"{label}: {passed} passed, {failed} failed" + (f", {skipped} skipped" if skipped else ""))
    if failed:
        return 1
    return 77 if skipped and not passed else 0


if __name__ == "__main__":
    sys.exit(main())
