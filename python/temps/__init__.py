"""temps: exact, vectorised time conversions for a mission's data.

UTC with its leap seconds and the drift of the 1960s, TAI, TT, GPS, TU,
Julian day numbers, on-board clock readings, CCSDS time codes, the CDF
epochs of space-physics files, POSIX time, day-of-year labels and NumPy's
datetime64; the formats of the temps command, converted by the same
library. See convert.
"""

import warnings as _warnings

import numpy as _np

from . import _temps

__all__ = ["convert", "FORMATS"]

# The library's formats and how each holds its values.
_HELD = dict(_temps.formats())
FORMATS = tuple(_HELD)
_ERRORS = ("raise", "coerce")
_INT64_MAX = _np.iinfo(_np.int64).max
_warned = set()  # (path, warning) already said


def _choices(names):
    return ", ".join(names)


def _native(array):
    """array in native byte order (exact: only the bytes move)."""
    if array.dtype.byteorder not in ("=", "|"):
        array = array.astype(array.dtype.newbyteorder("="))
    return array


def _as_held(values, source):
    """values as the contiguous array the compiled loop reads for source,
    and the datetime64 unit; refuses, with ValueError, what it cannot read
    exactly rather than cast it."""
    held = _HELD[source]
    array = values if isinstance(values, _np.ndarray) else _np.asarray(values)
    kind = array.dtype.kind
    unit = "ns"
    if held == "text":
        if kind not in "US":
            if kind != "O" and array.size:
                raise ValueError("%s values are text: a str or bytes array, not %s" % (source, array.dtype))
            # Any sequence of str or bytes: each as text.
            flat = array.ravel().tolist()
            if not all(isinstance(v, (str, bytes)) for v in flat):
                raise ValueError("%s values are text: str or bytes, not %s" % (
                    source, next(type(v).__name__ for v in flat if not isinstance(v, (str, bytes)))))
            flat = [v.decode("ascii", "replace") if isinstance(v, bytes) else v for v in flat]
            array = _np.array(flat, dtype="U").reshape(array.shape) if flat else _np.zeros(array.shape, "U1")
    elif held == "octets":
        if kind != "S":
            if kind != "O" or not all(isinstance(v, bytes) for v in array.ravel().tolist()):
                raise ValueError("%s values are the octets of codes: a bytes (S) array, not %s" % (source, array.dtype))
            array = array.astype("S")
    elif source == "datetime64":
        if kind != "M":
            raise ValueError("datetime64 values are a datetime64 array, not %s" % (array.dtype,))
        base, count = _np.datetime_data(array.dtype)
        if base == "generic":
            raise ValueError("datetime64 values need a unit (datetime64[ns], [s], ...)")
        unit = ("%d" % count if count != 1 else "") + base
        array = _native(array).view(_np.int64)
    elif held == "int64":
        if kind == "u":
            if array.size and array.max() > _INT64_MAX:
                index = int(_np.argmax(array.ravel() > _INT64_MAX))
                raise ValueError("%s: %s: beyond int64, which %s values are" % (index, array.ravel()[index], source))
        elif kind != "i":
            raise ValueError("%s values are whole numbers: an integer array, not %s" % (source, array.dtype))
        array = _native(array).astype(_np.int64)
    elif held == "float64":
        if kind in "iu":
            exact = array.astype(_np.float64)
            if array.size and not _np.array_equal(exact.astype(array.dtype), array):
                index = int(_np.argmax(exact.astype(array.dtype).ravel() != array.ravel()))
                raise ValueError("%s: %s: not exactly a float64, which %s values are" % (index, array.ravel()[index], source))
            array = exact
        elif kind != "f":
            raise ValueError("%s values are numbers: a float array, not %s" % (source, array.dtype))
        else:
            exact = _native(array).astype(_np.float64)
            if array.dtype.itemsize > 8 and not _np.array_equal(exact.astype(array.dtype), array, equal_nan=True):
                raise ValueError("%s values wider than float64 cannot be read exactly" % (source,))
            array = exact
    else:  # epoch16: seconds and picoseconds
        if kind != "c" or array.dtype.itemsize > 16:
            raise ValueError("epoch16 values are complex128 (seconds + picoseconds j), not %s" % (array.dtype,))
        array = _native(array).astype(_np.complex128)
    if held in ("text", "octets"):
        array = _native(array)
    return _np.require(array, requirements="C"), unit  # (ascontiguousarray makes a 0-d array 1-d)


def convert(values, source, target, *, precision=9, leap_seconds=None, correlation=None,
            agency_epoch=None, pfield=None, errors="raise", sclk=None, lsk=None, clock=None):
    """Converts an array of times from one format to another, exactly.

    values: an array or any sequence, of the source format's type; a masked
        array comes back masked where it was, and a 0-d array as a 0-d one.
    source, target: one of FORMATS:
        "utc", "tai", "tt", "gps"  ISO 8601 labels YYYY-MM-DDTHH:MM:SS[.fraction][Z]
                                   on that scale (23:59:60 inside a UTC leap second),
                                   as a NumPy str array (any sequence of str or bytes in)
        "yday"     str: the CCSDS ASCII time code B of UTC, YYYY-DDDTHH:MM:SS[.fraction][Z]
        "tu"       float64: TU milliseconds since 1958-01-01, without leap seconds
        "unix"     float64: POSIX seconds since 1970-01-01 UTC, without leap seconds
        "jd"       int64: the Julian day number of the date (in: 00:00 UTC of that day)
        "obt"      str "PARTITION/READING" of the on-board clock; needs correlation
        "cds", "cuc"  bytes (dtype S): a CCSDS time code's raw octets, P-field first,
                   read to the length the P-field gives
        "tt2000"   int64: CDF_TIME_TT2000, SI nanoseconds since J2000
                   (2000-01-01T11:58:55.816 UTC), 1707-09-22 to 2292-04-11; CDF's
                   fill value -9223372036854775808 and pad value -9223372036854775807
                   are markers, not instants: they read and write as the labels
                   9999-12-31T23:59:59.999999999 and 0000-01-01T00:00:00
        "epoch"    float64: CDF_EPOCH, milliseconds since 0000-01-01 of the proleptic
                   Gregorian calendar, without leap seconds
        "epoch16"  complex128: CDF_EPOCH16, real seconds and imaginary picoseconds
                   since the same instant
        "datetime64"  datetime64 of any unit in, datetime64[ns] out, as UTC; it has no
                   23:59:60, which is refused; NaT is a missing value
        "sclk"     str: a reading "PARTITION/FIELD.FIELD..." of a SPICE type 1 clock;
                   needs sclk (and lsk for a clock of TDB)
        "et"       float64: SPICE's ephemeris time, TDB seconds past J2000; needs lsk
    Integer formats take integer arrays only, float64 formats floats and the
    integers a float64 holds exactly: nothing is cast that would change.
    Labels are Julian before 1582-10-15; the CDF epochs, unix and datetime64
    count the same days, whatever their names. Inside a leap second, formats
    without one (tu, epoch, epoch16) give the last instant they name before it.
    precision: digits of a label's fraction of a second written (0 to 9),
        truncated.
    leap_seconds: path of the leap-second list (IERS/IANA leap-seconds.list);
        by default temps._temps.default_leap_seconds. Read when a value first
        needs it, and again when the file changes; a list past its expiry
        warns once per path.
    correlation: path of a clock-correlation table, for obt; kept the same way.
    sclk: path of a SPICE clock kernel (SCLK, type 1), for sclk; clock: the id of
        its clock where it has several ("-82" or "82").
    lsk: path of a SPICE leap-second kernel (LSK), for et and for clocks of TDB;
        without leap_seconds, UTC's leap seconds are the LSK's.
    agency_epoch: "YYYY-MM-DD", the epoch of codes whose P-field says so.
    pfield: the one-octet P-field of output codes (default 0x40 for CDS, 0x1E
        for CUC).
    errors: "raise" raises ValueError("<index>: <value>: <reason>") for the
        first value refused; "coerce" puts the target's missing value there
        instead: NaT, CDF's fill value for tt2000, NaN, the smallest int64 for
        jd, an empty string or bytes (and masks it, for a masked array).
        Missing values in (NaT, masked) are missing out under either.

    Returns a new array of the target's type with the input's shape. The loop
    runs without the interpreter's lock, so several threads convert at once;
    it keeps no Python object per value.
    """
    if errors not in _ERRORS:
        raise ValueError("errors must be one of %s, not %r" % (_choices(_ERRORS), errors))
    for what, name in (("source", source), ("target", target)):
        if name not in _HELD:
            raise ValueError("unknown %s format %r: the formats are %s" % (what, name, _choices(FORMATS)))
    if isinstance(precision, bool) or not isinstance(precision, (int, _np.integer)) or not 0 <= precision <= 9:
        raise ValueError("precision must be a whole number 0 to 9, not %r" % (precision,))
    mask = None
    if _np.ma.isMaskedArray(values):
        mask = _np.require(_np.ma.getmaskarray(values), requirements="C")
        values = _np.ma.getdata(values)
    held, unit = _as_held(values, source)
    path = (_temps.default_leap_seconds if lsk is None else "") if leap_seconds is None else str(leap_seconds)
    out, index, reason, file_error, refused, warned = _temps.convert(
        held, source, target, int(precision), path, None if correlation is None else str(correlation),
        agency_epoch, pfield, errors == "coerce", mask, unit, None if sclk is None else str(sclk),
        None if lsk is None else str(lsk), None if clock is None else str(clock))
    for flag, text in ((_temps.warned_expired, "%s has expired: later instants keep its last offset" % path),
                       (_temps.warned_before_1960, "there was no UTC before 1960: TAI - UTC taken as 0")):
        if warned & flag and (path, flag) not in _warned:
            _warned.add((path, flag))
            _warnings.warn(text, stacklevel=2)
    if file_error is not None:
        raise ValueError(file_error)
    if out is None:
        where = _np.unravel_index(index, held.shape) if held.ndim > 1 else index
        value = held.reshape(-1)[index]
        if source == "datetime64":
            value = value.view("datetime64[%s]" % unit)
        raise ValueError("%s: %s: %s" % (where, value, reason))
    if mask is not None:
        out = _np.ma.masked_array(out, mask=mask | refused)
    return out
