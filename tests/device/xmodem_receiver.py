# Receives one XMODEM (checksum) upload on a fresh pseudo-terminal with python3-xmodem.
# Prints "PTY <slave path>" when ready, starts after a line on stdin, then writes the received stream to argv[1] and
# prints "RECEIVED <bytes>" (or "FAILED").
import os, sys, time, tty
from xmodem import XMODEM
from xmodemio import reader, writer

master, slave = os.openpty()
tty.setraw(master)
tty.setraw(slave)
print("PTY " + os.ttyname(slave), flush=True)
# The sender flushes its input when it opens the port: start (send the first NAK) only
# once it says it has.
sys.stdin.readline()

with open(sys.argv[1], "wb") as out:
    n = XMODEM(reader(master), writer(master)).recv(out, crc_mode=0, retry=20)
print("RECEIVED %s" % n if n is not None else "FAILED", flush=True)
# The ACK of the EOT was the last thing written; leaving at once would hang the line up and
# the kernel would drop that ACK before the sender read it. A real receiver stays on the line.
time.sleep(1.0)
