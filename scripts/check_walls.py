#!/usr/bin/env python3
"""The walls between the rooms, checked over the sources' lines (run early by scripts/test):

1. no source includes through "../" (a room is reached by its name, from the room's view);
2. every operating-system branch (#if/#ifdef/#elif on _WIN32, __linux__, __APPLE__ ...) stands
   in platform/; sapsim/ (the stand-in library, no part of the sensor) and tests/ may have their own;
3. platform/ includes nothing from the rooms above it;
4. no two parts of platform/ need each other: a part is a header with its sources (Process.h,
   ProcessPosix.cpp, ProcessWindows.cpp), and the parts' includes form no cycle.

Exits 1 and names every breach. Usage: scripts/check_walls.py [ROOT]"""
import os
import re
import sys

ROOT = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
SOURCE = re.compile(r"\.(c|cc|cpp|h|hpp)$")
SKIPPED_DIRS = {".git", "build", "dist"}
INCLUDE = re.compile(r'^\s*#\s*include\s*[<"]([^>"]+)[>"]')
OS_MACROS = r"_WIN32|_WIN64|WIN32|WIN64|__linux__|__linux|linux|__APPLE__|__MACH__|__unix__|__unix|unix|" \
            r"__CYGWIN__|__MINGW32__|__MINGW64__|_MSC_VER|__FreeBSD__|__NetBSD__|__OpenBSD__|__sun|" \
            r"__ANDROID__|__GLIBC__|_POSIX_VERSION"
OS_BRANCH = re.compile(r"^\s*#\s*(if|ifdef|ifndef|elif)\b.*\b(" + OS_MACROS + r")\b")
OWN_BRANCHES = ("platform/", "sapsim/", "tests/")
ROOMS_ABOVE_PLATFORM = ("output/", "rfc/", "space/", "driver/", "tools/", "sapsim/")

# Branches outside platform/ that stand until their owners move them, each with the reason.
EXCEPTIONS = {}
# Groups of platform/'s parts whose includes form a cycle, standing until their owner splits them;
# a cycle between two parts of one group is named but does not fail the check.
CYCLE_EXCEPTIONS = {}

def sources():
    for folder, dirs, files in os.walk(ROOT):
        dirs[:] = sorted(d for d in dirs if d not in SKIPPED_DIRS and not d.startswith("."))
        for name in sorted(files):
            if SOURCE.search(name):
                path = os.path.join(folder, name)
                yield os.path.relpath(path, ROOT).replace(os.sep, "/"), path


def lines(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read().splitlines()


def part_of(relative):
    """The part of platform/ a file belongs to: Process.h, ProcessPosix.cpp -> Process."""
    stem = os.path.splitext(os.path.basename(relative))[0]
    return re.sub(r"(Posix|Windows)$", "", stem)


def main():
    breaches = []
    used_exceptions = set()
    edges = {}
    platform_headers = {}
    for relative, path in sources():
        for number, line in enumerate(lines(path), 1):
            where = "%s:%d" % (relative, number)
            include = INCLUDE.match(line)
            if include and include.group(1).startswith("../") or include and "/../" in include.group(1):
                breaches.append("%s: include through ../: %s" % (where, line.strip()))
            if OS_BRANCH.match(line) and not relative.startswith(OWN_BRANCHES):
                if relative in EXCEPTIONS:
                    used_exceptions.add(relative)
                else:
                    breaches.append("%s: operating-system branch outside platform/: %s" % (where, line.strip()))
            if include and relative.startswith("platform/"):
                target = include.group(1)
                if target.startswith(ROOMS_ABOVE_PLATFORM):
                    breaches.append("%s: platform/ includes a room above it: %s" % (where, target))
                if target.startswith("platform/"):
                    edges.setdefault(part_of(relative), set()).add(part_of(target))
        if relative.startswith("platform/") and relative.endswith(".h"):
            platform_headers[part_of(relative)] = relative
    for relative in sorted(set(EXCEPTIONS) - used_exceptions):
        print("note: %s has no operating-system branch any more; drop its exception" % relative)

    # Cycles among the parts (every part that includes another's header, directly or not).
    def reaches(start, goal):
        seen, stack = set(), [start]
        while stack:
            part = stack.pop()
            for other in edges.get(part, ()):
                if other == goal:
                    return True
                if other not in seen:
                    seen.add(other)
                    stack.append(other)
        return False

    reported = set()
    excepted = set()
    for part in sorted(edges):
        for other in sorted(edges[part]):
            if other == part:
                continue
            pair = frozenset({part, other})
            if pair in reported or not reaches(other, part):
                continue
            reported.add(pair)
            group = next((g for g in CYCLE_EXCEPTIONS if pair <= g), None)
            if group is not None:
                excepted.add(group)
                continue
            breaches.append("platform/: %s and %s need each other" % (part, other))
    for group in sorted(set(CYCLE_EXCEPTIONS) - excepted, key=sorted):
        print("note: the cycle among %s is gone; drop its exception" % ", ".join(sorted(group)))

    for breach in breaches:
        print(breach)
    if breaches:
        print("== the walls between the rooms have %d breach(es)" % len(breaches))
        return 1
    excepted_cycles = "; ".join("among " + ", ".join(sorted(g)) for g in sorted(excepted, key=sorted))
    print("walls: no include through ../; every operating-system branch in platform/, sapsim/ or "
          "tests/%s; platform/ includes no room above it; its parts need no cycle%s"
          % (" (for now also in %s)" % ", ".join(sorted(used_exceptions)) if used_exceptions else "",
             " (for now but %s)" % excepted_cycles if excepted_cycles else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
