# Script side of a random case: a random valid test script over a random
# interface (cmodel.Interface), and the qvmprepro options it is run with.
import re
from cmodel import WORDS, Field, Func, Interface, Ty, Var, int_type

FAMILIES = ["NOMINAL", "REGRESSION", "SAFETY", "SLOW", "SMOKE"]
INSTANCES = ["unit_a", "unit_b", "unit_c"]
FILTER_LETTERS = "ABCDE"


class Skip(Exception):
    """An instruction that cannot be written in its context: none is."""


class Names:
    def __init__(self):
        self.count = 0

    def fresh(self, base):
        self.count += 1
        return f"{base}_{self.count}"


class Access:
    """A readable (and maybe assignable) piece of a variable: its text and type."""

    def __init__(self, text, ty, var, bits=0, lvalue=True):
        self.text = text
        self.ty = ty
        self.var = var
        self.bits = bits
        self.lvalue = lvalue


class Block:
    """A block that becomes one generated function, with its own C scope."""

    def __init__(self, kind, name):
        self.kind = kind          # scenario, proc, callback, procsend, level
        self.name = name
        self.decls = []           # '#' lines at its head
        self.inst_decls = {}      # instance names -> '#' lines of an instance block at its head
        self.locals = []
        self.params = []
        self.timers = []          # (name, instance names)
        self.lines = []           # (indent, text, filter)


class Ctx:
    def __init__(self, block, indent=2, depth=0, inst=None, cond_vars=None):
        self.block = block
        self.indent = indent
        self.depth = depth
        self.inst = inst
        self.cond_vars = {} if cond_vars is None else cond_vars   # channel -> structure polled

    def nested(self, extra=2, inst=None):
        return Ctx(self.block, self.indent + extra, self.depth + 1, inst if inst is not None else self.inst,
                   self.cond_vars)


class Scenario:
    def __init__(self, name, qual, parent):
        self.name = name
        self.qual = qual
        self.parent = parent
        self.families = []
        self.children = []


class Options:
    """qvmprepro options of a case and the arguments of the generated program."""

    def __init__(self):
        self.prepro = []
        self.program = []
        self.thread = None


class ScriptGen:
    def __init__(self, rng, knobs=None):
        self.rng = rng
        self.knobs = knobs or {}
        # Shapes left out on request: those of faults known already, so
        # that a run gets past them to what they hide.
        self.avoid = set(self.knobs.get("avoid", ()))
        self.names = Names()
        self.iface = Interface(rng, self.names, "RS_IFACE_H")
        self.globals = []          # script '#' variables
        self.messages = []         # (Var of the message, structure Ty)
        self.commtypes = []        # dict(name, idtype, mux, channels)
        self.channels = []         # dict(name, ct, inst)
        self.callbacks = set()     # (structure tname, commtype name)
        self.procsends = set()
        self.procs = []            # dict(name, params, cleanup)
        self.cleanup_procs = []
        self.global_timers = []    # (name, inst)
        self.id_vars = {}          # commtype name -> list of Var
        self.instances = []
        self.formatted = set()
        self.scenarios = []        # every Scenario
        self.root = Scenario("", "", None)
        self.trigger_mode = False
        self.helper_funcs = []
        self.files = {}
        self.rdv_names = []

    # ---- small helpers ---------------------------------------------------
    def chance(self, p):
        return self.rng.random() < p

    def pick(self, seq):
        return self.rng.choice(seq)

    def emit(self, ctx, text, filt=None):
        ctx.block.lines.append((ctx.indent, text, filt))

    def small_int(self, ty):
        lo, hi = max(ty.lo, -50), min(ty.hi, 300)
        if self.chance(0.5):
            lo, hi = max(ty.lo, 0), min(ty.hi, 20)
        return self.rng.randint(lo, hi)

    def int_literal(self, ty, value=None):
        value = self.small_int(ty) if value is None else value
        if ty.kind == "int" and ty.char and 48 <= value <= 122 and chr(value).isalnum() and self.chance(0.4):
            return f"'{chr(value)}'"
        if value >= 10 and self.chance(0.15):
            return hex(value)
        if ty.kind == "int" and ty.long and self.chance(0.3):
            return f"{value}L"
        if ty.kind == "int" and ty.lo == 0 and value >= 0 and self.chance(0.15):
            return f"{value}U"
        return str(value)

    def float_literal(self):
        return self.pick(["0.5", "1.25", "2.0", "-3.5", "10.0", "0.125", "100.0", "7.75"])

    def string_literal(self, limit=12):
        word = self.pick(WORDS)[:max(1, limit)]
        return f'"{word}"'

    # ---- the visible variables of a context ------------------------------
    def visible(self, ctx):
        found = [v for v in self.iface.globals]
        found += [v for v in self.globals if v.inst is None or v.inst == ctx.inst]
        if "message-refs" not in self.avoid:
            found += [m for m, _ in self.messages]
        found += [v for v in ctx.block.locals if v.inst is None or v.inst == ctx.inst]
        found += ctx.block.params
        return found

    def named_fields(self, ty):
        out = []
        for f in ty.fields:
            if f.name:
                out.append(f)
            else:
                out.extend(self.named_fields(f.ty))
        return out

    def descend(self, var, stop=0.45):
        text, ty, bits, lvalue = var.name, var.ty, 0, var.lvalue and not var.const
        if var.derefsafe:
            lvalue = False
            if self.chance(0.6):
                if ty.to.kind == "struct":
                    f = self.pick(self.named_fields(ty.to))
                    text, ty, bits, lvalue = f"{text}->{f.name}", f.ty, f.bits, True
                else:
                    text, ty, lvalue = f"(*{text})", ty.to, True
        while True:
            if ty.kind in ("struct", "union") and self.rng.random() > stop:
                f = self.pick(self.named_fields(ty))
                text, ty, bits = f"{text}.{f.name}", f.ty, f.bits
            elif ty.kind == "array" and not ty.is_string_array() and self.rng.random() > stop * 0.7:
                text, ty, bits = f"{text}[{self.rng.randrange(ty.n)}]", ty.elem, 0
            else:
                return Access(text, ty, var, bits, lvalue)

    # A read inside an instance block does not count for a variable declared
    # outside it: -INSTANCE may leave the block out.
    def read(self, ctx, var):
        if var.inst == ctx.inst:
            var.reads += 1

    def access(self, ctx, want, tries=30, read=True):
        pool = self.visible(ctx)
        if not pool:
            return None
        for _ in range(tries):
            var = self.pick(pool)
            acc = self.descend(var)
            if want(acc):
                if read:
                    self.read(ctx, var)
                return acc
        return None

    # ---- expressions ------------------------------------------------------
    def int_expr(self, ctx, allow_time=True):
        r = self.rng.random()
        if r < 0.3:
            return str(self.rng.randint(0, 20))
        if r < 0.7:
            acc = self.access(ctx, lambda a: a.ty.kind in ("int", "enum") and (a.ty.kind != "int" or not a.ty.long))
            if acc:
                return acc.text
        if r < 0.85 and self.iface.macros:
            return self.pick(self.iface.macros)[0]
        if allow_time and self.visible_timers(ctx) and self.chance(0.5):
            return f"(int) TIME({self.pick(self.visible_timers(ctx))})"
        return str(self.rng.randint(0, 9))

    def comparison(self, ctx):
        acc = self.access(ctx, lambda a: a.ty.kind in ("int", "enum", "float", "ptr", "fptr"))
        if acc is None:
            return f"{self.rng.randint(0, 5)} < {self.rng.randint(6, 9)}"
        ty = acc.ty
        if ty.kind == "enum":
            return f"{acc.text} {self.pick(['==', '!='])} {self.pick(ty.consts)[0]}"
        if ty.kind == "float":
            return f"{acc.text} {self.pick(['<', '>', '<=', '>='])} {self.float_literal()}"
        if ty.kind in ("ptr", "fptr"):
            return f"{acc.text} {self.pick(['==', '!='])} NIL"
        op = self.pick(["<", ">", "<=", ">=", "==", "!="])
        lo, hi = ty.lo, ty.hi
        value = self.small_int(ty)
        if op == "<":
            value = max(value, lo + 1)
        elif op == ">":
            value = min(value, hi - 1)
        elif op == "<=":
            value = min(value, hi - 1)
        elif op == ">=":
            value = max(value, lo + 1)
        return f"{acc.text} {op} {self.int_literal(ty, value)}"

    def condition(self, ctx, matching=False):
        pieces = [self.condition_piece(ctx, matching)]
        while len(pieces) < 3 and self.chance(0.3):
            # Pieces on different operands: two comparisons of one variable
            # may always be true or false together, which the compilers say.
            for _ in range(5):
                piece = self.condition_piece(ctx, matching)
                if all(self.operand(piece) != self.operand(p) for p in pieces):
                    pieces.append(piece)
                    break
            else:
                break
        if len(pieces) == 1:
            return pieces[0]
        joiner = self.pick([" && ", " || "])
        return joiner.join(f"({p})" if self.chance(0.7) or " " in p else p for p in pieces)

    @staticmethod
    def operand(piece):
        return piece.lstrip("!(").split(" ")[0]

    def condition_piece(self, ctx, matching):
        if matching and self.chance(0.5):
            piece = self.matching_piece(ctx)
            if piece:
                return piece
        r = self.rng.random()
        if r < 0.1 and self.visible_timers(ctx):
            return f"TIME({self.pick(self.visible_timers(ctx))}) < {self.rng.randint(1, 50)}"
        if r < 0.15:
            return f"!({self.comparison(ctx)})"
        return self.comparison(ctx)

    # MATCHING-family pieces of one condition keep every channel to one
    # message structure (the polling list of a WAITTIL).
    def matching_piece(self, ctx):
        cands = []
        for msg, st in self.messages:
            if self.trigger_mode:
                cands.append((msg, st, None))
                continue
            types = [ct for ct in self.commtypes if (st.tname, ct["name"]) in self.callbacks]
            for ct in types:
                for ch in self.channels:
                    if ch["ct"] is ct and (ch["inst"] is None or ch["inst"] == ctx.inst):
                        cands.append((msg, st, ch))
                if types:
                    cands.append((msg, st, None))
        self.rng.shuffle(cands)
        for msg, st, ch in cands:
            pairs = self.polled_pairs(st, ch)
            if all(ctx.cond_vars.get(c, st.tname) == st.tname for c, _ in pairs):
                for c, s in pairs:
                    ctx.cond_vars[c] = s
                word = self.pick(["MATCHING", "MATCHED", "NOTMATCHING", "NOTMATCHED"])
                text = f"{word}({msg.name}, {ch['name']})" if ch else f"{word}({msg.name})"
                return f"!{text}" if self.chance(0.1) else text
        return None

    def polled_pairs(self, st, ch):
        if self.trigger_mode:
            return [("trigger:" + st.tname, st.tname)]
        if ch is not None:
            return [(ch["name"], st.tname)]
        pairs = []
        for ct in self.commtypes:
            if (st.tname, ct["name"]) in self.callbacks:
                pairs += [(c["name"], st.tname) for c in self.channels if c["ct"] is ct]
        return pairs

    def visible_timers(self, ctx):
        found = [n for n, inst in self.global_timers if inst is None or inst == ctx.inst]
        found += [n for n, inst in ctx.block.timers if inst is None or inst == ctx.inst]
        return found

    # ---- values of INIT= and EV= -----------------------------------------
    def value(self, ty, mode, bits=0, depth=0):
        k = ty.kind
        if k == "int":
            if mode == "ev" and self.chance(0.2):
                a, b = sorted([self.small_int(ty), self.small_int(ty)])
                low, high = self.int_literal(ty, a), self.int_literal(ty, b)
                shape = self.rng.random()
                if shape < 0.1:
                    return f"[..{high}]"
                if shape < 0.2:
                    return f"[{low}..]"
                return f"[{low} .. {high}]" if shape < 0.6 else f"[{low}..{high}]"
            if self.chance(0.1) and self.iface.macros:
                name, v = self.pick(self.iface.macros)
                if ty.lo <= v <= ty.hi:
                    return name
            return self.int_literal(ty)
        if k == "float":
            if mode == "ev" and self.chance(0.25):
                return f"[{self.pick(['0.0', '-1.5', '1.0'])} .. {self.pick(['2.5', '10.0', '100.0'])}]"
            return self.float_literal()
        if k == "enum":
            if mode == "ev" and self.chance(0.15) and len(ty.consts) > 1:
                a, b = sorted(self.rng.sample(range(len(ty.consts)), 2))
                return f"[{ty.consts[a][0]} .. {ty.consts[b][0]}]"
            return self.pick(ty.consts)[0]
        if k == "ptr" or k == "fptr":
            if ty.points_to_char():
                # NIL is the integer 0, which a character pointer does not take.
                return self.string_literal() if mode == "init" or self.chance(0.6) or \
                    "nonil-strings" in self.avoid else "NONIL"
            if mode == "ev" and self.chance(0.5):
                return "NONIL"
            return "NIL"
        if k == "array":
            if ty.is_string_array():
                return self.string_literal(ty.n - 1)
            return self.array_value(ty, mode, depth)
        if k == "struct":
            return self.struct_value(ty, mode, depth)
        if k == "union":
            f = self.pick(self.named_fields(ty))
            return self.wrap(f"{f.name} => {self.value(f.ty, mode, f.bits, depth + 1)}")
        return "0"

    # Parentheses hold a list only with a designator or a comma in it:
    # "(x)" is the expression x.
    def wrap(self, inner, listy=True):
        return f"({inner})" if listy and self.chance(0.1) else "{" + inner + "}"

    def struct_value(self, ty, mode, depth):
        fields = self.named_fields(ty)
        if ty.fields and all(f.name for f in ty.fields) and self.chance(0.3):
            count = self.rng.randint(1, len(fields))
            return self.wrap(", ".join(self.value(f.ty, mode, f.bits, depth + 1) for f in fields[:count]), count > 1)
        chosen = [f for f in fields if self.chance(0.5)] or [self.pick(fields)]
        return self.wrap(", ".join(f"{f.name} => {self.value(f.ty, mode, f.bits, depth + 1)}" for f in chosen))

    def array_value(self, ty, mode, depth):
        n = ty.n
        form = self.rng.random()
        if form < 0.3:
            count = self.rng.randint(1, n)
            items = [self.value(ty.elem, mode, 0, depth + 1) for _ in range(count)]
            if count < n and self.chance(0.4):
                items.append(f"OTHERS => {self.value(ty.elem, mode, 0, depth + 1)}")
            return self.wrap(", ".join(items), len(items) > 1)
        if form < 0.5:
            return self.wrap(f"OTHERS => {self.value(ty.elem, mode, 0, depth + 1)}")
        items, i = [], 0
        while i < n:
            if self.chance(0.4):
                i += 1
                continue
            j = self.rng.randint(i, min(n - 1, i + 2))
            index = f"{i}" if i == j else f"{i}..{j}"
            items.append(f"{index} => {self.value(ty.elem, mode, 0, depth + 1)}")
            i = j + 1 + self.rng.randint(0, 1)
        if not items:
            items.append(f"0 => {self.value(ty.elem, mode, 0, depth + 1)}")
        covered = sum(1 for _ in items)
        if self.chance(0.5) and covered < n:
            items.append(f"OTHERS => {self.value(ty.elem, mode, 0, depth + 1)}")
        return self.wrap(", ".join(items))

    # ---- instructions -----------------------------------------------------
    def body(self, ctx, count):
        for _ in range(count):
            before = len(ctx.block.lines)
            self.instruction(ctx)
            if len(ctx.block.lines) == before:
                self.i_comment(ctx)

    def filt(self):
        if not self.chance(0.07):
            return None
        letters = "".join(sorted(set(self.rng.choices(FILTER_LETTERS, k=self.rng.randint(1, 2)))))
        shape = self.rng.random()
        if shape < 0.5:
            return letters
        if shape < 0.75:
            return f"{letters}+~{self.pick(FILTER_LETTERS)}"
        return f"%{letters}~{self.pick(FILTER_LETTERS)}"

    def instruction(self, ctx):
        kind = ctx.block.kind
        weights = {
            "call_c": 18, "var": 20, "at": 6, "comment": 3, "print": 3, "pause": 1, "set": 2,
            "timer": 2, "trace": 2, "format": 1, "error": 1, "exit": 0.15, "rendezvous": 1, "intersend": 1,
            "interrecv": 1,
        }
        if ctx.depth < 2:
            weights.update({"if": 5, "while": 3, "case": 3})
        if self.procs and kind != "callback":
            weights["call_proc"] = 8
        if self.cleanup_procs and "cleanup" not in self.avoid:
            weights["cleanup"] = 3
        if self.messages:
            weights["def_message"] = 5
            if "message-refs" not in self.avoid:
                weights["msgvar"] = 4
        if kind in ("scenario", "proc", "level"):
            if self.sendable(ctx):
                weights["send"] = 6
            if self.messages and (self.callbacks or self.trigger_mode):
                weights["waittil"] = 7
            if self.channels:
                weights["add_id"] = 3
            if self.instances and ctx.inst is None:
                weights["instance"] = 3
        if kind == "proc":
            weights["msgdate"] = 0.5
        if kind in ("callback", "procsend"):
            for k in ("rendezvous", "intersend", "interrecv", "exit", "cleanup", "pause", "trace"):
                weights.pop(k, None)
        names = list(weights)
        choice = self.rng.choices(names, weights=[weights[n] for n in names])[0]
        reads = [(v, v.reads) for v in self.visible(ctx)]
        try:
            getattr(self, "i_" + choice)(ctx)
        except Skip:
            for var, count in reads:
                var.reads = count

    def i_call_c(self, ctx):
        funcs = [f for f in self.iface.functions if not f.name.startswith("rs_")] + self.helper_funcs
        func = self.pick(funcs)
        args = [self.argument(ctx, name, ty) for name, ty in func.params]
        if func.variadic:
            for _ in range(self.rng.randint(0, 2)):
                args.append(self.int_expr(ctx))
        text = f"CALL {func.name}({', '.join(args)})"
        text += self.call_at(ctx, func.ret)
        self.emit(ctx, text, self.filt())

    def call_at(self, ctx, ret):
        if ret is None or ret.kind in ("struct", "union") or not self.chance(0.6):
            return ""
        if ret.kind in ("int", "enum"):
            expected = self.value(ret, "init")
        elif ret.kind == "float":
            expected = self.float_literal()
        elif ret.points_to_char():
            expected = self.string_literal() if self.chance(0.5) else "NONIL"
        else:
            expected = self.pick(["NONIL", "NIL"])
        text = f" @ {expected}"
        if self.chance(0.35):
            acc = self.access(ctx, lambda a: a.lvalue and a.ty.cls() == ret.cls() and a.bits == 0
                              and (ret.kind != "ptr" or a.ty.kind == "ptr" and a.ty.identity() == ret.identity()),
                              read=False)
            if acc:
                text += f" @ {acc.text}"
        return text

    def argument(self, ctx, name, ty):
        k = ty.kind
        if k in ("int", "enum"):
            if k == "enum" and self.chance(0.6):
                text = self.pick(ty.consts)[0]
            else:
                acc = self.access(ctx, lambda a: a.ty.kind == k and a.ty.identity() == ty.identity()) \
                    if self.chance(0.4) else None
                text = acc.text if acc else (self.int_literal(ty) if k == "int" else self.pick(ty.consts)[0])
            if self.chance(0.1):
                text += f" @ {self.int_literal(ty) if k == 'int' else self.pick(ty.consts)[0]}"
            return text
        if k == "float":
            return self.float_literal()
        if k == "ptr":
            if ty.is_char_pointer():
                acc = self.access(ctx, lambda a: a.ty.is_string_array() and (ty.constq or a.lvalue)
                                  or a.ty.is_char_pointer() and (ty.constq or not a.ty.constq)) \
                    if self.chance(0.3) else None
                return acc.text if acc else self.string_literal()
            target = ty.to
            if self.chance(0.75):
                if target.kind == "void":
                    want = lambda a: a.lvalue and a.bits == 0 and a.ty.kind in ("int", "float", "struct")
                else:
                    want = lambda a: a.lvalue and a.bits == 0 and a.ty.kind == target.kind \
                        and a.ty.identity() == target.identity()
                acc = self.access(ctx, want)
                if acc:
                    if self.chance(0.3) and acc.ty.kind in ("int", "enum") and target.kind != "void":
                        return f"REF({acc.text} @ {self.value(acc.ty, 'init')})"
                    return f"REF({acc.text})" if self.chance(0.7) else f"&{acc.text}"
            return "NIL"
        if k == "fptr":
            return "NIL"
        if k in ("struct", "union"):
            acc = self.access(ctx, lambda a: a.ty.kind == k and a.ty.identity() == ty.identity())
            if acc:
                return acc.text
            raise Skip()
        return "0"

    # An argument as plain C, for a call inside an expression.
    def plain_argument(self, ctx, name, ty):
        text = self.argument(ctx, name, ty)
        if text.startswith("REF("):
            text = "&" + text[4:-1]
        return text.split(" @ ")[0]

    def i_call_proc(self, ctx):
        procs = [p for p in self.procs if p is not ctx.block.proc_def] if hasattr(ctx.block, "proc_def") \
            else self.procs
        if not procs:
            return self.i_comment(ctx)
        proc = self.pick(procs)
        args = [self.proc_argument(ctx, ty) for _, ty in proc["params"]]
        self.emit(ctx, f"CALL {proc['name']}({', '.join(args)})", self.filt())

    def proc_argument(self, ctx, ty):
        if ty.kind in ("struct", "union"):
            acc = self.access(ctx, lambda a: a.ty.kind == ty.kind and a.ty.identity() == ty.identity())
            if acc is None:
                raise Skip()
            return acc.text
        if ty.kind == "ptr":
            if ty.is_char_pointer():
                return self.string_literal()
            return "NIL"
        if ty.kind == "float":
            return self.float_literal()
        if ty.kind == "enum":
            return self.pick(ty.consts)[0]
        if self.chance(0.4):
            acc = self.access(ctx, lambda a: a.ty.kind == "int" and a.ty.identity() == ty.identity())
            if acc:
                return acc.text
        return self.int_literal(ty)

    def i_var(self, ctx):
        if self.chance(0.08):
            funcs = [f for f in self.iface.functions if f.ret is not None and f.ret.scalar() and not f.variadic
                     and not f.name.startswith("rs_")]
            if funcs:
                func = self.pick(funcs)
                args = ", ".join(self.plain_argument(ctx, n, t) for n, t in func.params)
                value = self.value(func.ret, "ev")
                self.emit(ctx, f"VAR {func.name}({args}), EV={value}", self.filt())
                return
        acc = self.access(ctx, lambda a: True, read=False)
        if acc is None:
            return self.i_comment(ctx)
        self.var_on(ctx, acc)

    def var_on(self, ctx, acc, mode=None):
        ty = acc.ty
        if mode is None:
            mode = self.rng.choices(["ev", "init", "va", "eveq"], weights=[60, 25, 10, 5])[0]
        if mode == "init" and (not acc.lvalue or acc.var.const):
            mode = "ev"
        if mode == "eveq" and not ty.scalar():
            mode = "ev"
        if mode == "init" and ty.kind == "ptr" and acc.var.derefsafe:
            mode = "ev"
        if mode != "init":
            self.read(ctx, acc.var)
        if mode == "eveq":
            self.emit(ctx, f"VAR {acc.text}, EV==", self.filt())
            return
        value = self.value(ty, "init" if mode == "init" else "ev", acc.bits)
        word = {"ev": "EV", "init": "INIT", "va": "VA"}[mode]
        text = f"VAR {acc.text}, {word}={value}"
        self.emit_long(ctx, text)

    def emit_long(self, ctx, text):
        filt = self.filt()
        if len(text) > 90 and self.chance(0.5):
            cut = text.find(", ", 60)
            if cut > 0:
                self.emit(ctx, text[:cut + 1], filt)
                ctx.block.lines.append((0, "&" + text[cut + 1:], None))
                return
        self.emit(ctx, text, filt)

    def i_at(self, ctx):
        acc = self.access(ctx, lambda a: a.lvalue and a.ty.kind == "int" and not a.ty.char, read=False)
        if acc is None:
            return self.emit(ctx, "@;")
        src = self.access(ctx, lambda a: a.ty.kind == "int" and a.ty.identity() == acc.ty.identity()
                          and a.text != acc.text, read=False)
        value = self.int_literal(acc.ty)
        if src and self.chance(0.5):
            self.read(ctx, src.var)
            value = src.text
        shape = self.rng.random()
        if shape < 0.6:
            self.emit(ctx, f"@{acc.text} = {value};", self.filt())
        elif shape < 0.8:
            self.emit(ctx, f"@if ({self.comparison(ctx)}) {{")
            self.emit(ctx, f"@    {acc.text} = {value};")
            self.emit(ctx, "@}")
        else:
            self.emit(ctx, f"@{acc.text} = ({value});")

    def i_comment(self, ctx):
        self.emit(ctx, self.pick(["COMMENT: ", "COMMENT "]) + " ".join(self.rng.sample(WORDS, 3)), self.filt())

    def i_print(self, ctx):
        expr = self.int_expr(ctx)
        if self.chance(0.1):
            acc = self.access(ctx, lambda a: a.ty.kind == "float")
            if acc:
                expr = acc.text        # an incompatible type: a warning, still a program
        self.emit(ctx, f"PRINT {self.names.fresh('p')}, {expr}", self.filt())

    def i_pause(self, ctx):
        duration = str(self.rng.randint(0, 2))
        if self.chance(0.3):
            acc = self.access(ctx, lambda a: a.ty.kind == "int" and not a.ty.char and a.ty.lo < 0)
            if acc:
                duration = f"{acc.text} % 3"
        self.emit(ctx, f"PAUSE {duration}", self.filt())

    def i_set(self, ctx):
        letters = "".join(sorted(set(self.rng.choices(FILTER_LETTERS, k=self.rng.randint(1, 3)))))
        self.emit(ctx, f'{self.pick(["SET", "UNSET"])}("{letters}")', self.filt())

    def i_timer(self, ctx):
        timers = self.visible_timers(ctx)
        if ctx.depth == 0 and ctx.inst is None and (not timers or self.chance(0.5)):
            name = self.names.fresh("tm")
            self.emit(ctx, f"TIMER {name}")
            ctx.block.timers.append((name, None))
            return
        if timers:
            self.emit(ctx, f"RESET {self.pick(timers)}", self.filt())

    def i_trace(self, ctx):
        word = self.pick(["TRACE_ON", "TRACE_OFF", "FLUSH_TRACE"])
        if word == "FLUSH_TRACE" and ctx.block.kind in ("callback", "procsend") and ctx.depth == 0:
            word = "TRACE_ON"
        self.emit(ctx, word, self.filt())

    def i_format(self, ctx):
        acc = self.access(ctx, lambda a: a.text == a.var.name and a.var.name not in self.formatted
                          and a.var.origin in ("extern", "global", "local"), read=False)
        if acc is None:
            return self.i_comment(ctx)
        fmt = self.format_for(acc.ty)
        if fmt is None:
            return self.i_comment(ctx)
        self.formatted.add(acc.var.name)
        self.emit(ctx, f"FORMAT= {acc.text} # {fmt}")

    def format_for(self, ty):
        if ty.kind == "enum" and ty.tname:
            return self.pick([f"enum({ty.tname})", "integer"])
        if ty.kind == "int":
            if ty.char:
                return "char"
            return self.pick(["integer", "int"] + (["unsigned"] if ty.lo == 0 else []))
        if ty.kind == "float":
            return "double" if ty.double else "float"
        if ty.is_char_pointer():
            return self.pick(["string(char *)", "string_ptr(char *)"])
        if ty.kind == "ptr":
            return "pointer"
        return None

    def i_error(self, ctx):
        self.emit(ctx, "ERROR", self.filt())

    def i_exit(self, ctx):
        self.emit(ctx, "EXIT", self.filt())

    def i_rendezvous(self, ctx):
        if not self.rdv_names or self.chance(0.4):
            self.rdv_names.append(self.names.fresh("rdv"))
        self.emit(ctx, f"RENDEZVOUS {self.pick(self.rdv_names)}", self.filt())

    def i_intersend(self, ctx):
        dest = f'"{self.pick(self.instances or ["tester"])}_0"'
        if self.chance(0.5):
            message = self.string_literal()
        else:
            acc = self.access(ctx, lambda a: a.ty.kind == "int" and not a.ty.char)
            message = acc.text if acc else str(self.rng.randint(0, 99))
        self.emit(ctx, f"INTERSEND({message}, {dest})", self.filt())

    def i_interrecv(self, ctx):
        buf = self.access(ctx, lambda a: a.ty.is_string_array() and a.lvalue, read=False)
        if buf and self.chance(0.6):
            self.read(ctx, buf.var)
            self.emit(ctx, f"INTERRECV({buf.text}, sizeof {buf.text})", self.filt())
            return
        acc = self.access(ctx, lambda a: a.lvalue and a.bits == 0 and a.ty.kind == "int" and not a.ty.char)
        if acc:
            self.emit(ctx, f"INTERRECV(&{acc.text})", self.filt())

    def i_cleanup(self, ctx):
        proc = self.pick(self.cleanup_procs)
        self.emit(ctx, f"{self.pick(['ENABLE_CLEANUP', 'ENABLE_CLEANUP', 'DISABLE_CLEANUP'])} {proc['name']}()",
                  self.filt())

    def i_msgdate(self, ctx):
        self.emit(ctx, self.pick(["MESSAGE_DATE", "NO_MESSAGE"]), self.filt())

    def i_if(self, ctx):
        ctx.cond_vars = {}
        self.emit(ctx, f"IF ({self.condition(ctx, matching=True)}) THEN", self.filt())
        inner = ctx.nested()
        self.body(inner, self.rng.randint(1, 3))
        if self.chance(0.4):
            self.emit(ctx, "ELSE")
            self.body(ctx.nested(), self.rng.randint(1, 2))
        self.emit(ctx, "END IF")

    def i_while(self, ctx):
        ctx.cond_vars = {}
        if ctx.block.kind in ("callback", "procsend"):
            return self.i_if(ctx)
        counter = self.counter(ctx)
        limit = self.rng.randint(1, 3)
        self.emit(ctx, f"@{counter} = 0;")
        cond = f"{counter} < {limit}"
        if self.chance(0.4):
            # Not on the counter again: two comparisons of one variable may
            # never hold together, which the compilers say.
            for _ in range(5):
                more = self.condition(ctx, matching=True)
                if not re.search(rf"\b{counter}\b", more):
                    cond = f"({cond}) && ({more})"
                    break
        self.emit(ctx, f"WHILE ({cond})", self.filt())
        inner = ctx.nested()
        self.emit(inner, f"@{counter}++;")
        self.body(inner, self.rng.randint(1, 3))
        self.emit(ctx, "END WHILE")

    def counter(self, ctx):
        name = self.names.fresh("wk")
        self.declare_local(ctx, Ty("int", cspell="int", lo=-100, hi=100), name, init="0")
        var = ctx.block.locals[-1]
        var.reads += 1
        var.lvalue = False        # only the loop itself changes it
        return name

    def declare_local(self, ctx, ty, name, init=None):
        text = ty.decl(name)
        if init is not None:
            text += f" = {init}"
        elif ty.kind in ("struct", "union", "array"):
            text = "static " + text
        else:
            text += " = " + ("0" if ty.kind != "ptr" else "0")
        var = Var(name, ty, "local", inst=ctx.inst)
        if ctx.inst is None:
            ctx.block.decls.append(text + ";")
        else:
            ctx.block.inst_decls.setdefault(ctx.inst, []).append(text + ";")
        ctx.block.locals.append(var)
        return var

    def i_case(self, ctx):
        acc = self.access(ctx, lambda a: a.ty.kind in ("int", "enum") and not a.ty.long and a.ty.hi > 5)
        if acc is None:
            return self.i_if(ctx)
        ty = acc.ty
        self.emit(ctx, f"CASE ({acc.text}) IS", self.filt())
        used = set()
        clauses = self.rng.randint(1, 3)
        inner = ctx.nested(4)
        for _ in range(clauses):
            labels = []
            for _ in range(self.rng.randint(1, 2)):
                if ty.kind == "enum":
                    name, value = self.pick(ty.consts)
                    label = name
                else:
                    # A WHEN value is a number without sign, or a character.
                    value = max(0, self.small_int(ty))
                    label = self.int_literal(ty, value) if not (ty.char and self.chance(0.3)) else str(value)
                if value in used:
                    continue
                used.add(value)
                labels.append(label)
            if not labels:
                continue
            for label in labels:
                self.emit(ctx.nested(), f"WHEN {label} =>")
            self.body(inner, self.rng.randint(1, 2))
        if ty.kind == "enum" or self.chance(0.5):
            self.emit(ctx.nested(), "WHEN OTHERS =>")
            self.body(inner, 1)
        self.emit(ctx, "END CASE")

    def i_def_message(self, ctx):
        msg, st = self.pick(self.messages)
        if self.chance(0.2):
            fields = self.named_fields(st)
            if all(f.name for f in st.fields):
                count = self.rng.randint(1, len(fields))
                values = ", ".join(self.value(f.ty, "ev", f.bits) for f in fields[:count])
                self.emit_long(ctx, f"DEF_TRIGGER({msg.name}, {values})")
                return
        self.emit_long(ctx, f"DEF_MESSAGE {msg.name}, EV={self.struct_value(st, 'ev', 0)}")

    def i_msgvar(self, ctx):
        msg, st = self.pick(self.messages)
        r = self.rng.random()
        acc = self.descend(msg, stop=0.2)
        if r < 0.5:
            self.var_on(ctx, acc)
        elif r < 0.7:
            ctx.cond_vars = {}
            self.emit(ctx, f"IF ({self.msg_comparison(acc) or self.comparison(ctx)}) THEN")
            self.body(ctx.nested(), 1)
            self.emit(ctx, "END IF")
        elif r < 0.85:
            target = self.access(ctx, lambda a: a.lvalue and a.ty.kind == acc.ty.kind
                                 and a.ty.identity() == acc.ty.identity() and a.var is not msg
                                 and acc.ty.kind in ("int", "float", "enum"), read=False)
            if target:
                msg.reads += 1
                self.emit(ctx, f"@{target.text} = {acc.text};")
            elif acc.lvalue and acc.ty.kind == "int" and acc.bits == 0:
                self.emit(ctx, f"@{acc.text} = {self.int_literal(acc.ty)};")
        else:
            ctx.cond_vars = {}
            cmp = self.msg_comparison(acc)
            if cmp:
                counter = self.counter(ctx)
                self.emit(ctx, f"@{counter} = 0;")
                self.emit(ctx, f"WHILE (({cmp}) && {counter} < 2)")
                self.emit(ctx.nested(), f"@{counter}++;")
                self.emit(ctx, "END WHILE")

    def msg_comparison(self, acc):
        ty = acc.ty
        if ty.kind == "enum":
            return f"{acc.text} == {self.pick(ty.consts)[0]}"
        if ty.kind == "int":
            value = min(max(self.small_int(ty), ty.lo), ty.hi)
            return f"{acc.text} == {self.int_literal(ty, value)}"
        if ty.kind == "float":
            return f"{acc.text} > {self.float_literal()}"
        return None

    def sendable(self, ctx):
        out = []
        for msg, st in self.messages:
            for ch in self.channels:
                if (st.tname, ch["ct"]["name"]) in self.procsends and (ch["inst"] is None or ch["inst"] == ctx.inst):
                    out.append((msg, ch))
        return out

    def i_send(self, ctx):
        msg, ch = self.pick(self.sendable(ctx))
        self.emit(ctx, f"SEND({msg.name}, {ch['name']})", self.filt())

    def i_waittil(self, ctx):
        ctx.cond_vars = {}
        pieces = []
        for _ in range(self.rng.randint(1, 2)):
            piece = self.matching_piece(ctx)
            if piece:
                pieces.append(piece)
        if not pieces:
            return self.i_comment(ctx)
        if self.chance(0.3):
            pieces.append(self.comparison(ctx))
        if len(pieces) > 1 and self.chance(0.3):
            pieces = [f"({p})" for p in pieces]
        cond = self.pick([" && ", " || "]).join(pieces)
        limit = str(self.rng.randint(1, 6))
        r = self.rng.random()
        if r < 0.15:
            acc = self.access(ctx, lambda a: a.ty.kind == "int" and not a.ty.char and a.ty.lo < 0)
            if acc:
                limit = f"{acc.text} % 5 + 1" if self.chance(0.5) else acc.text
        elif r < 0.25:
            small = [name for name, value in self.iface.macros if value <= 10]
            if small:
                limit = self.pick(small)
        elif r < 0.3:
            limit = f"2 * {self.rng.randint(1, 3)}"
        timeout = f"WTIME {self.pick(['>', '>='])} {limit}"
        self.emit(ctx, f"WAITTIL({cond}, {timeout})", self.filt())

    def i_add_id(self, ctx):
        chans = [c for c in self.channels if c["inst"] is None or c["inst"] == ctx.inst]
        if not chans:
            return self.i_comment(ctx)
        ch = self.pick(chans)
        word = self.rng.random()
        if word < 0.25:
            self.emit(ctx, f"CLEAR_ID({ch['name']})", self.filt())
            return
        ids = [v for v in self.id_vars.get(ch["ct"]["name"], []) if v.inst is None or v.inst == ctx.inst]
        if not ids:
            return self.i_comment(ctx)
        var = self.pick(ids)
        self.read(ctx, var)
        self.emit(ctx, f"{'ADD_ID' if word < 0.8 else 'FD_ADD'}({ch['name']}, {var.name})", self.filt())
        if self.chance(0.1):
            self.emit(ctx, f"FD_DEL({var.name})")

    def i_instance(self, ctx):
        names = tuple(sorted(self.rng.sample(self.instances, self.rng.randint(1, min(2, len(self.instances))))))
        self.emit(ctx, f"INSTANCE {', '.join(names)} :")
        inner = ctx.nested(inst=names)
        inner.depth = ctx.depth
        if self.chance(0.4):
            name = self.names.fresh("iv")
            ty = self.pick([Ty("int", cspell="int", lo=-2147483648, hi=2147483647),
                            Ty("int", cspell="long", lo=-2147483648, hi=2147483647, long=True)])
            self.declare_local(inner, ty, name)
        self.body(inner, self.rng.randint(1, 3))
        self.use_unread(inner, only_inst=names)
        self.emit(ctx, "END INSTANCE")

    # Every variable of the block is read once at least, so that the C
    # compiler has nothing to say about the script's own declarations.
    def use_unread(self, ctx, only_inst=None):
        for var in list(ctx.block.locals) + ctx.block.params:
            if var.reads > 0 or var.inst != only_inst:
                continue
            var.reads += 1
            acc = Access(var.name, var.ty, var, 0, True)
            if var.ty.kind in ("int", "enum", "float") and self.chance(0.5):
                self.emit(ctx, f"IF ({var.name} {'==' if var.ty.kind != 'float' else '>'} "
                               f"{self.value(var.ty, 'init')}) THEN")
                self.emit(ctx.nested(), "COMMENT read " + var.name)
                self.emit(ctx, "END IF")
            else:
                self.var_on(ctx, acc, "ev")

    # ---- declarations -------------------------------------------------------
    def build(self):
        rng = self.rng
        iface = self.iface
        self.trigger_mode = self.chance(self.knobs.get("trigger", 0.12))
        iface.build(rng.randint(1, 3))
        self.make_externs()
        self.make_functions()
        if self.chance(0.35):
            self.instances = INSTANCES[:rng.randint(2, 3)]
        decl = []
        decl += self.make_script_globals()
        if self.instances:
            decl.append(f"DECLARE_INSTANCE {', '.join(self.instances)}")
        if self.trigger_mode:
            decl += self.make_triggers()
        else:
            decl += self.make_comm()
        decl += self.make_misc_declarations()
        decl += self.make_procs()
        self.decl_lines = decl
        self.make_scenarios()

    def make_externs(self):
        iface, rng = self.iface, self.rng
        makers = [
            lambda: iface.some_int(), lambda: iface.some_int(), lambda: iface.float_type(),
            lambda: self.pick(iface.enums), lambda: self.pick(iface.structs + iface.messages),
            lambda: self.pick(iface.structs + iface.messages), lambda: self.pick(iface.unions or iface.structs),
            lambda: Ty("array", elem=iface.some_int(), n=rng.randint(2, 8)),
            lambda: Ty("array", elem=int_type("char", -128, 127, True, False), n=rng.randint(6, 20)),
            lambda: Ty("ptr", to=int_type("char", -128, 127, True, False), constq=self.chance(0.6)),
            lambda: Ty("array", elem=self.pick(iface.structs + iface.messages), n=rng.randint(2, 3)),
        ]
        for _ in range(rng.randint(6, 11)):
            iface.add_global(self.pick(makers)())
        for _ in range(rng.randint(0, 2)):
            iface.add_global(self.pick([iface.some_int(), self.pick(iface.enums)]), const=True)
        if self.chance(0.6):
            target = self.pick(iface.structs + iface.messages + [iface.some_int()])
            iface.add_global(Ty("ptr", to=target), derefsafe=True)
        if iface.fptrs and self.chance(0.5):
            iface.add_global(self.pick(iface.fptrs))

    def param_type(self):
        iface = self.iface
        r = self.rng.random()
        if r < 0.35:
            return iface.some_int()
        if r < 0.45:
            return self.pick(iface.enums)
        if r < 0.55:
            return iface.float_type()
        if r < 0.65:
            return Ty("ptr", to=int_type("char", -128, 127, True, False), constq=self.chance(0.6))
        if r < 0.75:
            return Ty("ptr", to=iface.some_int(), constq=self.chance(0.2))
        if r < 0.87:
            return Ty("ptr", to=self.pick(iface.structs + iface.messages), constq=self.chance(0.3))
        if r < 0.92:
            return Ty("ptr", to=Ty("void", cspell="void"))
        if r < 0.96 and iface.fptrs:
            return self.pick(iface.fptrs)
        return iface.float_type()

    def ret_type(self):
        iface = self.iface
        r = self.rng.random()
        if r < 0.25:
            return None
        if r < 0.55:
            return iface.some_int()
        if r < 0.62:
            return self.pick(iface.enums)
        if r < 0.7:
            return iface.float_type()
        if r < 0.76:
            return Ty("ptr", to=int_type("char", -128, 127, True, False), constq=self.chance(0.7))
        if r < 0.8:
            return Ty("ptr", to=iface.byte_type())
        if r < 0.9:
            return Ty("ptr", to=self.pick(iface.structs + iface.messages))
        if r < 0.93 and "struct-returns" not in self.avoid:
            return self.pick(iface.structs)
        return iface.some_int()

    def make_functions(self):
        iface = self.iface
        for _ in range(self.rng.randint(4, 9)):
            name = self.names.fresh("fn_" + self.pick(WORDS))
            params = [(self.names.fresh(self.pick(WORDS)), self.param_type()) for _ in range(self.rng.randint(0, 4))]
            iface.add_function(name, self.ret_type(), params, variadic=bool(params) and self.chance(0.1))

    def make_script_globals(self):
        out = []
        iface = self.iface
        if self.chance(0.2):
            out.append('#include "iface.h"')
        if self.chance(0.3):
            name = self.names.fresh("LOCAL_K")
            out.append(f"#define {name} {self.rng.randint(1, 9)}")
            iface.macros.append((name, int(out[-1].split()[-1])))
        types = [iface.some_int(), iface.float_type(), self.pick(iface.enums),
                 self.pick(iface.structs + iface.messages), Ty("array", elem=iface.some_int(), n=3),
                 Ty("array", elem=int_type("char", -128, 127, True, False), n=16),
                 Ty("array", elem=iface.byte_type(), n=8)]
        if self.chance(0.3):
            t = Ty("struct", fields=[Field("first", int_type("int", -100, 100, False, False)),
                                     Field("second", int_type("long", -100, 100, False, True)),
                                     Field("third", Ty("array", elem=int_type("short", -9, 9, False, False), n=2))])
            name = self.names.fresh("loc_t")
            out.append(f"#typedef struct {{ int first; long second; short third[2]; }} {name};")
            t.tname = name
            types.append(t)
        for _ in range(self.rng.randint(2, 7)):
            ty = self.pick(types)
            name = self.names.fresh("gv")
            var = Var(name, ty, "global")
            text = ty.decl(name)
            if self.chance(0.25):
                var.static = True
                text = "static " + text
            if ty.kind == "int" and self.chance(0.2):
                text += f" = {self.int_literal(ty)}"
            self.globals.append(var)
            out.append("#" + text + ";")
        if self.chance(0.2):
            name = self.names.fresh("helper")
            out.append(f"#int {name}(int value) {{ return value + 1; }}")
            self.helper_funcs.append(self.iface_func(name))
        if self.chance(0.2):
            out.append(f"@int {self.names.fresh('at_only')} = 1;")
        return out

    def iface_func(self, name):
        return Func(name, int_type("int", -100, 100, False, False), [("value", int_type("int", -100, 100, False,
                                                                                         False))])

    def id_type(self):
        iface = self.iface
        name = self.names.fresh(self.pick(["link", "sock", "handle", "port"]) + "_t")
        if self.chance(0.25) and iface.structs:
            target = self.pick(iface.structs)
            iface.items.append(f"typedef {target.spell()} *{name};")
            return Ty("ptr", to=target, tname=name)
        base = self.pick([int_type("int", -100, 100, False, False), int_type("long", -100, 100, False, True)])
        iface.items.append(f"typedef {base.spell()} {name};")
        return base.alias(name)

    def make_comm(self):
        out = []
        iface = self.iface
        for _ in range(self.rng.randint(1, 2)):
            ct = {"name": self.names.fresh("ct"), "idtype": self.id_type(), "mux": self.chance(0.4)}
            self.commtypes.append(ct)
            out.append(f"COMMTYPE {ct['name']} IS {ct['idtype'].tname}" + (" WITH MULTIPLEXING" if ct["mux"] else ""))
            names = [self.names.fresh("ch") for _ in range(self.rng.randint(1, 3))]
            for n in names:
                self.channels.append({"name": n, "ct": ct, "inst": None})
            out.append(f"CHANNEL {ct['name']} : {', '.join(names)}")
            ids = []
            for _ in range(self.rng.randint(1, 2)):
                var = Var(self.names.fresh("id"), ct["idtype"], "global")
                ids.append(var)
                out.append(f"#{ct['idtype'].decl(var.name)};")
            self.id_vars[ct["name"]] = ids
        for inst in self.instances:
            if self.chance(0.4):
                ct = self.pick(self.commtypes)
                ch = {"name": self.names.fresh("ch_" + inst), "ct": ct, "inst": (inst,)}
                self.channels.append(ch)
                out.append(f"INSTANCE {inst} :")
                var = Var(self.names.fresh("id_" + inst), ct["idtype"], "global", inst=(inst,))
                self.id_vars[ct["name"]].append(var)
                self.globals.append(var)
                var.reads += 1
                out.append(f"#{ct['idtype'].decl(var.name)};")
                out.append(f"CHANNEL {ct['name']} : {ch['name']}")
                if self.chance(0.5):
                    tm = self.names.fresh("tm_" + inst)
                    self.global_timers.append((tm, (inst,)))
                    out.append(f"TIMER {tm}")
                out.append("END INSTANCE")
        for st in iface.messages:
            names = [self.names.fresh("msg") for _ in range(self.rng.randint(1, 3))]
            for n in names:
                self.messages.append((Var(n, st, "msg"), st))
            out.append(f"MESSAGE {st.tname} : {', '.join(names)}")
        for index, st in enumerate(iface.messages):
            for ct in self.commtypes:
                # The id parameters take the communication type's own id type.
                recv_ct = self.comm_funcs(index, st, ct)
                if self.chance(0.7):
                    self.callbacks.add((st.tname, ct["name"]))
                    out += self.callback(st, ct, recv_ct)
                if self.chance(0.6):
                    self.procsends.add((st.tname, ct["name"]))
                    out += self.procsend(st, ct, recv_ct)
        return out

    def comm_funcs(self, index, st, ct):
        iface = self.iface
        tag = f"{index}_{ct['name']}"
        idt = ct["idtype"]
        funcs = {
            "recv": iface.add_function(f"rs_recv_{tag}", int_type("int", 0, 1, False, False),
                                       [("id", idt), ("out", Ty("ptr", to=st))]),
            "poll": iface.add_function(f"rs_poll_{tag}", int_type("int", 0, 1, False, False),
                                       [("ids", Ty("ptr", to=idt)), ("count", int_type("int", 0, 9, False, False)),
                                        ("out", Ty("ptr", to=st))]),
            "send": iface.add_function(f"rs_send_{tag}", int_type("int", 0, 1, False, False),
                                       [("id", idt), ("msg", Ty("ptr", to=st, constq=True))]),
        }
        return funcs

    def callback(self, st, ct, funcs):
        block = Block("callback", f"{st.tname}_ON_{ct['name']}")
        msg, cid = self.names.fresh("cbm"), self.names.fresh("cid")
        got = self.names.fresh("got")
        block.params.append(Var(msg, st, "param"))
        block.params[-1].reads += 1
        head = f"CALLBACK {st.tname} : {msg} ON {ct['name']} : {cid}"
        block.decls.append(f"int {got};")
        ctx = Ctx(block, 2)
        if ct["mux"]:
            count = self.names.fresh("cnt")
            head += f" [{count}]"
            self.emit(ctx, f"@{got} = {funcs['poll'].name}({cid}, {count}, &{msg});")
        else:
            self.emit(ctx, f"@{got} = {funcs['recv'].name}({cid}, &{msg});")
        self.emit(ctx, f"@if ({got} <= 0) {{")
        self.emit(ctx, "NO_MESSAGE")
        self.emit(ctx, "@}")
        self.body(ctx, self.rng.randint(0, 3))
        select = self.select_lines(st, msg)
        for line in select:
            self.emit(ctx, line)
        self.use_unread(ctx)
        self.emit(ctx, "MESSAGE_DATE")
        return [head] + self.render_block(block, 2) + ["END CALLBACK"]

    # The selection context of a message's unions, set from a field.
    def select_lines(self, st, msg):
        if not self.chance(0.6):
            return []
        for f in st.fields:
            if f.name and f.ty.kind == "union":
                members = self.named_fields(f.ty)
                return [f"@TRV_{st.tname}.{f.name}.select = {self.rng.randrange(len(members))};"]
        return []

    def procsend(self, st, ct, funcs):
        block = Block("procsend", f"{st.tname}_ON_{ct['name']}_for_procsend")
        msg, pid = self.names.fresh("psm"), self.names.fresh("pid")
        block.params.append(Var(msg, st, "param"))
        block.params[-1].reads += 1
        ctx = Ctx(block, 2)
        self.body(ctx, self.rng.randint(0, 2))
        ref = f"REF({msg})" if self.chance(0.5) else f"&{msg}"
        self.emit(ctx, f"CALL {funcs['send'].name}({pid}, {ref})" + (" @ 0" if self.chance(0.6) else ""))
        self.use_unread(ctx)
        return [f"PROCSEND {st.tname} : {msg} ON {ct['name']} : {pid}"] + self.render_block(block, 2) + \
            ["END PROCSEND"]

    def make_triggers(self):
        out = []
        iface = self.iface
        for st in iface.messages:
            names = [self.names.fresh("msg") for _ in range(self.rng.randint(1, 3))]
            for n in names:
                self.messages.append((Var(n, st, "msg"), st))
            out.append(f"TRIGGER {st.tname} {', '.join(names)}")
            iface.add_function(f"{st.tname}_Init", int_type("int", 0, 1, False, False) if self.chance(0.5) else None,
                               [("current", Ty("ptr", to=st)), ("fd", int_type("int", 0, 9, False, False))])
        return out

    def make_misc_declarations(self):
        out = []
        for _ in range(self.rng.randint(0, 2)):
            name = self.names.fresh("tm")
            self.global_timers.append((name, None))
            out.append(f"TIMER {name}")
        for var in self.globals:
            if var.inst is None and self.chance(0.25):
                var.shared = True
                out.append(f"SHARE {var.name}")
        candidates = [v for v in self.iface.globals + self.globals if v.inst is None]
        for var in self.rng.sample(candidates, min(len(candidates), self.rng.randint(0, 2))):
            fmt = self.format_for(var.ty)
            if fmt and var.name not in self.formatted:
                self.formatted.add(var.name)
                out.append(f"FORMAT= {var.name} # {fmt}")
        if self.chance(0.15):
            out.append(f"@/* {self.pick(WORDS)} */")
        return out

    def proc_param_type(self):
        iface = self.iface
        r = self.rng.random()
        if r < 0.3:
            return self.pick([int_type("int", -2147483648, 2147483647, False, False),
                              int_type("long", -2147483648, 2147483647, False, True),
                              int_type("short", -32768, 32767, False, False),
                              int_type("char", -128, 127, True, False),
                              int_type("unsigned", 0, 4294967295, False, False)])
        if r < 0.55 and any(t.tname for t in iface.ints):
            return self.pick([t for t in iface.ints if t.tname])
        if r < 0.7:
            named = [t for t in iface.enums if t.tname]
            if named:
                return self.pick(named)
        if r < 0.8:
            return self.pick([Ty("float", cspell="double", double=True), Ty("float", cspell="float")])
        if r < 0.9:
            return self.pick(iface.structs + iface.messages)
        return int_type("int", -2147483648, 2147483647, False, False)

    def make_procs(self):
        out, included = [], []
        count = self.rng.randint(1, 5)
        for i in range(count):
            cleanup = self.chance(0.35)
            params = [] if cleanup or self.chance(0.3) else \
                [(self.names.fresh("a"), self.proc_param_type()) for _ in range(self.rng.randint(1, 3))]
            name = self.names.fresh("pr")
            block = Block("proc", name)
            for pname, pty in params:
                block.params.append(Var(pname, pty, "param"))
            ctx = Ctx(block, 2)
            self.body(ctx, self.rng.randint(1, 5 if not cleanup else 3))
            self.use_unread(ctx)
            text = ", ".join(f"{t.spell()} {n}" for n, t in params)
            lines = [f"PROC {name} ({' ' + text + ' ' if params else ' '})"] + self.render_block(block, 2) + \
                ["END PROC"]
            proc = {"name": name, "params": params, "cleanup": not params}
            self.procs.append(proc)
            if not params:
                self.cleanup_procs.append(proc)
            (included if len(out) == 0 and self.chance(0.4) else out).extend(lines + [""])
        if included:
            self.files["lib.pts"] = "-- Procedures of an included script\n" + "\n".join(included)
            out.insert(0, 'INCLUDE "lib.pts"')
        return out

    # ---- scenarios ------------------------------------------------------------
    def make_scenarios(self):
        self.leaf_budget = self.rng.randint(2, 7)
        self.root_items = self.scenario_items(self.root, 0, root=True)
        # A scenario of an included script, now and then.
        scenarios = [i for i, item in enumerate(self.root_items) if item[0].startswith("SCENARIO")]
        if scenarios and self.chance(0.15):
            index = self.pick(scenarios)
            self.files["scenarios.pts"] = "-- A scenario of an included script\n" + \
                "\n".join(self.root_items[index]) + "\n"
            self.root_items[index] = ['INCLUDE "scenarios.pts"']

    def scenario_items(self, parent, depth, root=False):
        items = []
        for word in ("INITIALIZATION", "TERMINATION", "EXCEPTION"):
            statics = root and word == "INITIALIZATION" and any(v.static for v in self.globals)
            if statics or self.chance(0.3):
                items.append(self.level_block(word, parent, statics))
        count = self.rng.randint(1, 3)
        for _ in range(count):
            if self.leaf_budget <= 0 and not root and parent.children:
                break
            items.append(self.scenario(parent, depth))
        self.rng.shuffle(items)
        return items

    def level_block(self, word, parent, statics=False):
        if not statics and self.procs and self.chance(0.4):
            proc = self.pick(self.procs)
            ctx = Ctx(Block("level", "call"), 2)
            try:
                args = [self.proc_argument(ctx, ty) for _, ty in proc["params"]]
                return [f"{word} {proc['name']}({', '.join(args)})"]
            except Skip:
                pass
        block = Block("level", f"{parent.name}@{word[:4].lower()}")
        ctx = Ctx(block, 2)
        if statics:
            for var in self.globals:
                if var.static:
                    self.var_on(ctx, Access(var.name, var.ty, var), "ev")
        self.body(ctx, self.rng.randint(1, 4))
        self.use_unread(ctx)
        return [word] + self.render_block(block, 2) + [f"END {word}"]

    def scenario(self, parent, depth):
        name = self.names.fresh("sc_" + self.pick(WORDS))
        scn = Scenario(name, f"{parent.qual}.{name}" if parent.qual else name, parent)
        parent.children.append(scn)
        self.scenarios.append(scn)
        head = [f"SCENARIO {name}" + (f" LOOP {self.rng.randint(1, 3)}" if self.chance(0.2) else "")]
        if self.chance(0.4):
            fams = self.rng.sample(FAMILIES, self.rng.randint(1, 2))
            if self.chance(0.05):
                fams.append(fams[0])      # a name twice: a warning
            scn.families = fams
            head.append(f"FAMILY {', '.join(fams)}")
        if depth < 2 and self.leaf_budget > 1 and self.chance(0.35):
            items = self.scenario_items(scn, depth + 1)
            body = []
            for item in items:
                body += ["  " + line if line and not line.startswith(("%", "&")) else line for line in item]
        else:
            self.leaf_budget -= 1
            block = Block("scenario", name)
            ctx = Ctx(block, 2)
            self.body(ctx, self.rng.randint(2, 9))
            self.use_unread(ctx)
            body = self.render_block(block, 2)
        return head + body + ["END SCENARIO"]

    # ---- rendering ------------------------------------------------------------
    def render_block(self, block, indent):
        out = []
        pad = " " * indent
        for d in block.decls:
            out.append(pad + "#" + d)
        for names, decls in block.inst_decls.items():
            out.append(pad + f"INSTANCE {', '.join(names)} :")
            out += [pad + "  #" + d for d in decls]
            out.append(pad + "END INSTANCE")
        for ind, text, filt in block.lines:
            if filt:
                out.append(f"%{filt}" + " " * max(1, ind - len(filt) - 1) + text)
            elif text.startswith("&"):
                out.append(text)
            else:
                out.append(" " * ind + text)
        return out

    def script_text(self, seed_text):
        header = f'HEADER "Random script", "{seed_text}", ' + ("$USER" if self.chance(0.2) else '"randscript"')
        lines = ["-- Generated by tests/randscript/randscript.py", header, ""]
        lines += self.decl_lines
        lines.append("")
        for item in self.root_items:
            lines += item
            lines.append("")
        return "\n".join(lines) + "\n"

    # ---- options ----------------------------------------------------------------
    def choose_options(self):
        rng = self.rng
        o = Options()
        alloc = rng.choice([None, None, "", "=STACK", "=DYNAMIC"])
        if alloc is not None and "allocation" not in self.avoid:
            o.prepro.append("-ALLOCATION" + alloc)
            if self.chance(0.5) and "notshared" not in self.avoid:
                o.prepro.append("-NOTSHARED")
        if self.chance(0.15):
            o.thread = rng.choice(["", "tester_entry"])
            o.prepro.append("-THREAD" + ("=" + o.thread if o.thread else ""))
        if self.chance(0.6):
            o.prepro.append("-TRACE=" + rng.choice(["ERROR", "SCN", "TIME", "CIRCULAR"]))
            if self.chance(0.3):
                o.prepro.append(f"-BUFSIZE={rng.choice([0, 1, 4, 16])}")
        if self.instances and self.chance(0.5):
            o.prepro.append("-INSTANCE=" + rng.choice(self.instances + ["unit_z"]))
        elif self.instances and self.chance(0.6):
            o.program.append("-INSTANCE=" + rng.choice(self.instances))
        self.choose_selection(o)
        if self.chance(0.2):
            o.prepro.append("-NOFAST")
        elif self.chance(0.1):
            o.prepro.append("-FAST")
        if self.chance(0.15):
            o.prepro.append("-SET=" + "".join(sorted(set(rng.choices(FILTER_LETTERS, k=2)))))
        if self.chance(0.1):
            o.prepro.append("-NOCOMMENT")
        if self.chance(0.2):
            o.program.append("".join(sorted(set(rng.choices(FILTER_LETTERS, k=2)))))
        # Probe code instead of a test program, now and then: compiled, not run.
        if self.chance(0.1):
            o.prepro.append("-PROBE=" + rng.choice(["DEFAULT", "CUSTOM"]))
        return o

    def choose_selection(self, o):
        rng = self.rng
        leaves = [s for s in self.scenarios]
        for _ in range(10):
            trial = []
            r = rng.random()
            if r < 0.15:
                trial.append("-SCN=" + ",".join(s.qual for s in rng.sample(leaves, min(len(leaves), 2))))
            elif r < 0.3:
                trial.append("-EXSCN=" + ",".join(s.qual for s in rng.sample(leaves, 1)))
            if rng.random() < 0.25:
                word = rng.choice(["-FAMILY=", "-EXFAMILY="])
                trial.append(word + ",".join(rng.sample(FAMILIES, rng.randint(1, 2))))
            if self.any_selected(trial):
                o.prepro += trial
                return

    def any_selected(self, opts):
        def values(word):
            for o in opts:
                if o.startswith(word + "="):
                    return o.split("=", 1)[1].split(",")
            return []
        scn, exscn, fam, exfam = values("-SCN"), values("-EXSCN"), values("-FAMILY"), values("-EXFAMILY")

        def by_name(q):
            if scn:
                for s in scn:
                    n = min(len(s), len(q))
                    if s[:n] == q[:n] and (len(s) == len(q) or (s if len(s) > len(q) else q)[n] == "."):
                        return True
                return False
            return not any(q == e or q.startswith(e + ".") for e in exscn)

        def selected(s):
            if s.families:
                sel = not fam
                for name in dict.fromkeys(s.families):
                    if fam and not sel:
                        sel = name in fam
                    elif exfam and sel:
                        sel = name not in exfam
                if not sel:
                    return False
            if not by_name(s.qual):
                return False
            if s.children:
                return any(selected(c) for c in s.children)
            return True
        return any(selected(c) for c in self.root.children)
