# Shared by build.sh and test.sh: how each build directory is configured.
jobs=$(nproc)

build_target() {  # build_target native|asan|win32|win64
  local dir="build/$1"
  local args=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo)
  case "$1" in
    asan) args=(-G Ninja -DCMAKE_BUILD_TYPE=Debug -DTLG_SANITIZE=ON
                -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
    win32) args+=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake) ;;
    win64) args+=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake) ;;
  esac
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" "${args[@]}" >/dev/null
  fi
  cmake --build "$dir" -j "$jobs"
}

# Whether this machine can execute 32-bit x86 programs (some sandboxed
# kernels refuse them).
can_run_32bit() {
  /usr/lib/wine/wine --version >/dev/null 2>&1
}

# Runs a command where 32-bit programs execute: here, or else inside a small
# virtual machine whose kernel runs them (scripts/vm-run.sh; slow, software
# emulation).
run_32bit() {
  if can_run_32bit; then
    "$@"
  else
    scripts/vm-run.sh "$@"
  fi
}
