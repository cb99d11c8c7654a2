"""Finding and loading libw_movar.so (w_movar.dll on Windows)."""
from __future__ import annotations

import ctypes
import ctypes.util
import functools
import os
import sys
from pathlib import Path
from typing import Union

# A directory or file as the binding takes it.
Directory = Union[str, "os.PathLike[str]"]

WINDOWS = os.name == "nt"
FILE_NAME = "w_movar.dll" if WINDOWS else "libw_movar.so"
# The name of ABI 1 (the SONAME), which a system without the development package has too; the
# bare .so is only the link a build uses.
SONAME = None if WINDOWS else "libw_movar.so.1"


@functools.lru_cache(maxsize=None)
def load() -> ctypes.CDLL:
    """MOVAR_LIBRARY when set, else the system's search, else the library beside this package."""
    # The exports are stdcall on 32-bit Windows; WinDLL is the same as CDLL on 64-bit.
    if sys.platform == "win32":
        loader = ctypes.WinDLL
    else:
        loader = ctypes.CDLL
    chosen = os.environ.get("MOVAR_LIBRARY")
    if chosen:
        return loader(chosen)  # a path named by the user is not second-guessed
    candidates = (SONAME, FILE_NAME, ctypes.util.find_library("w_movar"), str(Path(__file__).parent / FILE_NAME))
    failures = []
    for candidate in filter(None, candidates):
        try:
            return loader(candidate)
        except OSError as error:
            failures.append(f"{candidate}: {error}")
    raise OSError(f"{FILE_NAME} not found (set MOVAR_LIBRARY to its path); tried " + "; ".join(failures))


def path_bytes(path: Directory | bytes) -> bytes:
    """A path as the library's file calls take it: the ANSI code page on Windows (its file calls
    are the A forms), the file system's bytes elsewhere."""
    if not WINDOWS:
        return os.fsencode(path)
    text = os.fspath(path)
    return text if isinstance(text, bytes) else text.encode("mbcs")
