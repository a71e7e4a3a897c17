"""What the checks read out of the built plug-ins: PE files through pefile,
Mach-O files through macholib, and the list of host calls they are held to.
"""
import pathlib

import pefile
from macholib import mach_o
from macholib.MachO import MachO
from macholib.SymbolTable import SymbolTable

SOURCE = pathlib.Path(__file__).resolve().parents[2]

# The library ordinal of a symbol that dyld looks up by name in every image
# loaded (linked with -U): how a plug-in takes the host's functions.
DYNAMIC_LOOKUP_ORDINAL = 0xFE


def host_calls():
    """The host functions quenbrix calls: host/max_api_calls.txt."""
    lines = (SOURCE / "host" / "max_api_calls.txt").read_text().splitlines()
    return {line.strip() for line in lines if line.strip() and not line.startswith("#")}


class Pe:
    """A Windows image: its machine, exports and imports by DLL (upper case)."""

    def __init__(self, path):
        self.pe = pefile.PE(str(path))
        self.machine = self.pe.FILE_HEADER.Machine
        exported = getattr(self.pe, "DIRECTORY_ENTRY_EXPORT", None)
        self.exports = [s.name.decode() for s in exported.symbols if s.name] if exported else []
        self.imports = {}
        for entry in getattr(self.pe, "DIRECTORY_ENTRY_IMPORT", []):
            names = {i.name.decode() for i in entry.imports if i.name}
            self.imports.setdefault(entry.dll.decode().upper(), set()).update(names)

    def version_resource(self):
        """The fixed version numbers and the string table, by language block."""
        fixed = self.pe.VS_FIXEDFILEINFO[0] if hasattr(self.pe, "VS_FIXEDFILEINFO") else None
        tables, translations = {}, []
        for info in getattr(self.pe, "FileInfo", []):
            for entry in info:
                if entry.Key == b"StringFileInfo":
                    for table in entry.StringTable:
                        tables[table.LangID.decode()] = {
                            k.decode(): v.decode() for k, v in table.entries.items()}
                elif entry.Key == b"VarFileInfo":
                    for var in entry.Var:
                        translations += [v for k, v in var.entry.items() if k == b"Translation"]
        return fixed, tables, translations


def _version(packed):
    """A Mach-O version number (xxxx.yy.zz in nibbles) as text, zeros dropped."""
    major, minor, patch = packed >> 16, (packed >> 8) & 0xFF, packed & 0xFF
    return f"{major}.{minor}" + (f".{patch}" if patch else "")


class MachOSlice:
    """One architecture of a Mach-O file, as dyld and the kernel see it."""

    def __init__(self, path, header):
        self.arch = mach_o.CPU_TYPE_NAMES.get(header.header.cputype, "?").lower()
        self.offset = header.offset  # where the slice starts in the file
        self.filetype = header.header.filetype
        self.is_64_bit = header.MH_MAGIC in (mach_o.MH_MAGIC_64, mach_o.MH_CIGAM_64)
        self.commands = []  # each as (name, command structure, trailing data)
        self.libraries = []  # the names of the libraries it loads, in order
        self.library_versions = []  # each as (name, current, compatibility)
        self.id_dylib = None  # a library's own (name, current, compatibility)
        self.min_version = self.build_platform = self.build_minos = None
        self.code_signature = None  # (offset in the slice, size)
        for lc, cmd, data in header.commands:
            name = mach_o.LC_NAMES.get(lc.cmd, hex(lc.cmd))
            self.commands.append((name, cmd, data))
            if lc.cmd in (mach_o.LC_LOAD_DYLIB, mach_o.LC_LOAD_WEAK_DYLIB,
                          mach_o.LC_REEXPORT_DYLIB, mach_o.LC_ID_DYLIB):
                start = cmd.name - (lc._size_ + cmd._size_)
                library = (data[start:].split(b"\0", 1)[0].decode(),
                           str(cmd.current_version), str(cmd.compatibility_version))
                if lc.cmd == mach_o.LC_ID_DYLIB:
                    self.id_dylib = library
                else:
                    self.libraries.append(library[0])
                    self.library_versions.append(library)
            elif lc.cmd == mach_o.LC_VERSION_MIN_MACOSX:
                self.min_version = _version(cmd.version)
            elif lc.cmd == mach_o.LC_BUILD_VERSION:
                self.build_platform, self.build_minos = cmd.platform, _version(cmd.minos)
            elif lc.cmd == mach_o.LC_CODE_SIGNATURE:
                self.code_signature = (cmd.dataoff, cmd.datasize)

        symbols = SymbolTable(MachO(str(path)), header)
        self.exports = sorted(name.decode() for _, name in symbols.extdefsyms)
        # Imports: those looked up by name anywhere (flat), and the rest by
        # the short name of the library that the two-level namespace binds
        # them to (libSystem, libobjc, AppKit...).
        self.flat_imports, self.library_imports = set(), set()
        for entry, name in symbols.undefsyms:
            ordinal = (entry.n_desc >> 8) & 0xFF
            if ordinal == DYNAMIC_LOOKUP_ORDINAL:
                self.flat_imports.add(name.decode())
            else:
                library = self.libraries[ordinal - 1].rsplit("/", 1)[-1].split(".", 1)[0]
                self.library_imports.add((library, name.decode()))

    def command_names(self):
        return [name for name, _, _ in self.commands]


def mach_o_slices(path):
    """Each slice of a Mach-O file, universal or not, by architecture name."""
    return {s.arch: s for s in (MachOSlice(path, h) for h in MachO(str(path)).headers)}
