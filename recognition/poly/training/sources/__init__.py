"""The sound sources the training data is rendered with.

Each source renders a music.Piece to mono float32 samples at 44100 Hz and
describes itself for the manifest: kind, path, sha256 (for a set of files, a
digest over their sorted relative paths and sha256s) and the programs played.
"""

import functools
import hashlib
import os


@functools.lru_cache(maxsize=None)
def file_sha256(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def tree_digest(root, paths):
    """sha256 over the lines '<sha256>  <path relative to root>' of the sorted files."""
    h = hashlib.sha256()
    for rel in sorted(os.path.relpath(p, root) for p in paths):
        h.update(f"{file_sha256(os.path.join(root, rel))}  {rel}\n".encode())
    return h.hexdigest()
