"""WAV files and small signal helpers shared by the renderers and the augmentation."""

import struct
import wave

import numpy as np

RATE = 44100


def write_wav16(path, samples):
    """Writes mono float samples (clipped to -1..1) as a 16-bit PCM WAV at 44100 Hz."""
    pcm = np.clip(np.round(np.asarray(samples, dtype=np.float64) * 32767.0), -32768, 32767).astype("<i2")
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(pcm.tobytes())


def read_wav(path):
    """(mono float32 samples, rate) of a PCM (8/16/24/32-bit) or float WAV; channels are averaged."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise ValueError(f"{path}: not a RIFF WAVE file")
    at = 12
    fmt = None
    while at + 8 <= len(data):
        chunk, size = data[at:at + 4], struct.unpack("<I", data[at + 4:at + 8])[0]
        body = data[at + 8:at + 8 + size]
        if chunk == b"fmt ":
            fmt = list(struct.unpack("<HHIIHH", body[:16]))
            if fmt[0] == 0xFFFE and len(body) >= 26:  # WAVE_FORMAT_EXTENSIBLE: the subformat's code
                fmt[0] = struct.unpack("<H", body[24:26])[0]
        elif chunk == b"data":
            if fmt is None:
                raise ValueError(f"{path}: data chunk before the fmt chunk")
            code, channels, rate, _, _, bits = fmt
            if code == 3 and bits == 32:
                x = np.frombuffer(body[: len(body) // 4 * 4], dtype="<f4").astype(np.float32)
            elif bits == 16:
                x = np.frombuffer(body[: len(body) // 2 * 2], dtype="<i2").astype(np.float32) / 32768.0
            elif bits == 24:
                b = np.frombuffer(body[: len(body) // 3 * 3], dtype=np.uint8).reshape(-1, 3).astype(np.int32)
                v = b[:, 0] | (b[:, 1] << 8) | (b[:, 2] << 16)
                v = np.where(v >= 1 << 23, v - (1 << 24), v)
                x = v.astype(np.float32) / float(1 << 23)
            elif bits == 32:
                x = np.frombuffer(body[: len(body) // 4 * 4], dtype="<i4").astype(np.float32) / 2147483648.0
            elif bits == 8:
                x = (np.frombuffer(body, dtype=np.uint8).astype(np.float32) - 128.0) / 128.0
            else:
                raise ValueError(f"{path}: {bits}-bit samples are not read")
            x = x[: len(x) // channels * channels].reshape(-1, channels).mean(axis=1)
            return x.astype(np.float32), rate
        at += 8 + size + (size & 1)
    raise ValueError(f"{path}: no data chunk")


def fit_length(x, count):
    """x cut or padded with zeros to count samples."""
    if len(x) >= count:
        return x[:count]
    return np.concatenate([x, np.zeros(count - len(x), dtype=x.dtype)])


def read_at(x, position):
    """x linearly interpolated at the (non-negative, increasing) fractional sample positions;
    positions past the end read the last sample."""
    position = np.minimum(position, len(x) - 1.0)
    index = np.minimum(position.astype(np.int64), len(x) - 2)
    fraction = (position - index).astype(np.float32)
    return x[index] + fraction * (x[index + 1] - x[index])
