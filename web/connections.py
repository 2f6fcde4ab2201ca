"""Connection limits uvicorn does not have: a time limit on a request's head
(a client that sends half a header and waits is cut off) and a ceiling on open
connections below the open-file limit, so the server never runs out of file
descriptors; at the ceiling the connection that has waited longest without a
whole request head makes room for the new one."""

import errno
import logging
import resource
import time

import h11
from uvicorn.protocols.http.h11_impl import H11Protocol

log = logging.getLogger("tarvo-serve")

# Descriptors kept for what is not a connection: the listening socket, the
# log, static files, the cache, and three pipes for each running process.
RESERVED_FILES = 64
# Connections taken from the kernel's queue in one go, before any of them can
# be looked at and closed: the ceiling leaves room for one such batch.
ACCEPT_BATCH = 128


def connection_ceiling(wanted, workers):
    """Returns the most connections to keep open: `wanted` (0 for as many as
    the open-file limit allows), after raising the soft limit to the hard one,
    less what the workers, the server itself and one batch of accepted
    connections (uvicorn's backlog, ACCEPT_BATCH) need."""
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    if soft != hard:
        try:
            resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
            soft = hard
        except (ValueError, OSError):
            pass
    room = max(16, soft - RESERVED_FILES - ACCEPT_BATCH - 6 * workers)
    return min(wanted, room) if wanted else room


class _Tally:
    """Counts connections closed by the guard and logs them at most once per
    `every` seconds as one line, so a flood of idle connections cannot flood
    the log."""

    def __init__(self, every=10.0):
        self.every, self.counts, self.last = every, {}, 0.0

    def add(self, what):
        self.counts[what] = self.counts.get(what, 0) + 1
        now = time.monotonic()
        if now - self.last >= self.every:
            log.warning("closed connections: %s", ", ".join(
                f"{n} {what}" for what, n in sorted(self.counts.items())))
            self.counts, self.last = {}, now


def quiet_exhaustion(loop):
    """Makes the event loop log running out of file descriptors as one
    counted line every few seconds instead of a traceback per attempt."""
    tally = _Tally()
    default = loop.get_exception_handler()

    def handle(loop, context):
        error = context.get("exception")
        if isinstance(error, OSError) and error.errno in (errno.EMFILE, errno.ENFILE):
            tally.add("not accepted: out of file descriptors")
        elif default is not None:
            default(loop, context)
        else:
            loop.default_exception_handler(context)

    loop.set_exception_handler(handle)


def guarded_protocol(header_timeout, max_connections):
    """Returns uvicorn's HTTP/1.1 protocol class with the head time limit and
    the connection ceiling."""
    tally = _Tally()

    class GuardedH11(H11Protocol):
        _head_timer = None

        def connection_made(self, transport):
            if len(self.connections) >= max_connections and not _evict_one(self.connections):
                tally.add("refused at the connection ceiling")
                transport.abort()
                return
            super().connection_made(transport)
            self._arm()

        def _arm(self):
            self.head_started = time.monotonic()
            self._head_timer = self.loop.call_later(header_timeout, self._head_expired)

        def _disarm(self):
            if self._head_timer is not None:
                self._head_timer.cancel()
                self._head_timer = None

        def waiting_for_head(self):
            return self.conn.their_state is h11.IDLE and not self.transport.is_closing()

        def _head_expired(self):
            self._head_timer = None
            if self.waiting_for_head():
                tally.add(f"without a request head within {header_timeout:g} s")
                self.transport.abort()

        def data_received(self, data):
            if self._head_timer is None and self.conn.their_state is h11.IDLE:
                self._arm()
            super().data_received(data)
            if self.conn.their_state is not h11.IDLE:
                self._disarm()

        def on_response_complete(self):
            super().on_response_complete()
            # Between requests the keep-alive limit applies.
            self._disarm()

        def connection_lost(self, exc):
            self._disarm()
            if self.transport is None:
                return
            super().connection_lost(exc)

    def _evict_one(connections):
        idle = [c for c in connections if isinstance(c, GuardedH11) and c.waiting_for_head()]
        if not idle:
            return False
        oldest = min(idle, key=lambda c: getattr(c, "head_started", 0.0))
        tally.add("closed at the ceiling to make room, waiting longest for a request head")
        oldest._disarm()
        oldest.transport.abort()
        # abort() reports the loss on the next turn of the loop; count the room now.
        connections.discard(oldest)
        return True

    return GuardedH11
