"""Holds our declarations of the host's API and both built plug-ins to the
one list of host calls (host/max_api_calls.txt): host/max_api.h declares
exactly the listed functions, as clang reads the header, and the two
plug-ins together call exactly them.

    host_api_check.py <clang> [quenbrix.mxe64 quenbrix.mxo] [unittest options]
"""
import json
import pathlib
import subprocess
import sys
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent / "support"))
import binaries  # noqa: E402

CLANG = sys.argv.pop(1)
PLUGINS = [sys.argv.pop(1) for _ in range(2)] if len(sys.argv) > 2 else None
HEADER = binaries.SOURCE / "host" / "max_api.h"


def declared_functions(header):
    """The functions a header declares itself (not those of the headers it
    includes), from clang's syntax tree."""
    dump = subprocess.run([CLANG, "-x", "c++", "-std=c++17", "-fsyntax-only", "-Xclang",
                           "-ast-dump=json", str(header)],
                          check=True, capture_output=True, text=True).stdout
    names, current = set(), None

    def walk(node):
        nonlocal current
        current = node.get("loc", {}).get("file", current)
        if node.get("kind") == "FunctionDecl" and current == str(header):
            names.add(node["name"])
        for child in node.get("inner", []):
            walk(child)

    walk(json.loads(dump))
    return names


class HostApi(unittest.TestCase):
    def test_the_host_header_declares_exactly_the_listed_calls(self):
        declared, listed = declared_functions(HEADER), binaries.host_calls()
        self.assertEqual(declared - listed, set(), "declared but not listed")
        self.assertEqual(listed - declared, set(), "listed but not declared")

    @unittest.skipUnless(PLUGINS, "needs both built plug-ins")
    def test_the_two_plug_ins_together_call_exactly_the_listed_calls(self):
        windows, macos = PLUGINS
        called = set(binaries.Pe(windows).imports.get("MAXAPI.DLL", set()))
        for arch, s in binaries.mach_o_slices(pathlib.Path(macos) /
                                              "Contents/MacOS/quenbrix").items():
            called |= {name[1:] for name in s.flat_imports}
        listed = binaries.host_calls()
        self.assertEqual(called - listed, set(), "called but not listed")
        self.assertEqual(listed - called, set(), "listed but called by neither plug-in")


if __name__ == "__main__":
    unittest.main(verbosity=2)
