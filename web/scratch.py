"""The folder a server process writes its exports' temporary files into, and
the clean-up of those that servers killed before they could clean up left.

Each server makes its own folder tarvo-serve-XXXXXXXX and holds a lock on a
file inside it for as long as it runs; a folder whose lock can be taken
belongs to a server that has ended, and is removed at start. Servers of one
machine sharing the temporary folder never remove each other's files."""

import fcntl
import logging
import os
import shutil
import tempfile
import time
from pathlib import Path

log = logging.getLogger("tarvo-serve")
PREFIX = "tarvo-serve-"
LOCK = ".lock"


def remove_abandoned(parent=None):
    """Removes the folders of ended servers under `parent` (the system's
    temporary folder by default); returns how many it removed."""
    parent = Path(parent or tempfile.gettempdir())
    removed = 0
    for folder in parent.glob(PREFIX + "*"):
        if not folder.is_dir() or folder.is_symlink():
            continue
        try:
            fd = os.open(folder / LOCK, os.O_RDONLY)
        except FileNotFoundError:
            # Not locked yet: a server starting now, or one that died at once.
            if time.time() - folder.stat().st_mtime < 60:
                continue
            fd = None
        except OSError:
            continue
        try:
            if fd is not None:
                fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            continue
        finally:
            if fd is not None:
                os.close(fd)
        shutil.rmtree(folder, ignore_errors=True)
        removed += 1
    if removed:
        log.warning("removed %d temporary folder(s) left by servers that ended", removed)
    return removed


class Scratch:
    """This server's own temporary folder, locked while the process lives."""

    def __init__(self, parent=None):
        remove_abandoned(parent)
        self.path = Path(tempfile.mkdtemp(prefix=PREFIX, dir=parent))
        self._fd = os.open(self.path / LOCK, os.O_RDWR | os.O_CREAT, 0o600)
        fcntl.flock(self._fd, fcntl.LOCK_EX)

    def folder(self):
        """Returns a new empty folder for one export (the caller removes it)."""
        return Path(tempfile.mkdtemp(dir=self.path))

    def remove(self):
        """Removes the folder (the server is stopping)."""
        shutil.rmtree(self.path, ignore_errors=True)
        os.close(self._fd)
