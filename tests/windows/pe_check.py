"""Reads the Windows binaries' export and import tables and the plug-in's
version resource, and fails on any drift from what the host and Windows
expect of the plug-in.

    pe_check.py <quenbrix.mxe64> <MaxAPI.dll> KEY=VALUE... [unittest options]

KEY=VALUE are the identity the version resource must carry: VERSION,
DESCRIPTION, PRODUCT_NAME, AUTHOR, COPYRIGHT (packaging/identity.cmake).
"""
import pathlib
import sys
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "support"))
import binaries  # noqa: E402

PLUGIN, HOST_DLL = sys.argv.pop(1), sys.argv.pop(1)
IDENTITY = {}
while len(sys.argv) > 1 and "=" in sys.argv[1] and not sys.argv[1].startswith("-"):
    key, value = sys.argv.pop(1).split("=", 1)
    IDENTITY[key] = value

IMAGE_FILE_MACHINE_AMD64 = 0x8664

# The window calls, exactly.
USER32 = {
    "AttachThreadInput", "BroadcastSystemMessageW", "EnumWindows", "GetClassNameA",
    "GetForegroundWindow", "GetWindow", "GetWindowTextLengthW", "GetWindowTextW",
    "GetWindowThreadProcessId", "IsIconic", "IsWindow", "IsWindowVisible",
    "RegisterWindowMessageW", "SetActiveWindow", "SetFocus", "SetForegroundWindow",
    "SetWindowPos", "ShowWindow",
}
# The process calls, from kernel32 beside what the C runtime takes there.
KERNEL32 = {
    "CloseHandle", "CreateProcessW", "GetCurrentProcessId", "GetCurrentThreadId",
    "GetModuleFileNameW", "OpenProcess", "QueryFullProcessImageNameW", "WaitForSingleObject",
}


class WindowsPlugin(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.plugin = binaries.Pe(PLUGIN)

    def test_is_a_64_bit_windows_library_exporting_exactly_ext_main(self):
        self.assertEqual(self.plugin.machine, IMAGE_FILE_MACHINE_AMD64)
        self.assertTrue(self.plugin.pe.is_dll())
        self.assertEqual(self.plugin.exports, ["ext_main"])

    def test_imports_the_host_user32_kernel32_and_msvcrt_and_no_compiler_runtime(self):
        # msvcrt.dll is the C runtime that mingw-w64 always links against.
        self.assertEqual(sorted(self.plugin.imports),
                         ["KERNEL32.DLL", "MAXAPI.DLL", "MSVCRT.DLL", "USER32.DLL"])

    def test_takes_from_the_host_only_listed_calls(self):
        host = self.plugin.imports.get("MAXAPI.DLL", set())
        self.assertTrue(host, "no host API import found")
        self.assertLessEqual(host, binaries.host_calls())

    def test_makes_exactly_the_expected_window_and_process_calls(self):
        self.assertEqual(self.plugin.imports.get("USER32.DLL"), USER32)
        self.assertLessEqual(KERNEL32, self.plugin.imports.get("KERNEL32.DLL", set()))

    def test_carries_the_version_resource_windows_shows_under_properties(self):
        fixed, tables, translations = self.plugin.version_resource()
        self.assertIsNotNone(fixed, "no version resource")
        major, minor, patch = (int(n) for n in IDENTITY["VERSION"].split("."))
        packed = ((major << 16) | minor, patch << 16)
        self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS), packed)
        self.assertEqual((fixed.ProductVersionMS, fixed.ProductVersionLS), packed)
        # U.S. English, Windows-1252: the block that the translation names.
        self.assertEqual(translations, ["0x0409 0x04e4"])
        self.assertEqual(list(tables), ["040904E4"])
        strings = tables["040904E4"]
        expected = {
            "FileDescription": IDENTITY["DESCRIPTION"], "ProductName": IDENTITY["PRODUCT_NAME"],
            "FileVersion": IDENTITY["VERSION"], "ProductVersion": IDENTITY["VERSION"],
            "CompanyName": IDENTITY["AUTHOR"], "LegalCopyright": IDENTITY["COPYRIGHT"],
            "OriginalFilename": "quenbrix.mxe64",
        }
        for key, value in expected.items():
            self.assertEqual(strings.get(key), value, key)


class StandInHostDll(unittest.TestCase):
    def test_exports_every_listed_call_and_imports_no_compiler_runtime(self):
        host = binaries.Pe(HOST_DLL)
        self.assertLessEqual(binaries.host_calls(), set(host.exports))
        runtime = [dll for dll in host.imports if dll.startswith("LIB")]
        self.assertEqual(runtime, [])


if __name__ == "__main__":
    unittest.main(verbosity=2)
