"""The polyphonic network, as PyTorch trains it and the C++ code runs it.

Input: the spectrogram, B x T x 348 (frames x bins, see LevelGrid.h).
Harmonic stacking: copies of the grid over notes 21..108 (264 bins),
shifted by harmonics h such as 1/2, 1, 2, 3, 4, 5 (round(36 log2 h) bins),
zeros where a shift leaves the grid. Then 2-D convolutions over (time, frequency)
at three bins per semitone, one that steps three bins to semitone
resolution (88), wider and temporal ones there, and a 1 x 1 head with four
outputs per frame and note: onset, sounding, offset and velocity (all
through a sigmoid).

Every layer is a `Conv` record so that export.py can write the same
network for the C++ inference (Network.h) without knowing PyTorch.
"""

import math
from dataclasses import dataclass

import torch
import torch.nn as nn
import torch.nn.functional as F

BINS = 348
NOTE_BINS = 264
NOTES = 88
OUTPUTS = ("onset", "sounding", "offset", "velocity")


def shifts(harmonics):
    """Bins between a note and its harmonic h: round(36 log2 h)."""
    return tuple(int(round(36 * math.log2(h))) for h in harmonics)


@dataclass(frozen=True)
class Conv:
    """One convolution over (time, frequency), 'same' in time.

    source: index of the layer whose output it reads (-1: the stacked input),
    or a tuple of them, concatenated along channels (in that order).
    Frequency: output bin j reads input bins j * stride - pad + 0 .. kf - 1.
    """
    source: object
    cin: int
    cout: int
    kt: int
    kf: int
    stride: int = 1
    pad: int = -1        # -1: (kf - 1) // 2
    dilation: int = 1    # in time
    relu: bool = True
    norm: bool = True    # batch norm (folded into the weights on export)

    def padding(self):
        return (self.kf - 1) // 2 if self.pad < 0 else self.pad


@dataclass(frozen=True)
class Architecture:
    harmonics: tuple  # of the stack, in channel order
    layers: tuple     # of Conv


HARMONICS = (0.5, 1, 2, 3, 4, 5)
# With the third and fourth subharmonics too, a filter at a note also sees
# the notes whose third and fourth partials it could be.
SUBHARMONICS = (0.25, 1 / 3, 0.5, 1, 2, 3, 4, 5)

ARCHITECTURES = {
    # 1.1 M multiply-adds per frame.
    "base": Architecture(HARMONICS, (
        Conv(-1, 6, 16, 3, 3),
        Conv(0, 16, 16, 3, 3, stride=3, pad=0),
        Conv(1, 16, 24, 1, 13),
        Conv(2, 24, 24, 5, 1),
        Conv(3, 24, 4, 1, 1, relu=False, norm=False),
    )),
    # Onset features of their own, which the sounding path reads beside the
    # shared ones, and a longer reach in time for the sounding path:
    # 1.66 M multiply-adds per frame.
    "dual": Architecture(HARMONICS, (
        Conv(-1, 6, 16, 3, 3),
        Conv(0, 16, 16, 3, 3, stride=3, pad=0),
        Conv(1, 16, 24, 1, 13),
        Conv(2, 24, 16, 3, 1),
        Conv((2, 3), 40, 24, 5, 1),
        Conv(4, 24, 24, 5, 1, dilation=2),
        Conv((3, 5), 40, 4, 1, 1, relu=False, norm=False),
    )),
    # Straight to semitones in the first layer (a 5-bin kernel stepping 3),
    # so no activation is kept at three bins per semitone, and the work goes
    # into the semitone grid: 1.9 M multiply-adds per frame.
    "semi8": Architecture(SUBHARMONICS, (
        Conv(-1, 8, 24, 3, 5, stride=3, pad=1),
        Conv(0, 24, 24, 3, 3),
        Conv(1, 24, 24, 1, 13),
        Conv(2, 24, 24, 5, 1),
        Conv(3, 24, 24, 5, 1, dilation=3),
        Conv((2, 4), 48, 4, 1, 1, relu=False, norm=False),
    )),
}


def stack(x, shifts):
    """B x T x 348 -> B x 6 x T x 264, laid out channels last: mkldnn's first
    convolution runs about a quarter faster on it than on a contiguous copy."""
    outs = []
    for s in shifts:
        if s < 0:
            y = F.pad(x[:, :, :NOTE_BINS + s], (-s, 0))
        else:
            y = x[:, :, s:s + NOTE_BINS]
            if y.shape[-1] < NOTE_BINS:
                y = F.pad(y, (0, NOTE_BINS - y.shape[-1]))
        outs.append(y)
    return torch.stack(outs, -1).permute(0, 3, 1, 2)


class Network(nn.Module):
    def __init__(self, architecture):
        super().__init__()
        self.harmonics = architecture.harmonics
        self.shifts = shifts(architecture.harmonics)
        self.layers = layers = architecture.layers
        self.convs = nn.ModuleList()
        self.norms = nn.ModuleList()
        for c in layers:
            self.convs.append(nn.Conv2d(c.cin, c.cout, (c.kt, c.kf), stride=(1, c.stride),
                                        padding=(c.dilation * (c.kt - 1) // 2, c.padding()),
                                        dilation=(c.dilation, 1), bias=not c.norm))
            self.norms.append(nn.BatchNorm2d(c.cout) if c.norm else nn.Identity())

    def forward(self, x):
        """Logits B x 4 x T x 88 of B x T x 348 features."""
        inputs = stack(x, self.shifts)
        outs = []
        for c, conv, norm in zip(self.layers, self.convs, self.norms):
            sources = c.source if isinstance(c.source, tuple) else (c.source,)
            h = torch.cat([inputs if s < 0 else outs[s] for s in sources], 1)
            h = norm(conv(h))
            outs.append(F.relu(h) if c.relu else h)
        return outs[-1]


def multiply_adds(layers):
    """Multiply-adds per frame."""
    total = 0
    width = NOTE_BINS
    widths = []
    for c in layers:
        sources = c.source if isinstance(c.source, tuple) else (c.source,)
        w_in = NOTE_BINS if sources[0] < 0 else widths[sources[0]]
        w_out = (w_in + 2 * c.padding() - c.kf) // c.stride + 1
        widths.append(w_out)
        total += c.cin * c.cout * c.kt * c.kf * w_out
    del width
    return total
