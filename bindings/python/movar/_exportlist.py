"""The rows of exports.list and failures.list: every entry point of the library, its failure
result and its C types; every kind of failure and its code.

This is the one reader of both lists: the build generates movar.h, the entry points' rows, the
version script and the .def through it at configure time, the bindings their declarations. An
installed package carries copies of the lists made when it was built; from the source tree the
repository's own lists are read.
"""
from __future__ import annotations

import re
from dataclasses import dataclass
from pathlib import Path

INT32 = "int32_t"
TEXT = "const char*"
COUNTED_TEXT = "movar_counted_text"  # length at -4, reference count at -8
VOID = "void"
POINTER = "void*"
BUILT_IN_TYPES = (INT32, TEXT, COUNTED_TEXT, VOID, POINTER)
POSIX_ONLY = "posix"

_ROW = re.compile(r'^([A-Za-z][A-Za-z0-9_]*)\s+("[^"]*"|\S+)\s+([^(]*[^(\s])\s*\((.*)\)(?:\s+(' + POSIX_ONLY + r'))?\s*$')
_CALLBACK = re.compile(r"^typedef\s+([^(]*[^(\s])\s*\(\s*\*\s*([A-Za-z_][A-Za-z0-9_]*)\s*\)\s*\((.*)\)\s*;\s*$")
_PARAMETER = re.compile(r"^(.*[\s*])([A-Za-z_][A-Za-z0-9_]*)$")
_FAILURE = re.compile(r"^([A-Z][A-Z0-9_]*)\s+([0-9]+)\s+([A-Za-z]+)\s+([A-Za-z]+|-)\s+([A-Za-z]+|-)\s+(\S.*?)\s*$")


@dataclass(frozen=True)
class Parameter:
    type: str
    name: str


@dataclass(frozen=True)
class Callback:
    """A function pointer type the entry points take, called with the C convention."""
    name: str
    result: str
    parameters: tuple[Parameter, ...]
    comment: tuple[str, ...] = ()


@dataclass(frozen=True)
class Export:
    name: str  # as the bindings name it: LANDOWNLOAD, movar_version
    failure: str  # the failure result as the list writes it: 1, -1, "0000...", - (none)
    result: str
    parameters: tuple[Parameter, ...]
    posix_only: bool = False
    comment: tuple[str, ...] = ()  # the "## " lines before it

    @property
    def symbol(self) -> str:
        """The exported symbol: the 72 carry a leading underscore, the movar_ extensions do not."""
        return self.name if self.name.startswith("movar_") else "_" + self.name

    @property
    def extension(self) -> bool:
        return self.name.startswith("movar_")


@dataclass(frozen=True)
class ExportList:
    exports: tuple[Export, ...]
    callbacks: tuple[Callback, ...]


@dataclass(frozen=True)
class Failure:
    name: str  # ARGUMENT: MOVAR_E_ARGUMENT
    code: int
    kind: str  # the core's FailureKind enumerator
    error_class: str | None  # the bindings' class stem: RecordFile
    python_base: str | None  # the built-in exception the Python class also is
    description: str

    @property
    def c_name(self) -> str:
        return "MOVAR_OK" if self.code == 0 else "MOVAR_E_" + self.name


def _c_type(text: str, callbacks: dict[str, Callback]) -> str:
    normalized = re.sub(r"\s*\*", "*", " ".join(text.split()))
    if normalized not in BUILT_IN_TYPES and normalized not in callbacks:
        raise ValueError(f"exports.list: no binding for the C type '{text}'")
    return normalized


def _parameters(text: str, callbacks: dict[str, Callback]) -> tuple[Parameter, ...]:
    text = text.strip()
    if text in ("", "void"):
        return ()
    parameters = []
    for part in text.split(","):
        match = _PARAMETER.match(part.strip())
        if not match:
            raise ValueError(f"exports.list: cannot read the parameter '{part.strip()}'")
        parameters.append(Parameter(_c_type(match.group(1), callbacks), match.group(2)))
    return tuple(parameters)


def parse(text: str) -> ExportList:
    exports: list[Export] = []
    callbacks: dict[str, Callback] = {}
    comment: list[str] = []
    for line in text.splitlines():
        if line.startswith("## "):
            comment.append(line[3:])
            continue
        if not line[:1].isalpha():
            continue  # the list's own comments and blank lines
        callback = _CALLBACK.match(line)
        if callback:
            result, name, parameters = callback.groups()
            callbacks[name] = Callback(name, _c_type(result, {}), _parameters(parameters, {}), tuple(comment))
        else:
            match = _ROW.match(line)
            if not match:
                raise ValueError(f"exports.list: cannot read the line '{line}'")
            name, failure, result, parameters, posix = match.groups()
            export = Export(name, failure, _c_type(result, callbacks), _parameters(parameters, callbacks),
                            posix is not None, tuple(comment))
            if (export.result == VOID) != (failure == "-"):
                raise ValueError(f"exports.list: {name}: a void entry point and only it has no failure result")
            exports.append(export)
        comment = []
    return ExportList(tuple(exports), tuple(callbacks.values()))


def parse_failures(text: str) -> tuple[Failure, ...]:
    failures = []
    for line in text.splitlines():
        if not line[:1].isalpha():
            continue
        match = _FAILURE.match(line)
        if not match:
            raise ValueError(f"failures.list: cannot read the line '{line}'")
        name, code, kind, error_class, python_base, description = match.groups()
        failures.append(Failure(name, int(code), kind, None if error_class == "-" else error_class,
                                None if python_base == "-" else python_base, description))
    if [f.code for f in failures] != list(range(len(failures))):
        raise ValueError("failures.list: the codes must run 0, 1, 2, ... in order")
    return tuple(failures)


def list_path(name: str = "exports.list") -> Path:
    """The copy installed with the package, else the list of the source tree it lies in."""
    here = Path(__file__).resolve().parent
    for candidate in (here / name, here.parents[2] / "src" / "exports" / name):
        if candidate.is_file():
            return candidate
    raise FileNotFoundError(f"{name} is neither in {here} nor in the source tree above it")


def load(path: Path | None = None) -> ExportList:
    return parse((path or list_path()).read_text(encoding="utf-8"))


def load_failures(path: Path | None = None) -> tuple[Failure, ...]:
    return parse_failures((path or list_path("failures.list")).read_text(encoding="utf-8"))
