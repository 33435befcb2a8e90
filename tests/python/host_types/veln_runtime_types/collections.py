"""VondrelSet and VondrelFrozenSet: built from a list of items in the engine's
set order, iterated in that order when handed back."""


class VondrelFrozenSet:
    __slots__ = ("_items",)

    def __init__(self, items=()):
        self._items = list(items)

    def __iter__(self):
        return iter(self._items)

    def __len__(self):
        return len(self._items)

    def __eq__(self, other):
        if type(other) is type(self):
            return self._items == other._items
        return NotImplemented

    def __hash__(self):
        return hash(tuple(self._items))

    def __repr__(self):
        return f"{type(self).__name__}({self._items!r})"


class VondrelSet(VondrelFrozenSet):
    __slots__ = ()
    __hash__ = None
