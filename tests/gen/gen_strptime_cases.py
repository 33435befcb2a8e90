#!/usr/bin/env python3
"""Writes tests/data/strptime_cases.txt: date-time texts produced by CPython's
strftime (C locale) for random date-times and formats built from the
directives both languages share, with the date-time our parser must read
back, plus corrupted texts it must refuse.

Line format (tab separated): text, format, expected. expected is
"YYYY-MM-DD HH:MM:SS.nnnnnnnnn" or "fail". Fields the format leaves out come
out as zero (seconds, fraction). "%f" is ours: an integer count of
nanoseconds, so CPython's six microsecond digits "000123" read as 123 ns.
Deterministic: rerunning gives the same file.
"""
import datetime
import os
import random

# (format, what it determines): "ymd" full date from the year, "pivot" the
# year only through two digits (1970-2069), "iso" ISO week date, "iso_pivot".
DATE_FORMATS = [
    ("%Y-%m-%d", "ymd"), ("%F", "ymd"), ("%d/%m/%Y", "ymd"), ("%Y%m%d", "ymd4"), ("%m/%d/%Y", "ymd"),
    ("%D", "pivot"), ("%x", "pivot"), ("%y-%m-%d", "pivot"), ("%d.%m.%y", "pivot"), ("%C%y-%m-%d", "ymd4"),
    ("%Y %j", "ymd"), ("%Y-%j", "ymd"), ("%j/%Y", "ymd"),
    ("%G-W%V-%u", "iso"), ("%G %V %a", "iso"), ("%G-%V-%A", "iso"), ("%g %V %u", "iso_pivot"),
    ("%Y %U %w", "ymd"), ("%Y %W %u", "ymd"), ("%Y %U %a", "ymd"), ("%Y %W %A", "ymd"),
    ("%A, %d %B %Y", "ymd"), ("%a %b %d %Y", "ymd"), ("%d %b %Y", "ymd"), ("%B %d, %Y", "ymd"),
    ("%e-%b-%Y", "ymd"), ("%h %e %Y", "ymd"), ("%Y-%m-%d (%A)", "ymd"), ("%a %Y-%m-%d %j", "ymd"),
    ("%Y-%m-%d W%W U%U", "ymd"), ("%Y-%m-%d %G-W%V", "ymd"), ("%b %e %Y %u", "ymd"),
]
TIME_FORMATS = [
    ("%H:%M:%S", True), ("%T", True), ("%X", True), ("%H:%M", False), ("%R", False),
    ("%I:%M:%S %p", True), ("%r", True), ("%I:%M %p", False), ("%l:%M:%S %P", True), ("%k:%M", False),
    ("%H%M%S", True), ("%H.%M.%S", True), ("%Hh%Mm%Ss", True), ("%p %I:%M", False),
]
SEPARATORS = [" ", "T", "  ", " at ", "_", ", "]


def random_datetime(rng):
    year = rng.choice([rng.randrange(1, 10000), rng.randrange(1900, 2100), rng.randrange(1965, 2075)])
    start = datetime.date(year, 1, 1).toordinal()
    end = datetime.date(year, 12, 31).toordinal()
    if rng.random() < 0.15:  # around the turn of the year, where week numbers are tricky
        day = rng.choice([start + rng.randrange(0, 7), end - rng.randrange(0, 7)])
    else:
        day = rng.randrange(start, end + 1)
    d = datetime.date.fromordinal(day)
    return datetime.datetime(d.year, d.month, d.day, rng.randrange(24), rng.randrange(60), rng.randrange(60),
                             rng.randrange(1000000))


def expected(dt, with_seconds, nanos):
    sec = dt.second if with_seconds else 0
    return f"{dt.year:04d}-{dt.month:02d}-{dt.day:02d} {dt.hour:02d}:{dt.minute:02d}:{sec:02d}.{nanos:09d}"


def usable(kind, dt):
    if kind == "ymd4":
        return dt.year >= 1000
    if kind == "pivot":
        return 1970 <= dt.year <= 2069
    if kind == "iso_pivot":
        return 1970 <= dt.isocalendar()[0] <= 2069
    if kind == "iso":
        return dt.isocalendar()[0] >= 1000  # %G is printed unpadded below 1000
    return True


def fraction(rng, dt):
    """(format suffix, text suffix, nanoseconds) for a time with seconds."""
    style = rng.randrange(7)
    micro = dt.microsecond
    if style == 0:
        return "", "", 0
    if style == 1:  # CPython's own %f: six digits, read by us as nanoseconds
        return ".%f", dt.strftime(".%f"), micro
    if style == 2:
        ns = micro * 1000 + rng.randrange(1000)
        return ".%f", f".{ns:09d}", ns
    if style == 3:
        digits = rng.randrange(1, 13)
        text = "".join(rng.choice("0123456789") for _ in range(digits))
        return "%.f", "." + text, int((text + "0" * 9)[:9])
    if style == 4:
        return "%.f", "", 0  # the optional fraction absent
    if style == 5:
        n = rng.choice([3, 6, 9])
        text = "".join(rng.choice("0123456789") for _ in range(n))
        return f"%.{n}f", "." + text, int((text + "0" * 9)[:9])
    n = rng.choice([3, 6, 9])
    text = "".join(rng.choice("0123456789") for _ in range(n))
    return f"%{n}f", text, int((text + "0" * 9)[:9])


def weekday_is_redundant(fmt):
    """True when the format fixes the date without its weekday field."""
    return any(d in fmt for d in ("%d", "%e", "%j", "%F", "%c", "%D", "%x"))


WEEKDAY_NAMES = ["Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"]


def main():
    rng = random.Random(3111)
    lines = []
    seen = set()
    while len(lines) < 1500:
        dt = random_datetime(rng)
        dfmt, kind = rng.choice(DATE_FORMATS)
        if not usable(kind, dt):
            continue
        if rng.random() < 0.08:  # the composite %c on its own
            fmt, text = "%c", dt.strftime("%c")
            exp = expected(dt, True, 0)
        else:
            tfmt, with_seconds = rng.choice(TIME_FORMATS)
            sep = rng.choice(SEPARATORS)
            ffmt, ftext, nanos = fraction(rng, dt) if with_seconds else ("", "", 0)
            if rng.random() < 0.5:
                fmt_parts = [dfmt, sep, tfmt]
            else:
                fmt_parts = [tfmt, sep, dfmt]
            text = dt.strftime("".join(fmt_parts))
            # The fraction directly follows the seconds, which end the time part.
            if ffmt:
                if fmt_parts[0] == tfmt:
                    head = dt.strftime(tfmt)
                    assert text.startswith(head)
                    text = head + ftext + text[len(head):]
                    fmt = tfmt + ffmt + "".join(fmt_parts[1:])
                else:
                    text = text + ftext
                    fmt = "".join(fmt_parts) + ffmt
                if not tfmt.endswith(("%S", "%T", "%X", "%Ss")) or tfmt.endswith("%Ss"):
                    continue
            else:
                fmt = "".join(fmt_parts)
            exp = expected(dt, with_seconds, nanos)
        if (text, fmt) in seen:
            continue
        seen.add((text, fmt))
        lines.append((text, fmt, exp))
        # A corrupted twin: a weekday name that does not match the date.
        for name in WEEKDAY_NAMES:
            for form in (name, name[:3]):
                if form in text and ("%a" in fmt or "%A" in fmt or "%c" in fmt) and weekday_is_redundant(fmt):
                    other = WEEKDAY_NAMES[(WEEKDAY_NAMES.index(name) + rng.randrange(1, 7)) % 7]
                    bad = text.replace(form, other if form == name else other[:3], 1)
                    lines.append((bad, fmt, "fail"))
                    break
            else:
                continue
            break
        # Trailing text is refused.
        if rng.random() < 0.05:
            lines.append((text + "x", fmt, "fail"))
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "strptime_cases.txt")
    with open(path, "w") as f:
        for t, fm, e in lines:
            assert "\t" not in t and "\n" not in t
            f.write(f"{t}\t{fm}\t{e}\n")


if __name__ == "__main__":
    main()
