"""The Dask example of README.md (examples/dask_decrypt.py): a directory of
files Base64-decoded and AES-decrypted by the worker processes of a local
cluster gives, file for file, what the serial run gives, and the plaintexts
that were encrypted. Needs the dask and distributed that requirements/dask.txt
pins (`nox -s installed` installs them); without them it is reported as
skipped."""

import os
import sys
import tempfile
import unittest

import _korvalith

import pinned

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir))
EXAMPLE = os.path.join(ROOT, "examples", "dask_decrypt.py")


def load_tests(loader, tests, pattern):
    reason = pinned.skip_reason("the Dask example's test", "dask.txt", "dask", "distributed")
    return pinned.skipped_suite(reason) if reason else tests


class DaskExampleTest(unittest.TestCase):
    def test_workers_decrypt_what_the_serial_run_decrypts(self):
        sys.path.insert(0, os.path.dirname(EXAMPLE))
        self.addCleanup(sys.path.remove, os.path.dirname(EXAMPLE))
        import dask_decrypt
        from dask.distributed import Client, LocalCluster

        key = bytes(range(24))
        # Sizes around the 16-byte block, an empty file, and larger ones.
        plaintexts = {"f%02d" % number: os.urandom(size)
                      for number, size in enumerate((0, 1, 15, 16, 17, 1000, 65536, 1 << 20))}
        with tempfile.TemporaryDirectory() as work:
            source, parallel, serial = (os.path.join(work, name) for name in ("source", "parallel", "serial"))
            for directory in (source, parallel, serial):
                os.mkdir(directory)
            for name, plaintext in plaintexts.items():
                ciphertext = _korvalith.ciphers.aes.encrypt_ecb(plaintext, key, "pkcs")
                with open(os.path.join(source, name), "wb") as file:
                    file.write(_korvalith.encodings.base64.encode_bytes(ciphertext))
            with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                              dashboard_address=None) as cluster, Client(cluster) as client:
                sizes = dask_decrypt.decrypt_directory(client, source, parallel, key)
                # The tasks ran in the workers' processes, not in this one.
                workers = client.run(os.getpid)
            self.assertEqual(len(set(workers.values()) - {os.getpid()}), 2)
            self.assertEqual(dask_decrypt.decrypt_directory_serially(source, serial, key), sizes)
            self.assertEqual(sizes, {name: len(plaintext) for name, plaintext in plaintexts.items()})
            for name, plaintext in plaintexts.items():
                with open(os.path.join(parallel, name), "rb") as got, open(os.path.join(serial, name), "rb") as want:
                    self.assertEqual(got.read(), want.read())
                with open(os.path.join(parallel, name), "rb") as got:
                    self.assertEqual(got.read(), plaintext)


if __name__ == "__main__":
    unittest.main()
