"""pyftpdlib speaking another code page than UTF-8 on its control connection, as servers that
serve Korean Windows clients do. Usage: encoded_ftpd.py PORT USER_HEX PASSWORD_HEX HOME ENCODING
(user and password as the hex of their UTF-8 bytes, so that any text survives the command line)."""
import asynchat  # pyftpdlib's own base
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

port, user, password, home, encoding = (int(sys.argv[1]), bytes.fromhex(sys.argv[2]).decode(),
                                        bytes.fromhex(sys.argv[3]).decode(), sys.argv[4], sys.argv[5])


class EncodedHandler(FTPHandler):
    def decode(self, data):
        return data.decode(encoding, self.unicode_errors)

    def push(self, s):
        asynchat.async_chat.push(self, s.encode(encoding, 'replace'))


authorizer = DummyAuthorizer()
authorizer.add_user(user, password, home, perm='elradfmwMT')
EncodedHandler.authorizer = authorizer
FTPServer(('127.0.0.1', port), EncodedHandler).serve_forever()
