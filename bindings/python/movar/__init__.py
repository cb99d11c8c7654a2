"""Time-attendance terminals from Python, through the movar library (libw_movar.so, w_movar.dll).

    import movar
    for record in movar.Terminal(ip="10.0.0.5").download("/var/lib/attendance"):
        print(record.person, record.time, record.machine)

``movar.raw`` has every entry point as exports.list declares it. A failure raises the MovarError
of its ErrorCode, which is also the built-in exception a caller would catch: ConnectError is a
ConnectionError, NoAnswerError a TimeoutError, RecordFileError an OSError, ArgumentError a
ValueError. ``movar.aio`` has the terminal's methods as coroutines.
"""
from __future__ import annotations

import os

from . import aio, raw
from ._failures import (ArgumentError, ConnectError, ErrorCode, InternalError, ModemError, NoAnswerError,
                        NoPortError, RecordFileError, RefusedError, TransferError)
from ._library import Directory, path_bytes
from .errors import MovarError
from .records import Record, read_records
from .terminal import Terminal, call

__all__ = ["MovarError", "ErrorCode", "ArgumentError", "NoPortError", "NoAnswerError", "ConnectError",
           "RefusedError", "TransferError", "RecordFileError", "ModemError", "InternalError", "Directory",
           "Record", "Terminal", "aio", "raw", "read_records", "convert", "convert_transactions", "copy_name",
           "library_version"]


def _directory(directory: Directory) -> bytes:
    # The library joins the directory and the name as they stand.
    return os.path.join(path_bytes(directory), b"")


def convert(directory: Directory, name: str) -> None:
    """Converts <directory><name>.dat into <directory><name>.txt, with a backup in downbak/."""
    call("CONVERFILE", _directory(directory), path_bytes(name))


def convert_transactions(directory: Directory, name: str) -> None:
    """As convert, for a file of 17-byte transaction records."""
    call("CONVERXFFILE", _directory(directory), path_bytes(name))


def copy_name(directory: Directory, person: int, name: str | bytes, encoding: str = "gbk") -> None:
    """Appends a person's name to the day's name list <directory>NAM<MMDD>.dat."""
    call("COPYNAME", _directory(directory), person, name if isinstance(name, bytes) else name.encode(encoding))


def library_version() -> str:
    return (raw.movar_version() or b"").decode("ascii")
