"""temps: exact, vectorised time conversions for a mission's data.

UTC with its leap seconds and the drift of the 1960s, TAI, TT, GPS, TU,
Julian day numbers, on-board clock readings, CCSDS time codes, the CDF
epochs of space-physics files, and NumPy's datetime64; the same formats as
the temps command. See convert.
"""

import numpy as _np

from . import _temps

__all__ = ["convert", "FORMATS"]

FORMATS = ("utc", "tai", "tt", "gps", "tu", "jd", "obt", "cds", "cuc", "tt2000", "epoch", "epoch16", "datetime64")

# How each format's values are held in NumPy.
_TEXT = ("utc", "tai", "tt", "gps", "obt")
_BYTES = ("cds", "cuc")
_DTYPES = {"tt2000": _np.int64, "jd": _np.int64, "tu": _np.float64, "epoch": _np.float64,
           "epoch16": _np.complex128, "datetime64": _np.dtype("datetime64[ns]")}


def _as_held(values, source):
    """values as the contiguous array the compiled loop reads for source."""
    if source in _TEXT:
        array = _np.asarray(values)
        if array.dtype.kind not in "US":
            # Any sequence of str or bytes: each as text.
            flat = [v.decode("ascii", "replace") if isinstance(v, bytes) else str(v) for v in array.ravel().tolist()]
            array = _np.array(flat, dtype="U").reshape(array.shape) if flat else array.astype("U1")
        return _np.ascontiguousarray(array)
    if source in _BYTES:
        return _np.ascontiguousarray(_np.asarray(values, dtype="S"))
    array = _np.asarray(values, dtype=_DTYPES[source])
    if source == "datetime64":
        array = array.astype("datetime64[ns]").view(_np.int64)
    return _np.ascontiguousarray(array)


def convert(values, source, target, *, precision=9, leap_seconds=None, correlation=None,
            agency_epoch=None, pfield=None, errors="raise"):
    """Converts an array of times from one format to another, exactly.

    values: an array or any sequence, of the source format's type.
    source, target: one of the formats:
        "utc", "tai", "tt", "gps"  ISO 8601 labels YYYY-MM-DDTHH:MM:SS[.fraction][Z]
                                   on that scale (23:59:60 inside a UTC leap second),
                                   as a NumPy str array (any sequence of str or bytes in)
        "tu"       float64: TU milliseconds since 1958-01-01, without leap seconds
        "jd"       int64: the Julian day number of the date (in: 00:00 UTC of that day)
        "obt"      str "PARTITION/READING" of the on-board clock; needs correlation
        "cds", "cuc"  bytes (dtype S): a CCSDS time code's raw octets, P-field first
        "tt2000"   int64: CDF_TIME_TT2000, SI nanoseconds since J2000
                   (2000-01-01T11:58:55.816 UTC), 1707-09-22 to 2292-04-11; CDF's
                   fill value -9223372036854775808 and pad value -9223372036854775807
                   are markers, not instants: they read and write as the labels
                   9999-12-31T23:59:59.999999999 and 0000-01-01T00:00:00
        "epoch"    float64: CDF_EPOCH, milliseconds since 0000-01-01 of the proleptic
                   Gregorian calendar, without leap seconds
        "epoch16"  complex128: CDF_EPOCH16, real seconds and imaginary picoseconds
                   since the same instant
        "datetime64"  datetime64[ns] as UTC; it has no 23:59:60, which is refused
    Labels are Julian before 1582-10-15; the CDF epochs and datetime64 count the
    same days, whatever their names. Inside a leap second, formats without one
    (tu, epoch, epoch16) give the last instant they name before it.
    precision: digits of a label's fraction of a second written (0 to 9),
        truncated.
    leap_seconds: path of the leap-second list (IERS/IANA leap-seconds.list);
        by default temps._temps.default_leap_seconds. Read once per path and kept.
    correlation: path of a clock-correlation table, for obt; read once and kept.
    agency_epoch: "YYYY-MM-DD", the epoch of codes whose P-field says so.
    pfield: the one-octet P-field of output codes (default 0x40 for CDS, 0x1E
        for CUC).
    errors: "raise" raises ValueError("<index>: <value>: <reason>") for the
        first value refused; "coerce" puts the target's missing value there
        instead: NaT, CDF's fill value for tt2000, NaN, the smallest int64 for
        jd, an empty string or bytes.

    Returns a new array of the target's type with the input's shape. The loop
    runs without the interpreter's lock, so several threads convert at once;
    it keeps no Python object per value.
    """
    if errors not in ("raise", "coerce"):
        raise ValueError("errors must be 'raise' or 'coerce'")
    if source not in FORMATS:
        raise ValueError("unknown source format %r" % (source,))
    held = _as_held(values, source)
    out, index, reason = _temps.convert(held, source, target, int(precision),
                                        None if leap_seconds is None else str(leap_seconds),
                                        None if correlation is None else str(correlation),
                                        agency_epoch, pfield, errors == "coerce")
    if out is None:
        where = _np.unravel_index(index, held.shape) if held.ndim > 1 else index
        value = held.reshape(-1)[index]
        if source == "datetime64":
            value = value.view("datetime64[ns]")
        raise ValueError("%s: %s: %s" % (where, value, reason))
    return out
