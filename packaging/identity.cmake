# Who the plug-ins and the package say they are: one place for the version,
# the names and the copyright that package-info.json, the macOS Info.plist
# and the Windows version resource carry. Included by the native build, by
# each cross build and by tests/windows/pe_check.cmake.
set(QUENBRIX_VERSION "1.0.0")
set(QUENBRIX_PRODUCT_NAME "quenbrix")
set(QUENBRIX_DESCRIPTION "quenbrix, a Max for Live object that reaches the Live application")
set(QUENBRIX_AUTHOR "quenbrix team")
set(QUENBRIX_COPYRIGHT "Copyright (c) 2022 quenbrix team")
set(QUENBRIX_REVERSE_DOMAIN "org.quenbrix")
