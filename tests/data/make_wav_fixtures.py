#!/usr/bin/python3
"""Writes the WAV fixtures of the signal tests into tests/data/wav.

Two kinds of files:
  sox_*.wav  written by sox from raw inputs that this script makes, so every
             sample value is known exactly (see tests/data/README.md).
  gen_*.wav  written here byte by byte: plain PCM (tag 1) variants that sox
             never writes - 24 bits, 3 channels, a LIST chunk before the data,
             odd-sized chunks, truncated headers and so on.

Usage: make_wav_fixtures.py [--out DIR] [--no-sox]
Only the standard library is used; sox must be on PATH unless --no-sox.
"""

import argparse
import os
import struct
import subprocess
import sys
import tempfile

COUNT = 300  # frames in each sox fixture


# --- sample values of the sox fixtures (the tests compute the same) ---------

def mono16(i):
    head = [-32768, -1, 0, 1, 32767]
    return head[i] if i < len(head) else (i * 1021) % 65536 - 32768


def stereo16(i):
    head = [(32767, 32767), (-32768, 32767), (-32768, -32768), (0, 0), (1, -1)]
    if i < len(head):
        return head[i]
    return ((i * 1021) % 65536 - 32768, (i * 3001) % 65536 - 32768)


def mono8(i):
    return i if i < 256 else (i * 37) % 256


def stereo8(i):
    head = [(0, 0), (255, 255), (128, 128), (0, 255), (128, 129)]
    if i < len(head):
        return head[i]
    return ((i * 7) % 256, (i * 13) % 256)


def mono_float(i):
    return (i % 64) / 64.0 - 0.5


# --- RIFF helpers ------------------------------------------------------------

def chunk(cid, body, size=None, pad=True):
    """A chunk with its 8-byte header; an odd body gets a zero pad byte if pad."""
    head = cid + struct.pack('<I', len(body) if size is None else size)
    tail = b'\x00' if pad and len(body) % 2 else b''
    return head + body + tail


def fmt_body(tag=1, channels=1, rate=44100, bits=16, extra=b''):
    width = (bits + 7) // 8
    return struct.pack('<HHIIHH', tag, channels, rate, rate * channels * width,
                       channels * width, bits) + extra


def riff(chunks, form=b'WAVE', rid=b'RIFF'):
    body = form + b''.join(chunks)
    return rid + struct.pack('<I', len(body)) + body


def pcm16(values):
    return struct.pack('<%dh' % len(values), *values)


BASE_SAMPLES = [-32768, -16384, 0, 16384, 32767]


def base_file(**fmt):
    return riff([chunk(b'fmt ', fmt_body(**fmt)), chunk(b'data', pcm16(BASE_SAMPLES))])


def generated_files():
    files = {}
    files['gen_pcm16_mono.wav'] = base_file()
    files['gen_pcm12_mono.wav'] = base_file(bits=12)
    files['gen_pcm24_mono.wav'] = riff([chunk(b'fmt ', fmt_body(bits=24)),
                                        chunk(b'data', b'\x00\x00\x80' * 4)])
    files['gen_pcm32_mono.wav'] = riff([chunk(b'fmt ', fmt_body(bits=32)),
                                        chunk(b'data', b'\x00\x00\x00\x80' * 4)])
    files['gen_pcm16_3ch.wav'] = riff([chunk(b'fmt ', fmt_body(channels=3)),
                                       chunk(b'data', pcm16([1, 2, 3] * 4))])
    files['gen_pcm16_0ch.wav'] = base_file(channels=0)
    files['gen_pcm16_48000.wav'] = base_file(rate=48000)
    files['gen_tag3_plain.wav'] = base_file(tag=3)
    files['gen_rifx_id.wav'] = riff([chunk(b'fmt ', fmt_body()),
                                     chunk(b'data', pcm16(BASE_SAMPLES))], rid=b'RIFX')
    files['gen_avi_form.wav'] = riff([chunk(b'fmt ', fmt_body()),
                                      chunk(b'data', pcm16(BASE_SAMPLES))], form=b'AVI ')
    files['gen_fxt_id.wav'] = riff([chunk(b'fxt ', fmt_body()),
                                    chunk(b'data', pcm16(BASE_SAMPLES))])
    files['gen_fmt_fourth_byte.wav'] = riff([chunk(b'fmtX', fmt_body()),
                                             chunk(b'data', pcm16(BASE_SAMPLES))])
    files['gen_fmt18.wav'] = riff([chunk(b'fmt ', fmt_body(extra=b'\x00\x00')),
                                   chunk(b'data', pcm16(BASE_SAMPLES))])
    # All 16 PCM field bytes are there, but the chunk claims only 14.
    files['gen_fmt14.wav'] = riff([chunk(b'fmt ', fmt_body(), size=14),
                                   chunk(b'data', pcm16(BASE_SAMPLES))])
    files['gen_fmt17_padded.wav'] = riff([chunk(b'fmt ', fmt_body(extra=b'\x07')),
                                          chunk(b'data', pcm16(BASE_SAMPLES))])
    info = b'INFO' + chunk(b'ISFT', b'make_wav_fixtures\x00')
    files['gen_list_before_data.wav'] = riff([chunk(b'fmt ', fmt_body()),
                                              chunk(b'LIST', info),
                                              chunk(b'data', pcm16(BASE_SAMPLES))])
    files['gen_odd_chunk_padded.wav'] = riff([chunk(b'fmt ', fmt_body()),
                                              chunk(b'junk', b'abc', pad=True),
                                              chunk(b'data', pcm16(BASE_SAMPLES))])
    files['gen_odd_chunk_unpadded.wav'] = riff([chunk(b'fmt ', fmt_body()),
                                                chunk(b'junk', b'abc', pad=False),
                                                chunk(b'data', pcm16(BASE_SAMPLES))])
    files['gen_no_data_chunk.wav'] = riff([chunk(b'fmt ', fmt_body()),
                                           chunk(b'LIST', info)])
    files['gen_huge_chunk_before_data.wav'] = riff([chunk(b'fmt ', fmt_body()),
                                                    chunk(b'junk', b'abcd', size=0xFFFFFFFF),
                                                    chunk(b'data', pcm16(BASE_SAMPLES))])
    # The data chunk announces 1000 bytes; 21 follow (10 whole 16-bit samples
    # and one stray byte).
    files['gen_data_overrun.wav'] = riff([chunk(b'fmt ', fmt_body()),
                                          chunk(b'data', pcm16(list(range(-5, 5))) + b'\x7f',
                                                size=1000, pad=False)])
    files['gen_pcm16_mono_1byte.wav'] = riff([chunk(b'fmt ', fmt_body()),
                                              chunk(b'data', b'\x01', pad=False)])
    # 4410 bytes of stereo: 1102 whole frames and one lone left value.
    frames = [(i, i - 1102) for i in range(1102)]
    flat = [v for frame in frames for v in frame] + [123]
    files['gen_pcm16_stereo_4410.wav'] = riff([chunk(b'fmt ', fmt_body(channels=2)),
                                               chunk(b'data', pcm16(flat))])
    # Cut the 16-bit mono base file at the start of every header field and
    # inside each one; every cut ends before the data chunk header is complete.
    base = files['gen_pcm16_mono.wav']
    for cut in [0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 21, 22, 23, 24, 26,
                28, 30, 32, 33, 34, 35, 36, 38, 40, 42]:
        files['gen_cut_at_%02d.wav' % cut] = base[:cut]
    # Cut right after the data chunk header: no sample bytes at all.
    files['gen_cut_at_44.wav'] = base[:44]
    return files


# --- sox fixtures --------------------------------------------------------------

def run_sox(args):
    subprocess.run(['sox', '-D'] + args, check=True)


def write_sox_files(out, tmp):
    def raw(name, data):
        path = os.path.join(tmp, name)
        with open(path, 'wb') as f:
            f.write(data)
        return path

    def path(name):
        return os.path.join(out, name)

    m16 = raw('m16.raw', pcm16([mono16(i) for i in range(COUNT)]))
    s16 = raw('s16.raw', pcm16([v for i in range(COUNT) for v in stereo16(i)]))
    m8 = raw('m8.raw', bytes(mono8(i) for i in range(COUNT)))
    s8 = raw('s8.raw', bytes(v for i in range(COUNT) for v in stereo8(i)))
    mf = raw('mf.raw', struct.pack('<%df' % COUNT, *[mono_float(i) for i in range(COUNT)]))
    empty = raw('empty.raw', b'')

    s16in = ['-t', 'raw', '-e', 'signed-integer', '-b', '16', '-L']
    u8in = ['-t', 'raw', '-e', 'unsigned-integer', '-b', '8']
    run_sox(s16in + ['-r', '44100', '-c', '1', m16, path('sox_pcm16_mono.wav')])
    run_sox(s16in + ['-r', '44100', '-c', '2', s16, path('sox_pcm16_stereo.wav')])
    run_sox(u8in + ['-r', '44100', '-c', '1', m8, path('sox_pcm8_mono.wav')])
    run_sox(u8in + ['-r', '44100', '-c', '2', s8, path('sox_pcm8_stereo.wav')])
    run_sox(s16in + ['-r', '22050', '-c', '1', m16, path('sox_pcm16_22050.wav')])
    run_sox(['-t', 'raw', '-e', 'floating-point', '-b', '32', '-L', '-r', '44100', '-c', '1',
             mf, path('sox_float32_mono.wav')])
    run_sox(s16in + ['-r', '44100', '-c', '1', m16, '-b', '24', path('sox_pcm24_mono.wav')])
    run_sox(s16in + ['-r', '44100', '-c', '1', empty, path('sox_pcm16_empty.wav')])


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser()
    parser.add_argument('--out', default=os.path.join(here, 'wav'))
    parser.add_argument('--no-sox', action='store_true')
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    for name, data in sorted(generated_files().items()):
        with open(os.path.join(args.out, name), 'wb') as f:
            f.write(data)
    if not args.no_sox:
        with tempfile.TemporaryDirectory() as tmp:
            write_sox_files(args.out, tmp)
    return 0


if __name__ == '__main__':
    sys.exit(main())
