"""pyftpdlib whose SIZE answer is off by a given number of bytes: a transfer that comes up
short (or long) against what the server announced, which a correct server never produces."""
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

port, user, password, home, bonus = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5])


class LyingHandler(FTPHandler):
    def ftp_SIZE(self, path):
        try:
            size = self.run_as_current_user(self.fs.getsize, path)
        except OSError as err:
            self.respond('550 %s.' % err.strerror)
            return
        self.respond('213 %s' % (size + bonus))


authorizer = DummyAuthorizer()
authorizer.add_user(user, password, home, perm='elradfmwMT')
LyingHandler.authorizer = authorizer
FTPServer(('127.0.0.1', int(port)), LyingHandler).serve_forever()
