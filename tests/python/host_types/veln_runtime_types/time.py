"""Datetime and Timedelta: the engine reads the component attributes of a
Datetime and the seconds attribute of a Timedelta, and builds them with
Datetime(year, month, day, hour, minute, second, microsecond=...) and
Timedelta(seconds=...)."""


class Datetime:
    __slots__ = ("year", "month", "day", "hour", "minute", "second", "microsecond")

    def __init__(self, year, month, day, hour=0, minute=0, second=0, microsecond=0):
        self.year, self.month, self.day = year, month, day
        self.hour, self.minute, self.second, self.microsecond = hour, minute, second, microsecond

    def _fields(self):
        return (self.year, self.month, self.day, self.hour, self.minute, self.second, self.microsecond)

    def __eq__(self, other):
        if isinstance(other, Datetime):
            return self._fields() == other._fields()
        return NotImplemented

    def __hash__(self):
        return hash(self._fields())

    def __repr__(self):
        return "Datetime(%d, %d, %d, %d, %d, %d, microsecond=%d)" % self._fields()


class Timedelta:
    """A whole number of seconds (the engine's time deltas have no fraction)."""

    __slots__ = ("seconds",)

    def __init__(self, seconds=0):
        self.seconds = seconds

    def __eq__(self, other):
        if isinstance(other, Timedelta):
            return self.seconds == other.seconds
        return NotImplemented

    def __hash__(self):
        return hash(self.seconds)

    def __repr__(self):
        return f"Timedelta(seconds={self.seconds})"
