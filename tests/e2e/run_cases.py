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
    owner: PRD.P00 4242           an input file given to another account (a user id), as one that
                                  account planted; under Wine that account is not the program's
    mode: PRD.P00 0666            an input file's access bits (0666: writable by everyone)
    unreadable: PRD.P00           a file that is there but that the program may not open, even as root:
                                  a symbolic link to a write-only kernel file (/proc/sys/vm/...), whose
                                  open for reading fails with EACCES (natively and under Wine, which
                                  follows the link); the case is skipped where there is none
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
    env: prtg_linuxuser=monitor   an environment variable of the run (under Wine the Windows program
                                  sees it too); "env: NAME" alone removes one
    secret: Sup3r-Secret          a text that must not appear in any run's standard output or
                                  standard error, nor in any file left in the working directory
                                  (other than the case's own input files) or, natively, in the
                                  temporary folder the runs are given (TMPDIR); checked in latin-1
                                  and UTF-16 after every run

A case may run the program several times in the same working directory (state kept between runs,
such as FORECAST's history or the logon guard's record): each "=== run" section starts the next run.

    === run                       starts the next run, in the same working directory, after the
                                  checks of the one before; the lines of the section are directives
                                  of that run: arg:, status:, env:, absent:, left:, stdout:, xml:.
                                  Without "arg:" lines it takes the previous run's arguments; its
                                  environment is the previous run's with its "env:" lines applied;
                                  "xml:" and "stdout:" are the previous run's unless given; its
                                  status is 0 unless given. The file, stdout and expect-file
                                  sections that follow belong to this run: a file section is
                                  written (or replaced) just before it runs, stdout and
                                  expect-file are checked right after it. "left:" and "absent:"
                                  in a run section are checked right after that run; before the
                                  first "=== run" they are checked after the last run.

    arg: PRD
    status: 2
    === stdout
    ...
    === run
    status: 2
    === stdout
    ...

Directives before the first "=== run" (and the sections before it) make the first run; "only:",
"dir:", "fifo:", "link:", "unreadable:", "program:", "library:" and "secret:" hold for the whole case.

Case files are UTF-8; an input file without an encoding flag is written as latin-1 bytes, with an
encoding flag its characters are encoded that way ("crlf" applies first). Section text ends at the
next "===" line; its lines are joined with line feeds and end with one (unless "noeol" is given).
In file sections {SCRAMBLED:password} becomes the stored value of the password, made by the
profile tool; in file sections, expected standard output and expected files {REPEAT n}text{END REPEAT} the text n times. In expected texts {TIME} matches a time of day HH:MM:SS, {DATE} a date YYYYMMDD,
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


RUN_DIRECTIVES = {"arg", "status", "env", "absent", "left", "stdout", "xml"}


class Run:
    """One run of the program in the case's working directory: its arguments, environment, the files
    written before it and what it must leave."""

    def __init__(self, previous=None):
        self.args = list(previous.args) if previous else []
        self.args_given = False
        self.env = dict(previous.env) if previous else {}  # name -> value, or None: removed
        self.status = 0
        self.absent = []
        self.left = None
        self.xml = previous.xml if previous else None
        self.stdout_full = previous.stdout_full if previous else False
        self.files = []  # (name, text, flags), written before the run
        self.stdout = None
        self.expect_files = []  # (name, text)


class Case:
    def __init__(self, path):
        self.path = path
        self.name = os.path.splitext(os.path.basename(path))[0]
        self.runs = [Run()]
        self.only = None
        self.dirs = []
        self.fifos = []
        self.owners = []  # (name, user id)
        self.modes = []  # (name, access bits)
        self.links = []  # (name, target)
        self.unreadable = []
        self.program_copy = False
        self.libraries = []  # (target, "beside", "workdir" or "path")
        self.secrets = []
        self.parse()

    # The first run's, for the tools that run a case once (fault_walk.py).
    args = property(lambda self: self.runs[0].args)
    files = property(lambda self: self.runs[0].files)
    status = property(lambda self: self.runs[0].status)
    xml = property(lambda self: self.runs[0].xml)
    stdout = property(lambda self: self.runs[0].stdout)

    def directive(self, run, line, in_run_section):
        if not line.strip() or line.startswith("#"):
            return
        key, _, value = line.partition(":")
        value = value[1:] if value.startswith(" ") else value
        if in_run_section and key not in RUN_DIRECTIVES:
            raise ValueError(f"{self.path}: '{key}:' holds for the whole case, not for one run")
        if key == "arg":
            if not run.args_given:
                run.args = []
                run.args_given = True
            run.args.append(value)
        elif key == "status":
            run.status = int(value)
        elif key == "env":
            name, equals, text = value.partition("=")
            run.env[name.strip()] = text if equals else None
        elif key == "absent":
            run.absent.append(value.strip())
        elif key == "left":
            run.left = sorted(value.split())
        elif key == "stdout":
            run.stdout_full = value.strip() == "full"
        elif key == "xml":
            run.xml = value.strip() != "no"
        elif key == "only":
            self.only = value.strip()
        elif key == "dir":
            self.dirs.append(value.strip())
        elif key == "fifo":
            self.fifos.append(value.strip())
        elif key == "link":
            name, target = value.split()
            self.links.append((name, target))
        elif key in ("owner", "mode"):
            name, _, number = value.strip().rpartition(" ")
            (self.owners if key == "owner" else self.modes).append((name, int(number, 10 if key == "owner" else 8)))
        elif key == "unreadable":
            self.unreadable.append(value.strip())
        elif key == "secret":
            if not value.strip():
                raise ValueError(f"{self.path}: 'secret:' needs a text")
            self.secrets.append(value.strip())
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

    def parse(self):
        with open(self.path, encoding="utf-8", newline="\n") as handle:
            lines = handle.read().split("\n")
        if lines and lines[-1] == "":
            lines.pop()
        section = None
        body = []

        def finish():
            if section is None:
                return
            run = self.runs[-1]
            kind, words = section[0], section[1:]
            if kind == "run":
                if words:
                    raise ValueError(f"{self.path}: '=== run' takes no words")
                run = Run(self.runs[-1])
                self.runs.append(run)
                for line in body:
                    self.directive(run, line, True)
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
                run.files.append((name, text, flags))
            elif kind == "stdout":
                run.stdout = text
            elif kind == "expect-file":
                if flags & set(ENCODINGS):
                    raise ValueError(f"{self.path}: an expected file is compared as latin-1 text")
                run.expect_files.append((words[0], text))
            else:
                raise ValueError(f"{self.path}: unknown section {kind}")

        for line in lines:
            if line.startswith("==="):
                finish()
                words = line[3:].split()
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
            self.directive(self.runs[0], line, False)
        finish()
        for name, _ in self.owners + self.modes:
            if not any(name == file_name for run in self.runs for file_name, _, _ in run.files):
                raise ValueError(f"{self.path}: 'owner:' and 'mode:' name an input file, not {name}")
        # The build folder's own library must never be replaced by a case.
        if any(place == "beside" for _, place in self.libraries) and not self.program_copy:
            raise ValueError(f"{self.path}: 'library: ... beside' needs 'program: copy'")


def expand_repeats(text):
    return re.sub(r"\{REPEAT (\d+)\}(.*?)\{END REPEAT\}", lambda m: m.group(2) * int(m.group(1)), text, flags=re.S)


# Kernel files that refuse reading to everyone, root included (write-only; the permission of such a
# file is checked on its owner bits even for root).
WRITE_ONLY_FILES = ["/proc/sys/vm/drop_caches", "/proc/sys/vm/compact_memory"]


def refused_file():
    for path in WRITE_ONLY_FILES:
        try:
            os.close(os.open(path, os.O_RDONLY | os.O_NONBLOCK))
        except PermissionError:
            return path
        except OSError:
            continue
    return None


def library_extension(program):
    return ".dll" if program.lower().endswith(".exe") else ".so"


def expects_document(run):
    """Whether PRTG would read this run's output: no verbose form, no line mode on the command line."""
    if run.xml is not None:
        return run.xml
    arguments = " ".join(run.args[1:]).upper()
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


def write_files(case, run, workdir, args, drive_files):
    """Writes the run's input files, with the case's owners and access bits; returns a reason to
    skip the case, or None."""
    for name, text, flags in run.files:
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
        for owned, owner in case.owners:
            if owned == name:
                os.chown(target, owner, -1)
        for changed, mode in case.modes:
            if changed == name:
                os.chmod(target, mode)
    return None


def secret_places(secret, streams, folders, inputs):
    """Where a secret shows: the names of the streams and files (but the case's own inputs) holding it."""
    forms = [secret.encode("latin-1"), secret.encode("utf-16-le")]
    found = [name for name, data in streams if any(form in data for form in forms)]
    for folder in folders:
        for root, _, files in os.walk(folder):
            for leaf in files:
                path = os.path.join(root, leaf)
                relative = os.path.relpath(path, folder).replace(os.sep, "\\")
                if relative in inputs or not os.path.isfile(path):
                    continue
                with open(path, "rb") as handle:
                    data = handle.read()
                if any(form in data for form in forms):
                    found.append(relative)
    return found


def check_run(run, result, stdout, workdir, library_file):
    failures = []
    expected_stdout = None if run.stdout is None else expand_repeats(run.stdout.replace("{RFCLIB}", library_file))
    if expected_stdout is not None and not matches(expected_stdout, stdout):
        failures.append("standard output differs, " + first_difference(expected_stdout, stdout)
                        + "\n--- expected\n" + expected_stdout + "--- actual\n" + stdout + "---")
    if expects_document(run) and not run.stdout_full:
        problem = xml_problem(stdout)
        if problem:
            failures.append(problem + "\n--- actual\n" + stdout + "---")
    if result.returncode != run.status:
        failures.append(f"exit status {result.returncode}, expected {run.status}")
    for name, text in run.expect_files:
        text = expand_repeats(text.replace("{RFCLIB}", library_file))
        path = os.path.join(workdir, *name.split("\\"))
        if not os.path.exists(path):
            failures.append(f"file {name} is missing")
            continue
        with open(path, "rb") as handle:
            content = handle.read().decode("latin-1").replace("\r\n", "\n")
        if not matches(text, content):
            failures.append(f"file {name} differs\n--- expected\n{text}--- actual\n{content}---")
    return failures


def check_files_left(run, workdir, library_file):
    failures = []
    for name in run.absent:
        if os.path.exists(os.path.join(workdir, *name.split("\\"))):
            failures.append(f"file {name} should not be there")
    if run.left is not None:
        present = sorted(os.path.relpath(os.path.join(root, f), workdir).replace(os.sep, "\\")
                         for root, dirs, files in os.walk(workdir)
                         for f in files + [d for d in dirs if not os.listdir(os.path.join(root, d))])
        expected_left = sorted(name.replace("{RFCLIB}", library_file) for name in run.left)
        if present != expected_left:
            failures.append(f"files left {present}, expected {expected_left}")
    return failures


def run_case(case, args):
    windows = bool(args.launcher)
    if case.only == "windows" and not windows:
        return None, "Windows only"
    if (case.only == "native" or case.fifos or case.links) and windows:
        return None, "native only"
    if args.wrapped and (case.program_copy or case.libraries):
        return None, "places the program or the library elsewhere, which a wrapper does not follow"
    refused = refused_file() if case.unreadable else None
    if case.unreadable and refused is None:
        return None, "no file here refuses reading"
    workdir = tempfile.mkdtemp(prefix=f"marrowind-{case.name}-", dir=args.workroot)
    program_folder = None
    search_folder = None
    temporary_folder = None
    drive_files = []
    try:
        skip = write_files(case, case.runs[0], workdir, args, drive_files)
        if skip:
            return None, skip
        for name in case.dirs:
            os.makedirs(os.path.join(workdir, *name.split("\\")), exist_ok=True)
        for name in case.fifos:
            os.mkfifo(os.path.join(workdir, name))
        for name, target in case.links:
            os.symlink(target.replace("{WORKDIR}", workdir), os.path.join(workdir, name))
        for name in case.unreadable:
            os.symlink(refused, os.path.join(workdir, name))
        launcher = args.launcher.split() if args.launcher else []
        program = os.path.abspath(args.program)
        extension = library_extension(program)
        library_file = "librfc32" + extension
        build_folder = os.path.dirname(program)
        if case.program_copy:
            program_folder = tempfile.mkdtemp(prefix=f"marrowind-{case.name}-program-", dir=args.workroot)
            program = shutil.copy2(program, program_folder)
        env = dict(args.env)
        for target, place in case.libraries:
            source = os.path.join(build_folder, "lib" + target + extension)
            if place == "path":
                search_folder = tempfile.mkdtemp(prefix=f"marrowind-{case.name}-path-", dir=args.workroot)
                if windows:
                    if not args.drive_c:
                        return None, "needs a Windows drive"
                    relative = os.path.relpath(search_folder, args.drive_c)
                    env["WINEPATH"] = "C:\\" + relative.replace(os.sep, "\\")
                else:
                    env["LD_LIBRARY_PATH"] = search_folder
            folder = {"beside": program_folder, "workdir": workdir, "path": search_folder}[place]
            shutil.copyfile(source, os.path.join(folder, library_file))
        if case.secrets and not windows:
            # The program's temporary files (PARALLEL's result files) land where they can be searched.
            temporary_folder = tempfile.mkdtemp(prefix=f"marrowind-{case.name}-tmp-", dir=args.workroot)
            env["TMPDIR"] = temporary_folder
        inputs = set()
        failures = []
        for number, run in enumerate(case.runs, 1):
            if number > 1:
                skip = write_files(case, run, workdir, args, drive_files)
                if skip:
                    return None, skip
            inputs |= {name for name, _, _ in run.files}
            run_env = dict(env)
            for name, value in run.env.items():
                if value is None:
                    run_env.pop(name, None)
                else:
                    run_env[name] = value
            arguments = [a.replace("{WORKDIR}", workdir) for a in run.args]
            if run.stdout_full:
                with open("/dev/full", "wb") as full:
                    result = subprocess.run(launcher + [program] + arguments, cwd=workdir, stdout=full,
                                            stderr=subprocess.PIPE, timeout=args.timeout, env=run_env)
                result.stdout = b""
            else:
                result = subprocess.run(launcher + [program] + arguments, cwd=workdir, capture_output=True,
                                        timeout=args.timeout, env=run_env)
            stdout = result.stdout.decode("latin-1").replace("\r\n", "\n")
            run_failures = check_run(run, result, stdout, workdir, library_file)
            # The first run's "left:" and "absent:" hold for the directory after the last run.
            if number > 1 or len(case.runs) == 1:
                run_failures += check_files_left(run, workdir, library_file)
            if result.stderr and not windows:
                sanitizer = result.stderr.decode("latin-1")
                if "Sanitizer" in sanitizer or "runtime error" in sanitizer:
                    run_failures.append("sanitizer report:\n" + sanitizer)
            for secret in case.secrets:
                folders = [workdir] + ([temporary_folder] if temporary_folder else [])
                places = secret_places(secret, [("standard output", result.stdout or b""),
                                                ("standard error", result.stderr or b"")], folders, inputs)
                if places:
                    run_failures.append(f"the secret {secret!r} shows in: " + ", ".join(places))
            if len(case.runs) > 1:
                run_failures = [f"run {number}: {failure}" for failure in run_failures]
            failures += run_failures
        if len(case.runs) > 1:
            failures += [f"after the last run: {failure}"
                         for failure in check_files_left(case.runs[0], workdir, library_file)]
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
        for folder in (program_folder, search_folder, temporary_folder):
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
