#!/usr/bin/env python3
"""Synthesises the overlay's six sound effects into data/sounds/ (16-bit mono, 44.1 kHz).

The files are committed; run this again only to change how they sound.
"""
import math
import os
import random
import struct
import wave

RATE = 44100
OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "sounds")


def envelope(i, n, attack=0.004, release=0.5):
    t = i / RATE
    a = min(1.0, t / attack) if attack > 0 else 1.0
    r = math.exp(-t / (release * n / RATE)) if release > 0 else 1.0
    return a * r


def tone(freq_from, freq_to, seconds, volume=0.5, release=0.35):
    n = int(RATE * seconds)
    phase = 0.0
    out = []
    for i in range(n):
        f = freq_from + (freq_to - freq_from) * i / n
        phase += 2 * math.pi * f / RATE
        out.append(volume * envelope(i, n, release=release) * math.sin(phase))
    return out


def noise(seconds, volume=0.6, release=0.15, seed=7):
    rnd = random.Random(seed)
    n = int(RATE * seconds)
    out, last = [], 0.0
    for i in range(n):
        last = 0.6 * last + 0.4 * rnd.uniform(-1, 1)  # a darker noise
        out.append(volume * envelope(i, n, attack=0.001, release=release) * last)
    return out


def silence(seconds):
    return [0.0] * int(RATE * seconds)


def mix(*parts):
    n = max(len(p) for p in parts)
    return [sum(p[i] for p in parts if i < len(p)) for i in range(n)]


def write(name, samples):
    with wave.open(os.path.join(OUT, name), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(struct.pack("<h", int(max(-1, min(1, s)) * 32767)) for s in samples))


def main():
    os.makedirs(OUT, exist_ok=True)
    # A shutter: two soft clacks.
    write("Cap.wav", noise(0.06, 0.7) + silence(0.05) + mix(noise(0.09, 0.5, seed=3), tone(220, 180, 0.09, 0.2)))
    write("Click.wav", mix(noise(0.025, 0.5, 0.2, seed=11), tone(1800, 1500, 0.025, 0.25, 0.2)))
    write("Blip.wav", tone(1320, 1320, 0.07, 0.35))
    write("DoubleBlip.wav", tone(1320, 1320, 0.06, 0.35) + silence(0.04) + tone(1760, 1760, 0.07, 0.35))
    write("ZoomIn.wav", tone(420, 1250, 0.14, 0.4, 0.6))
    write("ZoomOut.wav", tone(1250, 420, 0.14, 0.4, 0.6))


if __name__ == "__main__":
    main()
