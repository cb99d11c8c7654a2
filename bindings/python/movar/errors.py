"""The one exception of the binding."""
from __future__ import annotations


class MovarError(Exception):
    """An entry point gave its failure result.

    ``result`` is what it returned, ``reason`` the library's words for why (``movar_last_error``:
    which address refused, which file could not be created, ...), ``code`` its kind
    (``movar_last_error_code``); both are empty/None with a library that lacks them.
    """

    def __init__(self, export: str, result, reason: str = "", code: int | None = None):
        self.export = export
        self.result = result
        self.reason = reason
        self.code = code
        super().__init__(f"{export} failed ({result!r})" + (f": {reason}" if reason else ""))


def last_failure() -> tuple[str, int | None]:
    """The calling thread's reason and code for its last failed call, where the library says."""
    from . import raw

    reason = raw.movar_last_error() if raw.available("movar_last_error") else b""
    code = raw.movar_last_error_code() if raw.available("movar_last_error_code") else None
    return (reason or b"").decode("utf-8", "replace"), code
