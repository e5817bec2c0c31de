#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Recomputes the expected columns of physics.txt from its inputs: the TNT2 family's PLL
words read and set by the PLL's own relation, f = Fref * N / (M * 2^P).

An implementation apart from the program's own, and by another method: the program works
in IEEE doubles, this in exact fractions of the crystals' decimal values. The two agree
because no word and no target lies within a rounding of a half MHz or a half N; with
--exhaustive this checks that for every word of both crystals and every target the
drivers' range of M can make. Run it with no arguments to check the file, with --write to
rewrite it.
"""
import math
import sys
from fractions import Fraction

sys.dont_write_bytecode = True   # nothing written into the source tree
from reference import recompute  # noqa: E402 (the fixture's layout: inputs, then what they give)

FILE = 'physics.txt'

CRYSTAL = {True: Fraction('14.31818'), False: Fraction('13.5')}   # strap bit 6 set / clear
DRIVER_M = {True: range(8, 15), False: range(7, 14)}
M_MASK, N_MASK = 0xFF, 0xFF00


def fields(v):
    return v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0x7   # P is bits 16..18


def clock(v, bit):
    """The clock a word makes, exactly; None for M = 0."""
    m, n, p = fields(v)
    return None if m == 0 else CRYSTAL[bit] * n / (m * 2 ** p)


def read(v, strap):
    f = clock(v, bool(strap & 0x40))
    return 0 if f is None else math.floor(f + Fraction(1, 2))


def with_mn(v, m, n):
    return (v & ~(M_MASK | N_MASK) & 0xFFFFFFFF) | m | (n << 8)


def word_reading_as(t, v, m, strap):
    """M with its nearest N, when that reads back as t."""
    if m == 0:
        return None
    _, _, p = fields(v)
    n = math.floor(Fraction(t * m * 2 ** p) / CRYSTAL[bool(strap & 0x40)] + Fraction(1, 2))
    if not 1 <= n <= 255:
        return None
    w = with_mn(v, m, n)
    return w if read(w, strap) == t else None


def set_word(v, strap, t):
    m, _, _ = fields(v)
    kept = word_reading_as(t, v, m, strap)
    if kept is not None:
        return kept
    bit = bool(strap & 0x40)
    found = [w for w in (word_reading_as(t, v, m, strap) for m in DRIVER_M[bit]) if w is not None]
    # Nearest to t, the smaller M on a tie (min keeps the first of equals, M ascending).
    return min(found, key=lambda w: abs(clock(w, bit) - t)) if found else None


def columns(v, strap, t):
    w = set_word(v, strap, t)
    return [str(read(v, strap)), '-' if w is None else f'{w:08X}']


# --- What the program computes, in doubles, for --exhaustive ---
def read_double(v, strap):
    m, n, p = fields(v)
    fref = 14.31818 if strap & 0x40 else 13.5
    return 0 if m == 0 else math.floor(fref * n / (m * 2.0 ** p) + 0.5)


def nearest_n_double(t, m, p, strap):
    fref = 14.31818 if strap & 0x40 else 13.5
    return math.floor(float(t * m * 2 ** p) / fref + 0.5)


def exhaustive():
    """Every read, and the nearest N of every M, P and target up to what M = 8 (7) can
    reach, in doubles against the exact values (worked in integers here, for speed)."""
    bad = 0
    for strap in (0x40, 0):
        bit = bool(strap & 0x40)
        num, den = CRYSTAL[bit].numerator, CRYSTAL[bit].denominator
        for m in range(256):
            for p in range(8):
                q = den * m * 2 ** p
                for n in range(256):
                    exact = 0 if m == 0 else (2 * num * n + q) // (2 * q)
                    bad += read_double(m | n << 8 | p << 16, strap) != exact
        top = math.ceil(CRYSTAL[bit] * 255 / DRIVER_M[bit][0]) + 1
        for m in range(1, 256):
            for p in range(8):
                for t in range(1, top):
                    exact = (2 * t * m * 2 ** p * den + num) // (2 * num)
                    bad += nearest_n_double(t, m, p, strap) != exact
        print(f'strap {strap:02X}: doubles and exact values part {bad} time(s) so far')
    return bad


def main():
    if '--exhaustive' in sys.argv:
        return 1 if exhaustive() else 0
    path, lines, bad = recompute(FILE, 3, columns)
    if '--write' in sys.argv:
        path.write_text('\n'.join(lines) + '\n')
    print(f'{FILE}: {bad} line(s) differ')
    return 1 if bad and '--write' not in sys.argv else 0


if __name__ == '__main__':
    sys.exit(main())
