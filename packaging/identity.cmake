# Who the plug-ins and the package say they are: one place for the version,
# the date, the names and the copyright that the plug-in's banner,
# package-info.json, the macOS Info.plist, the Windows version resource and
# the release zip carry. Included by the native build, by each cross build
# and by the checks that read these back.
set(QUENBRIX_VERSION "1.0.0")
set(QUENBRIX_DATE "2022/05/24") # the build date the banner names
set(QUENBRIX_PRODUCT_NAME "quenbrix")
set(QUENBRIX_DESCRIPTION "quenbrix, a Max for Live object that reaches the Live application")
set(QUENBRIX_AUTHOR "quenbrix team")
string(SUBSTRING "${QUENBRIX_DATE}" 0 4 QUENBRIX_YEAR)
set(QUENBRIX_COPYRIGHT "Copyright (c) ${QUENBRIX_YEAR} ${QUENBRIX_AUTHOR}")
set(QUENBRIX_REVERSE_DOMAIN "org.quenbrix")
