"""The Windows plug-in built against the host maker's SDK (its headers and
its import library MaxAPI.lib) beside our own build: both import exactly the
same names from exactly the same DLLs, and every host name is one that
MaxAPI.lib exports.

    windows_names_check.py <ours> <the SDK build> <MaxAPI.lib> <nm> [unittest options]
"""
import pathlib
import subprocess
import sys
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "support"))
import binaries  # noqa: E402

OWN, SDK_BUILD, MAXAPI_LIB, NM = (sys.argv.pop(1) for _ in range(4))


def library_exports(library):
    """The names an import library exports: its __imp_ symbols, read with
    nm in the POSIX format (name, type, value per line)."""
    listing = subprocess.run([NM, "-P", library], check=True, capture_output=True,
                             text=True).stdout
    return {line.split()[0][len("__imp_"):] for line in listing.splitlines()
            if line.startswith("__imp_")}


class SdkWindowsPlugin(unittest.TestCase):
    def test_imports_the_same_names_from_the_same_dlls_as_our_own_build(self):
        own, sdk = binaries.Pe(OWN).imports, binaries.Pe(SDK_BUILD).imports
        self.assertTrue(own.get("MAXAPI.DLL"), OWN)
        self.assertEqual(own, sdk)

    def test_takes_only_names_that_the_sdks_import_library_exports(self):
        exported = library_exports(MAXAPI_LIB)
        self.assertGreater(len(exported), 1000, MAXAPI_LIB)
        for path in (OWN, SDK_BUILD):
            host = binaries.Pe(path).imports.get("MAXAPI.DLL", set())
            self.assertTrue(host, path)
            self.assertEqual(host - exported, set(), path)


if __name__ == "__main__":
    unittest.main(verbosity=2)
