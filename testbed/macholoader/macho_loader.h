// A small loader of Mach-O bundles for Linux x86-64: it maps the x86-64
// slice of a macOS bundle's executable and binds it here, so that the
// shipped bytes of the macOS plug-in run against GNUstep and the stand-in
// host. macOS x86-64 and Linux x86-64 share the System V calling
// convention; what differs is the loading, which is done here as dyld does
// it for a bundle with classic dyld information (LC_DYLD_INFO_ONLY):
// segments mapped at one base, rebases applied, every import bound up front
// by name, the export found in the export trie.
//
// Imports are bound by the library each one names:
//   flat lookup (the host's object API)  the stand-in host in this program
//   /usr/lib/libobjc.A.dylib             GNUstep's runtime (gcc's libobjc),
//                                        objc_msgSend the x86-64 shim
//   /usr/lib/libSystem.B.dylib           glibc, but proc_name and
//                                        proc_pidpath (the Linux shim),
//                                        ___stack_chk_guard (a guard of the
//                                        loader's own: glibc keeps its guard
//                                        in thread-local storage) and
//                                        dyld_stub_binder (a trap: with
//                                        every import bound, it is never
//                                        reached)
// Any other import, or one that nothing here defines, is refused by name;
// so is anything the loader does not handle (chained fixups, thread-local
// storage, initialisers, weak binds, text relocations).
#ifndef QUENBRIX_MACHO_LOADER_H
#define QUENBRIX_MACHO_LOADER_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// Maps and binds the x86-64 slice of the Mach-O file at `path` (a fat file
// or a thin one) and returns the address of its export `symbol` (with its
// leading underscore, e.g. "_ext_main"). On refusal returns null and puts
// the reason, naming what was refused, in `why`. The image stays mapped
// for the life of the process.
void *macho_load(const char *path, const char *symbol, char *why, size_t why_size);

#ifdef __cplusplus
}
#endif

#endif
