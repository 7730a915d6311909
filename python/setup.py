"""Builds tlg._tlg: libtlg's static library comes from the project's own CMake
build (only the tlg_static target), and the extension links it."""
import os
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
BUILD = ROOT / "build" / "python"


def pybind11_include():
    try:
        import pybind11
    except ImportError:
        return []  # Debian's pybind11-dev: in /usr/include
    return [pybind11.get_include()]


class BuildWithLibtlg(build_ext):
    def run(self):
        # A CMake build of the project that is already there (a system
        # package's) lends its libtlg rather than building it again.
        reuse = os.environ.get("TLG_CMAKE_BUILD")
        cmake_dir = Path(reuse).resolve() if reuse else BUILD / "libtlg"
        if not (ROOT / "include" / "tlg" / "tlg.h").is_file():
            sys.exit("tlg: build from the project's checkout: libtlg's sources are not beside python/")
        if shutil.which("cmake") is None:
            sys.exit("tlg: cmake is needed to build libtlg")
        configure = ["cmake", "-S", str(ROOT), "-B", str(cmake_dir),
                     "-DCMAKE_BUILD_TYPE=Release", "-DTLG_BUILD_TESTS=OFF",
                     # Only the library is built: no tools, so no PNG.
                     "-DCMAKE_DISABLE_FIND_PACKAGE_PNG=ON"]
        if shutil.which("ninja") and not (cmake_dir / "Makefile").exists():
            configure += ["-G", "Ninja"]
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        if not reuse:
            subprocess.check_call(configure)
        subprocess.check_call(["cmake", "--build", str(cmake_dir), "--target", "tlg_static",
                               "-j", jobs])
        library = next((p for name in ("libtlg.a", "tlg.lib")
                        for p in (cmake_dir / "libtlg").glob(name)), None)
        if library is None:
            sys.exit(f"tlg: no static libtlg in {cmake_dir / 'libtlg'}")
        for extension in self.extensions:
            extension.include_dirs += [str(ROOT / "include"), str(cmake_dir / "include")]
            extension.extra_objects.append(str(library))
            # Relinked whenever libtlg changes, not only the extension's source.
            extension.depends += [str(library), str(ROOT / "include" / "tlg" / "tlg.h")]
        super().run()


compile_args = [] if sys.platform == "win32" else ["-std=c++17", "-fvisibility=hidden"]

setup(
    ext_modules=[
        Extension(
            "tlg._tlg",
            sources=["ext/module.cpp"],
            include_dirs=pybind11_include(),
            define_macros=[("TLG_STATIC", None)],
            extra_compile_args=compile_args,
            language="c++",
        )
    ],
    cmdclass={"build_ext": BuildWithLibtlg},
    options={"build": {"build_base": str(BUILD / "setuptools")}},
)
