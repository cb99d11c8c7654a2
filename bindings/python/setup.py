"""Builds the package with copies of the library's export and failure lists inside it and the
library's version."""
import re
from pathlib import Path

from setuptools import setup
from setuptools.command.build_py import build_py

SOURCE_TREE = Path(__file__).resolve().parents[2]


class BuildWithExportList(build_py):
    def run(self):
        super().run()
        for name in ("exports.list", "failures.list"):
            self.copy_file(str(SOURCE_TREE / "src" / "exports" / name), str(Path(self.build_lib) / "movar" / name))


def library_version() -> str:
    project = (SOURCE_TREE / "CMakeLists.txt").read_text(encoding="utf-8")
    return re.search(r"project\(movar VERSION ([0-9.]+)", project).group(1)


setup(version=library_version(), cmdclass={"build_py": BuildWithExportList})
