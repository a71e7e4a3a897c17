#!/bin/sh
# The Max package assembled once more with its Windows external signed by a
# throwaway certificate, made here with openssl:
#  - osslsigncode verifies the signature against that certificate, and
#    refuses it against another certificate and after one byte changed;
#  - the signed file is the build's plug-in, plus the signature;
#  - the zip carries exactly the signed file;
#  - the Windows suites pass on the signed plug-in under Wine;
#  - without a certificate the assembly says once that the plug-in stays
#    unsigned, and it is.
#
#   sign_test.sh WORK WINDOWS_BUILD WINE_RUN PACKAGE_SCRIPT CMAKE -D...
#
# WORK is emptied first. WINDOWS_BUILD holds the test programs (and the
# plug-in that the build made); WINE_RUN is tests/windows/wine-run.sh;
# PACKAGE_SCRIPT is cmake/Package.cmake, run by CMAKE with the definitions
# that follow and the DIST_DIR and ZIP that this script adds. Needs openssl,
# osslsigncode, wine and xvfb-run (the build registers it only with them).
set -u
work=$1 windows=$2 wine_run=$3 package_script=$4
shift 4

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

for tool in openssl osslsigncode wine xvfb-run; do
    command -v $tool >/dev/null 2>&1 || fail "$tool is not installed (tools/setup installs it)"
done

rm -rf "$work"
mkdir -p "$work/dist" "$work/unsigned" "$work/unzipped" "$work/windows"
cd "$work" || exit 1

# Two throwaway certificates, each its own issuer, for code signing only.
for name in signer other; do
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=quenbrix test $name" \
        -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=digitalSignature" \
        -keyout $name.key -out $name.pem 2>/dev/null || fail "openssl could not make a certificate"
done

zip=quenbrix-test.zip
QUENBRIX_SIGN_CERT="$work/signer.pem" QUENBRIX_SIGN_KEY="$work/signer.key" \
    "$@" -DDIST_DIR="$work/dist" -DZIP="$work/dist/$zip" -P "$package_script" >assembly.log 2>&1 ||
    { cat assembly.log; fail "the signed assembly failed"; }
signed="$work/dist/quenbrix/externals/quenbrix.mxe64"
grep -q "sign: signed quenbrix.mxe64" assembly.log || fail "the assembly did not say it signed"

osslsigncode verify -CAfile signer.pem -in "$signed" >verify.log 2>&1 ||
    { cat verify.log; fail "the signed plug-in does not verify against its certificate"; }
echo "verified: $(grep -c 'Signature verification: ok' verify.log) signature"
osslsigncode verify -CAfile other.pem -in "$signed" >/dev/null 2>&1 &&
    fail "the signature verifies against a certificate that did not make it"
cp "$signed" tampered.mxe64
# One byte of the code (past the headers) changed.
byte=$(od -An -tu1 -j1100 -N1 tampered.mxe64 | tr -d ' ')
printf "\\$(printf %o $(((byte + 1) % 256)))" |
    dd of=tampered.mxe64 bs=1 seek=1100 conv=notrunc 2>/dev/null
cmp -s tampered.mxe64 "$signed" && fail "could not change a byte"
osslsigncode verify -CAfile signer.pem -in tampered.mxe64 >/dev/null 2>&1 &&
    fail "a changed file still verifies"

# The signature is all that was added to the build's plug-in.
osslsigncode remove-signature -in "$signed" -out stripped.mxe64 >/dev/null 2>&1 ||
    fail "osslsigncode could not read the signature back"
cmp -s stripped.mxe64 "$windows/quenbrix.mxe64" ||
    fail "the signed plug-in is not the build's plug-in with a signature added"

# The zip carries the signed file, byte for byte.
(cd unzipped && cmake -E tar xf "$work/dist/$zip") || fail "the zip does not unpack"
cmp -s unzipped/quenbrix/externals/quenbrix.mxe64 "$signed" ||
    fail "the zip does not carry the signed plug-in"
grep -q "^[0-9a-f]\{64\}  $zip\$" "dist/$zip.sha256" || fail "no checksum beside the zip"
(cd dist && sha256sum -c --quiet "$zip.sha256") || fail "the checksum does not match the zip"

# Without a certificate: unsigned, said once.
env -u QUENBRIX_SIGN_CERT -u QUENBRIX_SIGN_KEY -u QUENBRIX_SIGN_PKCS12 \
    "$@" -DDIST_DIR="$work/unsigned" -DZIP="$work/unsigned/$zip" -P "$package_script" >unsigned.log 2>&1 ||
    { cat unsigned.log; fail "the unsigned assembly failed"; }
[ "$(grep -c 'stays unsigned' unsigned.log)" -eq 1 ] ||
    { cat unsigned.log; fail "the unsigned assembly did not say so exactly once"; }
cmp -s unsigned/quenbrix/externals/quenbrix.mxe64 "$windows/quenbrix.mxe64" ||
    fail "without a certificate the package's plug-in is not the build's"

# The Windows suites on the signed plug-in: the test programs beside it, as
# in the build folder.
for f in LiveSimTests.exe MaxSimTests.exe MaxAPI.dll WinHelper.exe; do
    cp "$windows/$f" windows/ || fail "no $f in $windows"
done
cp "$signed" windows/quenbrix.mxe64
cd windows || exit 1
sh "$wine_run" LiveSimTests.exe --gtest_brief=1 \
    --gtest_filter=-OutsideLive.*:Reliability.*:CommandLine.*:FaultSweep.* ||
    fail "the Windows suites inside Live failed on the signed plug-in"
sh "$wine_run" MaxSimTests.exe --gtest_brief=1 --gtest_filter=OutsideLive.* ||
    fail "the Windows suites outside Live failed on the signed plug-in"
echo "signed plug-in: verified, packaged, and the Windows suites pass on it"
