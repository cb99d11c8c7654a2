"""Every entry point of the library as a typed function, named as exports.list names it:
``movar.raw.LANDOWNLOAD(b"10.0.0.5")``, ``movar.raw.movar_version()``.

Numbers are int32, texts are bytes (or None for a null pointer); a counted-text parameter takes
bytes too and is handed over with its length and a reference count of -1 in front. The two
real-time polls and the extensions that return text give bytes. The library is loaded on the
first use of a function; an entry point the loaded library lacks is an AttributeError.
"""
from __future__ import annotations

import ctypes
import functools

from . import _exportlist, _library

_LISTED = _exportlist.load()
EXPORTS = {export.name: export for export in _LISTED.exports}

_C_TYPES = {
    _exportlist.INT32: ctypes.c_int32,
    _exportlist.TEXT: ctypes.c_char_p,
    _exportlist.COUNTED_TEXT: ctypes.c_void_p,
    _exportlist.POINTER: ctypes.c_void_p,
    _exportlist.VOID: None,
}
# A callback type is a ctypes function type of the same name: raw.movar_progress_hook_fn(function).
# The caller keeps the object alive while the library may call it. It goes as a pointer, so that
# None is the null pointer (a function-type argument takes only a function).
for _callback in _LISTED.callbacks:
    globals()[_callback.name] = ctypes.CFUNCTYPE(_C_TYPES[_callback.result],
                                                 *(_C_TYPES[p.type] for p in _callback.parameters))
    _C_TYPES[_callback.name] = ctypes.c_void_p


class CountedText:
    """A text laid out as the library reads it: int32 count -1 (never counted), int32 length,
    the bytes and a zero. Keep the object alive for the length of the call."""

    def __init__(self, text: bytes):
        words = (8 + len(text) + 1 + 3) // 4  # int32 words, so the header is aligned
        self._buffer = (ctypes.c_int32 * words)(-1, len(text))
        ctypes.memmove(ctypes.addressof(self._buffer) + 8, bytes(text), len(text))
        self.pointer = ctypes.c_void_p(ctypes.addressof(self._buffer) + 8)


def _typed(export: _exportlist.Export, library: ctypes.CDLL):
    function = getattr(library, export.symbol)
    function.argtypes = [_C_TYPES[p.type] for p in export.parameters]
    function.restype = _C_TYPES[export.result]
    counted = [k for k, p in enumerate(export.parameters) if p.type == _exportlist.COUNTED_TEXT]
    if not counted:
        return function

    @functools.wraps(function)
    def call(*args):
        if len(args) != len(export.parameters):
            raise TypeError(f"{export.name} takes {len(export.parameters)} arguments ({len(args)} given)")
        args = list(args)
        held = []
        for k in counted:
            if args[k] is not None:
                held.append(CountedText(args[k]))
                args[k] = held[-1].pointer
        return function(*args)

    return call


@functools.lru_cache(maxsize=None)
def _bound(name: str):
    export = EXPORTS.get(name)
    if export is None:
        raise AttributeError(f"movar.raw has no {name}: exports.list has no such row")
    try:
        return _typed(export, _library.load())
    except AttributeError:
        raise AttributeError(f"the loaded library has no {export.symbol} (older than this binding?)") from None


def __getattr__(name: str):
    if name.startswith("__"):
        raise AttributeError(name)
    return _bound(name)


def __dir__():
    return sorted(list(globals()) + list(EXPORTS))


def available(name: str) -> bool:
    """Whether the loaded library has the entry point."""
    try:
        _bound(name)
        return True
    except AttributeError:
        return False
