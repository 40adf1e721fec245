#!/usr/bin/env python3
"""Writes transport_vectors.json: frames and base-45 texts from a separate, straightforward
implementation of the frame format (Python integers and floats), for the C++ tests to match."""
import json
import math
import random

ALPHABET = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ*+-./: $%"
LOG2_45 = math.log10(45) / math.log10(2)


def chars_for(n):
    return 118 if n == 81 else math.ceil(n * 8 / LOG2_45)


def b45_chunk(chunk):
    value = int.from_bytes(chunk, "little")
    digits = ""
    while value:
        value, r = divmod(value, 45)
        digits += ALPHABET[r]
    return digits.ljust(chars_for(len(chunk)), "0")[::-1]


def b45(data):
    return "".join(b45_chunk(data[i:i + 81]) for i in range(0, len(data), 81))


class Prng:
    def __init__(self, seed):
        self.seed = seed

    def rand(self):
        self.seed = (self.seed * 1664525 + 1013904223) % 2**32
        return self.seed / 4294967295.0


def distribution(k):
    m = k // 8 + 1
    r = k / m
    e = [0.0] * (k + 1)
    e[1] = 1.0 / k
    for d in range(2, k + 1):
        e[d] = 1.0 / (d * (d - 1))
    for i in range(1, m):
        e[i] = e[i] + 1.0 / (i * m)
    e[m] = e[m] + math.log(r / 0.5) / m
    s = 0.0
    for x in e:
        s += x
    inv = 1.0 / s
    return [x * inv for x in e]


def degree(dist, a):
    s, i = 0.0, 0
    while i < len(dist) - 1 and a > s + dist[i]:
        s += dist[i]
        i += 1
    return max(i, 1)


def round_half_away(x):
    return math.floor(x + 0.5) if x >= 0 else -math.floor(-x + 0.5)


def indices(prng, dist, k):
    d = degree(dist, prng.rand())
    chosen = set()
    while len(chosen) < d:
        x = prng.rand()
        # x * (k - 1) >= 0; floor(v + 0.5) is round-half-away only when v + 0.5 is exact, so round exactly.
        v = x * float(k - 1)
        f = math.floor(v)
        idx = f + 1 if v - f >= 0.5 else f
        chosen.add(int(idx))
    return sorted(chosen)


def lt_frames(data, seed, count, packets_per_frame=73):
    L = 8
    k = -(-len(data) // L)
    packets = [data[i * L:(i + 1) * L].ljust(L, b"\0") for i in range(k)]
    dist = distribution(k)
    prng = Prng(seed)
    frames = []
    for _ in range(count):
        frame = bytes([1]) + prng.seed.to_bytes(4, "big") + len(data).to_bytes(4, "big") + L.to_bytes(4, "big")
        for _ in range(packets_per_frame):
            p = bytearray(L)
            for i in indices(prng, dist, k):
                p = bytearray(a ^ b for a, b in zip(p, packets[i]))
            frame += bytes(p)
        frames.append(frame)
    return frames


def cyclic_frames(data, block, count):
    blocks = -(-len(data) // block)
    current = 0
    frames = []
    for _ in range(count):
        current = (current + 1) % blocks
        frames.append(bytes([2, current, blocks]) + data[current * block:(current + 1) * block])
    return frames


def main():
    rng = random.Random(20261208)
    base45 = []
    for n in [1, 2, 3, 7, 8, 30, 80, 81, 82, 162, 597]:
        for pattern in ("random", "zeros", "ones"):
            if pattern == "random":
                data = bytes(rng.randrange(256) for _ in range(n))
            elif pattern == "zeros":
                data = bytes(n)
            else:
                data = bytes([0xFF] * n)
            base45.append({"hex": data.hex(), "text": b45(data)})
    lt = []
    for n, seed in [(1, 7), (17, 1), (584, 12345), (4096, 4294967295), (20000, 99)]:
        data = bytes(rng.randrange(256) for _ in range(n))
        lt.append({"dataHex": data.hex(), "seed": seed, "frames": [f.hex() for f in lt_frames(data, seed, 3)]})
    # Other frame sizes, drawn after the cases above so that those stay as they were.
    lt_sized = []
    for n, seed, packets in [(4096, 31, 146), (20000, 5, 1), (3000, 77, 300), (1, 9, 2)]:
        data = bytes(rng.randrange(256) for _ in range(n))
        frames = lt_frames(data, seed, 2, packets)
        lt_sized.append({"dataHex": data.hex(), "seed": seed, "packets": packets, "frames": [f.hex() for f in frames]})
    cyclic = []
    for n, block in [(585, 584), (1000, 100), (255 * 7, 7), (5000, 1307)]:
        data = bytes(rng.randrange(256) for _ in range(n))
        frames = cyclic_frames(data, block, -(-n // block) + 1)
        cyclic.append({"dataHex": data.hex(), "blockLength": block, "frames": [f.hex() for f in frames]})
    with open("transport_vectors.json", "w") as out:
        json.dump({"base45": base45, "luby": lt, "lubySized": lt_sized, "cyclic": cyclic}, out, indent=1)


if __name__ == "__main__":
    main()
