"""Refuses training data rendered with a sound source that is not on the allow-list.

allowed_sources.txt (beside this file) names every sound source training may
use by its sha256; a manifest line whose sources carry any other checksum,
or that is marked held out, stops the run before a single step is trained.
"""

import json
import os
import re

HERE = os.path.dirname(os.path.abspath(__file__))
ALLOW_LIST = os.path.join(HERE, "allowed_sources.txt")
_SHA256 = re.compile(r"\b[0-9a-f]{64}\b")


def allowed_checksums(path=ALLOW_LIST):
    """Every sha256 written on a non-comment line of the allow-list."""
    found = set()
    with open(path) as f:
        for line in f:
            line = line.split("#", 1)[0]
            found.update(_SHA256.findall(line.lower()))
    return found


class SourceRefused(Exception):
    pass


def check_manifest(manifest_path, allow_list=ALLOW_LIST):
    """Raises SourceRefused unless every clip's every source is allowed; returns the clip count."""
    if not os.path.exists(allow_list):
        raise SourceRefused(f"{allow_list} is missing: no sound source is allowed")
    allowed = allowed_checksums(allow_list)
    clips = 0
    with open(manifest_path) as f:
        for number, line in enumerate(f, 1):
            if not line.strip():
                continue
            record = json.loads(line)
            clips += 1
            if record.get("heldout"):
                raise SourceRefused(f"{manifest_path}:{number}: clip {record.get('id')} is held-out material")
            sources = record.get("sources") or []
            if not sources:
                raise SourceRefused(f"{manifest_path}:{number}: clip {record.get('id')} names no sound source")
            for source in sources:
                digest = str(source.get("sha256", "")).lower()
                if digest not in allowed:
                    raise SourceRefused(f"{manifest_path}:{number}: clip {record.get('id')} uses "
                                        f"{source.get('path', source.get('kind'))} (sha256 {digest or 'missing'}), "
                                        "which is not on the allow-list")
    return clips
