"""Makes a certificate authority and server certificates with the openssl program in FOLDER:
ca.pem; good, expired and otherhost (signed by it, *.pem and *.key); untrusted (self-signed).
good, expired and untrusted name localhost and 127.0.0.1, otherhost only other.example.
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
    subprocess.run(["openssl", *args], check=True, capture_output=True)


def leaf(name, names, dates):
    with open(name + ".ext", "w") as f:
        f.write(LEAF.format(names))
    run("req", *KEY, "-keyout", name + ".key", "-out", name + ".csr", "-subj", "/CN=" + names.split(",")[0][4:])
    run("ca", "-batch", "-config", "ca.cnf", "-cert", "ca.pem", "-keyfile", "ca.key", "-in", name + ".csr",
        "-out", name + ".pem", "-extfile", name + ".ext", *dates)


def main():
    os.chdir(sys.argv[1])
    with open("ca.cnf", "w") as f:
        f.write(CA_CONFIG)
    open("index.txt", "w").close()
    with open("serial", "w") as f:
        f.write("01\n")
    run("req", "-x509", *KEY, "-keyout", "ca.key", "-out", "ca.pem", "-days", "30", "-subj", "/CN=Nestbridge Test CA")
    leaf("good", LOCAL_NAMES, ["-days", "30"])
    leaf("otherhost", "DNS:other.example", ["-days", "30"])
    leaf("expired", LOCAL_NAMES, ["-startdate", "20200101000000Z", "-enddate", "20200201000000Z"])
    run("req", "-x509", *KEY, "-keyout", "untrusted.key", "-out", "untrusted.pem", "-days", "30",
        "-subj", "/CN=localhost", "-addext", "subjectAltName=" + LOCAL_NAMES)


if __name__ == "__main__":
    try:
        main()
        print("ready", flush=True)
    except (OSError, subprocess.CalledProcessError) as e:
        detail = getattr(e, "stderr", b"") or b""
        print("failed: {} {}".format(e, detail.decode(errors="replace").strip()), flush=True)
