"""The binding's exceptions: MovarError, and below it one class per failure code (ConnectError,
RecordFileError, ... in movar._failures, generated from failures.list), each also the built-in
exception a caller would catch for it (ConnectionError, OSError, ...)."""
from __future__ import annotations

from typing import TYPE_CHECKING, Any

if TYPE_CHECKING:
    from ._failures import ErrorCode


class MovarError(Exception):
    """An entry point gave its failure result.

    ``export`` is the entry point, ``result`` what it returned, ``reason`` the library's words for
    why (``movar_last_error``: which address refused, which file could not be created, ...),
    ``code`` its kind (``movar_last_error_code``, an ErrorCode); both are empty/None with a library
    that lacks them.
    """

    def __init__(self, export: str, result: Any, reason: str = "", code: ErrorCode | int | None = None) -> None:
        self.export = export
        self.result = result
        self.reason = reason
        self.code = code
        super().__init__(f"{export} failed ({result!r})" + (f": {reason}" if reason else ""))


def last_failure() -> tuple[str, ErrorCode | int | None]:
    """The calling thread's reason and code for its last failed call, where the library says."""
    from . import raw
    from ._failures import ErrorCode

    reason = ((raw.movar_last_error() if raw.available("movar_last_error") else b"") or b"").decode("utf-8", "replace")
    if not raw.available("movar_last_error_code"):
        return reason, None
    code = raw.movar_last_error_code()
    try:
        return reason, ErrorCode(code)
    except ValueError:
        return reason, code  # a kind newer than this binding


def failure(export: str, result: Any) -> MovarError:
    """The exception for the calling thread's last failed call: the class of its code, MovarError
    for a code this binding does not know."""
    from ._failures import ERROR_CLASSES

    reason, code = last_failure()
    kind = None if code is None else ERROR_CLASSES.get(code)
    return (kind or MovarError)(export, result, reason, code)
