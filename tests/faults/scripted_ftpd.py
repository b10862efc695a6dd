"""An FTP server that misbehaves on purpose, for the transfer faults no real server produces.

usage: scripted_ftpd.py PORT FAULT ARCHIVE_FILE

It logs anyone in and serves the folder that holds ARCHIVE_FILE: TYPE, SYST, SIZE, RETR,
STOR, RNFR/RNTO, DELE and ABOR, over active (PORT) or passive (PASV) data connections.
FAULT decides what goes wrong:

  none                 everything works (a check of the script itself)
  download-cut         RETR: half the file, an orderly close, then "226" as if all was sent
  download-abort       RETR: half the file, an orderly close, then "426" and "226"
  download-reset       RETR: half the file, then a reset of the data connection
  download-stall       RETR: half the file, then silence on both connections
  upload-cut           STOR: reads a little, closes the data connection, answers "426" and "226"
  upload-reset         STOR: reads a little, then resets the data connection
  upload-stall         STOR: reads everything, then never sends the final reply
  upload-stop-reading  STOR: opens the data connection with a small window and never reads it
  upload-short         STOR: keeps all but the last 100 bytes and answers "226"
  no-data-connection   RETR and STOR: "150", then never opens the data connection nor reads
  no-connect-back      active RETR and STOR: "150", never connects; ABOR gets "425", "225"
  port-refused         PORT: "500"
  rnfr-refused         RNFR: "550 Permission denied"
  renames-unsupported  RNFR: "502"
  rnto-no-overwrite    RNTO onto an existing file: "553"
  rnto-refused         RNTO: always "553"
  silent               once logged in (TYPE and SYST answered), never answers another command
"""
import os
import socket
import struct
import sys
import time

port, fault, archive = int(sys.argv[1]), sys.argv[2], sys.argv[3]
home = os.path.dirname(os.path.abspath(archive))


def reply(conn, text):
    conn.sendall((text + "\r\n").encode())


def reset(sock):
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    sock.close()


def hang(*socks):
    # Keeps every connection open and says nothing until the client gives up and the test ends.
    while True:
        time.sleep(3600)


def path_of(name):
    return os.path.join(home, os.path.basename(name))


class Session:
    def __init__(self, conn):
        self.conn = conn
        self.lines = conn.makefile("rb")
        self.active = None
        self.passive = None
        self.rename_from = None

    def command(self):
        raw = self.lines.readline()
        if not raw:
            return None, ""
        verb, _, arg = raw.decode("latin-1").rstrip("\r\n").partition(" ")
        return verb.upper(), arg

    def open_data(self, small_window=False):
        if self.passive:
            data, _ = self.passive.accept()
            self.passive.close()
            self.passive = None
            return data
        data = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        if small_window:
            data.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        data.connect(self.active)
        return data

    def unopened(self):
        """An active transfer whose data connection this server never opens."""
        if fault == "no-data-connection":
            hang(self.conn)
        if fault == "no-connect-back" and not self.passive:
            verb, _ = self.command()
            if verb == "ABOR":
                reply(self.conn, "425 Cannot open data connection")
                reply(self.conn, "225 No transfer to abort")
            return True
        return False

    def retrieve(self, name):
        try:
            with open(path_of(name), "rb") as f:
                payload = f.read()
        except OSError:
            reply(self.conn, "550 No such file")
            return
        reply(self.conn, "150 Opening BINARY mode data connection")
        if self.unopened():
            return
        data = self.open_data()
        if not fault.startswith("download-"):
            data.sendall(payload)
            data.close()
            reply(self.conn, "226 Transfer complete")
            return
        data.sendall(payload[: len(payload) // 2])
        if fault == "download-cut":
            data.close()
            reply(self.conn, "226 Transfer complete")
        elif fault == "download-abort":
            data.close()
            reply(self.conn, "426 Connection closed; transfer aborted")
            reply(self.conn, "226 Abort successful")
        elif fault == "download-reset":
            time.sleep(0.2)
            reset(data)
            reply(self.conn, "426 Connection reset")
            reply(self.conn, "226 Abort successful")
        elif fault == "download-stall":
            hang(self.conn, data)

    def store(self, name):
        reply(self.conn, "150 Ok to send data")
        if self.unopened():
            return
        data = self.open_data(small_window=fault == "upload-stop-reading")
        if fault == "upload-stop-reading":
            hang(self.conn, data)
        if fault in ("upload-cut", "upload-reset"):
            with open(path_of(name), "wb") as f:
                f.write(data.recv(1024))
            if fault == "upload-cut":
                data.shutdown(socket.SHUT_RDWR)
                data.close()
                reply(self.conn, "426 Connection closed; transfer aborted")
            else:
                reset(data)
                reply(self.conn, "426 Connection reset")
            reply(self.conn, "226 Abort successful")
            return
        received = bytearray()
        while True:
            piece = data.recv(65536)
            if not piece:
                break
            received += piece
        data.close()
        if fault == "upload-short":
            received = received[:-100]
        with open(path_of(name), "wb") as f:
            f.write(received)
        if fault == "upload-stall":
            hang(self.conn)
        reply(self.conn, "226 Transfer complete")

    def rename_to(self, name):
        source, self.rename_from = self.rename_from, None
        target = path_of(name)
        if fault == "rnto-refused" or (fault == "rnto-no-overwrite" and os.path.exists(target)):
            reply(self.conn, "553 Requested action not taken; file name not allowed")
        elif source is None:
            reply(self.conn, "503 RNFR first")
        else:
            os.rename(source, target)
            reply(self.conn, "250 Rename successful")

    def serve(self):
        reply(self.conn, "220 scripted server ready")
        logged_in = False
        while True:
            verb, arg = self.command()
            if verb is None:
                return
            if logged_in and fault == "silent" and verb not in ("TYPE", "SYST"):
                hang(self.conn)
            if verb == "USER":
                reply(self.conn, "331 Password required")
            elif verb == "PASS":
                logged_in = True
                reply(self.conn, "230 Logged in")
            elif verb == "TYPE":
                reply(self.conn, "200 Type set")
            elif verb == "SYST":
                reply(self.conn, "215 UNIX Type: L8")
            elif verb == "SIZE":
                try:
                    reply(self.conn, "213 %d" % os.path.getsize(path_of(arg)))
                except OSError:
                    reply(self.conn, "550 No such file")
            elif verb == "PORT":
                if fault == "port-refused":
                    reply(self.conn, "500 PORT not allowed here")
                    continue
                n = [int(x) for x in arg.split(",")]
                self.active = (".".join(map(str, n[:4])), n[4] * 256 + n[5])
                self.passive = None
                reply(self.conn, "200 PORT command successful")
            elif verb == "PASV":
                self.passive = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
                self.passive.bind(("127.0.0.1", 0))
                self.passive.listen(1)
                p = self.passive.getsockname()[1]
                reply(self.conn, "227 Entering Passive Mode (127,0,0,1,%d,%d)" % (p // 256, p % 256))
            elif verb == "RETR":
                self.retrieve(arg)
            elif verb == "STOR":
                self.store(arg)
            elif verb == "RNFR":
                if fault == "rnfr-refused":
                    reply(self.conn, "550 Permission denied")
                elif fault == "renames-unsupported":
                    reply(self.conn, "502 Command not implemented")
                elif os.path.exists(path_of(arg)):
                    self.rename_from = path_of(arg)
                    reply(self.conn, "350 Ready for RNTO")
                else:
                    reply(self.conn, "550 No such file")
            elif verb == "RNTO":
                self.rename_to(arg)
            elif verb == "DELE":
                try:
                    os.remove(path_of(arg))
                    reply(self.conn, "250 Deleted")
                except OSError:
                    reply(self.conn, "550 No such file")
            elif verb == "ABOR":
                reply(self.conn, "225 No transfer to abort")
            elif verb == "QUIT":
                reply(self.conn, "221 Goodbye")
                return
            else:
                reply(self.conn, "502 Command not implemented")


listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", port))
listener.listen(5)
os.dup2(os.open(os.devnull, os.O_WRONLY), 1)
while True:
    client, _ = listener.accept()
    try:
        Session(client).serve()
    except OSError:
        pass
    finally:
        client.close()
