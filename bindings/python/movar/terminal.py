"""One terminal, on a serial line or at an IPv4 address, with records as objects."""
from __future__ import annotations

import contextlib
import logging
import threading
import time
from collections.abc import Callable, Iterator, Sequence
from pathlib import Path
from typing import Any

from . import raw
from ._library import Directory, path_bytes
from .errors import MovarError, failure, last_failure
from .records import Record, from_live_text, read_records

NO_VALUE = 65535  # what the SN queries give when they fail (a stored 65535 reads the same)
UNIT_FAILED = 255  # what the fingerprint unit's exports give when the exchange failed


Check = Callable[[Any], bool]


def _succeeded(result: Any) -> bool:
    return bool(result == 0)


def call(export: str, *args: Any, ok: Check = _succeeded) -> Any:
    """Calls the entry point; a result `ok` refuses becomes the MovarError of the library's failure
    code (ConnectError, RecordFileError, ...) with its reason."""
    result = getattr(raw, export)(*args)
    if not ok(result):
        raise failure(export, result)
    return result


def _answered(failed_value: int) -> Check:
    # A query's failure value may also be a real answer; the failure code tells them apart where
    # the library gives one.
    def ok(result: Any) -> bool:
        return bool(result != failed_value or last_failure()[1] == 0)
    return ok


# The record directory each thread set through record_directory(): the library keeps one per
# thread and cannot be asked for it.
_chosen = threading.local()


@contextlib.contextmanager
def record_directory(directory: Directory) -> Iterator[Path]:
    """The calling thread's record directory for the calls inside, made when missing; afterwards
    the one that was set before (the library's default when none was)."""
    path = Path(directory).resolve()
    path.mkdir(parents=True, exist_ok=True)
    if not raw.available("movar_set_record_directory"):
        raise MovarError("movar_set_record_directory", None, "the loaded library cannot choose the record directory")
    before = getattr(_chosen, "path", None)
    call("movar_set_record_directory", path_bytes(path))
    _chosen.path = path
    try:
        yield path
    finally:
        raw.movar_set_record_directory(None if before is None else path_bytes(before))
        _chosen.path = before


def _text(value: str | bytes, encoding: str) -> bytes:
    return value if isinstance(value, (bytes, bytearray)) else value.encode(encoding)


class Terminal:
    """``Terminal(ip="10.0.0.5")`` or ``Terminal(com=1, address=7)`` (the serial search starts at
    COM `com`). `charset` is what names and voice texts given as str are encoded to."""

    def __init__(self, ip: str | None = None, *, com: int | None = None, address: int = 1,
                 charset: str = "gbk") -> None:
        if (ip is None) == (com is None):
            raise ValueError("a terminal is either Terminal(ip=...) or Terminal(com=..., address=...)")
        if ip is not None and (not isinstance(ip, str) or not ip.isascii() or "\0" in ip):
            # The library reads the address as ASCII bytes up to the first zero.
            raise ValueError(f"the address {ip!r} is not an ASCII text")
        self.ip, self.com, self.address, self.charset = ip, com, address, charset

    def __repr__(self) -> str:
        where = f"ip={self.ip!r}" if self.ip is not None else f"com={self.com}, address={self.address}"
        return f"Terminal({where})"

    # One command on whichever link the terminal is on: (address, port, ...) or (ip, ...).
    def _run(self, serial: str | None, lan: str | None, *values: Any, ok: Check = _succeeded) -> Any:
        export = lan if self.ip is not None else serial
        if export is None:
            link = "over TCP" if serial is None else "on a serial line"
            raise ValueError(f"{self!r}: this command exists only {link}")
        target = (self.ip.encode("ascii"),) if self.ip is not None else (self.address, self.com)
        return call(export, *target, *values, ok=ok)

    def _serial(self, export: str, *values: Any, ok: Check = _succeeded) -> Any:
        return self._run(export, None, *values, ok=ok)

    @property
    def _port(self) -> int:
        if self.com is None:
            raise ValueError(f"{self!r}: this command exists only on a serial line")
        return self.com

    # Records
    def download(self, directory: Directory, *, number: int | None = None, as_machine: int | None = None) -> list[Record]:
        """Downloads the terminal's records into `directory` (movar.dat, movar.txt, downbak/ as
        the library writes them; movar<number>.* with `number`) and returns them. `as_machine`
        addresses that machine at the IP, and every record takes the machine number the library
        gives its text lines."""
        if number is not None and as_machine is not None:
            raise ValueError("download takes number or as_machine, not both")
        with record_directory(directory) as path:
            if number is not None:
                self._run(None, "LANMANYDOWNLOAD", number)
                return read_records(path / f"movar{number}.dat")
            if as_machine is not None:
                self._run(None, "LANDOWNLOADADDR", as_machine)
                lines = (path / "movar.txt").read_bytes().splitlines()
                return read_records(path / "movar.dat", machine=int(lines[0][19:21]) if lines else as_machine)
            self._run("DOWNLOAD", "LANDOWNLOAD")
            return read_records(path / "movar.dat", sixty_first=True)

    def modem_download(self, directory: Directory, phone_number: str) -> list[Record]:
        """Dials `phone_number` through the modem on the terminal's COM port and downloads."""
        with record_directory(directory) as path:
            self._serial("MODEMDOWNLOAD", phone_number.encode("ascii"))
            return read_records(path / "movar.dat", sixty_first=True)

    def realtime(self) -> Record | None:
        """The newest live record, or None when none is waiting."""
        text = self._run("REALDOWNLOAD", "LANREALDOWNLOAD", ok=lambda result: True)
        record = from_live_text(text)
        if record is None and last_failure()[1]:
            raise failure("LANREALDOWNLOAD" if self.ip else "REALDOWNLOAD", text)
        return record

    def watch(self, interval: float = 1.0, *,
              on_error: Callable[[MovarError], object] | None = None) -> Iterator[Record]:
        """Each new live record once, polling every `interval` seconds while none is waiting and
        going on while the terminal is away. The failure that begins each outage goes to
        `on_error`, by default to the "movar" logger (a warning, and a note when it answers again)."""
        outages = Outages(self, on_error)
        last = None
        while True:
            record = outages.poll()
            if record is None:
                time.sleep(interval)
                continue
            if record != last:  # a record whose acknowledgement was lost comes again
                yield record
            last = record

    def erase(self) -> None:
        self._run("DELETE", "LANDELETE")

    def restore(self) -> None:
        """Brings back the records of the last erase."""
        self._serial("RESTORE")

    def restore_all(self) -> None:
        self._run("RESTOREALL", "LANRESTOREALL")

    def find(self) -> int:
        """The COM port where the terminal answered, searching from `com`."""
        return int(self._serial("TESTCOM", ok=lambda port: bool(port >= 0)))

    # Clock and identity
    def set_clock(self, seven_bytes: bytes | Sequence[int]) -> None:
        """Sends the seven clock bytes as given, in the terminal's own order and encoding."""
        if len(seven_bytes) != 7:
            raise ValueError("the clock is seven bytes")
        self._run("SETTIME", "LANSETTIME", *seven_bytes)

    def set_machine_id(self, machine_id: int) -> None:
        self._serial("SETMACHINEID", machine_id)

    def set_password(self, password: int) -> None:
        self._serial("SETPASSWORD", password)

    def set_lock_number(self, lock_number: int) -> None:
        self._serial("SETLOCKNUM", lock_number)

    def clear_lock_number(self) -> None:
        self._serial("DELLOCKNUM")

    def answer(self, value: int) -> None:
        self._run(None, "LANANSWER", value)

    # Persons
    def enable_all(self) -> None:
        self._run("ENABLEALL", "LANENABLEALL")

    def disable_all(self) -> None:
        self._run("DISABLEALL", "LANDISABLEALL")

    def enable_person(self, person: int) -> None:
        self._run("ENABLEPERSON", "LANENABLEPERSON", person)

    def disable_person(self, person: int) -> None:
        self._run("DISABLEPERSON", "LANDISABLEPERSON", person)

    # SNs and cards
    def set_sn(self, entry: int, sn: int) -> None:
        self._run("SETSN", "LANSETSN", entry, sn)

    def delete_sn(self, entry: int) -> None:
        self._run("DELSN", "LANDELSN", entry)

    def sn(self, entry: int) -> int:
        return int(self._serial("WHATSN", entry, ok=_answered(NO_VALUE)))

    def sn_length(self) -> int:
        return int(self._serial("GETSNLENTH", ok=_answered(NO_VALUE)))

    def set_card_mode(self, mode: int) -> None:
        self._serial("SETSNORCARD", mode)

    def set_card_wait(self, wait_time: int) -> None:
        self._serial("SETCARDWAITTIME", wait_time)

    def add_card_only(self, card: int) -> None:
        self._serial("SENDONLYCARD", card)

    def remove_card_only(self, card: int) -> None:
        self._serial("DELONLYCARD", card)

    def clear_card_only(self) -> None:
        self._serial("DELALLONLYCARD")

    # Doors, bell, line speed
    def set_door_mode(self, mode: int) -> None:
        self._run("SETOPENMODE", "LANSETOPENMODE", mode)

    def set_door_time(self, open_time: int) -> None:
        self._run("SETOPENTIME", "LANSETOPENTIME", open_time)

    def switch_door(self, open_state: int) -> None:
        self._run("SETOPENCLOSE", "LANSETOPENCLOSE", open_state)

    def set_bell(self, b1: int, b2: int, b3: int) -> None:
        self._serial("SETBELL", b1, b2, b3)

    def set_baud_rate(self, rate_code: int, message: bytes | Sequence[int]) -> None:
        """Sends the twelve message bytes and the rate code on the terminal's COM port."""
        if len(message) != 12:
            raise ValueError("the rate-change message is twelve bytes")
        call("SETBAUDRATE", self._port, rate_code, *message)

    # Names and voice
    def send_name(self, person: int, name: str | bytes, encoding: str | None = None) -> None:
        """Stores a name under `person`: bytes as given, a str encoded to `encoding` (default the
        terminal's charset)."""
        self._run("SENDNAME", "LANSENDNAME", person, _text(name, encoding or self.charset))

    def renumber_name(self, first: int, second: int) -> None:
        self._run("CHANGENAMEID", "LANCHANGENAMEID", first, second)

    def clear_names(self) -> None:
        self._run("DELETEALLNAME", "LANDELETEALLNAME")

    def send_voice(self, fields: Sequence[int], text: str | bytes, encoding: str | None = None) -> None:
        """A voice record: its thirteen fields and its text."""
        if len(fields) != 13:
            raise ValueError("a voice record has thirteen fields")
        self._run("SENDVOICE", "LANSENDVOICE", *fields, _text(text, encoding or self.charset))

    def delete_voice(self, voice: int) -> None:
        self._run("DELVOICE", "LANDELVOICE", voice)

    def clear_voices(self) -> None:
        self._run("DELALLVOICE", "LANDELALLVOICE")

    # Fingerprint unit: each gives the unit's result code; files go to FINGERREC/ in `directory`.
    def _unit(self, export: str, directory: Directory, *values: int) -> int:
        with record_directory(directory):
            return int(self._serial(export, *values, ok=_answered(UNIT_FAILED)))

    def fingerprint_ids(self, directory: Directory) -> int:
        """Fetches the unit's ID list into FINGERREC/IDLIST.TXT."""
        return self._unit("GETIDLIST", directory)

    def get_fingerprint(self, directory: Directory, fingerprint_id: int, attribute: int, finger: int) -> int:
        return self._unit("GETIDFPREC", directory, fingerprint_id, attribute, finger)

    def send_fingerprint(self, directory: Directory, fingerprint_id: int, finger: int) -> int:
        return self._unit("SENDIDFPREC", directory, fingerprint_id, 0, finger)

    def delete_fingerprint(self, fingerprint_id: int, attribute: int, finger: int) -> int:
        return int(self._serial("DELIDFPREC", fingerprint_id, attribute, finger, ok=_answered(UNIT_FAILED)))

    def delete_all_fingerprints(self) -> int:
        return int(self._serial("DELIDFPALL", ok=_answered(UNIT_FAILED)))

    def fingerprint_version(self) -> int:
        """The unit's version answer, straight from the unit on the COM port at 9600 baud."""
        return int(call("GETFDAVER", self._port, ok=_answered(UNIT_FAILED)))

    # Device backup: zwbak.txt in `directory`
    def trigger_backup(self, mode: int) -> None:
        self._serial("ZWBACKUP", mode)

    def receive_backup(self, directory: Directory) -> Path:
        with record_directory(directory) as path:
            call("RXZWFILE", self._port)
            return path / "zwbak.txt"

    def send_backup(self, directory: Directory) -> None:
        with record_directory(directory):
            call("TXZWFILE", self._port)


_log = logging.getLogger("movar")


class Outages:
    """A watch's polls, with one report per outage: the failure that begins it goes to `on_error`
    (by default a warning of the "movar" logger), none while it lasts."""

    def __init__(self, terminal: Terminal, on_error: Callable[[MovarError], object] | None) -> None:
        self._terminal = terminal
        self._on_error = on_error
        self._away = False

    def poll(self) -> Record | None:
        try:
            record = self._terminal.realtime()
        except MovarError as error:
            if not self._away:
                if self._on_error is not None:
                    self._on_error(error)
                else:
                    _log.warning("%r cannot be reached: %s (polling on)", self._terminal, error.reason or error)
            self._away = True
            return None
        if self._away and self._on_error is None:
            _log.info("%r answers again", self._terminal)
        self._away = False
        return record
