"""Runs tarvo-cli processes for the server: at most `workers` at once, a
bounded number of requests waiting for a slot, places shared fairly between
clients, and a time limit per process.

Fairness: one client may hold at most `client_share` places (running plus
waiting). Each client's use is counted (builds started, halving every
USE_HALF_LIFE seconds); a freed slot goes to the waiting request of the
client that has used least, and a request that finds the queue full takes the
place of the waiting request of the client that has used most, when that is
more than its own client's use (that request is answered 503 instead). So a
client that keeps many requests in flight, or asks again the moment it is
answered, cannot starve one that asks now and then.
"""

import asyncio
import collections
import ctypes
import itertools
import os
import signal
import time


class Busy(Exception):
    """Every worker is taken and the queue is full, or the client already holds
    its share of the places (answered 503)."""


class TimedOut(Exception):
    """The process ran past the time limit and was killed (answered 504)."""


class Finished:
    """A process that ended by itself: exit code, standard output and error, milliseconds."""

    def __init__(self, code, out, err, ms):
        self.code, self.out, self.err, self.ms = code, out, err, ms


USE_HALF_LIFE = 60.0


class WorkerPool:
    def __init__(self, program, workers, queue_limit, time_limit, client_share=None):
        self.program = program
        self.workers = workers
        self.queue_limit = queue_limit
        self.time_limit = time_limit
        self.client_share = client_share or (workers + queue_limit)
        self.running = 0
        self.held = collections.Counter()  # client -> places held (running or waiting)
        self._use = {}  # client -> (use, when it was last brought up to date)
        self._waiters = []  # [order, client, future] of the requests waiting for a slot
        self._order = itertools.count()

    @property
    def waiting(self):
        return len(self._waiters)

    def use(self, client, add=0.0):
        """Returns the client's use: builds started, halving every USE_HALF_LIFE s."""
        now = time.monotonic()
        value, then = self._use.get(client, (0.0, now))
        value = value * 0.5 ** ((now - then) / USE_HALF_LIFE) + add
        if value < 1e-3:
            self._use.pop(client, None)
        else:
            self._use[client] = (value, now)
        return value

    async def run(self, args, stdin=b"", client=""):
        """Returns the Finished process `program args...` fed `stdin`; raises
        Busy when there is no place for `client`, TimedOut past the time limit.
        Cancelling the call kills the process."""
        await self._acquire(client)
        try:
            return await self._run_one(args, stdin)
        finally:
            self._release(client)

    async def _acquire(self, client):
        if self.held[client] >= self.client_share:
            raise Busy()
        if self.running < self.workers and not self._waiters:
            self.held[client] += 1
            self.running += 1
            self.use(client, 1.0)
            return
        if len(self._waiters) >= self.queue_limit:
            self._make_room(client)
        self.held[client] += 1
        waiter = [next(self._order), client, asyncio.get_running_loop().create_future()]
        self._waiters.append(waiter)
        try:
            await waiter[2]
        except BaseException:
            if waiter[2].done() and not waiter[2].cancelled() and waiter[2].exception() is None:
                # The slot was handed over as the caller went away: pass it on.
                self._release(client)
            else:
                if waiter in self._waiters:
                    self._waiters.remove(waiter)
                self._drop_hold(client)
            raise

    def _make_room(self, client):
        """Takes the place of the waiting request of the client that used most,
        if that is more than `client` used; raises Busy otherwise."""
        mine = self.use(client)
        if not self._waiters:
            raise Busy()
        victim = max(self._waiters, key=lambda w: (self.use(w[1]), self.held[w[1]], w[0]))
        if self.use(victim[1]) <= mine:
            raise Busy()
        self._waiters.remove(victim)
        victim[2].set_exception(Busy())

    def _drop_hold(self, client):
        self.held[client] -= 1
        if self.held[client] <= 0:
            del self.held[client]

    def _release(self, client):
        self._drop_hold(client)
        self.running -= 1
        while self._waiters and self.running < self.workers:
            chosen = min(self._waiters, key=lambda w: (self.use(w[1]), w[0]))
            self._waiters.remove(chosen)
            self.running += 1
            self.use(chosen[1], 1.0)
            chosen[2].set_result(None)

    async def _run_one(self, args, stdin):
        start = time.perf_counter()
        # Its own session makes the process the leader of a new process group,
        # so everything it may have started goes down with it on a timeout; the
        # parent-death signal takes it down with the server, however that ends.
        process = await asyncio.create_subprocess_exec(
            self.program, *args,
            stdin=asyncio.subprocess.PIPE, stdout=asyncio.subprocess.PIPE,
            stderr=asyncio.subprocess.PIPE, start_new_session=True,
            preexec_fn=_die_with_parent(os.getpid()))
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


PR_SET_PDEATHSIG = 1
_libc = ctypes.CDLL(None, use_errno=True)


def _die_with_parent(parent):
    """Returns what the child runs before tarvo-cli: SIGKILL when the server
    ends, and an exit at once if it has ended already (the signal is only
    armed for a parent that is still there)."""
    def arm():
        _libc.prctl(PR_SET_PDEATHSIG, signal.SIGKILL, 0, 0, 0)
        if os.getppid() != parent:
            os._exit(1)
    return arm


def _kill_group(pgid):
    try:
        os.killpg(pgid, signal.SIGKILL)
    except (ProcessLookupError, PermissionError):
        pass
