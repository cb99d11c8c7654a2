#!/usr/bin/env python3
"""Writes Movar.Native, the C# declarations of every entry point, from exports.list.

    generate_native.py EXPORTS_LIST OUTPUT.cs
"""
import importlib.util
import sys
from pathlib import Path

# The Python binding's reader of the list, so both bindings read it the same way.
_spec = importlib.util.spec_from_file_location(
    "exportlist", Path(__file__).resolve().parents[1] / "python" / "movar" / "_exportlist.py")
exportlist = importlib.util.module_from_spec(_spec)
sys.modules[_spec.name] = exportlist  # dataclasses look their module up
_spec.loader.exec_module(exportlist)

# Texts go as zero-terminated byte arrays (Native.Text), so that names and paths keep their bytes
# whatever the runtime's idea of ANSI; counted texts as the pointer a CountedText holds.
PARAMETER_TYPES = {exportlist.INT32: "int", exportlist.TEXT: "byte[]", exportlist.COUNTED_TEXT: "IntPtr"}
RESULT_TYPES = {exportlist.INT32: "int", exportlist.TEXT: "IntPtr", exportlist.VOID: "void"}


def declaration(export) -> str:
    parameters = ", ".join(f"{PARAMETER_TYPES[p.type]} @{p.name}" for p in export.parameters)
    return (f'        [DllImport("w_movar", EntryPoint = "{export.symbol}", '
            f'CallingConvention = CallingConvention.StdCall, ExactSpelling = true)]\n'
            f"        public static extern {RESULT_TYPES[export.result]} {export.name}({parameters});\n")


def main(list_path: str, output: str) -> None:
    exports = exportlist.load(Path(list_path))
    body = "\n".join(declaration(export) for export in exports)
    text = ("// Generated from exports.list by bindings/dotnet/generate_native.py. Do not edit.\n"
            "using System;\nusing System.Runtime.InteropServices;\n\nnamespace Movar\n{\n"
            "    public static partial class Native\n    {\n" + body + "    }\n}\n")
    path = Path(output)
    if not path.exists() or path.read_text(encoding="utf-8") != text:
        path.write_text(text, encoding="utf-8")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(*sys.argv[1:])
