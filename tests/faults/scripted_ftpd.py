"""An FTP server that misbehaves on purpose, for the transfer faults no real server produces.

usage: scripted_ftpd.py PORT FAULT ARCHIVE_FILE

It logs anyone in, answers TYPE, SYST and SIZE (the size of ARCHIVE_FILE), and serves RETR
from ARCHIVE_FILE and STOR into nothing, over active (PORT) data connections. FAULT decides
what goes wrong:

  none               everything works (a check of the script itself)
  download-cut       RETR: half the file, an orderly close, then "226" as if all was sent
  download-abort     RETR: half the file, an orderly close, then "426" and "226"
  download-reset     RETR: half the file, then a reset of the data connection
  download-stall     RETR: half the file, then silence on both connections
  upload-cut         STOR: reads a little, closes the data connection, answers "426" and "226"
  upload-reset       STOR: reads a little, then resets the data connection
  upload-stall       STOR: reads everything, then never sends the final reply
  no-data-connection RETR and STOR: "150", then never opens the data connection
  silent             once logged in (TYPE and SYST answered), never answers another command
"""
import os
import socket
import struct
import sys
import time

port, fault, archive = int(sys.argv[1]), sys.argv[2], sys.argv[3]


def reply(conn, text):
    conn.sendall((text + "\r\n").encode())


def reset(sock):
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    sock.close()


def hang(*socks):
    # Keeps every connection open and says nothing until the client gives up and the test ends.
    while True:
        time.sleep(3600)


def open_data(address):
    data = socket.create_connection(address)
    return data


def retrieve(conn, address):
    with open(archive, "rb") as f:
        payload = f.read()
    reply(conn, "150 Opening BINARY mode data connection")
    if fault == "no-data-connection":
        hang(conn)
    data = open_data(address)
    if fault == "none":
        data.sendall(payload)
        data.close()
        reply(conn, "226 Transfer complete")
        return
    half = payload[: len(payload) // 2]
    data.sendall(half)
    if fault == "download-cut":
        data.close()
        reply(conn, "226 Transfer complete")
    elif fault == "download-abort":
        data.close()
        reply(conn, "426 Connection closed; transfer aborted")
        reply(conn, "226 Abort successful")
    elif fault == "download-reset":
        time.sleep(0.2)
        reset(data)
        reply(conn, "426 Connection reset")
        reply(conn, "226 Abort successful")
    elif fault == "download-stall":
        hang(conn, data)


def store(conn, address):
    reply(conn, "150 Ok to send data")
    if fault == "no-data-connection":
        hang(conn)
    data = open_data(address)
    if fault in ("none", "upload-stall"):
        while data.recv(65536):
            pass
        data.close()
        if fault == "upload-stall":
            hang(conn)
        reply(conn, "226 Transfer complete")
        return
    data.recv(1024)
    if fault == "upload-cut":
        data.shutdown(socket.SHUT_RDWR)
        data.close()
        reply(conn, "426 Connection closed; transfer aborted")
        reply(conn, "226 Abort successful")
    else:
        reset(data)
        reply(conn, "426 Connection reset")
        reply(conn, "226 Abort successful")


def serve(conn):
    reply(conn, "220 scripted server ready")
    address = None
    logged_in = False
    for raw in conn.makefile("rb"):
        line = raw.decode("latin-1").rstrip("\r\n")
        verb, _, arg = line.partition(" ")
        verb = verb.upper()
        if logged_in and fault == "silent" and verb not in ("TYPE", "SYST"):
            hang(conn)
        if verb == "USER":
            reply(conn, "331 Password required")
        elif verb == "PASS":
            logged_in = True
            reply(conn, "230 Logged in")
        elif verb == "TYPE":
            reply(conn, "200 Type set")
        elif verb == "SYST":
            reply(conn, "215 UNIX Type: L8")
        elif verb == "SIZE":
            try:
                with open(archive, "rb") as f:
                    reply(conn, "213 %d" % len(f.read()))
            except OSError:
                reply(conn, "550 No such file")
        elif verb == "PORT":
            n = [int(x) for x in arg.split(",")]
            address = (".".join(map(str, n[:4])), n[4] * 256 + n[5])
            reply(conn, "200 PORT command successful")
        elif verb == "RETR":
            retrieve(conn, address)
        elif verb == "STOR":
            store(conn, address)
        elif verb == "QUIT":
            reply(conn, "221 Goodbye")
            return
        else:
            reply(conn, "502 Command not implemented")


listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", port))
listener.listen(5)
os.write(1, b"ready\n")
os.dup2(os.open(os.devnull, os.O_WRONLY), 1)
while True:
    client, _ = listener.accept()
    try:
        serve(client)
    except OSError:
        pass
    finally:
        client.close()
