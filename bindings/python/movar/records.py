"""Attendance records: the terminal's 6-byte record and the text of a real-time poll."""
from __future__ import annotations

import os
from dataclasses import dataclass
from datetime import datetime

RECORD_SIZE = 6


@dataclass(frozen=True)
class Record:
    person: int
    time: datetime | None  # None when the stored fields name no real date (the terminal's own bits)
    machine: int


def _time(year: int, month: int, day: int, hour: int, minute: int) -> datetime | None:
    try:
        return datetime(year, month, day, hour, minute)
    except ValueError:
        return None


def decode(record: bytes, *, sixty_first: bool = False, machine: int | None = None) -> Record:
    """One 6-byte record. The page flags of byte 3 add 60 and 30 to the machine number; with
    `sixty_first` a record with both set reads as +60 (how the plain downloads convert it)."""
    b0, b1, b2, b3, b4, b5 = record
    if machine is None:
        sixty, thirty = bool(b3 & 0x80), bool(b3 & 0x40)
        machine = (b4 >> 5) * 4 + (b5 >> 6) + 60 * sixty + 30 * (thirty and not (sixty_first and sixty))
    return Record(b0 * 256 + b1, _time(2000 + (b2 >> 4), b2 & 0x0F, b3 & 0x3F, b4 & 0x1F, b5 & 0x3F), machine)


def read_records(path: str | os.PathLike[str], *, sixty_first: bool = False, machine: int | None = None) -> list[Record]:
    """The records of a binary record file (movar.dat and the like); a trailing partial record
    is ignored. `machine` gives every record that machine number."""
    with open(path, "rb") as file:
        data = file.read()
    return [decode(data[k:k + RECORD_SIZE], sixty_first=sixty_first, machine=machine)
            for k in range(0, len(data) - RECORD_SIZE + 1, RECORD_SIZE)]


def from_live_text(text: bytes) -> Record | None:
    """A real-time poll's digits (person 6, year 4, month, day, hour, minute 2 each, then the
    machine number); twenty zeros are no record."""
    if not text.strip(b"0"):
        return None
    digits = text.decode("ascii")
    fields = [int(digits[a:b]) for a, b in ((6, 10), (10, 12), (12, 14), (14, 16), (16, 18))]
    return Record(int(digits[:6]), _time(*fields), int(digits[18:]))
