"""The rows of exports.list: every entry point of the library, its failure result and its C types.

An installed package carries a copy of the list made when it was built; from the source tree the
repository's own list is read. Either way there is one list, and the bindings never restate it.
"""
from __future__ import annotations

import re
from dataclasses import dataclass
from pathlib import Path

INT32 = "int32_t"
TEXT = "const char*"
COUNTED_TEXT = "movar_counted_text"  # length at -4, reference count at -8
VOID = "void"
KNOWN_TYPES = (INT32, TEXT, COUNTED_TEXT, VOID)

_ROW = re.compile(r'^([A-Za-z][A-Za-z0-9_]*)\s+("[^"]*"|\S+)\s+([^(]*[^(\s])\s*\((.*)\)\s*$')
_PARAMETER = re.compile(r"^(.*[\s*])([A-Za-z_][A-Za-z0-9_]*)$")


@dataclass(frozen=True)
class Parameter:
    type: str
    name: str


@dataclass(frozen=True)
class Export:
    name: str  # as the bindings name it: LANDOWNLOAD, movar_version
    failure: str  # the failure result as the list writes it: 1, -1, "0000..."
    result: str
    parameters: tuple[Parameter, ...]

    @property
    def symbol(self) -> str:
        """The exported symbol: the 72 carry a leading underscore, the movar_ extensions do not."""
        return self.name if self.name.startswith("movar_") else "_" + self.name


def _c_type(text: str) -> str:
    normalized = re.sub(r"\s*\*", "*", " ".join(text.split()))
    if normalized not in KNOWN_TYPES:
        raise ValueError(f"exports.list: no binding for the C type '{text}'")
    return normalized


def _parameters(text: str) -> tuple[Parameter, ...]:
    text = text.strip()
    if text in ("", "void"):
        return ()
    parameters = []
    for part in text.split(","):
        match = _PARAMETER.match(part.strip())
        if not match:
            raise ValueError(f"exports.list: cannot read the parameter '{part.strip()}'")
        parameters.append(Parameter(_c_type(match.group(1)), match.group(2)))
    return tuple(parameters)


def parse(text: str) -> list[Export]:
    exports = []
    for line in text.splitlines():
        if not line[:1].isalpha():
            continue  # comments and blank lines
        match = _ROW.match(line)
        if not match:
            raise ValueError(f"exports.list: cannot read the line '{line}'")
        name, failure, result, parameters = match.groups()
        exports.append(Export(name, failure, _c_type(result), _parameters(parameters)))
    return exports


def list_path() -> Path:
    """The copy installed with the package, else the list of the source tree it lies in."""
    here = Path(__file__).resolve().parent
    for candidate in (here / "exports.list", here.parents[2] / "src" / "exports" / "exports.list"):
        if candidate.is_file():
            return candidate
    raise FileNotFoundError(f"exports.list is neither in {here} nor in the source tree above it")


def load(path: Path | None = None) -> list[Export]:
    return parse((path or list_path()).read_text(encoding="utf-8"))
