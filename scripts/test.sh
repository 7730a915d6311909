#!/usr/bin/env bash
# Runs the whole test suite: native, native under AddressSanitizer and
# UndefinedBehaviorSanitizer, the Windows builds under Wine, and the thread
# test under ThreadSanitizer; then the release packages.
# Fails when any test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/targets.sh
export TLG_WINE_DIR="$PWD/build/wine"

dirs=(build/native build/asan build/win64 build/win32)
for target in native asan win64 win32; do
  build_target "$target"
done
# ThreadSanitizer: only the test that decodes on 8 threads at once.
if [ ! -f build/tsan/build.ninja ]; then
  cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTLG_SANITIZE_THREAD=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
fi
cmake --build build/tsan -j "$jobs" --target test_threads
if ! can_run_32bit; then
  echo "test: this machine cannot execute 32-bit programs; the win32 tests run in a virtual machine"
fi

scripts/wine-run.sh cmd.exe /c exit >/dev/null 2>&1 || true  # make the prefix before any test is timed

status=0
for dir in "${dirs[@]}"; do
  echo "== tests: $dir"
  if [ "$dir" = build/win32 ]; then
    run_32bit ctest --test-dir "$dir" --output-on-failure -j "$jobs" || status=1
  else
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" || status=1
  fi
done
echo "== tests: build/tsan"
ctest --test-dir build/tsan --output-on-failure -R '^test_threads$' || status=1
echo "== tests: release packages"
bash scripts/test-package.sh || status=1
# The Debian packages that run made, installed with apt and purged again
# (needs root; skipped elsewhere).
echo "== tests: Debian packages"
bash scripts/test-deb.sh || status=1

# The Python package, installed from python/ into a private environment that
# sees Debian's NumPy, Pillow and pytest; its pixels are checked against
# build/native's tlg tool. pytest's "no tests ran" counts as a failure too.
echo "== tests: python"
venv=build/python/venv
[ -x "$venv/bin/python" ] || /usr/bin/python3 -m venv --system-site-packages "$venv"
if "$venv/bin/pip" install -q --no-build-isolation --no-index ./python; then
  TLG_TOOL="$PWD/build/native/bin/tlg" "$venv/bin/python" -m pytest -q -p no:cacheprovider python/tests \
    || status=1
else
  status=1
fi

# The JavaScript package (web/): libtlg in WebAssembly, packed and installed
# as a user installs it; its pixels are checked against build/native's tool.
echo "== tests: web"
bash scripts/test-web.sh || status=1
exit $status
