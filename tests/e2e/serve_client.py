"""What the scripts that try zkbatch --serve share: a bounded wait, and
what zkbatch printed on standard error (the file stderr of the case's work
directory)."""
import re
import time


def wait_for(what, check, timeout=20):
    """The first true value of check(), polled until timeout seconds pass."""
    end = time.monotonic() + timeout
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() > end:
            raise TimeoutError("gave up waiting for " + what)
        time.sleep(0.05)


def printed(pattern, what):
    """The first group of pattern in zkbatch's standard error, once there."""
    def found():
        try:
            with open("stderr", encoding="utf-8") as f:
                m = re.search(pattern, f.read())
        except FileNotFoundError:
            return None
        return m and m.group(1)
    return wait_for(what, found)
