#!/usr/bin/env bash
# check.sh: the whole test suite, as CI runs it, on a fresh Debian machine.
#
# Installs what the tests need when it is missing (the i386 architecture
# for the 32-bit builds and Wine's 32-bit half, the MinGW-w64 compilers,
# faketime for both word sizes, lintian, gcovr), then builds and tests, in
# turn: the plain suite, the end-to-end runs under valgrind's memcheck,
# static analysis, AddressSanitizer with UndefinedBehaviorSanitizer,
# ThreadSanitizer, the 32-bit Linux build, the 64-bit and 32-bit Windows
# builds under Wine, and coverage against its floors. Stops at the first
# failure.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(faketime libfaketime:i386 g++-multilib g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
          wine wine64 wine32:i386 lintian gcovr valgrind clang-tidy cppcheck libgtest-dev googletest
          systemd man-db unzip)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "== installing ${missing[*]}"
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
fi

step() { echo "== $*"; "$@"; }
preset() {
    step cmake --preset "$1"
    step cmake --build --preset "$1"
    step ctest --preset "$1"
}

preset default
step ctest --preset default -C Valgrind -L valgrind
step ctest --preset lint
preset asan
preset tsan
preset linux32
preset windows
preset windows32
step cmake --preset coverage
step cmake --build --preset coverage
step tools/coverage.sh build/coverage
echo "== every suite passed"
