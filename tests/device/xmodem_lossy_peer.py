# An XMODEM (checksum) receiver behind a line that corrupts one block in EVERY: the sender
# talks to a fresh pseudo-terminal, this script passes its bytes on to the receiver and
# flips one data byte of the first arrival of blocks EVERY, 2*EVERY, ...
#   usage: xmodem_lossy_peer.py rx|python OUT [EVERY]
#   rx:     lrzsz's "rx -X -b OUT" on pipes
#   python: python3-xmodem's XMODEM.recv(crc_mode=0)
# Prints "PTY <slave path>" when ready and starts the receiver after a line on stdin (the
# sender clears its input when it opens the port). For every corrupted block it prints
# "BAD <block> <seconds>": the time from the end of the corrupted arrival to the end of the
# block's next arrival, that is what the bad block cost. Ends with "RECEIVED <bytes>" or
# "FAILED".
import os, select, subprocess, sys, threading, time, tty

mode, out_path = sys.argv[1], sys.argv[2]
every = int(sys.argv[3]) if len(sys.argv) > 3 else 50

master, slave = os.openpty()
tty.setraw(master)
tty.setraw(slave)
print("PTY " + os.ttyname(slave), flush=True)
sys.stdin.readline()

lock = threading.Lock()
costs = []

class Corrupter:
    """Follows the packets from sender to receiver and spoils the chosen first arrivals."""
    def __init__(self):
        self.packet = None      # bytes of the packet being passed on, None between packets
        self.seen = set()       # block numbers (counted from 1) that have arrived once
        self.blocks = 0         # blocks that arrived the first time
        self.spoiled = {}       # block number byte -> time its spoiled arrival ended
        self.spoil_this = False

    def feed(self, data):
        out = bytearray()
        for b in data:
            if self.packet is None:
                if b == 0x01:
                    self.packet = bytearray([b])
                out.append(b)
                continue
            self.packet.append(b)
            n = len(self.packet)
            if n == 2:
                number = b
                first = number not in self.seen or number in self.spoiled
                self.spoil_this = False
                if number not in self.seen:
                    self.seen.add(number)
                    self.blocks += 1
                    self.spoil_this = self.blocks % every == 0
            if n == 20 and self.spoil_this:
                b ^= 0x5A
            out.append(b)
            if n == 132:
                number = self.packet[1]
                now = time.monotonic()
                if self.spoil_this:
                    self.spoiled[number] = now
                elif number in self.spoiled:
                    costs.append((self.blocks, now - self.spoiled.pop(number)))
                self.packet = None
        return bytes(out)

corrupter = Corrupter()
ok = False

if mode == "rx":
    # rx refuses a file name with a folder in it ("Security Violation"): run it there.
    out_dir, out_name = os.path.split(os.path.abspath(out_path))
    proc = subprocess.Popen(["rx", "-X", "-b", out_name], cwd=out_dir, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, bufsize=0)
    rx_out = proc.stdout.fileno()
    rx_in = proc.stdin.fileno()
    while True:
        r, _, _ = select.select([master, rx_out], [], [], 0.5)
        if master in r:
            try:
                data = os.read(master, 4096)
            except OSError:
                data = b""
            if data:
                try:
                    os.write(rx_in, corrupter.feed(data))
                except BrokenPipeError:
                    pass
        if rx_out in r:
            data = os.read(rx_out, 4096)
            if not data:
                break
            os.write(master, data)
        if proc.poll() is not None and rx_out not in r:
            break
    ok = proc.wait() == 0
    # rx exits right after its ACK of the EOT; closing the line at once would hang it up
    # before the sender has read that ACK (the kernel drops unread input at a hang-up). A
    # real receiver stays on the line: so does this one, for a moment.
    time.sleep(1.0)
else:
    from xmodem import XMODEM
    from xmodemio import reader, writer
    feed_r, feed_w = os.pipe()
    result = {}

    def receive():
        with open(out_path, "wb") as out:
            result["n"] = XMODEM(reader(feed_r), writer(master)).recv(out, crc_mode=0, retry=20)

    t = threading.Thread(target=receive, daemon=True)
    t.start()
    while t.is_alive():
        r, _, _ = select.select([master], [], [], 0.2)
        if r:
            data = os.read(master, 4096)
            os.write(feed_w, corrupter.feed(data))
    ok = result.get("n") is not None
    # The sender may still wait for the ACK of its EOT: give it a moment to read it.
    time.sleep(0.2)

for block, seconds in costs:
    print("BAD %d %.3f" % (block, seconds), flush=True)
print("RECEIVED %d" % os.path.getsize(out_path) if ok else "FAILED", flush=True)
