"""A caller as an integrator writes one, for mypy --strict: every name it uses must be typed."""
from __future__ import annotations

import asyncio
import logging
from pathlib import Path

import movar


def newest(terminal: movar.Terminal, directory: Path) -> movar.Record | None:
    try:
        records = terminal.download(directory, number=3)
    except movar.ConnectError as failure:
        code: movar.ErrorCode | int | None = failure.code
        logging.warning("%s: %s (%s)", failure.export, failure.reason, code)
        return None
    except OSError:
        return None
    return records[-1] if records else None


def raw_download(ip: str) -> bool:
    return movar.raw.LANDOWNLOAD(ip.encode("ascii")) == 0 and movar.raw.movar_last_error_code() == movar.ErrorCode.OK


async def first_live(ip: str) -> movar.Record:
    terminal = movar.aio.Terminal(ip=ip)
    await terminal.set_door_time(5)
    async for record in terminal.watch(0.5, on_error=lambda failure: logging.info("%s", failure)):
        return record
    raise AssertionError("a watch never ends by itself")


if __name__ == "__main__":
    print(asyncio.run(first_live("127.0.0.1")))
