"""pyftpdlib for one user on 127.0.0.1, with explicit TLS (or without, --plain), writing the name
of every command it receives to --log, one a line, so that a test can tell what arrived."""
import argparse
import logging
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, TLS_FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--home", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--plain", action="store_true")
    parser.add_argument("--auth-delay", type=float, default=0, help="seconds before answering AUTH")
    args = parser.parse_args()
    logging.basicConfig(level=logging.CRITICAL)

    base = FTPHandler if args.plain else TLS_FTPHandler
    log = open(args.log, "a", buffering=1)

    class Handler(base):
        def pre_process_command(self, line, cmd, arg):
            log.write(cmd + "\n")
            if cmd == "AUTH" and args.auth_delay > 0:
                time.sleep(args.auth_delay)
            return super().pre_process_command(line, cmd, arg)

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.home, perm="elradfmwMT")
    Handler.authorizer = authorizer
    if not args.plain:
        Handler.certfile = args.cert
        Handler.keyfile = args.key
        Handler.tls_control_required = True
        Handler.tls_data_required = True
    server = FTPServer(("127.0.0.1", args.port), Handler)
    server.serve_forever()


if __name__ == "__main__":
    main()
