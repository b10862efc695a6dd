"""Records every packet on the loopback interface into FILE (raw frames, one after another)
until it is ended; prints "ready" once it listens. Needs CAP_NET_RAW (root)."""
import socket
import sys


def main():
    try:
        s = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(0x0003))
        s.bind(("lo", 0))
    except OSError as e:
        print("failed: {}".format(e), flush=True)
        return
    with open(sys.argv[1], "wb", buffering=0) as out:
        print("ready", flush=True)
        while True:
            out.write(s.recv(65536))


if __name__ == "__main__":
    main()
