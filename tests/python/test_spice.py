"""A mission's own SPICE kernels, made here: readings of type 1 clocks to
TT2000 and ET against the SCLK formulas computed independently (in exact
fractions), ET against the LSK's formula, and the refusals; through the
module and the command alike."""

import datetime
import math
import os
import subprocess
from fractions import Fraction

import numpy as np
import pytest

import temps

COMMAND = os.environ.get("TEMPS_COMMAND", "")

LSK = r"""A leap-second kernel of the tests.
\begindata
DELTET/DELTA_T_A       =   32.184
DELTET/K               =    1.657D-3
DELTET/EB              =    1.671D-2
DELTET/M               = (  6.239996D0   1.99096871D-7 )
DELTET/DELTA_AT        = ( 10,   @1972-JAN-1
                           11,   @1972-JUL-1
                           32,   @1999-JAN-1
                           33,   @2006-JAN-1
                           34,   @2009-JAN-1
                           35,   @2012-JUL-1
                           36,   @2015-JUL-1
                           37,   @2017-JAN-1 )
\begintext
"""

# Clock 99 counts TT: four fields, the third offset by one, two partitions.
# Clock 77 counts TDB, and its map jumps back at its second triple.
SCLK = r"""Two clocks of the tests.
\begindata
SCLK_KERNEL_ID           = ( @2026-DEC-10/12:00 )
SCLK_DATA_TYPE_99        = ( 1 )
SCLK01_TIME_SYSTEM_99    = ( 2 )
SCLK01_N_FIELDS_99       = ( 4 )
SCLK01_MODULI_99         = ( 100000000 60 4 2 )
SCLK01_OFFSETS_99        = ( 0 0 1 0 )
SCLK01_OUTPUT_DELIM_99   = ( 2 )
SCLK_PARTITION_START_99  = ( 0.0000000000000E+00
                             4.8000000000000E+07 )
SCLK_PARTITION_END_99    = ( 4.8000000000000E+07
                             4.8000000000000E+10 )
SCLK01_COEFFICIENTS_99   = ( 0.0D0     1.4D8     1.0D0
                             4.8D7     1.6D8     1.0000001D0 )
SCLK01_COEFFICIENTS_99  += ( 2.4D9     1.65D8    0.999999D0 )

SCLK_DATA_TYPE_77        = ( 1 )
SCLK01_N_FIELDS_77       = ( 2 )
SCLK01_MODULI_77         = ( 4294967296 256 )
SCLK01_OFFSETS_77        = ( 0 0 )
SCLK01_OUTPUT_DELIM_77   = ( 1 )
SCLK_PARTITION_START_77  = ( 0 )
SCLK_PARTITION_END_77    = ( 1.0995116277760E+12 )
SCLK01_COEFFICIENTS_77   = ( 0 2.0D8 1.0
                             2.56D8 1.99D8 1.0 )
\begintext
Anything after \begintext is comment: NOT_A_VARIABLE = ( 1 )
"""

MODULI = {"99": [100000000, 60, 4, 2], "77": [4294967296, 256]}
OFFSETS = {"99": [0, 0, 1, 0], "77": [0, 0]}
PARTITIONS = {"99": [(0, 48000000), (48000000, 48000000000)], "77": [(0, 1099511627776)]}
TRIPLES = {"99": [(0, Fraction(140000000), 1), (48000000, Fraction(160000000), Fraction("1.0000001")),
                  (2400000000, Fraction(165000000), Fraction("0.999999"))],
           "77": [(0, Fraction(200000000), 1), (256000000, Fraction(199000000), 1)]}
K, EB, M0, M1 = 1.657e-3, 1.671e-2, 6.239996, 1.99096871e-7


@pytest.fixture()
def kernels(tmp_path):
    lsk, sclk = tmp_path / "test.tls", tmp_path / "test.tsc"
    lsk.write_text(LSK)
    sclk.write_text(SCLK)
    return str(lsk), str(sclk)


def parallel_of(clock, reading):
    """The SCLK formulas, exactly: fields to ticks, ticks to encoded SCLK,
    encoded SCLK to parallel seconds past J2000."""
    partition, _, fields = reading.partition("/")
    values = [int(f) for f in fields.replace(":", ".").split(".")]
    moduli, offsets = MODULI[clock], OFFSETS[clock]
    ticks = 0
    for i, v in enumerate(values):
        ticks += (v - offsets[i]) * math.prod(moduli[i + 1:])
    start, end = PARTITIONS[clock][int(partition) - 1]
    assert start <= ticks < end
    encoded = sum(e - s for s, e in PARTITIONS[clock][:int(partition) - 1]) + ticks - start
    msf = math.prod(moduli[1:])
    t = [x for x in TRIPLES[clock] if x[0] <= encoded][-1]
    return t[1] + Fraction(t[2]) / msf * (encoded - t[0])


def et_minus_tt(et):
    m = M0 + M1 * et
    return K * math.sin(m + EB * math.sin(m))


def test_readings_of_a_tt_clock_against_the_formulas(kernels):
    lsk, sclk = kernels
    readings = ["1/00000000:00:1:0", "1/00000100:05:3:1", "1/99999:59:4:1", "2/100000:00:1:0",
                "2/5000000:17:2:1", "2/99999999:59:4:1", "1/100:5:3:3"]
    got = temps.convert(readings, "sclk", "tt2000", sclk=sclk, clock="-99")
    want = [round(parallel_of("99", r) * 10**9) for r in readings[:-1]]
    assert got.tolist()[:-1] == want
    # Fields may exceed their modulus: the last carries into the third.
    assert got[-1] == temps.convert(["1/100:5:4:1"], "sclk", "tt2000", sclk=sclk, clock="99")[0]
    # Written as the kernel writes them, each field as wide as its largest value.
    back = temps.convert(got[:-1], "tt2000", "sclk", sclk=sclk, clock="99")
    assert back.tolist() == ["1/00000000:00:1:0", "1/00000100:05:3:1", "1/00099999:59:4:1", "2/00100000:00:1:0",
                             "2/05000000:17:2:1", "2/99999999:59:4:1"]
    # No LSK is needed for a clock of TT, nor a leap-second list for TT2000.
    tt = datetime.datetime(2000, 1, 1, 12) + datetime.timedelta(seconds=float(parallel_of("99", "1/100:5:3:1")))
    assert temps.convert(["1/100:5:3:1"], "sclk", "tt", sclk=sclk, clock="99", precision=6)[0] == tt.isoformat()


def test_readings_of_a_tdb_clock_and_et_against_the_lsk(kernels):
    lsk, sclk = kernels
    readings = ["1/0.0", "1/1000.128", "1/999999.255", "1/1000000.0", "1/1500000.0"]
    et = temps.convert(readings, "sclk", "et", sclk=sclk, lsk=lsk, clock="77")
    tt2000 = temps.convert(readings, "sclk", "tt2000", sclk=sclk, lsk=lsk, clock="77")
    for reading, e, t in zip(readings, et, tt2000):
        parallel = parallel_of("77", reading)  # ET, the clock being TDB
        assert abs(e - float(parallel)) <= math.ulp(float(parallel)), reading
        tt = parallel - Fraction(et_minus_tt(float(parallel)))
        assert abs(t - round(tt * 10**9)) <= 1, reading
    # ET <-> TT2000 by the LSK's formula, both ways.
    ets = np.array([-1e9, -0.5, 0.0, 123456789.125, 536500868.684, 9e8])
    ns = temps.convert(ets, "et", "tt2000", lsk=lsk)
    for e, n in zip(ets, ns):
        assert n == round((Fraction(e) - Fraction(et_minus_tt(e))) * 10**9), e
    back = temps.convert(ns, "tt2000", "et", lsk=lsk)
    assert np.max(np.abs(back - ets)) < 2e-9 * np.maximum(1, np.abs(ets)).max()
    # The jump back: an instant after both triples' times goes by the later one.
    t = 2.0005e8  # both triples at or before it: the later one, in the kernel's order
    reading = temps.convert([t], "et", "sclk", sclk=sclk, lsk=lsk, clock="77")[0]
    encoded = 256000000 + (Fraction(t) - 199000000) * 256
    assert reading == "1/%010d.%03d" % (int(encoded) // 256, int(encoded) % 256)
    # UTC through the LSK's leap seconds when no list is named.
    assert temps.convert(["2016-12-31T23:59:60.5"], "utc", "tt2000", lsk=lsk)[0] == 536500868684000000


def test_refusals(kernels, tmp_path):
    lsk, sclk = kernels
    rows = [
        ("a TDB clock without an LSK", lambda: temps.convert(["1/0.0"], "sclk", "et", sclk=sclk, clock="77"),
         "0: 1/0.0: needs a leap-second kernel (LSK)"),
        ("et without an LSK", lambda: temps.convert([0.0], "et", "tt2000"), "0: 0.0: needs a leap-second kernel (LSK)"),
        ("a reading at its partition's end", lambda: temps.convert(["1/100000:00:1:0"], "sclk", "tt2000", sclk=sclk, clock="99"),
         "0: 1/100000:00:1:0: ticks outside their partition"),
        ("a field below its offset", lambda: temps.convert(["1/100:5:0:1"], "sclk", "tt2000", sclk=sclk, clock="99"),
         "0: 1/100:5:0:1: a field below its offset"),
        ("a partition the kernel lacks", lambda: temps.convert(["3/1"], "sclk", "tt2000", sclk=sclk, clock="99"),
         "0: 3/1: a partition the clock kernel lacks"),
        ("not a reading", lambda: temps.convert(["1/1.5.1.1.1"], "sclk", "tt2000", sclk=sclk, clock="99"),
         "0: 1/1.5.1.1.1: not a clock reading"),
        ("two clocks and none named", lambda: temps.convert(["1/0"], "sclk", "tt2000", sclk=sclk),
         "%s: the kernel has 2 clocks: name one" % sclk),
        ("a clock the kernel lacks", lambda: temps.convert(["1/0"], "sclk", "tt2000", sclk=sclk, clock="5"),
         "%s: no clock 5 in the kernel" % sclk),
    ]
    bad = tmp_path / "bad.tsc"
    bad.write_text(SCLK.replace("1.0000001D0", "1.00O0001D0"))
    rows.append(("a malformed number", lambda: temps.convert(["1/0"], "sclk", "tt2000", sclk=str(bad), clock="99"),
                 "%s:15: not a number: 1.00O0001D0" % bad))
    for what, call, want in rows:
        with pytest.raises(ValueError) as e:
            call()
        assert str(e.value).startswith(want), (what, str(e.value))


@pytest.mark.skipif(not os.access(COMMAND, os.X_OK), reason="the temps command is not built (TEMPS_COMMAND)")
def test_the_command_reads_the_same_kernels(kernels):
    lsk, sclk = kernels
    run = subprocess.run([COMMAND, "--sclk", sclk, "--clock", "99", "-f", "sclk", "-t", "tt2000", "1/00000100:05:3:1",
                          "1/100:5:0:1"], capture_output=True, text=True, check=False)
    assert run.stdout == "%d\n" % temps.convert(["1/00000100:05:3:1"], "sclk", "tt2000", sclk=sclk, clock="99")[0]
    assert run.stderr == "temps: '1/100:5:0:1': a field below its offset\n" and run.returncode == 1
    run = subprocess.run([COMMAND, "--lsk", lsk, "-f", "et", "-t", "utc", "-p", "9", "0", "-0.5"],
                         capture_output=True, text=True, check=False)
    assert run.stdout.split() == temps.convert([0.0, -0.5], "et", "utc", lsk=lsk).tolist()
    run = subprocess.run([COMMAND, "-f", "sclk", "-t", "utc", "1/0"], capture_output=True, text=True, check=False)
    assert run.returncode == 2 and "sclk needs --sclk FILE" in run.stderr
