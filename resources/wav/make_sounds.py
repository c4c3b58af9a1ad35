#!/usr/bin/env python3
"""Writes the built-in alert sounds: short, soft sine chimes.

    python3 resources/wav/make_sounds.py   # rewrites the .wav files beside this script

The output is deterministic; the files are committed, so the build needs no
Python. Mono, 16 bit, 22050 Hz, each well under a second.
"""

import math
import os
import struct
import wave

RATE = 22050
PEAK = 0.45  # of full scale: an alert, not an alarm


def note(freq, start, length, loudness=1.0):
    """One bell-like note: a sine with a quiet octave, soft attack, exponential decay."""
    return (freq, start, length, loudness)


def render(notes, seconds):
    samples = [0.0] * int(RATE * seconds)
    for freq, start, length, loudness in notes:
        first = int(start * RATE)
        count = int(length * RATE)
        for i in range(count):
            if first + i >= len(samples):
                break
            t = i / RATE
            attack = min(1.0, t / 0.008)
            decay = math.exp(-t * 4.5 / length)
            # The last 20 ms fade to zero so the note ends without a click.
            release = min(1.0, (length - t) / 0.02)
            tone = math.sin(2 * math.pi * freq * t) + 0.18 * math.sin(2 * math.pi * 2 * freq * t)
            samples[first + i] += loudness * attack * decay * release * tone
    top = max(abs(s) for s in samples) or 1.0
    return [s / top * PEAK for s in samples]


def write(path, samples):
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(b"".join(struct.pack("<h", int(round(s * 32767))) for s in samples))


SOUNDS = {
    # A call started: a rising fourth, G5 then C6.
    "d_conn.wav": ([note(783.99, 0.0, 0.35), note(1046.50, 0.14, 0.45)], 0.6),
    # A call ended: the same two notes falling.
    "d_disc.wav": ([note(1046.50, 0.0, 0.35), note(783.99, 0.14, 0.45)], 0.6),
    # The codec is gone: three lower notes stepping down, E5 C5 A4.
    "cnn_lost.wav": ([note(659.25, 0.0, 0.3), note(523.25, 0.16, 0.3), note(440.00, 0.32, 0.5, 1.1)], 0.85),
}


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for name, (notes, seconds) in SOUNDS.items():
        write(os.path.join(here, name), render(notes, seconds))


if __name__ == "__main__":
    main()
