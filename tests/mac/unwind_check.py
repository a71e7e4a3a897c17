"""Every function in each slice of the built bundle has unwind information,
as Apple's compiler and linker leave it: an entry of __unwind_info (the
linker folds neighbours with the same encoding into one entry) with an
encoding that says how to unwind, within the table's end, and __eh_frame
where an encoding points to it. Without it, an Objective-C exception raised
inside an AppKit call cannot pass through the plug-in's frames to the
handlers further up, and the process ends: inside Live.

    unwind_check.py <llvm-objdump> <quenbrix.mxo> [unittest options]
"""
import bisect
import pathlib
import re
import subprocess
import sys
import unittest

OBJDUMP = sys.argv.pop(1) if len(sys.argv) > 2 else "llvm-objdump-14"
BUNDLE = pathlib.Path(sys.argv.pop(1) if len(sys.argv) > 1 else "quenbrix.mxo")
BINARY = BUNDLE / "Contents" / "MacOS" / "quenbrix"

# The encoding's mode that says "see __eh_frame", per architecture.
DWARF_MODE = {"x86_64": 0x04000000, "arm64": 0x03000000}
MODE_MASK = 0x0F000000


def objdump(arch, *what):
    return subprocess.run([OBJDUMP, "--macho", "--arch=" + arch, *what, str(BINARY)],
                          check=True, capture_output=True, text=True).stdout


class MacUnwindInfo(unittest.TestCase):
    def test_every_function_of_each_slice_falls_under_an_entry_that_says_how_to_unwind(self):
        for arch, dwarf_mode in DWARF_MODE.items():
            with self.subTest(arch=arch):
                functions = [int(line, 16) for line in objdump(arch, "--function-starts").split()
                             if re.fullmatch(r"[0-9a-fA-F]{8,16}", line)]
                self.assertGreater(len(functions), 10, "no function starts read")
                info = objdump(arch, "--unwind-info")
                entries = sorted(
                    (int(offset, 16), int(encoding, 16)) for offset, encoding in re.findall(
                        r"function offset=(0x[0-9a-fA-F]+), encoding(?:\[\d+\])?=(0x[0-9a-fA-F]+)",
                        info))
                self.assertTrue(entries, "no __unwind_info")
                # The last top-level index marks the end of the code covered.
                ends = re.findall(r"function offset=(0x[0-9a-fA-F]+), 2nd level page offset", info)
                end = int(ends[-1], 16)
                has_eh_frame = "__eh_frame" in objdump(arch, "--section-headers")
                starts = [offset for offset, _ in entries]
                for f in functions:
                    at = bisect.bisect_right(starts, f) - 1
                    self.assertGreaterEqual(at, 0, "function %#x has no entry" % f)
                    self.assertLess(f, end, "function %#x lies past the table's end" % f)
                    encoding = entries[at][1]
                    self.assertNotEqual(encoding, 0, "function %#x has no encoding" % f)
                    if encoding & MODE_MASK == dwarf_mode:
                        self.assertTrue(has_eh_frame, "function %#x points to a missing "
                                                      "__eh_frame" % f)


if __name__ == "__main__":
    unittest.main(verbosity=2)
