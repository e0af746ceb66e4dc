#!/usr/bin/env python3
"""Prints the object files of a native build tree whose sources a Windows build of the same
source tree never compiles, or compiles only in part: those that include, directly or through
the project's own headers, a part chosen by _WIN32 or _WIN64. tools/test-all.sh compiles them
with gcc, whose warnings the Windows builds (gcc too) give for everything else.
Usage: native-only-objects.py SOURCE_DIR NATIVE_BUILD_DIR WINDOWS_BUILD_DIR
(both build trees configured with CMAKE_EXPORT_COMPILE_COMMANDS)."""
import json
import os
import re
import shlex
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
PLATFORM_PART = re.compile(r"\b_WIN(32|64)\b")


def commands(build):
    with open(os.path.join(build, "compile_commands.json")) as f:
        return json.load(f)


def has_platform_part(path, source, seen):
    if path in seen:
        return False
    seen.add(path)
    with open(path, errors="replace") as f:
        text = f.read()
    if PLATFORM_PART.search(text):
        return True
    for name in INCLUDE.findall(text):
        for base in (source, os.path.dirname(path)):
            found = os.path.join(base, name)
            if os.path.isfile(found):
                if has_platform_part(os.path.realpath(found), source, seen):
                    return True
                break
    return False


def main():
    source, native, windows = (os.path.realpath(d) for d in sys.argv[1:4])
    compiled = {os.path.realpath(e["file"]) for e in commands(windows)}
    for entry in commands(native):
        path = os.path.realpath(entry["file"])
        if not path.startswith(source + os.sep):
            continue  # not the project's own (GoogleTest's sources)
        if path not in compiled or has_platform_part(path, source, set()):
            words = shlex.split(entry["command"])
            print(words[words.index("-o") + 1])


main()
