"""The Python module temps against independent oracles: astropy's Time for
TT2000 and the scales, Python's proleptic Gregorian datetime for the CDF
epochs, NumPy's datetime64, and a Dask cluster against one call in-process.
Each test is skipped, with its reason, where its tool is missing."""

import datetime
import os
import threading
import warnings

import numpy as np
import pytest

import temps

LEAPS = os.environ.get("TEMPS_TEST_LEAP_SECONDS", os.path.join(os.path.dirname(__file__), "..", "data", "leap-seconds.list"))
J2000_TT = datetime.datetime(2000, 1, 1, 12)
ONE_DAY_NS = 86400 * 10**9


def tt_label_to_tt2000(label):
    """Nanoseconds from J2000 of a TT label YYYY-MM-DDTHH:MM:SS.fffffffff, exactly."""
    whole, _, fraction = label.partition(".")
    d = datetime.datetime.strptime(whole, "%Y-%m-%dT%H:%M:%S") - J2000_TT
    return (d.days * 86400 + d.seconds) * 10**9 + int((fraction + "000000000")[:9])


def leap_days():
    """The days that end with a leap second, from the list."""
    days, last = [], None
    for line in open(LEAPS):
        if line.startswith("#") or not line.strip():
            continue
        ntp, offset = (int(x) for x in line.split()[:2])
        if last is not None and offset > last:
            days.append(datetime.date(1900, 1, 1) + datetime.timedelta(seconds=ntp) - datetime.timedelta(days=1))
        last = offset
    return days


@pytest.fixture(scope="module")
def astropy_time():
    time = pytest.importorskip("astropy.time", reason="python3-astropy is not installed")
    from astropy.utils import iers
    iers.conf.auto_download = False
    iers.conf.auto_max_age = None
    return time.Time


def labels_1960_2035():
    days = np.arange(np.datetime64("1960-01-01"), np.datetime64("2036-01-01"))
    text = np.datetime_as_string(days)
    out = [d + "T00:00:00.000000000" for d in text] + [d + "T12:34:56.789000000" for d in text]
    for day in leap_days():
        out += [day.isoformat() + "T23:59:60.000000000", day.isoformat() + "T23:59:60.999999999"]
    return np.array(out)


@pytest.mark.parametrize("scale", ["utc", "tai", "tt", "gps"])
def test_tt2000_agrees_with_astropy(astropy_time, scale):
    labels = labels_1960_2035()
    if scale != "utc":
        labels = labels[np.char.find(labels, "T23:59:60") < 0]  # only UTC has them
    ours = temps.convert(labels, scale, "tt2000", leap_seconds=LEAPS)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # dubious years, expired tables: both keep the last offset
        # astropy has no GPS labels: a GPS label read as TAI is 19 s early.
        t = astropy_time(labels, format="isot", scale="tai" if scale == "gps" else scale, precision=9)
        tt = t.tt.isot
    want = np.array([tt_label_to_tt2000(x) for x in tt], dtype=np.int64)
    if scale == "gps":
        want = want + 19 * 10**9  # GPS = TAI - 19 s
    off = np.abs(ours - want)
    # The drift of the 1960s makes some UTC nanoseconds fall between two TAI
    # ones, which the two libraries may round apart; elsewhere, exact.
    drift = (labels < "1972") if scale == "utc" else np.zeros(len(labels), bool)
    assert off[~drift].max() == 0, (labels[~drift][off[~drift].argmax()], ours[~drift][off[~drift].argmax()])
    assert off[drift].max(initial=0) <= 1, (labels[drift][off[drift].argmax()], ours[drift][off[drift].argmax()])


def julian_or_gregorian_label(ordinal, time):
    """The library's label of a day given by its proleptic Gregorian ordinal:
    Julian before 1582-10-15 (day number 2299161), Gregorian after."""
    jdn = ordinal + 1721425
    if jdn >= 2299161:
        return datetime.date.fromordinal(ordinal).isoformat() + time
    c = jdn + 32082  # Julian calendar from the day number
    d = (4 * c + 3) // 1461
    e = c - 1461 * d // 4
    m = (5 * e + 2) // 153
    day, month, year = e - (153 * m + 2) // 5 + 1, m + 3 - 12 * (m // 10), d - 4800 + m // 10
    return "%04d-%02d-%02d%s" % (year, month, day, time)


def test_epoch_against_proleptic_gregorian_arithmetic():
    first, last = datetime.date(1, 1, 1).toordinal(), datetime.date(9999, 12, 31).toordinal()
    ordinals = range(first + 2, last + 1)  # Julian 0001-01-01 is Gregorian 0001-01-03
    labels = np.array([julian_or_gregorian_label(o, "T12:00:00") for o in ordinals])
    ours = temps.convert(labels, "utc", "epoch")
    want = (np.arange(first + 2, last + 1, dtype=np.float64) + 365) * 86400000 + 43200000  # 366 days of year 0
    assert np.array_equal(ours, want)
    back = temps.convert(ours, "epoch", "utc", precision=0)
    assert np.array_equal(back, labels)


def test_epoch16_round_trips_to_the_picosecond():
    rng = np.random.default_rng(16)
    seconds = rng.integers(31449600, 315569519999, 10000).astype(np.float64)
    ps = rng.integers(0, 10**12, 10000).astype(np.float64)
    values = seconds + 1j * ps
    assert np.array_equal(temps.convert(values, "epoch16", "epoch16"), values)
    labels = temps.convert(values, "epoch16", "utc")
    assert np.array_equal(temps.convert(labels, "utc", "epoch16"), seconds + 1j * (ps - ps % 1000))


def test_datetime64_tt2000_and_labels_round_trip():
    rng = np.random.default_rng(64)
    ns = rng.integers(-2**62, 2**62, 100000)
    times = ns.view("datetime64[ns]")
    tt2000 = temps.convert(times, "datetime64", "tt2000", leap_seconds=LEAPS)
    assert np.array_equal(temps.convert(tt2000, "tt2000", "datetime64", leap_seconds=LEAPS), times)
    labels = temps.convert(times, "datetime64", "utc")
    assert np.array_equal(labels.astype("datetime64[ns]"), times)  # NumPy reads the labels back
    assert np.array_equal(temps.convert(labels, "utc", "datetime64"), times)
    # Shapes, sequences of bytes, the CDF markers.
    grid = tt2000[:12].reshape(3, 4)
    assert temps.convert(grid, "tt2000", "utc", leap_seconds=LEAPS).shape == (3, 4)
    assert temps.convert([b"2001-01-01T00:00:00"], "utc", "tt2000", leap_seconds=LEAPS)[0] == 31579264184000000
    markers = temps.convert([-2**63, -2**63 + 1], "tt2000", "utc", leap_seconds=LEAPS)
    assert markers.tolist() == ["9999-12-31T23:59:59.999999999", "0000-01-01T00:00:00.000000000"]
    assert temps.convert(markers, "utc", "tt2000", leap_seconds=LEAPS).tolist() == [-2**63, -2**63 + 1]


def test_errors_raise_and_coerce():
    with pytest.raises(ValueError, match=r"^1: 2016-12-31T23:59:60: a leap second, which datetime64 has not$"):
        temps.convert(["2016-12-31T23:59:59", "2016-12-31T23:59:60"], "utc", "datetime64", leap_seconds=LEAPS)
    with pytest.raises(ValueError, match=r"^\(1, 0\): x: not a UTC time"):
        temps.convert([["2004-07-05T00:00:00"], ["x"]], "utc", "tt2000", leap_seconds=LEAPS)
    # NaT among valid values is a missing value, under either errors=.
    nat = np.array(["2004-07-05", "NaT", "2004-07-06"], dtype="datetime64[ns]")
    for errors in ("raise", "coerce"):
        assert temps.convert(nat, "datetime64", "utc", precision=0, errors=errors).tolist() == [
            "2004-07-05T00:00:00", "", "2004-07-06T00:00:00"]
        assert temps.convert(nat, "datetime64", "tt2000", leap_seconds=LEAPS, errors=errors)[1] == -2**63
        assert np.isnat(temps.convert(nat, "datetime64", "datetime64", errors=errors)[1])
    got = temps.convert(["2016-12-31T23:59:60", "2004-07-05T00:00:00", "x"], "utc", "datetime64",
                        leap_seconds=LEAPS, errors="coerce")
    assert np.isnat(got[0]) and np.isnat(got[2]) and got[1] == np.datetime64("2004-07-05")
    assert temps.convert(["x"], "utc", "tt2000", leap_seconds=LEAPS, errors="coerce")[0] == -2**63
    assert np.isnan(temps.convert(["x"], "utc", "tu", errors="coerce")[0])
    assert temps.convert(["x"], "tai", "utc", leap_seconds=LEAPS, errors="coerce")[0] == ""
    assert temps.convert(["x"], "utc", "cds", leap_seconds=LEAPS, errors="coerce")[0] == b""
    # A CDS code and back, its octets raw.
    code = temps.convert(["2004-07-05T12:34:56.789"], "utc", "cds", leap_seconds=LEAPS)
    assert code.dtype == np.dtype("S7") and code[0][:1] == b"\x40"
    assert temps.convert(code, "cds", "utc", precision=3, leap_seconds=LEAPS)[0] == "2004-07-05T12:34:56.789"


def test_threads_convert_at_once():
    rng = np.random.default_rng(7)
    times = rng.integers(0, 2**62, 200000).view("datetime64[ns]")
    want = temps.convert(times, "datetime64", "tt2000", leap_seconds=LEAPS)
    results = [None] * 4

    def work(k):
        results[k] = temps.convert(times, "datetime64", "tt2000", leap_seconds=LEAPS)

    threads = [threading.Thread(target=work, args=(k,)) for k in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert all(np.array_equal(r, want) for r in results)


def test_dask_cluster_gives_the_array_of_one_call():
    da = pytest.importorskip("dask.array", reason="python3-dask is not installed")
    distributed = pytest.importorskip("distributed", reason="python3-distributed is not installed")
    values = np.arange(20_000_000, dtype=np.int64) * 15_000_000_007 - 2**62 // 2
    want = temps.convert(values, "tt2000", "datetime64", leap_seconds=LEAPS, errors="coerce")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        chunks = da.from_array(values, chunks=len(values) // 16)
        got = chunks.map_blocks(temps.convert, "tt2000", "datetime64", leap_seconds=LEAPS, errors="coerce",
                                dtype="datetime64[ns]").compute()
        assert len(client.scheduler_info()["workers"]) == 2
    assert np.array_equal(got, want, equal_nan=False) or np.array_equal(got.view(np.int64), want.view(np.int64))


def test_refuses_what_it_cannot_read_exactly():
    ns = np.array(["3000-01-01"], "datetime64[s]")
    rows = [
        # (what, call, the result, or the start of the refusal)
        ("datetime64 read in its own unit, never wrapped", lambda: temps.convert(ns, "datetime64", "utc", precision=0),
         ["3000-01-01T00:00:00"]),
        ("a day before year 1", lambda: temps.convert(np.array(["-0001-01-01"], "datetime64[D]"), "datetime64", "utc"),
         "0: -001-01-01: beyond the years 1 to 9999"),
        ("a float for an integer format", lambda: temps.convert([0.5], "tt2000", "utc", leap_seconds=LEAPS),
         "tt2000 values are whole numbers"),
        ("NaN for an integer format", lambda: temps.convert([np.nan], "jd", "utc"), "jd values are whole numbers"),
        ("an unsigned beyond int64", lambda: temps.convert(np.array([2**64 - 1], np.uint64), "tt2000", "utc"),
         "0: 18446744073709551615: beyond int64"),
        ("an unsigned within it", lambda: temps.convert(np.array([2453192], np.uint32), "jd", "utc", precision=0),
         ["2004-07-05T00:00:00"]),
        ("an integer a float64 holds exactly", lambda: temps.convert(np.array([0], np.int64), "tu", "utc", precision=0),
         ["1958-01-01T00:00:00"]),
        ("one it does not", lambda: temps.convert(np.array([2**53 + 1]), "tu", "utc"), "0: 9007199254740993: not exactly"),
        ("an object array for a number", lambda: temps.convert(np.array([1, "x"], object), "tu", "utc"), "tu values are numbers"),
        ("big-endian labels", lambda: temps.convert(np.array(["2004-07-05T00:00:00"], ">U19"), "utc", "tu"),
         [1467676800000.0]),
        ("big-endian counts", lambda: temps.convert(np.array([2453192], ">i8"), "jd", "utc", precision=0),
         ["2004-07-05T00:00:00"]),
        ("a NUL inside a label", lambda: temps.convert(np.array(["2004-07-05T00:00:00\0x"]), "utc", "tu"),
         "0: 2004-07-05T00:00:00"),
        ("jd in, 9999-12-31 included", lambda: temps.convert(np.array([2453192, 5373484]), "jd", "utc", precision=0),
         ["2004-07-05T00:00:00", "9999-12-31T00:00:00"]),
        ("jd out", lambda: temps.convert(["2004-07-05T23:00:00", "9999-12-31T00:00:00"], "utc", "jd"), [2453192, 5373484]),
        ("jd beyond", lambda: temps.convert([5373485], "jd", "utc"), "0: 5373485: a Julian day number beyond"),
        ("a misspelt errors=", lambda: temps.convert([0], "tt2000", "utc", errors="rase"),
         "errors must be one of raise, coerce, not 'rase'"),
        ("a misspelt format", lambda: temps.convert([0], "tt200", "utc"), "unknown source format 'tt200': the formats are utc,"),
        ("a precision out of range", lambda: temps.convert([0], "tt2000", "utc", precision=10), "precision must be"),
        ("a CDS of 23:59:60 on a day without a leap second",
         lambda: temps.convert([bytes.fromhex("40542C05265C00")], "cds", "utc", leap_seconds=LEAPS),
         "0: b'@T,\\x05&\\\\': a millisecond of day past 86,399,999 on a day without a leap second"),
        ("a whole-second CDS, its last octets zero, read back",
         lambda: temps.convert(temps.convert(["2004-07-05T00:00:00"], "utc", "cds", leap_seconds=LEAPS), "cds", "utc",
                               leap_seconds=LEAPS, precision=0), ["2004-07-05T00:00:00"]),
        ("unix out", lambda: temps.convert(["2016-12-31T23:59:59.5", "2016-12-31T23:59:60"], "utc", "unix",
                                           leap_seconds=LEAPS, errors="coerce").tolist()[0], 1483228799.5),
        ("yday both ways", lambda: temps.convert(temps.convert(["2016-12-31T23:59:60.5"], "utc", "yday", leap_seconds=LEAPS,
                                                              precision=3), "yday", "utc", leap_seconds=LEAPS, precision=3),
         ["2016-12-31T23:59:60.500"]),
    ]
    for what, call, want in rows:
        if isinstance(want, str):
            with pytest.raises(ValueError) as e:
                call()
            assert str(e.value).startswith(want), (what, str(e.value))
        else:
            got = call()
            assert (got.tolist() if hasattr(got, "tolist") else got) == want, (what, got)


def test_masks_and_shapes_pass_through():
    values = np.ma.masked_array([0, 10**9, -5], mask=[False, True, False])
    got = temps.convert(values, "tt2000", "tai", leap_seconds=LEAPS, precision=0)
    assert got.mask.tolist() == [False, True, False]
    assert got[0] == "2000-01-01T11:59:27"
    coerced = temps.convert(np.ma.masked_array(["x", "2004-07-05T00:00:00"], mask=[False, False]), "utc", "jd",
                            errors="coerce")
    assert coerced.mask.tolist() == [True, False] and coerced[1] == 2453192
    scalar = temps.convert(np.int64(0), "tt2000", "tai", leap_seconds=LEAPS, precision=0)
    assert scalar.shape == () and scalar.item() == "2000-01-01T11:59:27"
    assert temps.convert(np.zeros((2, 0), np.int64), "tt2000", "tai", leap_seconds=LEAPS).shape == (2, 0)


def test_files_are_kept_by_what_they_are(tmp_path):
    # Two lists in one process each give their own answers; a list that
    # changes is read again; a FIFO is refused without blocking.
    from test_faces import negative_leap_list
    a, b = tmp_path / "a.list", tmp_path / "b.list"
    a.write_text(open(LEAPS).read())
    negative_leap_list(str(b))
    label = ["2025-12-31T23:59:59"]
    assert temps.convert(label, "utc", "tai", leap_seconds=str(a), precision=0)[0] == "2026-01-01T00:00:36"
    with pytest.raises(ValueError, match="no leap second at this time"):
        temps.convert(label, "utc", "tai", leap_seconds=str(b))
    a.write_text(b.read_text())  # the same path, another list
    os.utime(a, ns=(10**18, 10**18))
    with pytest.raises(ValueError, match="no leap second at this time"):
        temps.convert(label, "utc", "tai", leap_seconds=str(a))
    fifo = tmp_path / "fifo"
    os.mkfifo(fifo)
    with pytest.raises(ValueError, match="not a regular file"):
        temps.convert(label, "utc", "tai", leap_seconds=str(fifo))
    # utc to tu needs no list but for the last second of a day.
    assert temps.convert(["2004-07-05T12:00:00"], "utc", "tu", leap_seconds=str(tmp_path / "none"))[0] == 1467720000000.0


def test_an_expired_list_warns_once_per_path(tmp_path):
    path = tmp_path / "expired.list"
    path.write_text(open(LEAPS).read())
    with warnings.catch_warnings(record=True) as seen:
        warnings.simplefilter("always")
        for _ in range(3):
            temps.convert(["2100-01-01T00:00:00"], "utc", "tai", leap_seconds=str(path))
    assert [str(w.message) for w in seen] == ["%s has expired: later instants keep its last offset" % path]
