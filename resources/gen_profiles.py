#!/usr/bin/env python3
"""Writes resources/profiles.r: the manufacturer table MANU 512, the built-in
device profiles STNG 512..582 and their name list STR# 512.

The table below is the one place to edit; run this script and commit both
files. Columns: depth, frames per second, video kbit/s (- on grey devices),
video size, screen size, playable audio formats, default audio code,
channels/maximum channels, sample rate, boost, Palm OS version (- when the
profile leaves it to the default 4.0), angle (- when not stored), flags
(crui, hidden)."""

import os

MANUFACTURERS = ["Generic", "Streaming", "Acer", "HandEra", "Handspring", "IBM",
                 "Kyocera", "Palm", "Samsung", "Sony CLIE", "Tapwave", "Garmin"]

OS4_COLOUR = dict(depth=32, fps=10, kbps=240, video=(160, 120), screen=(160, 160),
                  fmts=[626, 628, 627], tvsc=626, ch=(1, 1), rate=8192, boost=2)
OS4_GREY = dict(OS4_COLOUR, depth=36, kbps=None)
OS5 = dict(depth=32, fps=15, kbps=640, video=(320, 240), screen=(320, 320),
           fmts=[626, 628, 627, 629], tvsc=629, ch=(1, 2), rate=8000, boost=0, os="5.0")
OS5_STEREO = dict(OS5, tvsc=626, ch=(2, 2), rate=22050, os="5.2")
SONY_HIRES = dict(depth=32, fps=10, kbps=320, video=(240, 180), screen=(320, 320),
                  fmts=[629], tvsc=629, ch=(1, 1), rate=8000, boost=0)
SONY_GREY = dict(SONY_HIRES, depth=36, kbps=None, video=(160, 120))
SONY_ATRAC = dict(SONY_HIRES, fmts=[624], tvsc=624, ch=(2, 2), rate=44100)
SONY_ATRAC_YAMAHA = dict(SONY_ATRAC, fmts=[624, 629])
SONY_OS5 = dict(OS5, fmts=[624, 626, 628, 627, 629], tvsc=624, ch=(2, 2), rate=44100,
                screen=(320, 480))
NO_AUDIO = dict(fmts=[0], tvsc=0, ch=(1, 1), rate=8192, boost=0)


def wide(base, kbps, angle):
    return dict(base, kbps=kbps, video=(480, 320), screen=(480, 320), angle=angle)


# (name, manufacturer, values)
PROFILES = [
    ("All color Palm OS devices", "Generic", OS4_COLOUR),
    ("All gray Palm OS devices", "Generic", OS4_GREY),
    ("All Palm OS 5 devices", "Generic", OS5),
    ("All widescreen devices", "Generic",
     dict(OS5, fps=8, kbps=560, video=(480, 320), screen=(480, 320), angle=90, boost=1)),
    ("Low bit rate", "Streaming",
     dict(OS4_COLOUR, fps=6, kbps=240, screen=(480, 320), tvsc=628, boost=1)),
    ("Medium bit rate", "Streaming",
     dict(OS4_COLOUR, fps=6, kbps=320, video=(240, 180), screen=(480, 320), tvsc=628, boost=1)),
    ("High bit rate", "Streaming",
     dict(OS4_COLOUR, fps=8, kbps=640, video=(320, 240), screen=(480, 320), boost=1)),
    ("s10", "Acer", dict(OS4_GREY, os="4.1")),
    ("s50/s60", "Acer",
     dict(OS4_COLOUR, kbps=320, video=(320, 240), screen=(320, 320), os="4.1")),
    ("330", "HandEra", dict(OS4_GREY, video=(240, 180), screen=(240, 320), os="3.5")),
    ("TRGpro", "HandEra", dict(OS4_GREY, os="3.3")),
    ("Visor Edge/Pro/Treo 180", "Handspring", dict(OS4_GREY, os="3.5")),
    ("Visor Neo/Platinum", "Handspring", dict(OS4_GREY, os="3.5")),
    ("Visor Prism", "Handspring", dict(OS4_COLOUR, os="3.5")),
    ("Visor Solo/Deluxe", "Handspring", dict(OS4_GREY, os="3.1")),
    ("Treo 90/270/300", "Handspring", dict(OS4_COLOUR, os="3.5")),
    ("Treo 600", "Handspring",
     dict(OS5, kbps=320, video=(160, 120), screen=(160, 160), ch=(1, 1), os="5.2")),
    ("WorkPad (8602-31J/40J/50J)", "IBM", dict(OS4_GREY, os="3.0")),
    ("WorkPad c505 (8602-70J)", "IBM", dict(OS4_COLOUR, os="4.0")),
    ("7135", "Kyocera", dict(OS4_COLOUR, os="4.1")),
    ("QCP 6035", "Kyocera", dict(OS4_GREY, os="3.5")),
    ("III/IIIe/IIx/IIIxe/V/VII", "Palm", dict(OS4_GREY, os="3.0")),
    ("IIIc", "Palm", dict(OS4_COLOUR, os="3.5")),
    ("Vx/VIIx", "Palm", dict(OS4_GREY, os="3.3")),
    ("i705", "Palm", dict(OS4_GREY, os="4.1")),
    ("m100/m105/m125", "Palm", dict(OS4_GREY, os="3.5")),
    ("m130", "Palm", dict(OS4_COLOUR, os="4.1")),
    ("m500", "Palm", dict(OS4_GREY, os="4.0")),
    ("m505/m515", "Palm", dict(OS4_COLOUR, os="4.0")),
    ("Tungsten T3", "Palm", dict(OS5_STEREO, screen=(320, 480), crui=True)),
    ("Tungsten T3 (Wide)", "Palm", dict(wide(OS5_STEREO, 720, 90), crui=True)),
    ("Tungsten E/T/T2", "Palm", dict(OS5_STEREO, os="5.0")),
    ("Tungsten C", "Palm", dict(OS5_STEREO, ch=(1, 1))),
    ("Tungsten W", "Palm", dict(SONY_HIRES, **NO_AUDIO, os="4.1")),
    ("Zire", "Palm", dict(OS4_GREY, os="4.1")),
    ("Zire 21", "Palm",
     dict(OS5, depth=36, fps=10, kbps=None, video=(160, 120), screen=(160, 160),
          ch=(1, 1), os="5.2")),
    ("Zire 71", "Palm", OS5_STEREO),
    ("SPH-i300", "Samsung", dict(OS4_COLOUR, screen=(160, 240), os="3.5")),
    ("SPH-i500", "Samsung", dict(OS4_COLOUR, **NO_AUDIO, os="4.1")),
    ("PEG-N600C", "Sony CLIE", dict(SONY_HIRES, os="3.5")),
    ("PEG-N610C", "Sony CLIE", SONY_HIRES),
    ("PEG-N700C/N710C", "Sony CLIE", dict(SONY_ATRAC, os="3.5")),
    ("PEG-N750C/N760C/N770C", "Sony CLIE", SONY_ATRAC),
    ("PEG-NR70/V", "Sony CLIE",
     dict(SONY_ATRAC_YAMAHA, kbps=480, video=(320, 240), screen=(320, 480), os="4.1")),
    ("PEG-NX60/70V/73V/80V", "Sony CLIE", SONY_OS5),
    ("PEG-NZ90", "Sony CLIE", SONY_OS5),
    ("PEG-NR70/V (Wide - CCW)", "Sony CLIE", dict(wide(SONY_ATRAC_YAMAHA, 560, -90), os="4.1")),
    ("PEG-NR70/V (Wide - CW)", "Sony CLIE", dict(wide(SONY_ATRAC_YAMAHA, 560, 90), os="4.1")),
    ("PEG-NX60/70V/73V/80V (Wide - CW)", "Sony CLIE", wide(SONY_OS5, 720, 90)),
    ("PEG-UX40/50", "Sony CLIE", dict(SONY_OS5, screen=(480, 320), os="5.2", crui=True)),
    ("PEG-UX40/50 (Wide)", "Sony CLIE", dict(wide(SONY_OS5, 720, 0), os="5.2", crui=True)),
    ("PEG-NZ90 (Wide - CW)", "Sony CLIE", wide(SONY_OS5, 720, 90)),
    ("PEG-NX60/70V/73V/80V (Wide - CCW)", "Sony CLIE", wide(SONY_OS5, 720, -90)),
    ("PEG-NZ90 (Wide - CCW)", "Sony CLIE", wide(SONY_OS5, 720, -90)),
    ("PEG-S300/S320/S360", "Sony CLIE", dict(SONY_GREY, screen=(160, 160), os="3.5")),
    ("PEG-S500C", "Sony CLIE",
     dict(SONY_HIRES, kbps=240, video=(160, 120), screen=(160, 160), os="3.5")),
    ("PEG-SL10/SJ20/SJ22/SJ30", "Sony CLIE", dict(SONY_GREY, os="4.1")),
    ("PEG-SJ33", "Sony CLIE", dict(SONY_ATRAC_YAMAHA, os="4.1")),
    ("PEG-T400/T415/T425", "Sony CLIE", dict(SONY_GREY, os="4.1")),
    ("PEG-T600C/T615C/T625C", "Sony CLIE", dict(SONY_HIRES, os="4.1")),
    ("PEG-T650C/T665C/T675C", "Sony CLIE", dict(SONY_ATRAC_YAMAHA, os="4.1")),
    ("PEG-TG50", "Sony CLIE", dict(SONY_OS5, screen=(320, 320))),
    ("PEG-TJ25/35", "Sony CLIE", dict(OS5, os="5.2")),
    ("Zodiac - Good", "Tapwave",
     dict(OS5_STEREO, fps=12, kbps=400, screen=(480, 320), ch=(1, 2), rate=11025,
          angle=0, crui=True, hidden=True)),
    ("Zodiac - Better", "Tapwave",
     dict(OS5_STEREO, fps=15, kbps=600, video=(480, 320), screen=(480, 320),
          angle=0, crui=True, hidden=True)),
    ("Zodiac - Best", "Tapwave",
     dict(OS5_STEREO, fps=24, kbps=800, video=(480, 320), screen=(480, 320),
          angle=0, crui=True, hidden=True)),
    ("Zodiac", "Tapwave", dict(OS5_STEREO, screen=(480, 320), angle=0, crui=True)),
    ("Zodiac (Wide)", "Tapwave", dict(wide(OS5_STEREO, 720, 0), crui=True)),
    ("iQue 3600", "Garmin", dict(OS5_STEREO, screen=(320, 480))),
    ("iQue 3600 (Wide - CW)", "Garmin", wide(OS5_STEREO, 720, 90)),
    ("iQue 3600 (Wide - CCW)", "Garmin", wide(OS5_STEREO, 720, -90)),
]

# What each real device could show and play, the facts the rows above rest
# on, one line per profile: screen (pixels, density), colour or grey, Palm OS
# version, sound. Grouped rows follow the least capable model of the group.
FACTS = {
    "All color Palm OS devices": "any colour device: plan for 160x160 low density, OS 3.5 and later, mono speaker",
    "All gray Palm OS devices": "any grey device: 160x160 low density, 16 greys at best, mono speaker",
    "All Palm OS 5 devices": "OS 5: 320x320 high density colour, ARM; stereo only on some, so mono by default",
    "All widescreen devices": "480x320 (or 320x480 turned) high density colour, OS 5",
    "Low bit rate": "streaming preset, not a device: small colour picture for slow links",
    "Medium bit rate": "streaming preset, not a device",
    "High bit rate": "streaming preset, not a device",
    "s10": "160x160 low density, 16 greys, OS 4.1, mono speaker",
    "s50/s60": "320x320 high density (high-resolution mode), 4096 colours, OS 4.1, mono speaker",
    "330": "240x320 low density, 16 greys, OS 3.5, mono speaker",
    "TRGpro": "160x160, 16 greys, OS 3.3, mono speaker",
    "Visor Edge/Pro/Treo 180": "160x160, 16 greys, OS 3.5, mono speaker",
    "Visor Neo/Platinum": "160x160, 16 greys, OS 3.5, mono speaker",
    "Visor Prism": "160x160, 65536 colours, OS 3.5, mono speaker",
    "Visor Solo/Deluxe": "160x160, 16 greys, OS 3.1, mono speaker",
    "Treo 90/270/300": "160x160 colour, OS 3.5 (Treo 90: 4.1), mono speaker",
    "Treo 600": "160x160 colour, OS 5.2, mono speaker",
    "WorkPad (8602-31J/40J/50J)": "160x160 grey, OS 3.0 to 3.5, mono speaker",
    "WorkPad c505 (8602-70J)": "160x160, 65536 colours, OS 4.0, mono speaker",
    "7135": "160x160 colour, OS 4.1, phone, mono speaker",
    "QCP 6035": "160x160 grey, OS 3.5, phone, mono speaker",
    "III/IIIe/IIx/IIIxe/V/VII": "160x160, 4 to 16 greys, OS 3.0 to 3.5, mono speaker",
    "IIIc": "160x160, 256 colours, OS 3.5, mono speaker",
    "Vx/VIIx": "160x160, 16 greys, OS 3.3 (VIIx 3.5), mono speaker",
    "i705": "160x160, 16 greys, OS 4.1, mono speaker",
    "m100/m105/m125": "160x160, 16 greys, OS 3.5 (m125: 4.0), mono speaker",
    "m130": "160x160, 65536 colours (shown with 12 bits), OS 4.1, mono speaker",
    "m500": "160x160, 16 greys, OS 4.0, mono speaker",
    "m505/m515": "160x160, 65536 colours, OS 4.0/4.1, mono speaker",
    "Tungsten T3": "320x480 high density colour with a slider, OS 5.2, stereo headphones",
    "Tungsten T3 (Wide)": "the T3 open and held sideways: 480x320",
    "Tungsten E/T/T2": "320x320 high density colour, OS 5.0 (E, T2: 5.2), stereo headphones",
    "Tungsten C": "320x320 high density colour, OS 5.2, mono",
    "Tungsten W": "320x320 high density colour, OS 4.1, no sound for movies",
    "Zire": "160x160, 16 greys, OS 4.1, mono speaker",
    "Zire 21": "160x160, 16 greys, OS 5.2, mono speaker",
    "Zire 71": "320x320 high density colour, OS 5.2, stereo headphones",
    "SPH-i300": "160x240 colour, OS 3.5, phone, mono speaker",
    "SPH-i500": "160x160 colour, OS 4.1, phone, no sound for movies",
    "PEG-N600C": "320x320 high resolution colour, OS 3.5, Yamaha sound chip",
    "PEG-N610C": "320x320 high resolution colour, OS 4.0, Yamaha sound chip",
    "PEG-N700C/N710C": "320x320 high resolution colour, OS 3.5, ATRAC3 stereo player",
    "PEG-N750C/N760C/N770C": "320x320 high resolution colour, OS 4.0 (N760C: 4.1), ATRAC3 stereo",
    "PEG-NR70/V": "320x480 high resolution colour, OS 4.1, ATRAC3 stereo and Yamaha chip",
    "PEG-NX60/70V/73V/80V": "320x480 high resolution colour, OS 5.0, ATRAC3 stereo",
    "PEG-NZ90": "320x480 high resolution colour, OS 5.0, ATRAC3 stereo",
    "PEG-NR70/V (Wide - CCW)": "the NR70 held sideways one way: 480x320",
    "PEG-NR70/V (Wide - CW)": "the NR70 held sideways the other way: 480x320",
    "PEG-NX60/70V/73V/80V (Wide - CW)": "the NX held sideways: 480x320",
    "PEG-UX40/50": "480x320 high resolution colour, OS 5.2, ATRAC3 stereo",
    "PEG-UX40/50 (Wide)": "the UX's own landscape screen: 480x320",
    "PEG-NZ90 (Wide - CW)": "the NZ90 held sideways: 480x320",
    "PEG-NX60/70V/73V/80V (Wide - CCW)": "the NX held sideways the other way: 480x320",
    "PEG-NZ90 (Wide - CCW)": "the NZ90 held sideways the other way: 480x320",
    "PEG-S300/S320/S360": "160x160, 16 greys, OS 3.5 (S360: 4.0), mono speaker",
    "PEG-S500C": "160x160 colour, OS 3.5, mono speaker",
    "PEG-SL10/SJ20/SJ22/SJ30": "320x320 high resolution, 16 greys (SJ22, SJ30: colour), OS 4.1, Yamaha chip",
    "PEG-SJ33": "320x320 high resolution colour, OS 4.1, ATRAC3 stereo and Yamaha chip",
    "PEG-T400/T415/T425": "320x320 high resolution, 16 greys, OS 4.1, Yamaha chip",
    "PEG-T600C/T615C/T625C": "320x320 high resolution colour, OS 4.1, Yamaha chip",
    "PEG-T650C/T665C/T675C": "320x320 high resolution colour, OS 4.1, ATRAC3 stereo and Yamaha chip",
    "PEG-TG50": "320x320 high resolution colour, OS 5.0, ATRAC3 stereo",
    "PEG-TJ25/35": "320x320 high resolution colour, OS 5.2, mono speaker",
    "Zodiac - Good": "Zodiac preset: 480x320 colour, OS 5.2, stereo",
    "Zodiac - Better": "Zodiac preset: 480x320 colour, OS 5.2, stereo",
    "Zodiac - Best": "Zodiac preset: 480x320 colour, OS 5.2, stereo",
    "Zodiac": "480x320 high density colour, OS 5.2, stereo speakers",
    "Zodiac (Wide)": "480x320 full screen",
    "iQue 3600": "320x480 high density colour with a slider, OS 5.2, stereo headphones",
    "iQue 3600 (Wide - CW)": "the iQue open and held sideways: 480x320",
    "iQue 3600 (Wide - CCW)": "the iQue open and held sideways the other way: 480x320",
}

FIRST_ID = 512


def os_bytes(v):
    major, minor = v.split(".")
    return f"bytes {{ {int(major):02x} {int(minor) << 4:02x} 00 00 }}"


def table_row(rid, name, manu, p):
    dash = "-"
    cols = [
        str(rid), name, manu, str(p["depth"]), str(p["fps"]),
        str(p["kbps"]) if p.get("kbps") else dash,
        "%dx%d" % p["video"], "%dx%d" % p["screen"],
        ",".join(str(f) for f in p["fmts"]), str(p["tvsc"]),
        "%d/%d" % p["ch"], str(p["rate"]), str(p["boost"]),
        p.get("os") or dash,
        str(p["angle"]) if p.get("angle") is not None else dash,
        " ".join(f for f, on in (("crui", p.get("crui")), ("hidden", p.get("hidden"))) if on),
    ]
    return cols


def resource(rid, name, manu, p):
    out = [f'resource STNG {rid} "{name}" {{', "    container {"]
    a = out.append
    a("        atom flag 1 { u32 1 }")
    a(f'        atom name 1 {{ pstr[64] "{name}" }}')
    a(f"        atom manu 1 {{ atom name 1 {{ i16 {MANUFACTURERS.index(manu)} }} }}")
    if p.get("os"):
        a(f"        atom osvr 1 {{ {os_bytes(p['os'])} }}")
    if p.get("hidden"):
        a("        atom hidn 1 { i16 1 }")
    if p.get("crui"):
        a("        atom crui 1 { i16 1 }")
    a(f"        atom colr 1 {{ atom dpth 1 {{ i16 {p['depth']} }} }}")
    time = f"atom 'fps ' 1 {{ fixed {p['fps']} }}"
    if p.get("kbps"):
        time += f" atom vbtr 1 {{ i16 {p['kbps']} }}"
    a(f"        atom time 1 {{ {time} }}")
    a("        atom size 1 {")
    a(f"            atom vide 1 {{ i16 {p['video'][0]} i16 {p['video'][1]} }}")
    a(f"            atom scrn 1 {{ i16 {p['screen'][0]} i16 {p['screen'][1]} }}")
    if p.get("angle") is not None:
        a(f"            atom angl 1 {{ i16 {p['angle']} }}")
    a("        }")
    a("        atom soun 1 {")
    a("            atom ssss 1 { i16 16 }")
    fmts = " ".join(f"atom tvsc {i + 1} {{ i32 {f} }}" for i, f in enumerate(p["fmts"]))
    a(f"            atom fmts 1 {{ {fmts} }}")
    a(f"            atom maxc 1 {{ i16 {p['ch'][1]} }}")
    a(f"            atom ssrt 1 {{ ufixed {p['rate']} }}")
    a(f"            atom sscc 1 {{ i16 {p['ch'][0]} }}")
    a(f"            atom tvsc 1 {{ i32 {p['tvsc']} }}")
    a(f"            atom boos 1 {{ i16 {p['boost']} }}")
    if 624 in p["fmts"]:
        a("            atom bitr 1 { i32 33000 }")
    a("        }")
    a("    }")
    a("}")
    return "\n".join(out)


def main():
    assert len(PROFILES) == 71
    assert sorted(FACTS) == sorted(n for n, _, _ in PROFILES), "one fact line per profile"
    heads = ["ID", "name", "manufacturer", "depth", "fps", "kbps", "video", "screen",
             "formats", "audio", "ch/max", "rate", "boost", "OS", "angle", "flags"]
    rows = [table_row(FIRST_ID + i, n, m, p) for i, (n, m, p) in enumerate(PROFILES)]
    widths = [max(len(r[c]) for r in rows + [heads]) for c in range(len(heads))]
    fmt = lambda r: "# " + "  ".join(v.ljust(w) for v, w in zip(r, widths)).rstrip()
    lines = [
        "# Built-in device profiles, the manufacturer table and the profile names.",
        "# Generated by resources/gen_profiles.py from its table; edit the table there",
        "# and rerun it. The table, for review:",
        "#",
        fmt(heads),
    ]
    lines += [fmt(r) for r in rows]
    lines += ["", "# Manufacturers: a NUL-terminated name in 64 bytes, then the id.",
              'resource MANU 512 "Manufacturers" {']
    lines += [f'    cstr[64] "{m}" i16 {i}' for i, m in enumerate(MANUFACTURERS)]
    lines += ["}", "", '# The profile names in ID order.', 'resource STR# 512 "Profiles" {',
              "    strings {"]
    lines += [f'        "{n}"' for n, _, _ in PROFILES]
    lines += ["    }", "}", ""]
    for i, (n, m, p) in enumerate(PROFILES):
        lines += [resource(FIRST_ID + i, n, m, p), ""]
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, "profiles.r"), "w") as f:
        f.write("\n".join(lines))


if __name__ == "__main__":
    main()
