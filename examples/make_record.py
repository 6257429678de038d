#!/usr/bin/env python3
"""Writes a synthetic three-component accelerogram in the CDMG-type layout
(32 header records, then data records of eight E10.4 fields) and the table
that cdmg2csv must make of it, computed here independently of the program.

Usage: make_record.py [folder]   (default: the folder of this script)
"""
import math
import os
import random
import struct
import sys

NAMES = ["WKZ-base-N022.txt", "WKZ-base-N292.txt", "WKZ-base-UP.txt"]
COMPONENTS = ["N022", "N292", "UP"]
RECORDS = 300  # data records per component, eight samples each
DT = 0.01


def f32(value):
    return struct.unpack("<f", struct.pack("<f", value))[0]


def e10_4(value):
    """A value as a 10-column E10.4 field: 0.dddd mantissa, two-digit exponent."""
    if value == 0.0:
        return "0.0000E+00"
    exponent = math.floor(math.log10(abs(value))) + 1
    mantissa = round(abs(value) / 10.0**exponent, 4)
    if mantissa >= 1.0:
        mantissa /= 10.0
        exponent += 1
    digits = "%.4f" % mantissa
    text = (digits[1:] if value < 0 else digits) + "E%+03d" % exponent
    return ("-" + text if value < 0 else text).rjust(10)


def accelerogram(seed, peak):
    """A plausible record: a noisy build-up, strong shaking and a decaying coda."""
    rng = random.Random(seed)
    modes = [(rng.uniform(0.8, 8.0), rng.uniform(0, 2 * math.pi), rng.uniform(0.3, 1.0))
             for _ in range(6)]
    values = []
    for k in range(8 * RECORDS):
        t = k * DT
        envelope = (t / 3.0) ** 2 if t < 3.0 else math.exp(-(t - 3.0) / 6.0)
        s = sum(a * math.sin(2 * math.pi * f * t + p) for f, p, a in modes)
        values.append(peak * envelope * (s / 3.0 + rng.gauss(0.0, 0.05)))
    return values


def header(component, samples):
    lines = []
    for n in range(1, 33):
        if n == 6:
            text = "SYNTHETIC RECORD  STATION 00000  COMPONENT %s  (made by make_record.py)" % component
        elif n == 31:
            text = "%d POINTS OF ACCEL DATA EQUALLY SPACED AT .010 SEC, IN CM/SEC/SEC." % samples
        else:
            text = "HEADER RECORD %2d  not used by the conversion" % n
        lines.append(text)
    return lines


def f_field(value, width):
    """F editing with three decimals: no minus sign on a value that rounds to zero."""
    text = "%.3f" % abs(value)
    if value < 0 and text.strip("0.") != "":
        text = "-" + text
    return "*" * width if len(text) > width else text.rjust(width)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    columns = []
    for seed, (name, component) in enumerate(zip(NAMES, COMPONENTS), start=1):
        values = accelerogram(seed, 250.0 if component != "UP" else 120.0)
        fields = [e10_4(v) for v in values]
        lines = header(component, len(values))
        lines += ["".join(fields[k:k + 8]) for k in range(0, len(fields), 8)]
        with open(os.path.join(folder, name), "w", newline="") as out:
            out.write("".join(line + "\r\n" for line in lines))
        # The value each field stands for, rounded to single precision.
        columns.append([f32(float(f)) for f in fields])
    dt = f32(DT)
    with open(os.path.join(folder, "expected.csv"), "w", newline="") as out:
        for i in range(len(columns[2])):
            t = f32(i * dt)
            row = [f_field(t, 7)] + [f_field(c[i], 10) for c in columns]
            out.write(",".join(row) + "\r\n")


if __name__ == "__main__":
    main()
