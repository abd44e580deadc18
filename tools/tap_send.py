#!/usr/bin/env python3
"""A small paging client that follows TAP 1.8, for trying Ostrella's test suite from a shell.

It connects to the simulator's TCP port, dials the Hayes modem (ATDT NUMBER), logs on when the
terminal sends ID= (a CR every t1, 2 s, at most n1 = 3 of them), sends its pages as TAP blocks
and waits for each reply: NAK, the block again (at most 3 times); RS, the next page; no reply in
t3 (10 s), the block again; ESC EOT CR, the call is over. After its EOT it waits 10 s for the
terminal's ESC EOT CR. A failed dial (BUSY, NO CARRIER, ...), a dial with no result in 60 s, a
lost carrier or a disconnect before every page went: it hangs up (closes the connection) and
calls again 3 s later, up to 5 calls.
Exit status 0 when every page was ACKed (or refused), 1 otherwise.

Usage: tap_send.py [--host H] [--port P] [--number N] [--pages K] [--tag TEXT]
"""
import argparse
import socket
import sys
import time

STX, ETX, EOT, ACK, CR, NAK, ESC, RS = b"\x02", b"\x03", b"\x04", b"\x06", b"\r", b"\x15", b"\x1b", b"\x1e"
T1, T3, N1, N2 = 2.0, 10.0, 3, 3


def block(pager, message):
    body = STX + pager.encode() + CR + message.encode() + CR + ETX
    total = sum(b & 0x7F for b in body) & 0xFFF
    return body + bytes([0x30 + (total >> 8 & 15), 0x30 + (total >> 4 & 15), 0x30 + (total & 15)]) + CR


class Line:
    def __init__(self, host, port):
        self.sock = socket.create_connection((host, port), timeout=5)
        self.buf = b""

    def send(self, data):
        self.sock.sendall(data)

    def read(self, timeout):
        """What arrived within `timeout` seconds (b"" on silence), seven-bit."""
        self.sock.settimeout(max(timeout, 0.01))
        try:
            data = self.sock.recv(4096)
        except socket.timeout:
            return b""
        if not data:
            raise ConnectionError("closed")
        return bytes(b & 0x7F for b in data)

    def wait_for(self, tokens, timeout):
        """The first of `tokens` to arrive within `timeout`, or None; what came is kept."""
        end = time.monotonic() + timeout
        while True:
            for t in tokens:
                i = self.buf.find(t)
                if i >= 0:
                    self.buf = self.buf[i + len(t):]
                    return t
            left = end - time.monotonic()
            if left <= 0:
                return None
            self.buf += self.read(min(left, 0.2))

    def close(self):
        self.sock.close()


def call(line, number, pages):
    """One dial: True when the call ended after every page; the pages left stay in `pages`."""
    line.buf = b""
    line.send(f"ATDT{number}\r".encode())
    result = line.wait_for([b"CONNECT", b"BUSY", b"NO CARRIER", b"NO DIALTONE", b"NO ANSWER"], 60)
    if result is None:
        line.send(b" ")  # a key press gives the dial up
        line.wait_for([b"NO CARRIER"], 5)
        return False
    if result != b"CONNECT":
        return False
    line.wait_for([b"\n"], 1)
    for _ in range(N1):
        line.send(CR)
        if line.wait_for([b"ID="], T1):
            break
    else:
        return False
    for _ in range(3):
        line.send(ESC + b"PG1\r")
        answer = line.wait_for([ACK, NAK, ESC + EOT], T3)
        if answer == ACK:
            break
        if answer != NAK:
            return False
    else:
        return False
    if line.wait_for([ESC + b"[p"], T3) is None:
        return False
    while pages:
        tries = 0
        while True:
            line.send(pages[0])
            answer = line.wait_for([ACK, NAK, RS, ESC + EOT, b"NO CARRIER"], T3)
            if answer in (ACK, RS):
                pages.pop(0)
                break
            if answer in (ESC + EOT, b"NO CARRIER"):
                return False
            tries += 1
            if tries > N2:
                line.send(EOT + CR)
                line.wait_for([ESC + EOT], 10)
                return False
    line.send(EOT + CR)
    line.wait_for([ESC + EOT], 10)
    return True


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--host", default="127.0.0.1")
    p.add_argument("--port", type=int, default=9001)
    p.add_argument("--number", default="5551234")
    p.add_argument("--pages", type=int, default=2)
    p.add_argument("--tag", default=str(int(time.time())))
    a = p.parse_args()
    pages = [block("1234", f"page {i + 1} of run {a.tag}") for i in range(a.pages)]
    for dial in range(5):
        # Each try a call of its own: a failed one is hung up (the connection closed).
        try:
            line = Line(a.host, a.port)
        except OSError:
            return 1
        try:
            if call(line, a.number, pages):
                return 0
        except OSError:
            pass
        finally:
            line.close()
        if not pages:
            return 0
        time.sleep(3)
    return 1


if __name__ == "__main__":
    sys.exit(main())
