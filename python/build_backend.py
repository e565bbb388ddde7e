"""The build backend of the Python package nosk (PEP 517), kept in the tree.

``pip install .`` in the checkout calls build_wheel: CMake builds the
extension nosk._nosk (the engine, the job format and the importers, without
Qt) and this file packs it with the package's Python files into a wheel. It
needs nothing from the package index: CMake, a C++ compiler, pybind11 and
the engine's libraries come from the system (scripts/install-deps.sh).

Environment:
  NOSK_CMAKE_ARGS    extra arguments for the CMake configure step
  NOSK_BUILD_DIR     the CMake build folder (default: build-python in the tree)
  NOSK_EXTENSION_DIR a folder where the extension is built already (a CMake
                     build's python/nosk, with the package's Python files):
                     the wheel is packed from it and nothing is compiled
"""

from __future__ import annotations

import base64
import hashlib
import os
import shlex
import shutil
import subprocess
import sys
import sysconfig
import zipfile

NAME = "nosk"
VERSION = "1.0"
SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PACKAGE_FILES = ("__init__.py", "_circuits.py", "_job.py", "_results.py", "_series.py", "_nosk.pyi", "py.typed")

_METADATA = f"""Metadata-Version: 2.1
Name: {NAME}
Version: {VERSION}
Summary: Fit impedance and dielectric spectra with the NOSK engine, in-process
License: MIT
Requires-Python: >=3.9
Requires-Dist: numpy
"""


def _tag() -> str:
    impl = f"cp{sys.version_info.major}{sys.version_info.minor}"
    platform = sysconfig.get_platform().replace("-", "_").replace(".", "_")
    return f"{impl}-{impl}-{platform}"


def configure(build: str) -> None:
    """Configures the CMake build folder of the extension."""
    command = [
        "cmake", "-S", SOURCE, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
        "-DNOSK_CORE_ONLY=ON", "-DNOSK_TESTS=OFF", "-DNOSK_BENCH=OFF", "-DNOSK_PYTHON=ON",
        f"-DPython3_EXECUTABLE={sys.executable}",
    ]
    if shutil.which("ninja"):
        command += ["-G", "Ninja"]
    command += shlex.split(os.environ.get("NOSK_CMAKE_ARGS", ""))
    if os.path.exists(os.path.join(build, "CMakeCache.txt")):
        command = [a for a in command if a not in ("-G", "Ninja")]
    subprocess.run(command, check=True, stdout=sys.stderr)


def _build_extension() -> str:
    prebuilt = os.environ.get("NOSK_EXTENSION_DIR")
    if prebuilt:
        return prebuilt
    build = os.environ.get("NOSK_BUILD_DIR") or os.path.join(SOURCE, "build-python")
    configure(build)
    jobs = str(os.cpu_count() or 2)
    subprocess.run(["cmake", "--build", build, "--target", "_nosk", "-j", jobs], check=True, stdout=sys.stderr)
    return os.path.join(build, "python", NAME)


def _record_line(name: str, data: bytes) -> str:
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{name},sha256={digest},{len(data)}"


def _write_wheel(wheel_directory: str, package_dir: str) -> str:
    tag = _tag()
    wheel_name = f"{NAME}-{VERSION}-{tag}.whl"
    dist_info = f"{NAME}-{VERSION}.dist-info"
    files = {}
    for name in sorted(os.listdir(package_dir)):
        if name in PACKAGE_FILES or (name.startswith("_nosk") and name.endswith(".so")):
            with open(os.path.join(package_dir, name), "rb") as f:
                files[f"{NAME}/{name}"] = f.read()
    if not any(n.startswith(f"{NAME}/_nosk") for n in files):
        raise RuntimeError(f"the extension was not built into {package_dir}")
    files[f"{dist_info}/METADATA"] = _METADATA.encode()
    files[f"{dist_info}/WHEEL"] = (
        f"Wheel-Version: 1.0\nGenerator: nosk build_backend\nRoot-Is-Purelib: false\nTag: {tag}\n").encode()
    files[f"{dist_info}/top_level.txt"] = f"{NAME}\n".encode()
    with open(os.path.join(SOURCE, "LICENSE"), "rb") as f:
        files[f"{dist_info}/LICENSE"] = f.read()
    record = [_record_line(n, d) for n, d in files.items()] + [f"{dist_info}/RECORD,,"]
    files[f"{dist_info}/RECORD"] = ("\n".join(record) + "\n").encode()
    path = os.path.join(wheel_directory, wheel_name)
    with zipfile.ZipFile(path, "w", compression=zipfile.ZIP_DEFLATED) as z:
        for name, data in files.items():
            info = zipfile.ZipInfo(name, date_time=(2026, 1, 1, 0, 0, 0))
            info.external_attr = (0o755 if name.endswith(".so") else 0o644) << 16
            z.writestr(info, data, compress_type=zipfile.ZIP_DEFLATED)
    return wheel_name


# --- PEP 517 hooks ---

def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_editable(config_settings=None):
    return []


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    return _write_wheel(wheel_directory, _build_extension())


def build_editable(wheel_directory, config_settings=None, metadata_directory=None):
    # An editable install is an ordinary one: the package holds a compiled
    # extension, which has to be rebuilt after a change anyway.
    return build_wheel(wheel_directory, config_settings, metadata_directory)
