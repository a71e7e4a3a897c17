"""The macOS bundle built against the host maker's SDK (its headers, its
script/max-linker-flags.txt and its MaxAudioAPI framework) beside our own
build: in each slice both name the same libraries with the same versions,
MaxAudioAPI exactly as the SDK's framework names itself, and both bind the
same host names by flat lookup, each one listed in max-linker-flags.txt.

    macos_names_check.py <ours> <the SDK build> <max-sdk-base> [unittest options]
"""
import pathlib
import re
import sys
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "support"))
import binaries  # noqa: E402

OWN, SDK_BUILD, SDK = (pathlib.Path(sys.argv.pop(1)) for _ in range(3))
MAXAUDIO = SDK / "c74support/msp-includes/MaxAudioAPI.framework/Versions/A/MaxAudioAPI"


class SdkMacBundle(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.own = binaries.mach_o_slices(OWN)
        cls.sdk = binaries.mach_o_slices(SDK_BUILD)

    def test_names_the_same_libraries_as_our_own_build_and_maxaudioapi_as_the_sdk_does(self):
        framework = binaries.mach_o_slices(MAXAUDIO)
        self.assertEqual(sorted(self.own), ["arm64", "x86_64"])
        for arch, own in self.own.items():
            with self.subTest(arch=arch):
                self.assertEqual(len(own.library_versions), 6)
                self.assertEqual(own.library_versions, self.sdk[arch].library_versions)
                named = [lib for lib in own.library_versions if lib[0].endswith("/MaxAudioAPI")]
                self.assertEqual(named, [framework[arch].id_dylib])

    def test_binds_the_same_host_names_as_our_own_build_each_listed_in_the_sdks_linker_flags(self):
        flags = (SDK / "script/max-linker-flags.txt").read_text()
        listed = set(re.findall(r"-Wl,-U,(_\w+)", flags))
        self.assertGreater(len(listed), 1000)
        for arch, own in self.own.items():
            with self.subTest(arch=arch):
                self.assertTrue(own.flat_imports)
                self.assertEqual(own.flat_imports, self.sdk[arch].flat_imports)
                self.assertEqual(own.flat_imports - listed, set())


if __name__ == "__main__":
    unittest.main(verbosity=2)
