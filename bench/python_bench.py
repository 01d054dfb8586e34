"""temps.convert against astropy's Time on the same values, in one run:
10,000,000 datetime64[ns] UTC instants to CDF TT2000 (goal: at least 100
times astropy's speed) and 1,000,000 UTC labels to TT2000 (goal: at least
10 times). Prints the times, their ratios, and whether the answers agree.
Usage: PYTHONPATH=BUILD/python python3 bench/python_bench.py LEAP_SECONDS"""

import sys
import time
import warnings

import numpy as np
import temps
from astropy import units as u
from astropy.time import Time
from astropy.utils import iers

iers.conf.auto_download = False
iers.conf.auto_max_age = None
leaps = sys.argv[1]
J2000 = Time("2000-01-01T12:00:00", scale="tt", precision=9)


def best(f, runs):
    """The best of runs timings of f, and its last result."""
    times, out = [], None
    for _ in range(runs):
        start = time.perf_counter()
        out = f()
        times.append(time.perf_counter() - start)
    return min(times), out


def astropy_tt2000(t):
    d = t.tt - J2000  # two doubles of days
    return np.round((d.jd1 * 86400 + d.jd2 * 86400) * 1e9).astype(np.int64)


rng = np.random.default_rng(2004)
start, end = np.datetime64("2004-07-05", "ns").astype(np.int64), np.datetime64("2011-03-15", "ns").astype(np.int64)
instants = np.sort(rng.integers(start, end, 10_000_000)).view("datetime64[ns]")
labels = np.datetime_as_string(instants[::10], unit="ms")

for what, values, source, runs, goal, make in (
        ("10,000,000 datetime64[ns] -> TT2000", instants, "datetime64", 3, 100,
         lambda v: Time(v, format="datetime64", scale="utc")),
        ("1,000,000 UTC labels -> TT2000", labels, "utc", 3, 10, lambda v: Time(v, format="isot", scale="utc"))):
    ours_s, ours = best(lambda: temps.convert(values, source, "tt2000", leap_seconds=leaps), runs)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        theirs_s, theirs = best(lambda: astropy_tt2000(make(values)), 1)
    off = np.abs(ours - theirs).max()
    print("%s: temps %.0f ms, astropy %.0f ms: %.0f times faster (goal >= %d); largest difference %d ns"
          " (astropy's two doubles of days round there)"
          % (what, ours_s * 1e3, theirs_s * 1e3, theirs_s / ours_s, goal, off))
