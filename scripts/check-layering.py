#!/usr/bin/env python3
"""Fails when a source file includes a header of a layer above its own (or beside it).

    check-layering.py [SOURCE_DIR]              check the tree (default: this script's project)
    check-layering.py --self-test [SOURCE_DIR]  also check that scratch copies with wrong
                                                includes fail and with right ones pass

tests/, bench/ and fuzz/ may include anything; nothing else may include them.
"""
import os
import re
import shutil
import sys
import tempfile

BELOW_APP = ["platform", "backup", "net/transport", "net/ftp", "net/icmp"]
# Each layer and the layers its files may include (its own among them).
ALLOWED = {
    "platform": ["platform"],
    "backup": ["platform", "backup"],
    "net/transport": ["platform", "net/transport"],
    "net/ftp": ["platform", "net/transport", "net/ftp"],
    "net/icmp": ["platform", "net/transport", "net/icmp"],
    "app": BELOW_APP + ["app"],
    "app/gui": BELOW_APP + ["app", "app/gui"],
    "app/win32gui": BELOW_APP + ["app", "app/win32gui"],
    "cli": BELOW_APP + ["app", "cli"],
    "data": ["platform", "backup", "data"],
}
FREE = ["tests", "bench", "fuzz"]
# A folder named for one system never includes the other system's files.
SYSTEMS = {"posix": "win32", "win32": "posix", "win32gui": "posix"}
INCLUDE = re.compile(r'^\s*#\s*include\s*[<"]([^>"]+)[>"]')
SOURCES = (".cpp", ".h")


def layer_of(rel):
    """The layer a path (relative to the source root, '/'-separated) belongs to, or None."""
    best = None
    for layer in list(ALLOWED) + FREE:
        if rel == layer or rel.startswith(layer + "/"):
            if best is None or len(layer) > len(best):
                best = layer
    return best


def system_of(rel):
    for part in rel.split("/")[:-1]:
        if part in SYSTEMS:
            return "win32" if part == "win32gui" else part
    return None


def header_path(root, source_rel, name):
    """Where an include names a header of the tree: beside the source first, as the compiler
    looks; else from the root. None for system and library headers."""
    here = os.path.dirname(source_rel)
    beside = os.path.normpath(os.path.join(here, name)).replace(os.sep, "/")
    if os.path.isfile(os.path.join(root, beside)):
        return beside
    if name.startswith("../"):
        return beside
    if layer_of(name) is not None:
        return os.path.normpath(name).replace(os.sep, "/")
    return None


def violations(root):
    found = []
    for layer in ALLOWED:
        top = os.path.join(root, layer)
        for folder, dirs, files in os.walk(top):
            for file in sorted(files):
                if not file.endswith(SOURCES):
                    continue
                rel = os.path.relpath(os.path.join(folder, file), root).replace(os.sep, "/")
                own = layer_of(rel)
                if own != layer:
                    continue  # a deeper layer of its own, walked on its own
                with open(os.path.join(folder, file), encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if not m:
                            continue
                        target = header_path(root, rel, m.group(1))
                        if target is None:
                            continue
                        theirs = layer_of(target)
                        system = system_of(rel)
                        if theirs not in ALLOWED[own]:
                            found.append(f"{rel}:{number}: {own} includes {target} ({theirs})")
                        elif system and system_of(target) == SYSTEMS[system]:
                            found.append(f"{rel}:{number}: a {system} file includes {target}")
    return found


# (file, include line, whether the tree must still pass)
CASES = [
    ("platform/Text.cpp", '#include "backup/backup.h"', False),
    ("platform/Text.cpp", '#include "../app/Unit1.h"', False),
    ("backup/ArchiveFormat.cpp", '#include "net/transport/IdStack.h"', False),
    ("net/transport/IdStack.cpp", '#include "net/ftp/IdFTP.h"', False),
    ("net/ftp/IdFTP.cpp", '#include "net/icmp/IdIcmpClient.h"', False),
    ("net/icmp/IdIcmpClient.cpp", '#include "app/Unit1.h"', False),
    ("app/Unit1.cpp", '#include "app/gui/MainForm.h"', False),
    ("app/Unit1.cpp", '#include "cli/command_workflow.h"', False),
    ("cli/command_archive.cpp", '#include "app/gui/MainForm.h"', False),
    ("app/gui/Unit2.cpp", '#include "app/win32gui/Unit2.h"', False),
    ("backup/ArchiveFormat.cpp", '#include "tests/support/TestSupport.h"', False),
    ("platform/posix/Text.cpp", '#include "platform/win32/Win32.h"', False),
    ("app/Unit1.cpp", '#include "backup/backup.h"', True),
    ("app/gui/Unit2.cpp", '#include "app/Unit1.h"', True),
    ("cli/command_archive.cpp", '#include "net/ftp/IdFTP.h"', True),
    ("net/ftp/IdFTP.cpp", '#include "platform/Text.h"', True),
    ("platform/posix/Text.cpp", '#include "Handles.h"', True),
    ("platform/Text.cpp", "#include <vector>", True),
    ("tests/app/WorkflowTest.cpp", '#include "app/gui/MainForm.h"', True),
]


def self_test(root):
    failures = []
    with tempfile.TemporaryDirectory() as scratch:
        for folder in sorted({layer.split("/")[0] for layer in list(ALLOWED) + FREE}):
            if os.path.isdir(os.path.join(root, folder)):
                shutil.copytree(os.path.join(root, folder), os.path.join(scratch, folder),
                                ignore=shutil.ignore_patterns("*.py", "*.txt", "*.sh"))
        for file, line, passes in CASES:
            path = os.path.join(scratch, file)
            if not os.path.isfile(path):
                failures.append(f"self-test: {file} is gone; update the cases")
                continue
            with open(path, encoding="utf-8") as f:
                text = f.read()
            with open(path, "w", encoding="utf-8") as f:
                f.write(line + "\n" + text)
            if (not violations(scratch)) != passes:
                failures.append(f"self-test: {line} in {file} should {'pass' if passes else 'fail'}")
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
    return failures


def main(argv):
    test = "--self-test" in argv
    args = [a for a in argv if a != "--self-test"]
    root = args[0] if args else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    found = violations(root)
    if test:
        found += self_test(root)
    for line in found:
        print(line)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
