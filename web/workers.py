"""Runs tarvo-cli processes for the server: at most `workers` at once, a
bounded number of requests waiting for a slot, each client held to its share
of the places, and a time limit per process.

Places (running plus waiting) are shared out per client: one client may hold
at most `client_share` of them, and a freed slot goes to the next client in
turn that has a request waiting, not to whoever queued first, so a client that
keeps many requests in flight cannot starve one that sends a request now and
then."""

import asyncio
import collections
import ctypes
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


class WorkerPool:
    def __init__(self, program, workers, queue_limit, time_limit, client_share=None):
        self.program = program
        self.workers = workers
        self.queue_limit = queue_limit
        self.time_limit = time_limit
        self.client_share = client_share or (workers + queue_limit)
        self.running = 0
        self.waiting = 0
        self.held = collections.Counter()  # client -> places held (running or waiting)
        self._queues = {}  # client -> deque of futures waiting for a slot
        self._turns = collections.deque()  # clients with a request waiting, in turn

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
        if self.running < self.workers and not self._turns:
            self.held[client] += 1
            self.running += 1
            return
        if self.waiting >= self.queue_limit:
            raise Busy()
        self.held[client] += 1
        self.waiting += 1
        waiter = asyncio.get_running_loop().create_future()
        queue = self._queues.get(client)
        if queue is None:
            queue = self._queues[client] = collections.deque()
            self._turns.append(client)
        queue.append(waiter)
        try:
            await waiter
        except BaseException:
            if waiter.done() and not waiter.cancelled():
                # The slot was handed over as the caller went away: pass it on.
                self._release(client)
            else:
                self.waiting -= 1
                self._forget(client, waiter)
                self._drop_hold(client)
            raise

    def _forget(self, client, waiter):
        queue = self._queues.get(client)
        if queue is not None and waiter in queue:
            queue.remove(waiter)
            if not queue:
                del self._queues[client]
                self._turns.remove(client)

    def _drop_hold(self, client):
        self.held[client] -= 1
        if self.held[client] <= 0:
            del self.held[client]

    def _release(self, client):
        self._drop_hold(client)
        self.running -= 1
        # The slot goes to the client whose turn it is; that client goes to
        # the back of the line if it has more waiting.
        while self._turns and self.running < self.workers:
            turn = self._turns.popleft()
            queue = self._queues[turn]
            waiter = queue.popleft()
            if queue:
                self._turns.append(turn)
            else:
                del self._queues[turn]
            self.waiting -= 1
            self.running += 1
            waiter.set_result(None)

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
