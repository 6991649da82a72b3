#!/usr/bin/env python3
"""scripts/check-includes on dependency listings as ninja writes them,
whatever comes first in an object's list (its source, a sanitizer's ignore
list, a precompiled header).

Usage: check_includes_test.py REPO
"""
import importlib.machinery
import importlib.util
import os
import sys
import unittest

REPO = os.path.abspath(sys.argv.pop(1) if len(sys.argv) > 1 else ".")
loader = importlib.machinery.SourceFileLoader("check_includes", os.path.join(REPO, "scripts", "check-includes"))
spec = importlib.util.spec_from_loader("check_includes", loader)
check_includes = importlib.util.module_from_spec(spec)
loader.exec_module(check_includes)

BUILD = os.path.join(REPO, "build", "native")
IGNORE_LIST = "/usr/lib/llvm-14/lib/clang/14.0.6/share/asan_ignorelist.txt"
PCH = "common/CMakeFiles/quorlane_asio_pch.dir/cmake_pch.hxx.cxx"


def listing(*objects):
    """One `ninja -t deps` listing of (object, [dependencies]) pairs."""
    lines = []
    for name, deps in objects:
        lines.append(f"{name}: #deps {len(deps)}, deps mtime 1 (VALID)")
        lines += ["    " + (d if d.startswith(("/", "common/CMakeFiles")) else os.path.join(REPO, d)) for d in deps]
        lines.append("")
    return "\n".join(lines)


class CheckIncludes(unittest.TestCase):
    def test_rooms(self):
        rows = [
            ("source first, another room's header", ["updater/update_server.cpp", "server/protocol/lock_table.h"],
             {("updater/update_server.cpp", "server/protocol/lock_table.h")}),
            ("an ignore list and a precompiled header before the source",
             [IGNORE_LIST, PCH, "updater/update_server.cpp", "server/protocol/lock_table.h"],
             {("updater/update_server.cpp", "server/protocol/lock_table.h")}),
            ("common/ and the own room", [IGNORE_LIST, "server/main.cpp", "server/core/site_server.h",
                                          "common/net/asio.h"], set()),
            ("the one door", ["library/exports.cpp", "hostkit/quorlane.h"], set()),
            ("common/ includes a room", ["common/platform/platform_posix.cpp", "server/core/site_data.h"],
             {("common/platform/platform_posix.cpp", "server/core/site_data.h")}),
            ("tests may include anything", ["tests/server/site_commands_test.cpp", "server/core/site_data.h"], set()),
        ]
        for what, deps, expected in rows:
            found, objects = check_includes.violations_in(listing(("a.o", deps)), BUILD, REPO)
            self.assertEqual((found, objects), (expected, 1), what)

    def test_every_object_of_a_listing_is_read(self):
        found, objects = check_includes.violations_in(
            listing(("a.o", [IGNORE_LIST, "server/main.cpp"]), ("b.o", ["shell/main.cpp", "library/exports.h"])),
            BUILD, REPO)
        self.assertEqual((found, objects), ({("shell/main.cpp", "library/exports.h")}, 2))


if __name__ == "__main__":
    unittest.main()
