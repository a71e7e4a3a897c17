"""Reads the cross-built quenbrix.mxo back and checks what the host and
macOS will see when they load it: both slices with their minimum systems, a
bundle exporting only ext_main, the libraries it names, the host calls bound
by name at load, an ad-hoc code signature in each slice whose page hashes
match the code, as the kernel checks them on Apple silicon when it pages
the code in, and the bundle's Info.plist and PkgInfo.

    bundle_check.py <quenbrix.mxo> [unittest options]
"""
import hashlib
import pathlib
import plistlib
import re
import struct
import sys
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "support"))
import binaries  # noqa: E402

BUNDLE = pathlib.Path(sys.argv.pop(1) if len(sys.argv) > 1 else "quenbrix.mxo")
BINARY = BUNDLE / "Contents" / "MacOS" / "quenbrix"

LIBRARIES = [
    "/System/Library/Frameworks/AppKit.framework/Versions/C/AppKit",
    "/System/Library/Frameworks/Foundation.framework/Versions/C/Foundation",
    "@executable_path/../Frameworks/MaxAudioAPI.framework/Versions/A/MaxAudioAPI",
    "@executable_path/../Frameworks/JitterAPI.framework/Versions/A/JitterAPI",
    "/usr/lib/libobjc.A.dylib",
    "/usr/lib/libSystem.B.dylib",
]

# Everything but the host's calls is bound to the library that defines it.
SYSTEM_IMPORTS = {
    ("libSystem", "___stack_chk_fail"), ("libSystem", "___stack_chk_guard"),
    ("libSystem", "dyld_stub_binder"), ("libSystem", "_getpid"),
    ("libSystem", "_proc_name"), ("libSystem", "_proc_pidpath"),
    ("libSystem", "_memchr"), ("libSystem", "_memcpy"), ("libSystem", "_memmove"),
    ("libSystem", "_snprintf"), ("libSystem", "_strstr"),
    ("libobjc", "_objc_getClass"), ("libobjc", "_objc_msgSend"),
    ("libobjc", "_sel_registerName"),
}

MH_BUNDLE = 8
PLATFORM_MACOS = 1
CSMAGIC_EMBEDDED_SIGNATURE = 0xFADE0CC0
CSMAGIC_CODEDIRECTORY = 0xFADE0C02
CSSLOT_CODEDIRECTORY = 0
CS_ADHOC = 0x2
CS_LINKER_SIGNED = 0x20000
CS_HASHTYPE_SHA256 = 2


def code_directory(data, slice_):
    """The CodeDirectory of a slice's embedded signature, as (offset in the
    file, its header fields), or None."""
    if not slice_.code_signature:
        return None
    start = slice_.offset + slice_.code_signature[0]
    magic, _, count = struct.unpack_from(">III", data, start)
    if magic != CSMAGIC_EMBEDDED_SIGNATURE:
        return None
    for i in range(count):
        kind, offset = struct.unpack_from(">II", data, start + 12 + 8 * i)
        if kind == CSSLOT_CODEDIRECTORY:
            at = start + offset
            (magic, length, version, flags, hash_offset, ident_offset, special_slots,
             code_slots, code_limit, hash_size, hash_type, platform,
             page_shift) = struct.unpack_from(">IIIIIIIIIBBBB", data, at)
            return at, dict(magic=magic, flags=flags, hash_offset=hash_offset,
                            ident_offset=ident_offset, code_slots=code_slots,
                            code_limit=code_limit, hash_size=hash_size,
                            hash_type=hash_type, page_shift=page_shift)
    return None


class MacBundle(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.data = BINARY.read_bytes()
        cls.slices = binaries.mach_o_slices(BINARY)

    def test_holds_an_x86_64_slice_for_10_11_and_an_arm64_slice_for_11_0(self):
        self.assertEqual(sorted(self.slices), ["arm64", "x86_64"], BINARY)
        x86, arm = self.slices["x86_64"], self.slices["arm64"]
        self.assertEqual(x86.min_version, "10.11")
        self.assertNotIn("LC_BUILD_VERSION", x86.command_names())
        self.assertEqual(arm.build_minos, "11.0")
        self.assertEqual(arm.build_platform, PLATFORM_MACOS)

    def test_each_slice_is_a_loadable_bundle_naming_exactly_its_libraries(self):
        for arch, s in self.slices.items():
            with self.subTest(arch=arch):
                self.assertTrue(s.is_64_bit)
                self.assertEqual(s.filetype, MH_BUNDLE)
                for forbidden in ("LC_LOAD_WEAK_DYLIB", "LC_REEXPORT_DYLIB", "LC_RPATH"):
                    self.assertNotIn(forbidden, s.command_names())
                self.assertEqual(s.libraries, LIBRARIES)

    def test_exports_only_ext_main(self):
        for arch, s in self.slices.items():
            self.assertEqual(s.exports, ["_ext_main"], arch)

    def test_takes_the_host_calls_by_name_at_load_and_the_rest_from_its_libraries(self):
        host = {"_" + name for name in binaries.host_calls()}
        for arch, s in self.slices.items():
            with self.subTest(arch=arch):
                self.assertTrue(s.flat_imports)
                self.assertLessEqual(s.flat_imports, host,
                                     "looked up by name but not a listed host call")
                self.assertEqual(s.library_imports, SYSTEM_IMPORTS)

    def test_each_slice_carries_an_ad_hoc_linker_signature_for_the_executable(self):
        for arch, s in self.slices.items():
            with self.subTest(arch=arch):
                found = code_directory(self.data, s)
                self.assertIsNotNone(found, "no embedded signature with a code directory")
                at, cd = found
                self.assertEqual(cd["magic"], CSMAGIC_CODEDIRECTORY)
                self.assertTrue(cd["flags"] & CS_ADHOC, "not ad hoc")
                self.assertTrue(cd["flags"] & CS_LINKER_SIGNED, "not linker-signed")
                ident = self.data[at + cd["ident_offset"]:].split(b"\0", 1)[0]
                self.assertEqual(ident, b"quenbrix")
                self.assertEqual(cd["code_limit"], s.code_signature[0], "code limit")

    def test_each_slices_code_pages_hash_to_what_its_signature_records(self):
        for arch, s in self.slices.items():
            with self.subTest(arch=arch):
                found = code_directory(self.data, s)
                self.assertIsNotNone(found)
                at, cd = found
                self.assertEqual((cd["hash_type"], cd["hash_size"]), (CS_HASHTYPE_SHA256, 32))
                page = 1 << cd["page_shift"]
                limit = cd["code_limit"]
                self.assertEqual(cd["code_slots"], (limit + page - 1) // page)
                bad = []
                for i in range(cd["code_slots"]):
                    begin = s.offset + i * page
                    end = s.offset + min((i + 1) * page, limit)
                    recorded = self.data[at + cd["hash_offset"] + 32 * i:][:32]
                    if hashlib.sha256(self.data[begin:end]).digest() != recorded:
                        bad.append(i)
                self.assertEqual(bad, [], "pages whose hash differs")

    def test_info_plist_describes_a_host_plug_in_with_this_executable(self):
        with open(BUNDLE / "Contents" / "Info.plist", "rb") as f:
            keys = plistlib.load(f)
        self.assertEqual(keys.get("CFBundlePackageType"), "iLaX")
        self.assertEqual(keys.get("CFBundleSignature"), "max2")
        self.assertEqual(keys.get("CFBundleExecutable"), "quenbrix")
        self.assertEqual(keys.get("CFBundleInfoDictionaryVersion"), "6.0")
        self.assertTrue(keys.get("CFBundleIdentifier"))
        self.assertRegex(keys.get("CFBundleShortVersionString", ""), r"^\d+\.\d+\.\d+$")
        self.assertRegex(keys.get("CFBundleVersion", ""), r"^\d+(\.\d+)*$")

    def test_pkg_info_holds_exactly_the_eight_type_and_creator_bytes(self):
        self.assertEqual((BUNDLE / "Contents" / "PkgInfo").read_bytes(), b"iLaX????")


if __name__ == "__main__":
    unittest.main(verbosity=2)
