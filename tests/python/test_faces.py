"""The temps command and the Python module are two faces of one converter:
every pair of formats over edge instants gives, through either, the same
result or the same refusal with the same message."""

import hashlib
from fractions import Fraction
import math
import os
import subprocess
import warnings

import numpy as np
import pytest

import temps

HERE = os.path.dirname(__file__)
LEAPS = os.path.join(HERE, "..", "data", "leap-seconds.list")
CLOCK = os.path.join(HERE, "..", "..", "examples", "clock.correlation")
COMMAND = os.environ.get("TEMPS_COMMAND", "")
TEXT_FORMATS = [f for f in temps.FORMATS if f != "datetime64"]
PRECISE = ("utc", "tai", "tt", "gps", "yday")

EDGES = [
    "1958-01-01T00:00:00", "1960-01-01T00:00:00", "1961-07-31T23:59:59.975", "1968-01-31T23:59:59.95",
    "1971-12-31T23:59:60.1", "1971-12-31T23:59:60.2", "1972-01-01T00:00:00", "1972-06-30T23:59:60.5",
    "2004-07-05T00:00:00", "2004-07-05T12:34:56.789123456", "2016-12-30T23:59:60", "2016-12-31T23:59:59.999999999",
    "2016-12-31T23:59:60", "2016-12-31T23:59:60.999999999", "2017-01-01T00:00:00", "1582-10-04T23:59:59",
    "1582-10-15T00:00:00", "0001-01-01T00:00:00", "9999-12-31T23:59:59.999999999", "1707-09-22T12:00:00",
    "2292-04-11T00:00:00", "2025-12-31T23:59:59", "2025-12-31T23:59:58.5",
]


def negative_leap_list(path):
    """The shipped list with TAI - UTC falling by a second at the end of 2025."""
    text = open(LEAPS).read()
    last = "3692217600      37      # 1 Jan 2017\n"
    text = text.replace(last, last + "3976214400\t36\t# 1 Jan 2026\n")
    h = hashlib.sha1()
    for date in ("3960835200", "3991593600"):
        h.update(date.encode())
    for line in text.splitlines():
        fields = line.split()
        if line and not line.startswith("#") and len(fields) >= 2:
            h.update(fields[0].encode() + fields[1].encode())
    digest = h.hexdigest()
    words = " ".join(digest[i:i + 8] for i in range(0, 40, 8))
    start = text.index("#h\t")
    text = text[:start] + "#h\t" + words + text[text.index("\n", start):]
    with open(path, "w") as f:
        f.write(text)
    return path


def as_text(value, fmt):
    """A module value in the command's text form."""
    if fmt in ("unix", "et"):  # the double to the nearest nanosecond, as the module reads it
        ns = round(Fraction(value) * 10**9)
        return "%s%d.%09d" % ("-" if ns < 0 else "", abs(ns) // 10**9, abs(ns) % 10**9)
    if fmt == "epoch16":
        return "%d.%012d" % (value.real, value.imag)
    if isinstance(value, bytes):  # NumPy drops the NULs a code ends with: 7 octets in the default P-fields
        return value.ljust(7, b"\0").hex().upper()
    if isinstance(value, (float, np.floating)):
        return repr(float(value))
    return str(value)


def held_from_text(text, fmt):
    kind = dict(temps._temps.formats())[fmt]
    if kind == "octets":
        return bytes.fromhex(text)
    if kind == "int64":
        return int(text)
    if kind == "float64":
        return float(text)
    if kind == "epoch16":
        s, p = text.split(".")
        return complex(int(s), int(p))
    return text


KERNELS = {}  # the SPICE kernels of a run: sclk, lsk


def command(source, target, values, leaps):
    args = [COMMAND, "--leap-seconds", leaps, "--correlation", CLOCK, "--sclk", KERNELS["sclk"], "--clock", "99",
            "--lsk", KERNELS["lsk"], "--on-error=empty", "-f", source, "-t", target]
    if target in PRECISE:
        args += ["-p", "9"]
    run = subprocess.run(args + ["--"] + values, capture_output=True, text=True, check=False)
    out = run.stdout.split("\n")[:-1]
    errors = [line for line in run.stderr.split("\n") if line and not line.startswith("temps: warning:")]
    assert len(out) == len(values), (source, target, run.stderr)
    return out, errors


def module(source, target, value, leaps):
    """The module's result as the command would print it, or ('refused', reason)."""
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            out = temps.convert(np.array([value]), source, target, leap_seconds=leaps, correlation=CLOCK,
                                precision=9, sclk=KERNELS["sclk"], clock="99", lsk=KERNELS["lsk"])[0]
    except ValueError as e:
        return ("refused", str(e).split(": ", 2)[2])
    return out.item() if isinstance(out, np.generic) else out


def same(cmd, mod, target):
    """Whether the command's text and the module's value are one result."""
    if target == "tu":  # the command's to the microsecond, truncated
        return abs(float(cmd) - mod) < 1e-3
    if target in ("unix", "et"):  # the command's to the nanosecond; the module's the nearest double
        return abs(float(cmd) - mod) <= math.ulp(mod) + 1e-9
    if target in ("epoch", "epoch16"):
        return held_from_text(cmd, target) == mod
    return cmd == as_text(mod, target)


@pytest.mark.skipif(not os.access(COMMAND, os.X_OK), reason="the temps command is not built (TEMPS_COMMAND)")
@pytest.mark.parametrize("leaps", ["shipped", "negative"])
def test_every_pair_of_formats_agrees_through_both_faces(tmp_path, leaps):
    path = LEAPS if leaps == "shipped" else negative_leap_list(str(tmp_path / "negative.list"))
    from test_spice import LSK, SCLK
    for name, text in (("sclk", SCLK), ("lsk", LSK)):
        (tmp_path / name).write_text(text)
        KERNELS[name] = str(tmp_path / name)
    labels = np.array(EDGES)
    compared = 0
    for source in TEXT_FORMATS:
        # The edge instants in the source format, through the module.
        if source == "obt":
            values = ["1/0", "1/86400000", "1/86400001.5", "2/1024", "3/5"]
        elif source == "sclk":
            values = ["1/0:0:1:0", "1/00000100:05:3:1", "1/100000:0:1:0", "2/100000:00:1:0", "2/7000000:0:4:1", "3/1"]
        else:
            with warnings.catch_warnings():
                warnings.simplefilter("ignore")
                held = temps.convert(labels, "utc", source, leap_seconds=path, errors="coerce", precision=9,
                                 sclk=KERNELS["sclk"], clock="99", lsk=KERNELS["lsk"])
            held = [v.item() if isinstance(v, np.generic) else v for v in held]
            values = [as_text(v, source) for v in held if v not in ("", b"", -2**63) and v == v]  # not the missing values
            if source == "tt2000":
                values += [str(-2**63), str(-2**63 + 1)]
        for target in TEXT_FORMATS:
            out, errors = command(source, target, values, path)
            refused = iter(errors)
            for value, cmd in zip(values, out):
                mod = module(source, target, held_from_text(value, source), path)
                if cmd == "":
                    message = next(refused)
                    assert isinstance(mod, tuple), (source, target, value, message, mod)
                    assert message.endswith(": " + mod[1]), (source, target, value, message, mod)
                else:
                    assert not isinstance(mod, tuple), (source, target, value, cmd, mod)
                    assert same(cmd, mod, target), (source, target, value, cmd, mod)
                compared += 1
    assert compared > 2000
