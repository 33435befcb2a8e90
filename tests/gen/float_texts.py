"""Float texts shared by the generator scripts: the display text this engine
prints for a double (CPython's repr with "NaN" and with the exponent written
without "+" and without leading zeros) and a double's bit pattern.

Imported by scripts beside it; writes nothing itself.
"""
import math
import struct


def display(x):
    if math.isnan(x):
        return "NaN"
    r = repr(x)
    if "e" in r:
        mant, exp = r.split("e")
        return mant + "e" + str(int(exp))
    return r


def bits(x):
    return struct.unpack("<Q", struct.pack("<d", x))[0]
