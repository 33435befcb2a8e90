"""VondrelDecimal: a decimal the engine reads through str() and builds from
its plain text."""
import decimal as _decimal


class VondrelDecimal:
    __slots__ = ("_value",)

    def __init__(self, value="0"):
        self._value = _decimal.Decimal(str(value))

    def __str__(self):
        return str(self._value)

    def __repr__(self):
        return f"VondrelDecimal('{self._value}')"

    def __eq__(self, other):
        if isinstance(other, VondrelDecimal):
            return self._value == other._value
        return NotImplemented

    def __hash__(self):
        return hash(self._value)
