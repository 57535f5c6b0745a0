#!/usr/bin/env python3
"""Writes resources/mpeg_audio.r and the text tables in resources/mpeg_audio/:
the MPEG audio bit-rate table MPBR 1 and sample-rate table MPSR 1, the four
Layer II bit-allocation tables MPTB 0..3 ("ALLOC_0".."ALLOC_3") and the
synthesis window MPTB 100 ("DEWINDOW").

All values are those of the MPEG-1 and MPEG-2 audio standards. Run this
script and commit its output."""

import os

HERE = os.path.dirname(os.path.abspath(__file__))

# Bit rates in kbit/s by version row (MPEG-1, MPEG-2, MPEG-2.5), layer
# (I, II, III) and the 4-bit index; 0 marks free format and the forbidden 15.
LSF_I = [0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0]
LSF_II_III = [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0]
BIT_RATES = [
    [[0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0],
     [0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0],
     [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0]],
    [LSF_I, LSF_II_III, LSF_II_III],
    [LSF_I, LSF_II_III, LSF_II_III],
]
SAMPLE_RATES = [[44100, 48000, 32000, 0], [22050, 24000, 16000, 0], [11025, 12000, 8000, 0]]

# Quantisation classes: steps, bits of one code word, grouped (three samples
# in one code word).
CLASSES = [(3, 5, True), (5, 7, True), (7, 3, False), (9, 10, True), (15, 4, False)] + \
          [((1 << b) - 1, b, False) for b in range(5, 17)]

# Per table: (number of sub-bands, [(count of sub-bands, classes of
# allocation indexes 1..)]).
WIDE_HIGH = [0] + [c for c in range(2, 17) if c != 3]          # 3 7 15 31 ... 65535
WIDE_MID = list(range(0, 14)) + [16]                           # 3 5 7 9 15 31 ... 16383 65535
WIDE_LOW = [0, 1, 2, 3, 4, 5, 16]
WIDE_TOP = [0, 1, 16]
NARROW_HIGH = [0, 1] + list(range(3, 16))                      # 3 5 9 15 31 ... 32767
NARROW_LOW = [0, 1, 3, 4, 5, 6, 7]
TABLES = [
    (27, [(3, WIDE_HIGH), (8, WIDE_MID), (12, WIDE_LOW), (4, WIDE_TOP)]),
    (30, [(3, WIDE_HIGH), (8, WIDE_MID), (12, WIDE_LOW), (7, WIDE_TOP)]),
    (8, [(2, NARROW_HIGH), (6, NARROW_LOW)]),
    (12, [(2, NARROW_HIGH), (10, NARROW_LOW)]),
]

# The first half of the synthesis window, D[0..256], in units of 2^-16; the
# rest mirrors it: D[512 - i] = -D[i], except D[512 - i] = D[i] where i is a
# multiple of 64.
HALF_WINDOW = [
    0, -1, -1, -1, -1, -1, -1, -2, -2, -2, -2, -3, -3, -4, -4, -5,
    -5, -6, -7, -7, -8, -9, -10, -11, -13, -14, -16, -17, -19, -21, -24, -26,
    -29, -31, -35, -38, -41, -45, -49, -53, -58, -63, -68, -73, -79, -85, -91, -97,
    -104, -111, -117, -125, -132, -139, -147, -154, -161, -169, -176, -183, -190, -196, -202, -208,
    213, 218, 222, 225, 227, 228, 228, 227, 224, 221, 215, 208, 200, 189, 177, 163,
    146, 127, 106, 83, 57, 29, -2, -36, -72, -111, -153, -197, -244, -294, -347, -401,
    -459, -519, -581, -645, -711, -779, -848, -919, -991, -1064, -1137, -1210, -1283, -1356, -1428, -1498,
    -1567, -1634, -1698, -1759, -1817, -1870, -1919, -1962, -2001, -2032, -2057, -2075, -2085, -2087, -2080, -2063,
    2037, 2000, 1952, 1893, 1822, 1739, 1644, 1535, 1414, 1280, 1131, 970, 794, 605, 402, 185,
    -45, -288, -545, -814, -1095, -1388, -1692, -2006, -2330, -2663, -3004, -3351, -3705, -4063, -4425, -4788,
    -5153, -5517, -5879, -6237, -6589, -6935, -7271, -7597, -7910, -8209, -8491, -8755, -8998, -9219, -9416, -9585,
    -9727, -9838, -9916, -9959, -9966, -9935, -9863, -9750, -9592, -9389, -9139, -8840, -8492, -8092, -7640, -7134,
    6574, 5959, 5288, 4561, 3776, 2935, 2037, 1082, 70, -998, -2122, -3300, -4533, -5818, -7154, -8540,
    -9975, -11455, -12980, -14548, -16155, -17799, -19478, -21189, -22929, -24694, -26482, -28289, -30112, -31947, -33791, -35640,
    -37489, -39336, -41176, -43006, -44821, -46617, -48390, -50137, -51853, -53534, -55178, -56778, -58333, -59838, -61289, -62684,
    -64019, -65290, -66494, -67629, -68692, -69679, -70590, -71420, -72169, -72835, -73415, -73908, -74313, -74630, -74856, -74992,
    75038,
]


def alloc_text(table):
    count, groups = table
    lines = [str(count)]
    sb = 0
    for n, classes in groups:
        for _ in range(n):
            lines.append(f"{sb} 0 0 0 0 0")
            for index, c in enumerate(classes, start=1):
                steps, bits, grouped = CLASSES[c]
                # group: 1 = one code word for three samples, 3 = one each
                lines.append(f"{sb} {index} {steps} {bits} {1 if grouped else 3} {c}")
            sb += 1
    assert sb == count
    return "\n".join(lines) + "\n"


def window_text():
    d = [0] * 512
    for i, v in enumerate(HALF_WINDOW):
        d[i] = v
        if i != 0:
            d[512 - i] = v if i % 64 == 0 else -v
    entries = [f"D[{i}] = {v / 65536:.9f}" for i, v in enumerate(d)]
    return "\n".join(" ".join(entries[i:i + 4]) for i in range(0, 512, 4)) + "\n"


def main():
    folder = os.path.join(HERE, "mpeg_audio")
    os.makedirs(folder, exist_ok=True)
    for n, t in enumerate(TABLES):
        with open(os.path.join(folder, f"alloc_{n}.txt"), "w") as f:
            f.write(alloc_text(t))
    with open(os.path.join(folder, "dewindow.txt"), "w") as f:
        f.write(window_text())
    out = ["# Generated by gen_mpeg_audio.py: MPEG audio tables for the program's own",
           "# MPEG audio decoder.", ""]
    out.append('resource MPBR 1 "Bit rates" {')
    out.append("    # bit/s by version (MPEG-1, MPEG-2, MPEG-2.5), layer (I, II, III), index")
    for version in BIT_RATES:
        for layer in version:
            out.append("    " + " ".join(f"u32 {k * 1000}" for k in layer))
    out.append("}")
    out.append("")
    out.append('resource MPSR 1 "Sample rates" {')
    for version in SAMPLE_RATES:
        out.append("    " + " ".join(f"u32 {r}" for r in version))
    out.append("}")
    out.append("")
    for n in range(len(TABLES)):
        out.append(f'resource MPTB {n} "ALLOC_{n}" {{ file "mpeg_audio/alloc_{n}.txt" }}')
    out.append('resource MPTB 100 "DEWINDOW" { file "mpeg_audio/dewindow.txt" }')
    with open(os.path.join(HERE, "mpeg_audio.r"), "w") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
