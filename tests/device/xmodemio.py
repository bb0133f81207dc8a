# The byte functions python3-xmodem's XMODEM(getc, putc) works through, over file descriptors.
import os, select


def reader(fd):
    """getc: up to size bytes from fd; what came (None for nothing) once timeout s pass in silence."""
    def getc(size, timeout=1):
        data = b""
        while len(data) < size:
            r, _, _ = select.select([fd], [], [], timeout)
            if not r:
                return data or None
            data += os.read(fd, size - len(data))
        return data
    return getc


def writer(fd):
    """putc: writes data to fd."""
    def putc(data, timeout=1):
        return os.write(fd, data)
    return putc
