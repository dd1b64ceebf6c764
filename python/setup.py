"""Builds the package's native part with CMake: the frame library from this repository's
sources, the host's support library, the NumPy host array library and the extension module,
all placed in the package's folder."""

import os
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = Path(__file__).resolve().parent


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        package_dir = Path(self.get_ext_fullpath(ext.name)).resolve().parent
        build_dir = Path(self.build_temp).resolve() / "cmake"
        configure = [
            "cmake", "-S", str(HERE), "-B", str(build_dir),
            "-DCMAKE_BUILD_TYPE=Release",
            f"-DPython3_EXECUTABLE={sys.executable}",
        ]
        if shutil.which("ninja"):
            configure += ["-G", "Ninja"]
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(os.cpu_count() or 1)
        subprocess.run(configure, check=True)
        subprocess.run(["cmake", "--build", str(build_dir), "-j", jobs], check=True)
        subprocess.run(
            ["cmake", "--install", str(build_dir), "--component", "python", "--prefix", str(package_dir)],
            check=True,
        )


setup(
    ext_modules=[Extension("zorvframekit._zorvframekit", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
)
