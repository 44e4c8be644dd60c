#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test through CTest
# under a virtual X server with Mesa's software OpenGL. Then rebuilds the
# tests labelled "asan" with AddressSanitizer + UndefinedBehaviorSanitizer and
# runs them again, and the tests labelled "tsan" under ThreadSanitizer
# (SKIP_SANITIZERS=1 skips both stages, RUN_TSAN=0 only the second). Exit
# status is non-zero when anything fails.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="${JOBS:-$(nproc)}"
"$root/scripts/install-deps.sh"

export LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe
# -noreset: by default the server resets whenever its last client leaves, and a
# test starting during that reset cannot connect ("no Qt platform plugin").
xvfb=(xvfb-run -a -s "-screen 0 1920x1080x24 +extension GLX +render -noreset")

build="${BUILD_DIR:-$root/build}"
BUILD_DIR="$build" "$root/scripts/build.sh"
"${xvfb[@]}" ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 600

if [ "${SKIP_SANITIZERS:-0}" != 1 ]; then
    asan="$root/build-asan"
    cmake -S "$root" -B "$asan" -DCMAKE_BUILD_TYPE=Debug -DEFFECTDEMO_SANITIZERS=address,undefined \
          -DEFFECTDEMO_BUILD_BENCH=OFF
    cmake --build "$asan" --parallel "$jobs" --target sanitizer_asan
    ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "${xvfb[@]}" ctest --test-dir "$asan" --output-on-failure -j "$jobs" -L asan --timeout 600 \
        --no-tests=ignore
fi

if [ "${SKIP_SANITIZERS:-0}" != 1 ] && [ "${RUN_TSAN:-1}" = 1 ]; then
    tsan="$root/build-tsan"
    cmake -S "$root" -B "$tsan" -DCMAKE_BUILD_TYPE=Debug -DEFFECTDEMO_SANITIZERS=thread \
          -DEFFECTDEMO_BUILD_BENCH=OFF
    cmake --build "$tsan" --parallel "$jobs" --target sanitizer_tsan
    # Debian's Qt, Mesa and X libraries are not instrumented; their internal
    # locking is suppressed so reports point at our code only.
    TSAN_OPTIONS="halt_on_error=1:suppressions=$root/cmake/tsan.supp" \
        "${xvfb[@]}" ctest --test-dir "$tsan" --output-on-failure -j "$jobs" -L tsan --timeout 900 \
        --no-tests=ignore
fi
