"""Makes a certificate authority and server certificates with the openssl program in FOLDER:
ca.pem; good, expired and otherhost (signed by it, *.pem and *.key); untrusted (self-signed).
good, expired and untrusted name localhost and 127.0.0.1, otherhost only other.example.
Every ECDSA signature is made with r and s of full length (32 bytes): Wine's crypt32 joins them
without padding, so a signature with a leading zero byte in either (about 1 in 128) fails there.
Prints "ready" when done, or "failed: <reason>"."""
import os
import subprocess
import sys

KEY = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
CA_CONFIG = """[ca]
default_ca = test_ca
[test_ca]
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = any_name
unique_subject = no
[any_name]
commonName = supplied
"""
LEAF = "basicConstraints=critical,CA:FALSE\nextendedKeyUsage=serverAuth\nsubjectAltName={}\n"
LOCAL_NAMES = "DNS:localhost,IP:127.0.0.1"


def run(*args):
    return subprocess.run(["openssl", *args], check=True, capture_output=True).stdout


def tlv(der, at):
    """The content's start and length of the DER element at `at`."""
    length, at = der[at + 1], at + 2
    if length & 0x80:
        count = length & 0x7F
        length, at = int.from_bytes(der[at:at + count], "big"), at + count
    return at, length


def full_length_signature(pem):
    der = run("x509", "-in", pem, "-outform", "DER")
    at, _ = tlv(der, 0)  # Certificate
    for _ in range(2):  # past tbsCertificate and signatureAlgorithm
        start, length = tlv(der, at)
        at = start + length
    start, length = tlv(der, at)
    signature = der[start + 1:start + length]  # the BIT STRING's unused-bits byte left out
    at, _ = tlv(signature, 0)
    for _ in range(2):  # r, then s
        start, length = tlv(signature, at)
        if len(signature[start:start + length].lstrip(b"\0")) != 32:
            return False
        at = start + length
    return True


def signed(make, pem):
    for _ in range(64):
        make()
        if full_length_signature(pem):
            return
    raise OSError("no full-length ECDSA signature for " + pem)


def leaf(name, names, dates):
    with open(name + ".ext", "w") as f:
        f.write(LEAF.format(names))
    run("req", *KEY, "-keyout", name + ".key", "-out", name + ".csr", "-subj", "/CN=" + names.split(",")[0][4:])
    signed(lambda: run("ca", "-batch", "-config", "ca.cnf", "-cert", "ca.pem", "-keyfile", "ca.key", "-in",
                       name + ".csr", "-out", name + ".pem", "-extfile", name + ".ext", *dates), name + ".pem")


def main():
    os.chdir(sys.argv[1])
    with open("ca.cnf", "w") as f:
        f.write(CA_CONFIG)
    open("index.txt", "w").close()
    with open("serial", "w") as f:
        f.write("01\n")
    signed(lambda: run("req", "-x509", *KEY, "-keyout", "ca.key", "-out", "ca.pem", "-days", "30",
                       "-subj", "/CN=Nestbridge Test CA"), "ca.pem")
    leaf("good", LOCAL_NAMES, ["-days", "30"])
    leaf("otherhost", "DNS:other.example", ["-days", "30"])
    leaf("expired", LOCAL_NAMES, ["-startdate", "20200101000000Z", "-enddate", "20200201000000Z"])
    signed(lambda: run("req", "-x509", *KEY, "-keyout", "untrusted.key", "-out", "untrusted.pem", "-days", "30",
                       "-subj", "/CN=localhost", "-addext", "subjectAltName=" + LOCAL_NAMES), "untrusted.pem")


if __name__ == "__main__":
    try:
        main()
        print("ready", flush=True)
    except (OSError, subprocess.CalledProcessError) as e:
        detail = getattr(e, "stderr", b"") or b""
        print("failed: {} {}".format(e, detail.decode(errors="replace").strip()), flush=True)
