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
