#!/usr/bin/env python3
"""Writes what the build derives from exports.list and failures.list: the public header, the rows
the entry points are declared and guarded from, the Linux version script, the Windows .def files
and the plain name list the symbol checks compare with.

    generate_exports.py SOURCE_DIR BINARY_DIR VERSION linux|win32|win64
"""
from __future__ import annotations

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "bindings" / "python" / "movar"))
import _exportlist as exportlist  # noqa: E402  (the one reader of the lists)


def parameter_text(parameters) -> str:
    return ", ".join(f"{p.type} {p.name}" for p in parameters) or "void"


def c_comment(lines, indent: str = "") -> str:
    return f"{indent}/* " + f"\n{indent} * ".join(lines) + " */\n" if lines else ""


def error_codes(failures) -> str:
    width = max(len(f"{f.c_name} = {f.code},") for f in failures)
    lines = []
    for k, failure in enumerate(failures):
        entry = f"{failure.c_name} = {failure.code}" + ("," if k + 1 < len(failures) else "")
        lines.append(f"  {entry.ljust(width)} /* {failure.description} */")
    return "\n".join(lines)


def declarations(listed) -> str:
    text = ""
    declared: set[str] = set()
    for export in listed.exports:
        # A callback type stands, with its comment, before the first entry point that takes it.
        for callback in listed.callbacks:
            if callback.name not in declared and any(p.type == callback.name for p in export.parameters):
                declared.add(callback.name)
                text += "\n" + c_comment(callback.comment)
                text += f"typedef {callback.result} (*{callback.name})({parameter_text(callback.parameters)});\n"
        if export.comment:
            text += "\n" + c_comment(export.comment)
        line = f"{export.result} MOVAR_IMPORT_CALL {export.symbol}({parameter_text(export.parameters)});\n"
        text += f"#if !defined(_WIN32)\n{line}#endif\n" if export.posix_only else line
    return text


def rows(exports) -> str:
    return "".join(f"  X({e.result}, {e.name}, {e.failure}, ({parameter_text(e.parameters)})) \\\n" for e in exports)


def export_rows(listed, failures) -> str:
    # Void entry points have no failure result and no guard: they are declared by movar.h alone.
    guarded = [e for e in listed.exports if e.result != exportlist.VOID]
    kinds = "".join(f"  X({f.c_name}, {f.kind}) \\\n" for f in failures)
    return ("/* Generated from src/exports/exports.list and failures.list: X(result type, NAME, failure\n"
            " * result, (parameters)); X(MOVAR_E_ code, FailureKind enumerator). */\n#pragma once\n\n"
            f"#define MOVAR_EXPORT_ROWS(X) \\\n{rows(e for e in guarded if not e.extension)}\n"
            f"#define MOVAR_EXTENSION_ROWS(X) \\\n{rows(e for e in guarded if e.extension)}\n"
            f"#define MOVAR_FAILURE_KINDS(X) \\\n{kinds}\n")


def argument_bytes(export) -> int:
    return 4 * len(export.parameters)  # every argument takes one 32-bit slot


def windows_def(exports, bits: int, for_import_library: bool) -> str:
    lines = []
    for e in exports:
        decorated = f"{e.name}@{argument_bytes(e)}"
        if for_import_library:
            # A host's stdcall call of _NAME is the symbol _NAME@bytes, bound to the undecorated export.
            lines.append(f"  {e.symbol}@{argument_bytes(e)}" if bits == 32 else f"  {e.symbol}")
        elif bits == 32:
            lines.append(f"  {e.symbol}={decorated}")
        else:
            # x64 has one calling convention and no size decoration.
            lines.append(f"  {e.symbol}" if e.symbol == e.name else f"  {e.symbol}={e.name}")
    return "LIBRARY w_movar.dll\nEXPORTS\n" + "".join(line + "\n" for line in lines)


def write(path: Path, text: str) -> None:
    # Unchanged files keep their time, so that a configure run rebuilds nothing.
    path.parent.mkdir(parents=True, exist_ok=True)
    if not path.exists() or path.read_text(encoding="utf-8") != text:
        path.write_text(text, encoding="utf-8")


def main(source_dir: str, binary_dir: str, version: str, target: str) -> None:
    source, binary = Path(source_dir), Path(binary_dir)
    listed = exportlist.load(source / "src" / "exports" / "exports.list")
    failures = exportlist.load_failures(source / "src" / "exports" / "failures.list")
    windows_exports = [e for e in listed.exports if not e.posix_only]
    exported = windows_exports if target.startswith("win") else listed.exports

    header = (source / "src" / "exports" / "movar.h.in").read_text(encoding="utf-8")
    for key, value in (("PROJECT_VERSION", version), ("MOVAR_ERROR_CODES", error_codes(failures)),
                       ("MOVAR_HEADER_DECLARATIONS", declarations(listed))):
        header = header.replace(f"@{key}@", value)
    write(binary / "generated" / "exports" / "movar.h", header)
    write(binary / "generated" / "exports" / "export_rows.h", export_rows(listed, failures))
    write(binary / "w_movar.map",
          "{\n  global:\n" + "".join(f"    {e.symbol};\n" for e in listed.exports) + "  local: *;\n};\n")
    bits = 32 if target == "win32" else 64
    write(binary / "w_movar.def", windows_def(windows_exports, bits, False))
    write(binary / "w_movar.implib.def", windows_def(windows_exports, bits, True))
    write(binary / "exports.txt", "".join(e.symbol + "\n" for e in exported))


if __name__ == "__main__":
    if len(sys.argv) != 5 or sys.argv[4] not in ("linux", "win32", "win64"):
        sys.exit(__doc__)
    main(*sys.argv[1:])
