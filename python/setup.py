"""Puts the built libraries beside the package when a build exists, so that an installed
tarvik_mf4 finds them without any setting: from TARVIK_MF4_LIB_DIR, else from the repository's
release build (../build/release/lib). Without either the package installs alone and finds the
libraries through TARVIK_MF4_LIBRARY or the system's library path."""
import os
import shutil
from pathlib import Path

from setuptools import setup
from setuptools.command.build_py import build_py

FILES = ["libTarvikMF4Access.so", "libTarvikMF4Convert.so", "TarvikMF4Access.en-us.msgres"]


class BuildWithLibraries(build_py):
    def run(self):
        super().run()
        here = Path(__file__).resolve().parent
        built = here.parent / "build" / "release" / "lib"
        source = Path(os.environ.get("TARVIK_MF4_LIB_DIR", built))
        if not all((source / name).is_file() for name in FILES):
            print(f"tarvik_mf4: no libraries in {source}; installing the package alone")
            return
        target = Path(self.build_lib) / "tarvik_mf4"
        for name in FILES:
            # Copied through their links: the library looks for its message file beside itself.
            shutil.copyfile(source / name, target / name)


setup(cmdclass={"build_py": BuildWithLibraries})
