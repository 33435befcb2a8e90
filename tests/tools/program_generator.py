"""Generates small contract programs in the subset that CPython and the
contract language share, for the differential test.

A program is typed as it is built, so most of it is meaningful (a list is
indexed by an int, a text is joined from texts), with a small share of
deliberately ill-typed operands to reach the error paths. It has module
globals, private helper functions with defaults, and one exported entry
function with arguments; bodies use assignments, augmented assignments,
method calls, item assignment, tuple unpacking, if/elif/else, for and while
loops with break and continue, assertions and returns. Expressions cover
int and float arithmetic, texts and their methods, lists, tuples, dicts and
sets, list and dict comprehensions, f-strings and the builtins.

Float literals are decimals in the contract language, so floats only come
from division and float(). Loops are bounded and repetition factors small, so
every program ends quickly under both runners.
"""

import random

INT, FLOAT, STR, BOOL = "int", "float", "str", "bool"


def L(t):
    return ("list", t)


def S(t):
    return ("set", t)


def T(t):
    return ("tuple", t)


def D(k, v):
    return ("dict", k, v)


def P(a, b):
    return ("pair", a, b)


def kind(t):
    return t if isinstance(t, str) else t[0]


# Types of variables, with weights.
VALUE_TYPES = [(INT, 6), (STR, 4), (L(INT), 4), (L(STR), 2), (FLOAT, 2), (BOOL, 1), (D(STR, INT), 3),
               (D(INT, INT), 1), (S(INT), 2), (S(STR), 1), (T(INT), 1), (L(P(STR, INT)), 1), (P(INT, INT), 1),
               (L(L(INT)), 1), (L(FLOAT), 1), (D(STR, L(INT)), 1)]
ARGUMENT_TYPES = [INT, INT, STR, L(INT), L(STR), D(STR, INT), FLOAT, BOOL, T(INT)]
ORDERED = (INT, FLOAT, STR)

WORDS = ["a", "b", "ab", "abc", "hello world", "x,y,z", "  pad  ", "123", "-7", "42", "0", "1_000", "ff", "0x1f",
         "", "a b  c", "AbC", "zz", "é", "naïve café", "Hello", "  ", "12ab", "3.5", "-0.25", "1e3", "a,b,,c", "{}",
         "{} and {}", "{1}{0}", "x{0}y", "mississippi", "Z", "banana", "a-b-c", "tab\tsep", "ÿ", "日本"]
SEPARATORS = [",", " ", "-", "", "ab", "s", "an"]
FLOAT_TEXTS = ["1.5", "-2.25", "1e3", "0.1", "3", "-0.0", "2.5e-3", "abc", " 1.5", "1_0.5", "7."]
SMALL_INTS = list(range(-3, 11))
BIG_INTS = [2**31, -2**40, 10**20, 7**30, 2**63, -(2**64) - 1, 123456789012345678901234567890]
INT_SPECS = ["", "d", "x", "X", "o", "b", "5d", "05d", "08b", "3x", "04X", "+5d", "2", ".2f", "-3d"]


class Scope:
    def __init__(self, variables=(), loops=0, mutable_globals=()):
        self.variables = list(variables)          # (name, type), readable
        self.loops = loops                        # enclosing loops (break/continue allowed)
        self.mutable = set(mutable_globals)       # globals this function may change in place

    def child(self, *extra, loop=False):
        return Scope(self.variables + list(extra), self.loops + (1 if loop else 0), self.mutable)

    def of_type(self, t):
        return [name for name, vt in self.variables if vt == t]


class Helper:
    def __init__(self, name, params, returns):
        self.name, self.params, self.returns = name, params, returns   # params: (name, type, default text)

    def required(self):
        return [p for p in self.params if p[2] is None]


class ProgramGenerator:
    def __init__(self, seed, ill_typed=0.015):
        self.rng = random.Random(seed)
        self.ill_typed = ill_typed
        self.counter = 0
        self.helpers = []
        self.parameter_kinds = False   # helpers with *args, **kwargs and keyword-only parameters

    # ---- small choices ------------------------------------------------------------
    def chance(self, p):
        return self.rng.random() < p

    def pick(self, items):
        return self.rng.choice(items)

    def weighted(self, pairs):
        return self.rng.choices([x for x, _ in pairs], [w for _, w in pairs])[0]

    def fresh(self, prefix="v"):
        self.counter += 1
        return f"{prefix}{self.counter}"

    def value_type(self):
        return self.weighted(VALUE_TYPES)

    # ---- literals ------------------------------------------------------------------
    def small_int(self):
        return self.pick(SMALL_INTS) if self.chance(0.95) else self.pick(BIG_INTS)

    def literal(self, t):
        k = kind(t)
        if t == INT:
            return str(self.small_int())
        if t == FLOAT:
            if self.chance(0.5):
                return f"float({self.small_int()})"
            return f"({self.small_int()} / {self.pick([2, 4, 3, 8])})"
        if t == STR:
            return repr(self.pick(WORDS))
        if t == BOOL:
            return self.pick(["True", "False"])
        if k == "list":
            count = self.rng.randint(0 if self.chance(0.2) else 1, 4)
            return "[" + ", ".join(self.literal(t[1]) for _ in range(count)) + "]"
        if k == "tuple":
            items = [self.literal(t[1]) for _ in range(self.rng.randint(0, 3))]
            return "(" + ", ".join(items) + ("," if len(items) == 1 else "") + ")"
        if k == "pair":
            return f"({self.literal(t[1])}, {self.literal(t[2])})"
        if k == "set":
            items = [self.literal(t[1]) for _ in range(self.rng.randint(0, 4))]
            return "{" + ", ".join(items) + "}" if items else "set()"
        if k == "dict":
            keys = []
            for _ in range(self.rng.randint(0, 4)):
                key = self.literal(t[1])
                if key not in keys:
                    keys.append(key)
            return "{" + ", ".join(f"{key}: {self.literal(t[2])}" for key in keys) + "}"
        raise ValueError(t)

    def python_value(self, t):
        """A Python value of type t, passed as an argument of the entry function."""
        k = kind(t)
        if t == INT:
            return self.small_int() if self.chance(0.9) else self.rng.randint(-10**6, 10**6)
        if t == FLOAT:
            return self.pick([0.5, -1.25, 3.0, 1e-7, 2.5e16, 0.1])
        if t == STR:
            return self.pick(WORDS)
        if t == BOOL:
            return self.chance(0.5)
        if k == "list":
            return [self.python_value(t[1]) for _ in range(self.rng.randint(0, 5))]
        if k == "tuple":
            return tuple(self.python_value(t[1]) for _ in range(self.rng.randint(0, 3)))
        if k == "dict":
            return {self.python_value(t[1]): self.python_value(t[2]) for _ in range(self.rng.randint(0, 4))}
        raise ValueError(t)

    # ---- expressions -----------------------------------------------------------------
    def expr(self, t, depth, scope):
        """Source text of an expression of type t."""
        if depth > 0 and self.chance(self.ill_typed):
            t = self.value_type()
        names = scope.of_type(t)
        if names and self.chance(0.45 if depth > 0 else 0.7):
            return self.pick(names)
        if depth <= 0:
            return self.literal(t)
        for _ in range(20):
            producer = self.weighted(self.productions(t))
            text = producer(t, depth - 1, scope)
            if text is not None:
                return text
        return self.literal(t)

    def productions(self, t):
        k = kind(t)
        common = [(self.p_literal, 2), (self.p_if_expr, 1), (self.p_helper_call, 2), (self.p_list_item, 1),
                  (self.p_dict_item, 1), (self.p_pair_item, 1), (self.p_parameter_kinds, 1)]
        if t in ORDERED:
            common.append((self.p_min_max, 1))
        table = {
            INT: [(self.p_int_arith, 6), (self.p_int_builtin, 5), (self.p_int_method, 2), (self.p_pop, 1)],
            FLOAT: [(self.p_float, 6)],
            STR: [(self.p_str, 6), (self.p_str_builtin, 4)],
            BOOL: [(self.p_bool, 8)],
            "list": [(self.p_list, 5), (self.p_comprehension, 4)],
            "set": [(self.p_set, 4)],
            "tuple": [(self.p_tuple, 3)],
            "dict": [(self.p_dict, 4)],
            "pair": [(self.p_pair, 3)],
        }
        return common + table[k]

    def sub(self, t, depth, scope):
        return self.expr(t, depth, scope)

    def paren(self, t, depth, scope):
        return f"({self.expr(t, depth, scope)})"

    def p_literal(self, t, depth, scope):
        return self.literal(t)

    def p_if_expr(self, t, depth, scope):
        return f"({self.sub(t, depth, scope)} if {self.sub(BOOL, depth, scope)} else {self.sub(t, depth, scope)})"

    def p_helper_call(self, t, depth, scope):
        helpers = [h for h in self.helpers if h.returns == t]
        if not helpers:
            return None
        h = self.pick(helpers)
        args, keywords = [], []
        for name, pt, default in h.params:
            if default is not None and self.chance(0.4):
                continue
            if default is not None and self.chance(0.4) or keywords:
                keywords.append(f"{name}={self.sub(pt, depth, scope)}")
            else:
                args.append(self.sub(pt, depth, scope))
        if self.chance(0.02):
            args.append(self.literal(INT))   # one argument too many
        return f"{h.name}({', '.join(args + keywords)})"

    def p_parameter_kinds(self, t, depth, scope):
        if not self.parameter_kinds or t not in (INT, L(STR)):
            return None
        e = lambda: self.sub(INT, depth, scope)  # noqa: E731
        if t == L(STR):
            names = self.rng.sample(["a", "b", "k", "x"], self.rng.randint(0, 3))
            return f"hk({', '.join(f'{n}={e()}' for n in names)})"
        if self.chance(0.5):
            return f"hv({', '.join(e() for _ in range(self.rng.randint(0, 4)))})"
        return self.pick([f"hko({e()})", f"hko({e()}, k={e()})", f"hko(x={e()})", f"hko({e()}, {e()})"])

    def p_list_item(self, t, depth, scope):
        return self.item(self.paren(L(t), depth, scope), f"[{self.literal(t)}]", depth, scope)

    def item(self, container, fallback, depth, scope):
        """An item of a container that is usually not empty."""
        if self.chance(0.75):
            return f"({container} or {fallback})[{self.pick(['0', '-1'])}]"
        return f"{container}[{self.index(depth, scope)}]"

    def p_dict_item(self, t, depth, scope):
        key_type = self.pick([STR, INT])
        d = self.paren(D(key_type, t), depth, scope)
        key = self.sub(key_type, depth, scope)
        if self.chance(0.9):
            return f"{d}.get({key}, {self.sub(t, depth, scope)})"
        return f"{d}[{key}]"

    def p_pair_item(self, t, depth, scope):
        other = self.pick([INT, STR])
        if self.chance(0.5):
            return f"{self.paren(P(t, other), depth, scope)}[0]"
        return f"{self.paren(P(other, t), depth, scope)}[1]"

    def p_min_max(self, t, depth, scope):
        fn = self.pick(["min", "max"])
        if self.chance(0.5):
            return f"{fn}({self.sub(L(t), depth, scope)})"
        return f"{fn}({', '.join(self.sub(t, depth, scope) for _ in range(self.rng.randint(2, 3)))})"

    def index(self, depth, scope):
        r = self.rng.random()
        if r < 0.6:
            return self.pick(["0", "-1", "0", "1"])
        return self.sub(INT, depth, scope) if r < 0.8 else str(self.rng.randint(-3, 4))

    def small(self):
        return str(self.rng.randint(0, 4))

    # ints
    def p_int_arith(self, t, depth, scope):
        a, b = self.paren(INT, depth, scope), self.paren(INT, depth, scope)
        op = self.weighted([("+", 4), ("-", 4), ("*", 3), ("//", 2), ("%", 2), ("**", 1), ("&", 1), ("|", 1),
                            ("^", 1), ("<<", 1), (">>", 1), ("neg", 1), ("~", 1)])
        if op == "**" or op in ("<<", ">>"):
            return f"{a} {op} {self.small()}"
        if op == "neg":
            return f"-{a}"
        if op == "~":
            return f"~{a}"
        return f"{a} {op} {b}"

    def p_int_builtin(self, t, depth, scope):
        choice = self.rng.randint(0, 20)
        i = lambda: self.sub(INT, depth, scope)  # noqa: E731
        if choice == 0:
            container = self.pick([STR, L(INT), L(STR), D(STR, INT), S(INT), T(INT)])
            return f"len({self.sub(container, depth, scope)})"
        if choice == 1:
            return f"sum({self.sub(L(INT), depth, scope)})"
        if choice == 2:
            return f"sum({self.sub(L(INT), depth, scope)}, {i()})"
        if choice == 3:
            return f"abs({i()})"
        if choice == 4:
            return f"int({self.sub(STR, depth, scope)})"
        if choice == 5:
            return f"int({self.sub(FLOAT, depth, scope)})"
        if choice == 6:
            return f"int({self.sub(STR, depth, scope)}, {self.pick(['16', '2', '8', '36', '10', '0', '1'])})"
        if choice == 7:
            return f"round({self.sub(FLOAT, depth, scope)})"
        if choice == 8:
            return f"round({i()}, {self.rng.randint(-3, 2)})"
        if choice == 9:
            return f"ord({self.item(self.paren(STR, depth, scope), repr('x'), depth, scope)})"
        if choice == 10:
            return f"pow({i()}, {self.small()})"
        if choice == 11:
            return f"pow({i()}, {i()}, {i()})"
        if choice == 12:
            return f"divmod({i()}, {i()})[{self.rng.randint(0, 1)}]"
        if choice == 13:
            return f"int({self.sub(BOOL, depth, scope)})"
        if choice == 14:
            return f"len(range({i()}))"
        if choice == 15:
            return f"sum([{self.comprehension_body(INT, depth, scope)}])"
        if choice == 16:
            return f"len({self.sub(L(L(INT)), depth, scope)}[0])"
        if choice == 17:
            return f"max({self.sub(L(INT), depth, scope)} + [{i()}])"
        if choice == 18:
            return f"sum(map({self.pick(['abs', 'len'])}, {self.sub(self.pick([L(INT), L(STR)]), depth, scope)}))"
        return f"len({self.paren(D(STR, INT), depth, scope)}.keys())"

    def p_int_method(self, t, depth, scope):
        choice = self.rng.randint(0, 4)
        if choice == 0:
            return f"{self.paren(STR, depth, scope)}.find({self.sub(STR, depth, scope)})"
        if choice == 1:
            return f"{self.paren(STR, depth, scope)}.find({self.sub(STR, depth, scope)}, {self.index(depth, scope)})"
        if choice == 2:
            return f"{self.paren(L(INT), depth, scope)}.count({self.sub(INT, depth, scope)})"
        if choice == 3:
            xs, x = self.paren(L(INT), depth, scope), self.paren(INT, depth, scope)
            return f"({xs}.index({x}) if {x} in {xs} else -1)" if self.chance(0.7) else f"{xs}.index({x})"
        return f"{self.paren(D(STR, INT), depth, scope)}.get({self.sub(STR, depth, scope)}, 0)"

    def mutable_names(self, t, scope):
        return [n for n in scope.of_type(t) if not n.startswith("G") or n in scope.mutable]

    def p_pop(self, t, depth, scope):
        lists = self.mutable_names(L(INT), scope)
        dicts = self.mutable_names(D(STR, INT), scope)
        if lists and (not dicts or self.chance(0.6)):
            arg = self.index(depth, scope) if self.chance(0.3) else ""
            return f"{self.pick(lists)}.pop({arg})"
        if dicts:
            return f"{self.pick(dicts)}.pop({self.sub(STR, depth, scope)}, {self.sub(INT, depth, scope)})"
        return None

    # floats
    def p_float(self, t, depth, scope):
        choice = self.rng.randint(0, 11)
        num = lambda: self.paren(self.pick([INT, FLOAT]), depth, scope)  # noqa: E731
        f = lambda: self.paren(FLOAT, depth, scope)  # noqa: E731
        if choice == 0:
            return f"{num()} / {num()}"
        if choice == 1:
            return f"float({self.sub(INT, depth, scope)})"
        if choice == 2:
            return f"float({repr(self.pick(FLOAT_TEXTS))})"
        if choice == 3:
            return f"{f()} {self.pick(['+', '-', '*'])} {num()}"
        if choice == 4:
            return f"{num()} {self.pick(['+', '-', '*'])} {f()}"
        if choice == 5:
            return f"-{f()}"
        if choice == 6:
            return f"abs({f()})"
        if choice == 7:
            return f"round({f()}, {self.rng.randint(-1, 3)})"
        if choice == 8:
            return f"{f()} ** {self.rng.randint(0, 3)}"
        if choice == 9:
            return f"pow({f()}, {self.rng.randint(0, 3)})"
        if choice == 10:
            return f"sum({self.sub(L(FLOAT), depth, scope)})"
        return f"float({self.sub(STR, depth, scope)})" if self.chance(0.3) else f"float({self.sub(INT, depth, scope)})"

    # texts
    def p_str(self, t, depth, scope):
        choice = self.rng.randint(0, 14)
        s = lambda: self.paren(STR, depth, scope)  # noqa: E731
        if choice == 0:
            return f"{s()} + {s()}"
        if choice == 1:
            return f"{s()} * {self.rng.randint(-1, 3)}"
        if choice == 2:
            return self.item(s(), repr(self.pick(WORDS[:4])), depth, scope)
        if choice == 3:
            lo = self.pick(["", str(self.rng.randint(-3, 3))])
            hi = self.pick(["", str(self.rng.randint(-3, 5))])
            step = self.pick(["", "", ":-1", ":2", ":-2"])
            return f"{s()}[{lo}:{hi}{step}]"
        if choice == 4:
            return f"{s()}.{self.pick(['upper', 'lower', 'strip'])}()"
        if choice == 5:
            return f"{s()}.strip({self.sub(STR, depth, scope)})"
        if choice == 6:
            count = f", {self.rng.randint(-1, 2)}" if self.chance(0.3) else ""
            return f"{s()}.replace({self.sub(STR, depth, scope)}, {self.sub(STR, depth, scope)}{count})"
        if choice == 7:
            return f"{repr(self.pick(SEPARATORS))}.join({self.sub(L(STR), depth, scope)})"
        if choice == 8:
            return self.f_string(depth, scope)
        if choice == 9:
            args = ", ".join(self.sub(self.value_type(), depth, scope) for _ in range(self.rng.randint(0, 3)))
            template = self.pick(["{}", "{} and {}", "{1}{0}", "x{0}y{}", "{{}}", "<{}>", "{", "}", "{a}"])
            return f"{template!r}.format({args})"
        if choice == 10:
            return self.item(f"{s()}.split({repr(self.pick(SEPARATORS))})", "['x']", depth, scope)
        if choice == 11:
            return f"''.join(sorted({s()}))"
        if choice == 12:
            return f"''.join(reversed({s()}))"
        if choice == 13:
            return self.item(self.paren(L(STR), depth, scope), "['y']", depth, scope)
        return self.item(f"{s()}.split()", "['z']", depth, scope)

    def p_str_builtin(self, t, depth, scope):
        choice = self.rng.randint(0, 8)
        if choice == 0:
            return f"str({self.sub(self.value_type(), depth, scope)})"
        if choice == 1:
            return f"chr({self.sub(INT, depth, scope)} % 200 + 32)" if self.chance(0.8) else \
                f"chr({self.sub(INT, depth, scope)})"
        if choice == 2:
            return f"{self.pick(['hex', 'bin', 'oct'])}({self.sub(INT, depth, scope)})"
        if choice == 3:
            return f"format({self.sub(INT, depth, scope)}, {repr(self.pick(INT_SPECS))})"
        if choice == 4:
            return f"format({self.sub(self.pick([STR, FLOAT, BOOL]), depth, scope)})"
        if choice == 5:
            return f"ascii({self.sub(STR, depth, scope)})"
        if choice == 6:
            return f"min({self.sub(STR, depth, scope)})"
        if choice == 7:
            return f"str({self.sub(FLOAT, depth, scope)})"
        return f"{repr(self.pick(SEPARATORS))}.join(map(str, {self.sub(L(INT), depth, scope)}))"

    def f_string(self, depth, scope):
        parts = []
        for _ in range(self.rng.randint(1, 3)):
            if self.chance(0.4):
                parts.append(self.pick(["x=", " ", "-", "ab", ": "]))
            value = self.sub(self.value_type(), depth, scope)
            if "\\" in value or '"' in value:  # not allowed in an f-string expression before 3.12
                value = self.pick(scope.of_type(INT) or ["7"])
            suffix = self.pick(["!r", ":>4", ":x"]) if self.chance(0.03) else ""
            parts.append("{(" + value + ")" + suffix + "}")
        return 'f"""' + "".join(parts) + '"""'

    # bools
    def p_bool(self, t, depth, scope):
        choice = self.rng.randint(0, 16)
        if choice <= 2:
            ct = self.pick([INT, INT, FLOAT, STR])
            op = self.pick(["<", "<=", ">", ">=", "==", "!="])
            return f"{self.paren(ct, depth, scope)} {op} {self.paren(ct, depth, scope)}"
        if choice == 3:
            ct = self.value_type()
            return f"{self.paren(ct, depth, scope)} {self.pick(['==', '!='])} {self.paren(ct, depth, scope)}"
        if choice == 4:
            ct = self.pick([INT, STR])
            return f"{self.paren(ct, depth, scope)} < {self.paren(ct, depth, scope)} <= {self.paren(ct, depth, scope)}"
        if choice == 5:
            item = self.pick([INT, STR])
            container = self.pick([L(item), S(item), D(item, INT), T(INT) if item == INT else STR])
            op = self.pick(["in", "not in"])
            return f"{self.paren(item, depth, scope)} {op} {self.paren(container, depth, scope)}"
        if choice == 6:
            return f"not {self.paren(BOOL, depth, scope)}"
        if choice == 7:
            return f"{self.paren(BOOL, depth, scope)} {self.pick(['and', 'or'])} {self.paren(BOOL, depth, scope)}"
        if choice == 8:
            spec = self.pick(["int", "str", "list", "dict", "bool", "float", "tuple", "set", "(int, str)",
                              "(list, tuple)"])
            return f"isinstance({self.sub(self.value_type(), depth, scope)}, {spec})"
        if choice == 9:
            return f"{self.pick(['any', 'all'])}({self.sub(self.pick([L(INT), L(BOOL), L(STR)]), depth, scope)})"
        if choice == 10:
            prefix = self.sub(STR, depth, scope) if self.chance(0.7) else \
                f"({self.sub(STR, depth, scope)}, {self.sub(STR, depth, scope)})"
            bounds = f", {self.index(depth, scope)}" if self.chance(0.2) else ""
            return f"{self.paren(STR, depth, scope)}.{self.pick(['startswith', 'endswith'])}({prefix}{bounds})"
        if choice == 11:
            test = self.pick(["isdigit", "isalpha", "isalnum", "islower", "isascii"])
            return f"{self.paren(STR, depth, scope)}.{test}()"
        if choice == 12:
            et = self.pick([INT, STR])
            test = self.pick(["issubset", "issuperset", "isdisjoint"])
            return f"{self.paren(S(et), depth, scope)}.{test}({self.sub(L(et), depth, scope)})"
        if choice == 13:
            return f"bool({self.sub(self.value_type(), depth, scope)})"
        if choice == 14:
            et = self.pick([INT, STR])
            op = self.pick(["<", "<=", ">", ">="])
            return f"{self.paren(S(et), depth, scope)} {op} {self.paren(S(et), depth, scope)}"
        if choice == 15:
            return f"{self.paren(self.value_type(), depth, scope)} is None"
        return f"{self.sub(STR, depth, scope)} in {self.paren(STR, depth, scope)}"

    # containers
    def element_iterable(self, depth, scope):
        """An iterable expression, the type of its items, and the target names to bind."""
        choice = self.rng.randint(0, 9)
        if choice <= 2:
            et = self.weighted([(INT, 4), (STR, 2), (FLOAT, 1), (L(INT), 1)])
            return self.sub(L(et), depth, scope), et
        if choice == 3:
            return self.sub(STR, depth, scope), STR
        if choice == 4:
            et = self.pick([INT, STR])
            return self.sub(S(et), depth, scope), et
        if choice == 5:
            return self.sub(D(STR, INT), depth, scope), STR
        if choice == 6:
            return f"range({self.sub(INT, depth, scope)} % 8)" if self.chance(0.7) else \
                f"range({self.small()}, {self.sub(INT, depth, scope)} % 9, {self.pick(['1', '2', '-1', '3'])})", INT
        if choice == 7:
            return f"{self.paren(D(STR, INT), depth, scope)}.items()", P(STR, INT)
        if choice == 8:
            return f"zip({self.sub(L(INT), depth, scope)}, {self.sub(STR, depth, scope)})", P(INT, STR)
        return self.sub(T(INT), depth, scope), INT

    def bind(self, item_type, scope=None):
        """Target text and the variables it binds; the first clause of a
        comprehension (scope given) sometimes reuses a local's name, which it
        must leave as it was. (Not a later clause: in Python the name is then the
        comprehension's own already in the clauses before it.)"""
        if kind(item_type) == "pair" and self.chance(0.8):
            a, b = self.fresh(), self.fresh()
            return f"{a}, {b}", [(a, item_type[1]), (b, item_type[2])]
        taken = [n for n, _ in scope.variables if not n.startswith("G")] if scope else []
        name = self.pick(taken) if taken and self.chance(0.1) else self.fresh()
        return name, [(name, item_type)]

    def generators(self, depth, scope):
        clauses = []
        inner = scope
        for clause in range(2 if self.chance(0.15) else 1):
            iterable, item_type = self.element_iterable(depth, inner)
            target, bound = self.bind(item_type, inner if clause == 0 else None)
            inner = inner.child(*bound)
            cond = f" if {self.sub(BOOL, depth, inner)}" if self.chance(0.35) else ""
            clauses.append(f"for {target} in {iterable}{cond}")
        return " ".join(clauses), inner

    def comprehension_body(self, t, depth, scope):
        clauses, inner = self.generators(depth, scope)
        return f"{self.sub(t, depth, inner)} {clauses}"

    def p_comprehension(self, t, depth, scope):
        return f"[{self.comprehension_body(t[1], depth, scope)}]"

    def map_over(self, t, depth, scope):
        """map() or filter() producing a list of t."""
        et = t[1]
        if self.chance(0.5):
            helpers = [h for h in self.helpers if h.returns == et and len(h.required()) == 1]
            if helpers:
                h = self.pick(helpers)
                return f"map({h.name}, {self.sub(L(h.required()[0][1]), depth, scope)})"
        if self.chance(0.4):
            preds = [h for h in self.helpers if h.returns == BOOL and len(h.required()) == 1
                     and h.required()[0][1] == et]
            f = self.pick(preds).name if preds else "None"
            return f"filter({f}, {self.sub(t, depth, scope)})"
        builtins = {INT: [("abs", INT), ("len", STR), ("int", STR), ("ord", STR), ("round", FLOAT)],
                    STR: [("str", INT), ("chr", INT), ("hex", INT), ("str", FLOAT)],
                    FLOAT: [("float", INT), ("abs", FLOAT)]}.get(et)
        if not builtins:
            return None
        fn, arg = self.pick(builtins)
        return f"map({fn}, {self.sub(L(arg), depth, scope)})"

    def p_list(self, t, depth, scope):
        et = t[1]
        choice = self.rng.randint(0, 12)
        xs = lambda: self.paren(t, depth, scope)  # noqa: E731
        if choice == 0 and et in ORDERED:
            return f"sorted({self.sub(self.pick([t, S(et), T(et)]) if et != FLOAT else t, depth, scope)})"
        if choice == 1:
            inner = f"reversed({self.sub(t, depth, scope)})"
            return f"list({inner})" if self.chance(0.5) else inner
        if choice == 2:
            return f"{xs()} + {xs()}"
        if choice == 3:
            return f"{xs()} * {self.rng.randint(-1, 3)}"
        if choice == 4:
            lo = self.pick(["", str(self.rng.randint(-3, 3))])
            hi = self.pick(["", str(self.rng.randint(-3, 5))])
            return f"{xs()}[{lo}:{hi}{self.pick(['', '', ':-1', ':2'])}]"
        if choice == 5:
            return self.map_over(t, depth, scope)
        if choice == 6:
            return f"{self.pick(['list', 'sorted'])}({self.sub(T(et) if et != FLOAT else t, depth, scope)})"
        if choice == 7:
            return f"{xs()}.copy()"
        if et == INT:
            return self.pick([
                lambda: f"list(range({self.sub(INT, depth, scope)} % 12))",
                lambda: f"range({self.small()}, {self.sub(INT, depth, scope)} % 10, {self.pick([1, 2, -2, 3])})",
                lambda: f"[ord(c) for c in {self.sub(STR, depth, scope)}]",
                lambda: f"list({self.paren(D(STR, INT), depth, scope)}.values())",
                lambda: f"list({self.paren(D(INT, INT), depth, scope)}.keys())",
                lambda: f"list(map(max, {self.sub(L(INT), depth, scope)}, {self.sub(L(INT), depth, scope)}))",
            ])()
        if et == STR:
            return self.pick([
                lambda: f"{self.paren(STR, depth, scope)}.split()",
                lambda: f"{self.paren(STR, depth, scope)}.split({repr(self.pick(SEPARATORS))})",
                lambda: f"{self.paren(STR, depth, scope)}.split({self.pick(SEPARATORS)!r}, {self.rng.randint(-1, 2)})",
                lambda: f"list({self.sub(STR, depth, scope)})",
                lambda: f"sorted({self.sub(STR, depth, scope)})",
                lambda: f"list({self.sub(D(STR, INT), depth, scope)})",
                lambda: f"list({self.paren(D(STR, INT), depth, scope)}.keys())",
            ])()
        if kind(et) == "pair":
            a, b = et[1], et[2]
            return self.pick([
                lambda: f"list(zip({self.sub(L(a), depth, scope)}, {self.sub(L(b), depth, scope)}))",
                lambda: f"zip({self.sub(L(a), depth, scope)}, {self.sub(L(b), depth, scope)})",
                lambda: f"{self.paren(D(a, b), depth, scope)}.items()",
                lambda: f"sorted({self.paren(D(a, b), depth, scope)}.items())",
            ])()
        if et == L(INT):
            return f"[list(range({self.sub(INT, depth, scope)} % 5)) for _ in range({self.small()})]"
        return None

    def p_set(self, t, depth, scope):
        et = t[1]
        choice = self.rng.randint(0, 6)
        s = lambda: self.paren(t, depth, scope)  # noqa: E731
        if choice == 0:
            return f"set({self.sub(L(et), depth, scope)})"
        if choice == 1:
            return f"{s()} {self.pick(['|', '&', '-', '^'])} {s()}"
        if choice == 2:
            m = self.pick(["union", "intersection", "difference", "symmetric_difference"])
            return f"{s()}.{m}({self.sub(L(et), depth, scope)})"
        if choice == 3:
            return f"{s()}.copy()"
        if choice == 4 and et == STR:
            return f"set({self.sub(STR, depth, scope)})"
        if choice == 4:
            return f"set(range({self.sub(INT, depth, scope)} % 10))"
        if choice == 5:
            return f"set(frozenset({self.sub(L(et), depth, scope)}))"
        return f"{{{self.sub(et, depth, scope)}, {self.sub(et, depth, scope)}}}"

    def p_tuple(self, t, depth, scope):
        choice = self.rng.randint(0, 3)
        if choice == 0:
            return f"tuple({self.sub(L(t[1]), depth, scope)})"
        if choice == 1:
            return f"{self.paren(t, depth, scope)} + {self.paren(t, depth, scope)}"
        if choice == 2:
            return f"{self.paren(t, depth, scope)} * {self.rng.randint(0, 2)}"
        return f"{self.paren(t, depth, scope)}[{self.rng.randint(-2, 1)}:]"

    def p_dict(self, t, depth, scope):
        kt, vt = t[1], t[2]
        choice = self.rng.randint(0, 5)
        if choice <= 1:
            clauses, inner = self.generators(depth, scope)
            return f"{{{self.sub(kt, depth, inner)}: {self.sub(vt, depth, inner)} {clauses}}}"
        if choice == 2:
            return f"dict(zip({self.sub(L(kt), depth, scope)}, {self.sub(L(vt), depth, scope)}))"
        if choice == 3:
            return f"{self.paren(t, depth, scope)}.copy()"
        if choice == 4 and kt == STR:
            words = self.rng.sample(["a", "b", "c"], 2)
            return f"dict({', '.join(f'{w}={self.sub(vt, depth, scope)}' for w in words)})"
        return f"dict({self.sub(L(P(kt, vt)), depth, scope)})"

    def p_pair(self, t, depth, scope):
        a, b = t[1], t[2]
        if a == INT and b == INT and self.chance(0.4):
            return f"divmod({self.sub(INT, depth, scope)}, {self.sub(INT, depth, scope)})"
        return f"({self.sub(a, depth, scope)}, {self.sub(b, depth, scope)})"

    # ---- statements ----------------------------------------------------------------------
    def block(self, scope, count, depth, returns, indent):
        """Statements of one block; names bound here stay visible only in it."""
        lines = []
        local = scope.child()
        for _ in range(count):
            lines += self.statement(local, depth, returns, indent)
        return lines or [indent + "pass"]

    def statement(self, scope, depth, returns, indent):
        pad = indent
        choice = self.weighted([("assign", 6), ("aug", 3), ("method", 3), ("item", 2), ("unpack", 1), ("if", 2),
                                ("for", 2), ("while", 1), ("assert", 0.4), ("expr", 1), ("control", 1),
                                ("return", 1), ("raise", 0.2)])
        e = lambda t: self.expr(t, self.rng.randint(1, 2), scope)  # noqa: E731
        locals_ = [(n, t) for n, t in scope.variables if not n.startswith("G")]
        if choice == "assign" or not locals_ and choice in ("aug", "item"):
            t = self.value_type()
            reuse = [n for n, vt in locals_ if vt == t]
            name = self.pick(reuse) if reuse and self.chance(0.3) else self.fresh()
            line = f"{pad}{name} = {e(t)}"
            scope.variables.append((name, t))
            return [line]
        if choice == "aug":
            name, t = self.pick(locals_)
            ops = {INT: ["+=", "-=", "*=", "//=", "%=", "|=", "^="], STR: ["+="], FLOAT: ["+=", "-=", "*="],
                   L(INT): ["+="], L(STR): ["+="], S(INT): ["|=", "-=", "&="]}.get(t)
            if not ops:
                return self.statement(scope, depth, returns, indent)
            return [f"{pad}{name} {self.pick(ops)} {e(t)}"]
        if choice == "method":
            return self.method_statement(scope, pad)
        if choice == "item":
            # Only locals: an item assignment to a global makes a local copy in the contract language.
            targets = [(n, t) for n, t in locals_ if kind(t) in ("list", "dict")]
            if not targets:
                return self.statement(scope, depth, returns, indent)
            name, t = self.pick(targets)
            if t == L(L(INT)) and self.chance(0.6):
                return [f"{pad}if {name} and {name}[0]:",
                        f"{pad}    {name}[0][{self.pick(['0', '-1'])}] {self.pick(['=', '+='])} {e(INT)}"]
            if t == D(STR, L(INT)) and self.chance(0.6):
                key = self.literal(STR)
                return [f"{pad}if {key} in {name} and {name}[{key}]:",
                        f"{pad}    {name}[{key}][0] {self.pick(['=', '+=', '*='])} {e(INT)}"]
            key = self.index(2, scope) if kind(t) == "list" else self.expr(t[1], 1, scope)
            value_type = t[1] if kind(t) == "list" else t[2]
            op = "+=" if value_type in (INT, STR) and self.chance(0.3) else "="
            if op == "+=" and not (key.lstrip("-").isdigit() or key.startswith("'")):
                op = "="
            line = f"{name}[{key}] {op} {e(value_type)}"
            if kind(t) == "list" and self.chance(0.7):
                return [f"{pad}if {name}:", f"{pad}    {line}"]
            return [pad + line]
        if choice == "unpack":
            t = self.pick([P(INT, INT), P(STR, INT)])
            a, b = self.fresh(), self.fresh()
            line = f"{pad}{a}, {b} = {e(t)}"
            scope.variables += [(a, t[1]), (b, t[2])]
            return [line]
        if choice == "if" and depth > 0:
            lines = [f"{pad}if {e(BOOL)}:"]
            lines += self.block(scope, self.rng.randint(1, 3), depth - 1, returns, pad + "    ")
            if self.chance(0.3):
                lines += [f"{pad}elif {e(BOOL)}:"] + self.block(scope, self.rng.randint(1, 2), depth - 1, returns,
                                                                pad + "    ")
            if self.chance(0.5):
                lines += [f"{pad}else:"] + self.block(scope, self.rng.randint(1, 2), depth - 1, returns, pad + "    ")
            return lines
        if choice == "for" and depth > 0:
            iterable, item_type = self.element_iterable(2, scope)
            target, bound = self.bind(item_type)
            body_scope = scope.child(*bound, loop=True)
            lines = [f"{pad}for {target} in {iterable}:"] + \
                self.block(body_scope, self.rng.randint(1, 3), depth - 1, returns, pad + "    ")
            if self.chance(0.15):
                lines += [f"{pad}else:"] + self.block(scope, 1, depth - 1, returns, pad + "    ")
            return lines
        if choice == "while" and depth > 0:
            counter = self.fresh("i")
            body_scope = scope.child((counter, INT), loop=True)
            limit = self.rng.randint(0, 6) if self.chance(0.8) else f"{e(INT)} % 7"
            lines = [f"{pad}{counter} = 0", f"{pad}while {counter} < {limit}:", f"{pad}    {counter} += 1"]
            lines += self.block(body_scope, self.rng.randint(1, 3), depth - 1, returns, pad + "    ")
            if self.chance(0.15):
                lines += [f"{pad}else:"] + self.block(scope, 1, depth - 1, returns, pad + "    ")
            scope.variables.append((counter, INT))
            return lines
        if choice == "assert":
            message = f", {e(self.pick([STR, INT]))}" if self.chance(0.5) else ""
            return [f"{pad}assert {e(BOOL)}{message}"]
        if choice == "expr":
            calls = [h for h in self.helpers]
            if calls:
                return [f"{pad}{self.p_helper_call(self.pick(calls).returns, 2, scope)}"]
            return [f"{pad}({e(STR)}).upper()"]
        if choice == "control" and scope.loops:
            return [f"{pad}if {e(BOOL)}:", f"{pad}    {self.pick(['break', 'continue'])}"]
        if choice == "return" and depth < 2:
            return [f"{pad}if {e(BOOL)}:", f"{pad}    return {e(returns)}"]
        if choice == "raise":
            return [f"{pad}if {e(BOOL)}:", f"{pad}    raise Exception({e(STR)})"]
        return self.statement(scope, depth, returns, indent)

    def method_statement(self, scope, pad):
        options = [(n, t) for n, t in scope.variables if kind(t) in ("list", "dict", "set")
                   and (not n.startswith("G") or n in scope.mutable)]
        if not options:
            return [f"{pad}{self.fresh()} = {self.expr(L(INT), 2, scope)}"]
        name, t = self.pick(options)
        e = lambda t: self.expr(t, 2, scope)  # noqa: E731
        k = kind(t)
        if t == L(L(INT)) and self.chance(0.5):
            return [f"{pad}if {name}:", f"{pad}    {name}[{self.pick(['0', '-1'])}].append({e(INT)})"]
        if t == D(STR, L(INT)) and self.chance(0.7):
            key = self.literal(STR)
            return [f"{pad}if {key} in {name}:", f"{pad}    {name}[{key}].{self.pick(['append', 'remove', 'insert'])}"
                    f"({'0, ' if self.chance(0.3) else ''}{e(INT)})"]
        if k == "list":
            et = t[1]
            return [f"{pad}{name}." + self.pick([
                lambda: f"append({e(et)})",
                lambda: f"append({e(et)})",
                lambda: f"extend({e(L(et))})",
                lambda: f"insert({self.index(1, scope)}, {e(et)})",
                lambda: f"pop()",
                lambda: f"pop({self.index(1, scope)})",
                lambda: f"remove({e(et)})" if self.chance(0.3) else f"append({e(et)})",
                lambda: f"clear()" if self.chance(0.3) else f"append({e(et)})",
            ])()]
        if k == "dict":
            return [f"{pad}{name}." + self.pick([
                lambda: f"pop({e(t[1])}, {e(t[2])})",
                lambda: f"pop({e(t[1])})" if self.chance(0.3) else f"pop({e(t[1])}, 0)",
                lambda: f"clear()" if self.chance(0.3) else f"pop({e(t[1])}, {e(t[2])})",
            ])()]
        return [f"{pad}{name}." + self.pick([
            lambda: f"add({e(t[1])})",
            lambda: f"discard({e(t[1])})",
            lambda: f"pop()",
            lambda: f"clear()" if self.chance(0.3) else f"add({e(t[1])})",
        ])()]

    # ---- program ---------------------------------------------------------------------------
    def function(self, name, params, returns, scope, export=False):
        signature = ", ".join(p if d is None else f"{p}={d}" for p, _, d in params)
        body_scope = scope.child(*[(p, t) for p, t, _ in params])
        lines = (["@export"] if export else []) + [f"def {name}({signature}):"]
        for _ in range(self.rng.randint(2, 6)):
            lines += self.statement(body_scope, 2, returns, "    ")
        lines.append(f"    return {self.expr(returns, 2, body_scope)}")
        return lines

    def params(self, count, types):
        out = []
        for _ in range(count):
            t = self.pick(types)
            default = None
            if out and (out[-1][2] is not None or self.chance(0.4)) and t in (INT, STR, BOOL):
                default = self.literal(t)
            elif out and out[-1][2] is not None:
                t, default = INT, self.literal(INT)
            out.append((self.fresh("p"), t, default))
        return out

    def program(self):
        """(source, entry function name, positional arguments)."""
        lines = []
        scope = Scope()
        for i in range(self.rng.randint(0, 3)):
            t = self.value_type()
            name = f"G{i}"
            lines.append(f"{name} = {self.expr(t, 2, scope)}")
            scope.variables.append((name, t))
        if self.chance(0.3):
            self.parameter_kinds = True
            lines += ["", "def hv(x, *rest):", "    return x + len(rest) * 10", "", "def hk(**kw):",
                      "    return sorted(kw) + list(map(str, kw.values()))", "", "def hko(x, *, k=2):",
                      "    return x * k"]
        for i in range(self.rng.randint(0, 3)):
            params = self.params(self.rng.randint(1, 3), [INT, INT, STR, L(INT), L(STR), D(STR, INT), FLOAT])
            returns = self.value_type() if self.chance(0.8) else BOOL
            name = f"h{i}"
            lines += [""] + self.function(name, params, returns, scope)
            self.helpers.append(Helper(name, params, returns))
        entry_params = [(self.fresh("a"), self.pick(ARGUMENT_TYPES), None) for _ in range(self.rng.randint(0, 3))]
        returns = self.value_type()
        entry_scope = Scope(scope.variables, mutable_globals=[n for n, t in scope.variables])
        lines += [""] + self.function("f", entry_params, returns, entry_scope, export=True)
        args = [self.python_value(t) for _, t, _ in entry_params]
        return "\n".join(lines) + "\n", "f", args


# Probe programs: one builtin, method or operator applied to edge values that
# arrive as arguments (so floats need no literal). Argument kinds per letter:
# i int, f float, n int or float, s str, l list, d dict, t tuple, b bool, x any.
PROBE_VALUES = {
    "i": [0, 1, -1, 2, -2, 3, -7, 7, 25, -25, 255, -256, 10, 35, 2**31, 2**53 + 1, -(2**53) - 1, 10**20, 2**63,
          -(2**64), 3**40, 12345678901234567890123, -400, 400],
    "f": [0.0, -0.0, 0.5, -0.5, 1.5, 2.5, -2.5, 2.675, 0.1, 0.1 + 0.2, 1 / 3, 1e16, 1e15 + 0.3, 1e-5, 1e-7, 123456.789,
          2.0**53, 1e300, -1e300, 5e-324, 2.0**60, 3.0, -4.0, 1e22, 1.7976931348623157e308, 0.125, 1234.5678],
    "s": ["", "a", "abc", " 12 ", "12", "-12", "+7", "1_000", "1__0", "_1", "1_", "0x1f", "ff", "FF", "z", "3.5",
          "-2.5e3", "1e5", ".5", "5.", "inf", "-inf", "nan", "Infinity", "é", "Ünï", "日本語", "a b\tc\nd", "  lead",
          "trail  ", "a,b,,c", "mississippi", "{}", "{0}{1}", "{}{}", "x{{y}}", "{{", "}", "Straße", "İ", "ΣΑΣ", "aBc",
          "ABC", "123abc", "½", "٣", "a\u00a0b", "\x1c", " a\x1fb ", "a日", "Ⅻ", "😀", "ab" * 3, "'q'", "back\\slash",
          "a\x00b"],
    "l": [[], [1], [3, 1, 2], [1, 1.0, True], [3, 1.0, 2, 1], [2**53 + 1, 2.0**53], ["b", "a", "B"], [1, "a"],
          [0.5, -0.0, 0.0], [[1], [0]], [(1, 2), (0, 3)], [None], [1.5, 2.5, -2.5], [True, False], ["a", "bb", ""],
          [2, 2.0], [1e300, 1e300], [0.1, 0.2, 0.3], [10**20, 1]],
    "d": [{}, {"a": 1, "b": 2}, {1: "x", 2: "y"}, {"k": [1, 2]}],
    "t": [(), (1,), (1, 2), ("a", 1), (1, 2, 3), ("a", "b")],
    "b": [True, False],
    "y": [b"", b"ab", b"\x00\xff'\\", bytearray(b"xy"), bytearray(), b"12", b"\xc3\xa9"],
    "e": ["utf-8", "UTF-8", "utf8", "ascii", "latin-1", "Ascii"],
    "p": ["", "d", "x", "X", "o", "b", "5d", "05d", "08b", "+5d", "+05x", "0", "00", "3", ".2f", "-3d", "010X",
          "99999999999999999999d", "+", "+d", "0d", " d", "c", "n", "1000x"],
    "c": [0, 65, 0x7F, 0xE9, 0xD7FF, 0xD800, 0xDFFF, 0xE000, 0xFFFF, 0x10000, 0x10FFFF, 0x110000, -1, 2**32, True],
}
_rng = random.Random(15)
PROBE_VALUES["l"] += [  # longer lists, for the paths that sort, deduplicate and look up many items
    [_rng.randint(-5, 5) for _ in range(60)],
    [_rng.choice([_rng.randint(-3, 3), _rng.randint(-3, 3) / 2]) for _ in range(50)],
    [_rng.choice([2**53, 2**53 + 1, 2**53 - 1, 2.0**53, 2.0**53 + 2, -(2**53) - 1, 2**64, 2.0**64, 1.5])
     for _ in range(30)],
    ["".join(_rng.choice("abcAB é") for _ in range(_rng.randint(0, 3))) for _ in range(40)],
    [(_rng.randint(0, 2), _rng.choice("ab")) for _ in range(20)],
    list(range(100, 0, -3)),
]
PROBE_VALUES["n"] = PROBE_VALUES["i"] + PROBE_VALUES["f"]
PROBE_VALUES["x"] = sum((PROBE_VALUES[k] for k in "ifsldtby"), []) + [None]
PROBES = [
    ("abs(a)", "n"), ("bool(a)", "x"), ("divmod(a, b)", "ii"), ("divmod(a, b)", "nn"), ("float(a)", "s"),
    ("float(a)", "n"), ("int(a)", "s"), ("int(a)", "n"), ("int(a, b)", "si"), ("pow(a, b)", "ii"), ("pow(a, b)", "nn"),
    ("pow(a, b, c)", "iii"), ("round(a)", "n"), ("round(a, b)", "fi"), ("round(a, b)", "ii"), ("bin(a)", "i"),
    ("hex(a)", "i"), ("oct(a)", "b"), ("min(a)", "l"), ("max(a)", "l"), ("min(a, b)", "nn"), ("max(a, b, c)", "nnn"),
    ("min(a)", "s"), ("sum(a)", "l"), ("sum(a, b)", "ln"), ("str(a)", "x"), ("ascii(a)", "s"), ("ascii(a)", "x"),
    ("chr(a)", "i"), ("ord(a)", "s"), ("format(a)", "x"), ("format(a, b)", "ip"), ("format(a, b)", "xp"), ("chr(a)", "c"), ("len(a)", "x"), ("list(a)", "x"),
    ("tuple(a)", "s"), ("set(a)", "l"), ("sorted(a)", "l"), ("sorted(a)", "s"), ("list(reversed(a))", "x"),
    ("zip(a, b)", "ls"), ("any(a)", "l"), ("all(a)", "x"), ("isinstance(a, int)", "x"),
    ("isinstance(a, (float, str))", "x"), ("range(a)", "i"), ("range(a, b)", "ii"), ("range(a, b, c)", "iii"),
    ("dict(a)", "l"), ("dict(a)", "d"), ("a + b", "nn"), ("a + b", "xx"), ("a - b", "nn"), ("a * b", "nn"),
    ("a * b", "si"), ("a * b", "li"), ("a / b", "nn"), ("a // b", "ii"), ("a % b", "ii"), ("a % b", "nn"),
    ("a ** b", "ni"), ("a ** b", "fn"), ("a & b", "ii"), ("a | b", "ib"), ("a ^ b", "bb"), ("a << b", "ii"),
    ("a >> b", "ii"), ("-a", "n"), ("~a", "x"), ("not a", "x"), ("a < b", "nn"), ("a <= b", "ss"), ("a < b", "xx"),
    ("a == b", "xx"), ("a != b", "nn"), ("a in b", "ss"), ("a in b", "xl"), ("a in b", "xd"), ("a > b < c", "nnn"),
    ("a.split()", "s"), ("a.split(b)", "ss"), ("a.split(b, c)", "ssi"), ("a.split(None, b)", "si"), ("a.strip()", "s"),
    ("a.strip(b)", "ss"), ("a.replace(b, c)", "sss"), ("a.replace(b, '-', c)", "ssi"), ("a.find(b)", "ss"),
    ("a.find(b, c)", "ssi"), ("a.startswith(b)", "ss"), ("a.endswith(b, c)", "ssi"), ("a.startswith(b)", "st"),
    ("b.join(a)", "ls"), ("b.join(a)", "ss"), ("a.format(b, c)", "sxx"), ("a.upper()", "s"), ("a.lower()", "s"),
    ("a.isdigit()", "s"), ("a.isalpha()", "s"), ("a.isalnum()", "s"), ("a.islower()", "s"), ("a.isascii()", "s"),
    ("a[b]", "si"), ("a[b]", "li"), ("a[b]", "dx"), ("a[b:c]", "sii"), ("a[b:c]", "lii"), ("a[::b]", "si"),
    ("a.index(b)", "lx"), ("a.index(b, c)", "lxi"), ("a.count(b)", "lx"), ("a.get(b)", "dx"), ("f'{a}'", "x"),
    ("f'{a}={b}'", "sx"), ("str(a) + str(b)", "xx"), ("[x * 2 for x in a if x]", "l"),
    ("{x: a.count(x) for x in a}", "s"),
    ("list(map(str, a))", "l"), ("list(filter(None, a))", "l"), ("[a[i:] for i in range(len(a))]", "s"),
    ("bytes(a)", "l"), ("bytes(a)", "i"), ("bytes(a)", "x"), ("bytes(a, b)", "se"), ("bytearray(a, b, 'x')", "se"),
    ("bytearray(a)", "y"), ("a.hex()", "y"), ("a + b", "yy"), ("a in b", "iy"), ("a in b", "yy"), ("a[b]", "yi"),
    ("a[b:c]", "yii"), ("a * b", "yi"), ("int(a)", "y"), ("float(a)", "y"), ("ord(a)", "y"), ("a == b", "yy"),
    ("a < b", "yy"), ("frozenset(a)", "s"), ("sorted(frozenset(a))", "l"), ("sum(a, b)", "ls"), ("sum(a, '')", "l"),
    ("list(map(max, a, b))", "ll"), ("list(map(pow, a, b))", "ll"), ("dict(a, k=b)", "dx"), ("dict(x=a, y=b)", "xx"),
    ("str(Exception(a, b))", "xx"), ("f'{a!r}'", "x"), ("(a, b) == (b, a)", "xx"), ("[a] * b", "xi"),
    ("set(a) | set(b)", "ls"), ("set(a) - set(b)", "ll"), ("set(a).union(b, a)", "ll"), ("set(a) <= set(b)", "ls"),
    ("list(a.items())", "d"), ("list(a.values())", "d"), ("a.pop(b) if b in a else None", "dx"),
    ("sorted(a + b)", "ll"), ("max(a, b)", "ss"), ("min(a)", "t"), ("a.split(b)[c]", "ssi"), ("len(str(a))", "x"),
    ("sorted(set(a))", "l"), ("[x in a for x in b]", "ll"), ("[a.count(x) for x in b]", "ll"),
    ("[a.index(x) for x in b if x in a]", "ll"), ("{x: i for x, i in zip(a, range(len(a)))}", "l"),
    ("[{x: 1 for x in a}.get(y) for y in b]", "ll"), ("[y in {x: 1 for x in a} for y in b]", "ll"),
    ("len(set(a) & set(b))", "ll"), ("sorted(set(a) ^ set(b))", "ll"), ("set(a) == set(b)", "ll"),
    ("a == b", "ll"), ("sorted(a) == sorted(b)", "ll"), ("[min(a), max(a)]", "l"), ("sum(sorted(a))", "l"),
    ("{x: a.count(x) for x in a}", "l"), ("set(a).issubset(b)", "ll"), ("sorted(a)[b]", "li"),
]


def probe(seed):
    """A program applying one probe to edge values."""
    rng = random.Random(seed)
    template, kinds = rng.choice(PROBES)
    args = [rng.choice(PROBE_VALUES["x" if rng.random() < 0.1 else k]) for k in kinds]
    params = ", ".join("abc"[:len(kinds)])
    return f"@export\ndef f({params}):\n    return {template}\n", "f", args


def generate(seed, ill_typed=0.015):
    """Every third seed is a probe program, the others are generated programs."""
    if seed % 3 == 2:
        return probe(seed)
    return ProgramGenerator(seed, ill_typed).program()


if __name__ == "__main__":
    import sys
    for s in sys.argv[1:] or ["0"]:
        source, entry, arguments = generate(int(s))
        print(f"# seed {s}: {entry}{tuple(arguments)!r}\n{source}")
