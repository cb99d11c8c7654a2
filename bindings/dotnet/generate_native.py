#!/usr/bin/env python3
"""Writes Movar.Native, the C# declarations of every entry point, and MovarErrorCode with an
exception class per kind, from exports.list and failures.list.

    generate_native.py EXPORTS_LIST FAILURES_LIST OUTPUT.cs
"""
import sys
from pathlib import Path

# The one reader of the lists, the Python binding's.
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "python" / "movar"))
import _exportlist as exportlist  # noqa: E402

# Texts go as zero-terminated byte arrays (Native.Text), so that names and paths keep their bytes
# whatever the runtime's idea of ANSI; counted texts as the pointer a CountedText holds.
# A callback goes as its delegate, which the caller keeps alive while the library holds it.
PARAMETER_TYPES = {exportlist.INT32: "int", exportlist.TEXT: "byte[]", exportlist.COUNTED_TEXT: "IntPtr",
                   exportlist.POINTER: "IntPtr"}
CALLBACK_PARAMETER_TYPES = {exportlist.INT32: "int", exportlist.TEXT: "IntPtr", exportlist.POINTER: "IntPtr"}
RESULT_TYPES = {exportlist.INT32: "int", exportlist.TEXT: "IntPtr", exportlist.VOID: "void"}


def pascal(name: str) -> str:
    return "".join(part[:1].upper() + part[1:] for part in name.split("_"))


def delegate(callback) -> str:
    parameters = ", ".join(f"{CALLBACK_PARAMETER_TYPES[p.type]} @{p.name}" for p in callback.parameters)
    return ("        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]\n"
            f"        public delegate {RESULT_TYPES[callback.result]} {callback.name}({parameters});\n")


def declaration(export) -> str:
    parameters = ", ".join(f"{PARAMETER_TYPES.get(p.type, p.type)} @{p.name}" for p in export.parameters)
    # The rows without Windows are plain C calls.
    convention = "Cdecl" if export.posix_only else "StdCall"
    return (f'        [DllImport("w_movar", EntryPoint = "{export.symbol}", '
            f'CallingConvention = CallingConvention.{convention}, ExactSpelling = true)]\n'
            f"        public static extern {RESULT_TYPES[export.result]} {export.name}({parameters});\n")


def error_codes(failures) -> str:
    members = "".join(f"        {pascal(f.name.lower())} = {f.code},  // {f.description}\n" for f in failures)
    classes = "".join(
        f"    // {f.description}\n"
        f"    public sealed class Movar{f.error_class}Exception : MovarException\n    {{\n"
        f"        internal Movar{f.error_class}Exception(string what, object result, string reason)\n"
        f"            : base(what, result, reason, MovarErrorCode.{pascal(f.name.lower())}) {{ }}\n    }}\n\n"
        for f in failures if f.error_class)
    cases = "".join(f"                case {f.code}: return new Movar{f.error_class}Exception(what, result, reason);\n"
                    for f in failures if f.error_class)
    return ("    // movar_last_error_code: why the calling thread's last call failed.\n"
            "    public enum MovarErrorCode\n    {\n" + members + "    }\n\n" + classes +
            "    public partial class MovarException\n    {\n"
            "        // The exception of the kind the library gives; a code this binding does not know is\n"
            "        // a plain MovarException with that code.\n"
            "        public static MovarException Of(string what, object result, string reason, int code)\n"
            "        {\n            switch (code)\n            {\n" + cases +
            "                default: return new MovarException(what, result, reason, (MovarErrorCode)code);\n"
            "            }\n        }\n    }\n\n")


def main(list_path: str, failures_path: str, output: str) -> None:
    listed = exportlist.load(Path(list_path))
    body = "\n".join([delegate(callback) for callback in listed.callbacks] +
                     [declaration(export) for export in listed.exports])
    text = ("// Generated from exports.list and failures.list by bindings/dotnet/generate_native.py. Do not edit.\n"
            "using System;\nusing System.Runtime.InteropServices;\n\nnamespace Movar\n{\n" +
            error_codes(exportlist.load_failures(Path(failures_path))) +
            "    public static partial class Native\n    {\n" + body + "    }\n}\n")
    path = Path(output)
    if not path.exists() or path.read_text(encoding="utf-8") != text:
        path.write_text(text, encoding="utf-8")


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
