"""pyftpdlib whose data connections move at most RATE bytes per second each way, so that an
upload lasts long enough to be killed at many points of its run.

usage: throttled_ftpd.py PORT USER PASSWORD HOME RATE
"""
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

port, user, password, home, rate = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5])

ThrottledDTPHandler.read_limit = rate
ThrottledDTPHandler.write_limit = rate
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, home, perm='elradfmwMT')
FTPHandler.authorizer = authorizer
FTPHandler.dtp_handler = ThrottledDTPHandler
FTPServer(('127.0.0.1', int(port)), FTPHandler).serve_forever()
