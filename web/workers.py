"""Runs tarvo-cli processes for the server: at most `workers` at once, a
bounded number of requests waiting for a slot, and a time limit per process."""

import asyncio
import os
import signal
import time


class Busy(Exception):
    """Every worker is taken and the queue is full (answered 503)."""


class TimedOut(Exception):
    """The process ran past the time limit and was killed (answered 504)."""


class Finished:
    """A process that ended by itself: exit code, standard output and error, milliseconds."""

    def __init__(self, code, out, err, ms):
        self.code, self.out, self.err, self.ms = code, out, err, ms


class WorkerPool:
    def __init__(self, program, workers, queue_limit, time_limit):
        self.program = program
        self.workers = workers
        self.queue_limit = queue_limit
        self.time_limit = time_limit
        self.waiting = 0
        self.running = 0
        self._slots = None

    def _semaphore(self):
        # Made on first use so that it belongs to the server's event loop.
        if self._slots is None:
            self._slots = asyncio.Semaphore(self.workers)
        return self._slots

    async def run(self, args, stdin=b""):
        """Returns the Finished process `program args...` fed `stdin`; raises
        Busy when the queue is full and TimedOut past the time limit."""
        slots = self._semaphore()
        if slots.locked() and self.waiting >= self.queue_limit:
            raise Busy()
        self.waiting += 1
        try:
            await slots.acquire()
        finally:
            self.waiting -= 1
        self.running += 1
        try:
            return await self._run_one(args, stdin)
        finally:
            self.running -= 1
            slots.release()

    async def _run_one(self, args, stdin):
        start = time.perf_counter()
        # Its own session makes the process the leader of a new process group,
        # so everything it may have started goes down with it on a timeout.
        process = await asyncio.create_subprocess_exec(
            self.program, *args,
            stdin=asyncio.subprocess.PIPE, stdout=asyncio.subprocess.PIPE,
            stderr=asyncio.subprocess.PIPE, start_new_session=True)
        try:
            out, err = await asyncio.wait_for(process.communicate(stdin), self.time_limit)
        except asyncio.TimeoutError:
            _kill_group(process.pid)
            await process.wait()
            raise TimedOut()
        except BaseException:
            # The client went away or the server is stopping: leave nothing behind.
            _kill_group(process.pid)
            await process.wait()
            raise
        finally:
            # A child left holding the group after the leader exited is reaped too.
            _kill_group(process.pid)
        return Finished(process.returncode, out, err, (time.perf_counter() - start) * 1000.0)


def _kill_group(pgid):
    try:
        os.killpg(pgid, signal.SIGKILL)
    except (ProcessLookupError, PermissionError):
        pass
