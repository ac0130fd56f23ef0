"""Base64-decodes and AES-decrypts every file of a directory in parallel, on
the worker processes of a Dask cluster: a local cluster of one process per
processor by default, or the cluster whose scheduler is named, with the
same code.

    python dask_decrypt.py SOURCE TARGET KEY_FILE [SCHEDULER_ADDRESS]

Each file of SOURCE holds the Base64 text of AES-ECB ciphertext with PKCS#7
padding under the key in KEY_FILE (16, 24 or 32 bytes); its plaintext is
written to the file of the same name in TARGET. On a cluster of several
machines, SOURCE and TARGET must be reachable from every worker (a shared
file system), and each worker needs korvalith installed.
"""

import os
import sys

# The functions that run on the workers reach the module's functions through
# _korvalith itself: the functions cannot travel to a worker on their own
# (their __module__, such as "base64", is no importable module that holds
# them), and a submodule taken with "from _korvalith import encodings" would
# arrive as the standard library's package of that name. _korvalith is
# imported by name on the worker, and the functions are found there.
import _korvalith
from dask.distributed import Client, LocalCluster


def decrypt_file(source, target, aes_key):
    """Writes the plaintext of the file `source` to `target`; returns its size."""
    with open(source, "rb") as encoded:
        ciphertext = _korvalith.encodings.base64.decode_bytes(encoded.read())
    plaintext = _korvalith.ciphers.aes.decrypt_ecb(ciphertext, aes_key, "pkcs")
    with open(target, "wb") as decrypted:
        decrypted.write(plaintext)
    return len(plaintext)


def file_pairs(source, target):
    """(name, source path, target path) of every file of the directory `source`."""
    names = sorted(entry.name for entry in os.scandir(source) if entry.is_file())
    return [(name, os.path.join(source, name), os.path.join(target, name)) for name in names]


def decrypt_directory(client, source, target, aes_key):
    """Decrypts every file of `source` into `target`, one task per file on the
    workers of `client`; returns {name: plaintext size}."""
    pairs = file_pairs(source, target)
    sizes = client.map(decrypt_file, [pair[1] for pair in pairs], [pair[2] for pair in pairs], aes_key=aes_key)
    return dict(zip([pair[0] for pair in pairs], client.gather(sizes)))


def decrypt_directory_serially(source, target, aes_key):
    """The same in this process, one file after another."""
    return {name: decrypt_file(source_path, target_path, aes_key)
            for name, source_path, target_path in file_pairs(source, target)}


def main(arguments):
    if len(arguments) not in (3, 4):
        sys.exit(__doc__)
    source, target, key_file = arguments[:3]
    with open(key_file, "rb") as key:
        aes_key = key.read()
    os.makedirs(target, exist_ok=True)
    if len(arguments) == 4:
        client = Client(arguments[3])
    else:
        client = Client(LocalCluster(processes=True, threads_per_worker=1, dashboard_address=None))
    with client:
        sizes = decrypt_directory(client, source, target, aes_key)
    print("%d files, %d bytes of plaintext" % (len(sizes), sum(sizes.values())))


if __name__ == "__main__":
    main(sys.argv[1:])
