#!/usr/bin/env python3
"""Runs a Linux program for a test that runs under Wine, which can start Linux programs but can
neither wait for them nor read their output. Usage: linux_side.py CONTROL_PORT PROGRAM ARGS...

Connects to 127.0.0.1:CONTROL_PORT, where the test listens, starts the program, sends
"started", then the program's first output line as "line TEXT", and "exited CODE" when it ends.
"stop" from the test, or the test closing the connection, kills the program."""
import os
import selectors
import signal
import socket
import subprocess
import sys


def main():
    control = socket.create_connection(("127.0.0.1", int(sys.argv[1])))
    child = subprocess.Popen(sys.argv[2:], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        serve(control, child)
    finally:
        # However this ends (the test gone mid-send too), the program does not outlive it.
        if child.poll() is None:
            os.killpg(child.pid, signal.SIGKILL)
            child.wait()


def serve(control, child):
    control.sendall(b"started\n")
    sel = selectors.DefaultSelector()
    sel.register(control, selectors.EVENT_READ, "control")
    sel.register(child.stdout, selectors.EVENT_READ, "out")
    first = b""
    first_sent = False
    while True:
        for key, _ in sel.select(timeout=0.2):
            if key.data == "control":
                data = control.recv(4096)
                if not data or b"stop" in data:
                    os.killpg(child.pid, signal.SIGKILL)
                    child.wait()
                    control.sendall(b"exited -9\n")
                    return
            else:
                chunk = os.read(child.stdout.fileno(), 4096)
                if not chunk:
                    sel.unregister(child.stdout)
                elif not first_sent:
                    first += chunk
                    if b"\n" in first:
                        control.sendall(b"line " + first.split(b"\n", 1)[0] + b"\n")
                        first_sent = True
        code = child.poll()
        if code is not None:
            control.sendall(b"exited %d\n" % code)
            return


if __name__ == "__main__":
    try:
        main()
    except (BrokenPipeError, ConnectionResetError):
        pass
