"""Terminals from asyncio: ``movar.aio.Terminal`` has the methods of ``movar.Terminal`` as
coroutines, each running on a worker thread (the library blocks while it talks to a terminal),
with the record directory set on that thread for the length of the call.

    async for record in movar.aio.Terminal(ip="10.0.0.5").watch():
        print(record)
"""
from __future__ import annotations

import asyncio
import functools
from collections.abc import AsyncIterator, Callable
from typing import Any

from . import terminal
from .errors import MovarError
from .records import Record

# The blocking Terminal's commands, each a coroutine here.
COMMANDS = tuple(name for name, member in vars(terminal.Terminal).items()
                 if callable(member) and not name.startswith("_") and name != "watch")


class Terminal:
    """As movar.Terminal: ``Terminal(ip="10.0.0.5")`` or ``Terminal(com=1, address=7)``."""

    def __init__(self, *args: Any, **kwargs: Any) -> None:
        self.terminal = terminal.Terminal(*args, **kwargs)

    def __repr__(self) -> str:
        return f"aio.{self.terminal!r}"

    async def watch(self, interval: float = 1.0, *,
                    on_error: Callable[[MovarError], object] | None = None) -> AsyncIterator[Record]:
        """As movar.Terminal.watch: each poll on a worker thread, the pause an asyncio sleep, so
        that cancelling the task ends the watch at once."""
        outages = terminal.Outages(self.terminal, on_error)
        last = None
        while True:
            record = await asyncio.to_thread(outages.poll)
            if record is None:
                await asyncio.sleep(interval)
                continue
            if record != last:  # a record whose acknowledgement was lost comes again
                yield record
            last = record


def _on_worker(name: str) -> Callable[..., Any]:
    blocking = getattr(terminal.Terminal, name)

    @functools.wraps(blocking)
    async def command(self: Terminal, *args: Any, **kwargs: Any) -> Any:
        return await asyncio.to_thread(blocking, self.terminal, *args, **kwargs)

    return command


for _name in COMMANDS:
    setattr(Terminal, _name, _on_worker(_name))
