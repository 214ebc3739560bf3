#!/usr/bin/env python3
"""Writes chord.wav, the soft "not an MP3" sound: a C major chord (C5 E5 G5 C6) struck
like a quick strum, each note a sine with two quiet overtones and a bell-like decay.
0.9 s, 44.1 kHz, 16-bit mono PCM (about 80 KB, far below the 1 MiB the program accepts).

usage: gen_chord.py OUTPUT_WAV
"""

import math
import struct
import sys
import wave

RATE = 44100
SECONDS = 0.9
NOTES_HZ = (523.25, 659.26, 783.99, 1046.50)
STRUM_SECONDS = 0.028          # delay between successive notes
ATTACK_SECONDS = 0.006
DECAY_SECONDS = 0.32           # time constant of the exponential decay
FADE_OUT_SECONDS = 0.08        # the last stretch goes smoothly to silence
OVERTONES = ((1, 1.0), (2, 0.28), (3, 0.08))   # (multiple of the note, relative level)
PEAK = 0.7                     # of full scale


def note_sample(freq, t):
    if t < 0:
        return 0.0
    envelope = min(1.0, t / ATTACK_SECONDS) * math.exp(-t / DECAY_SECONDS)
    # Overtones die away faster than the fundamental, as on a struck string or bell.
    return sum(level * math.exp(-t * (k - 1) * 3.0) * math.sin(2 * math.pi * freq * k * t)
               for k, level in OVERTONES) * envelope


def main():
    total = int(RATE * SECONDS)
    fade_start = total - int(RATE * FADE_OUT_SECONDS)
    samples = []
    for n in range(total):
        t = n / RATE
        value = sum(note_sample(f, t - i * STRUM_SECONDS) for i, f in enumerate(NOTES_HZ))
        if n >= fade_start:
            value *= 0.5 * (1 + math.cos(math.pi * (n - fade_start) / (total - fade_start)))
        samples.append(value)
    scale = PEAK / max(abs(s) for s in samples)
    pcm = b"".join(struct.pack("<h", round(s * scale * 32767)) for s in samples)
    with wave.open(sys.argv[1], "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(pcm)


if __name__ == "__main__":
    main()
