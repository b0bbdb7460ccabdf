# C side of a random case: the types, variables and functions of a random
# interface header, the header's text and the C file of the simulated system
# under test that defines everything the header declares.
import copy

WORDS = ["speed", "level", "state", "count", "mode", "flags", "code", "value", "limit", "index", "status",
         "delay", "period", "ident", "length", "offset", "weight", "temp", "volt", "amps", "phase", "gain",
         "port", "slot", "seq", "crc", "kind", "mask", "load", "rate", "door", "axis", "zone", "step", "unit",
         "hour", "mins", "angle", "torque", "pulse", "retry", "quota", "owner", "color", "grade"]

# (spelling, lowest, highest, character type, written with long)
INT_KINDS = [
    ("int", -2147483648, 2147483647, False, False, 10),
    ("unsigned int", 0, 4294967295, False, False, 5),
    ("unsigned", 0, 4294967295, False, False, 3),
    ("short", -32768, 32767, False, False, 5),
    ("unsigned short", 0, 65535, False, False, 5),
    ("char", -128, 127, True, False, 4),
    ("signed char", -128, 127, True, False, 2),
    ("unsigned char", 0, 255, True, False, 4),
    ("long", -9223372036854775808, 9223372036854775807, False, True, 5),
    ("unsigned long", 0, 18446744073709551615, False, True, 3),
    ("long long", -9223372036854775808, 9223372036854775807, False, True, 1),
    ("unsigned long long", 0, 18446744073709551615, False, True, 1),
]

STDINT_KINDS = [
    ("uint8_t", 0, 255, True, False),
    ("int8_t", -128, 127, True, False),
    ("uint16_t", 0, 65535, False, False),
    ("int16_t", -32768, 32767, False, False),
    ("uint32_t", 0, 4294967295, False, False),
    ("int32_t", -2147483648, 2147483647, False, False),
]


class Ty:
    """A C type: kind 'int', 'float', 'enum', 'ptr', 'fptr', 'array', 'struct', 'union' or 'void'."""

    def __init__(self, kind, **kw):
        self.kind = kind
        self.tname = None      # typedef name that spells it
        self.tag = None        # struct, union or enum tag
        self.cspell = None     # spelling of a basic type
        self.char = False
        self.long = False
        self.plain_char = False
        self.lo = 0
        self.hi = 0
        self.double = False
        self.consts = []       # enumeration constants (name, value)
        self.to = None         # pointed type
        self.constq = False    # pointer to const
        self.elem = None
        self.n = 0
        self.fields = []       # Field list
        self.ret = "int"       # function pointer: return and parameter texts
        self.params = "int"
        self.base = None
        self.__dict__.update(kw)

    def alias(self, name):
        twin = copy.copy(self)
        twin.tname = name
        twin.base = self
        return twin

    # The C type as written before a plain declarator, or None when only a
    # declarator can carry it (arrays, function pointers without typedef).
    def spell(self):
        if self.tname:
            return self.tname
        if self.kind in ("int", "float", "void"):
            return self.cspell
        if self.kind == "enum" and self.tag:
            return "enum " + self.tag
        if self.kind in ("struct", "union") and self.tag:
            return self.kind + " " + self.tag
        if self.kind == "ptr":
            inner = self.to.spell()
            if inner is None:
                return None
            return ("const " if self.constq else "") + inner + " *"
        return None

    def decl(self, name, indent="    "):
        if self.tname:
            return f"{self.tname} {name}"
        if self.kind == "array":
            return self.elem.decl(f"{name}[{self.n}]", indent)
        if self.kind == "ptr":
            return ("const " if self.constq else "") + f"{self.to.spell()} *{name}"
        if self.kind == "fptr":
            return f"{self.ret} (*{name})({self.params})"
        if self.kind in ("struct", "union") and not self.tag:
            return self.body(indent) + " " + name
        if self.kind == "enum" and not self.tag:
            return "enum { " + ", ".join(f"{c} = {v}" for c, v in self.consts) + " } " + name
        return f"{self.spell()} {name}"

    def body(self, indent="    "):
        lines = [self.kind + (" " + self.tag if self.tag else "") + " {"]
        for field in self.fields:
            text = field.ty.decl(field.name, indent + "    ") if field.name else field.ty.body(indent + "    ")
            lines.append(indent + text + (f" : {field.bits}" if field.bits else "") + ";")
        lines.append(indent[:-4] + "}")
        return "\n".join(lines)

    # Class of the script's type rules: 0 enum, 1 char, 2 int, 3 long, 4
    # float, 5 double, 6 char pointer, 7 char array, 9 pointer, 10 struct,
    # 11 array, 12 union.
    def cls(self):
        if self.kind == "int":
            return 1 if self.char else (3 if self.long else 2)
        if self.kind == "float":
            return 5 if self.double else 4
        if self.kind == "enum":
            return 0
        if self.kind == "ptr":
            return 6 if self.points_to_char() else 9
        if self.kind == "fptr":
            return 9
        if self.kind == "array":
            return 7 if self.elem.kind == "int" and self.elem.char else 11
        return {"struct": 10, "union": 12}.get(self.kind, 14)

    def is_char_pointer(self):
        return self.kind == "ptr" and self.to.kind == "int" and self.to.plain_char

    # Class 6: a pointer to any kind of character.
    def points_to_char(self):
        return self.kind == "ptr" and self.to.kind == "int" and self.to.char

    def is_string_array(self):
        return self.kind == "array" and self.elem.kind == "int" and self.elem.plain_char

    def scalar(self):
        return self.kind in ("int", "float", "enum")

    def unsigned(self):
        return self.kind == "int" and self.lo == 0

    # The innermost non-typedef spelling: types with the same one are the
    # same C type (for pointers passed by REF).
    def identity(self):
        t = self
        while t.base is not None:
            t = t.base
        if t.kind in ("int", "float"):
            return t.cspell.replace("unsigned int", "unsigned")
        if t.kind in ("enum", "struct", "union"):
            return f"{t.kind}#{id(t)}"
        if t.kind == "ptr":
            return ("const " if t.constq else "") + t.to.identity() + "*"
        return f"{t.kind}#{id(t)}"


class Field:
    def __init__(self, name, ty, bits=0):
        self.name = name
        self.ty = ty
        self.bits = bits


class Var:
    """A variable the script may use: its name, type and where it lives."""

    def __init__(self, name, ty, origin, lvalue=True, const=False, inst=None, derefsafe=False):
        self.name = name
        self.ty = ty
        self.origin = origin      # 'extern', 'global', 'local', 'param', 'msg', 'block'
        self.lvalue = lvalue
        self.const = const
        self.inst = inst          # instance names of the block that declares it
        self.derefsafe = derefsafe
        self.reads = 0
        self.static = False
        self.shared = False


class Func:
    def __init__(self, name, ret, params, variadic=False):
        self.name = name
        self.ret = ret            # Ty or None for void
        self.params = params      # list of (name, Ty)
        self.variadic = variadic


def int_type(spell, lo, hi, char, long_):
    return Ty("int", cspell=spell, lo=lo, hi=hi, char=char, long=long_, plain_char=(spell == "char"))


class Interface:
    """A random interface header with its simulated system under test."""

    def __init__(self, rng, names, guard):
        self.rng = rng
        self.names = names
        self.guard = guard
        self.items = []           # C text of the header, in order
        self.sut = []             # C text of the system under test
        self.macros = []          # (name, value)
        self.ints = []            # integer types usable by name
        self.enums = []
        self.structs = []         # typedef'd structures (message candidates)
        self.unions = []
        self.fptrs = []           # typedef'd function pointer types
        self.globals = []
        self.functions = []
        self.stdint = rng.random() < 0.3
        self.stddef = rng.random() < 0.3
        self.field_words = list(WORDS)

    # ---- types ----------------------------------------------------------
    def basic_int(self):
        rng = self.rng
        if self.stdint and rng.random() < 0.25:
            spell, lo, hi, char, long_ = rng.choice(STDINT_KINDS)
            t = int_type(spell, lo, hi, char, long_)
            t.tname = spell
            t.base = int_type("x", lo, hi, char, long_)
            t.base.cspell = {"uint8_t": "unsigned char", "int8_t": "signed char", "uint16_t": "unsigned short",
                             "int16_t": "short", "uint32_t": "unsigned int", "int32_t": "int"}[spell]
            return t
        kinds = INT_KINDS
        spell, lo, hi, char, long_, _ = rng.choices(kinds, weights=[k[5] for k in kinds])[0]
        return int_type(spell, lo, hi, char, long_)

    def new_int_typedef(self):
        base = self.rng.choice(self.ints) if self.ints and self.rng.random() < 0.4 else self.basic_int()
        name = self.names.fresh(self.rng.choice(WORDS) + "_t")
        self.items.append(f"typedef {base.spell()} {name};")
        t = base.alias(name)
        self.ints.append(t)
        return t

    def some_int(self):
        if self.ints and self.rng.random() < 0.5:
            return self.rng.choice(self.ints)
        return self.basic_int()

    def new_enum(self):
        rng = self.rng
        prefix = self.names.fresh(rng.choice(WORDS)).upper()
        value = rng.choice([0, 0, 1, 10])
        consts = []
        for i in range(rng.randint(2, 6)):
            consts.append((f"{prefix}_{chr(65 + i)}", value))
            value += rng.choice([1, 1, 1, 2, 16])
        style = rng.random()
        name = self.names.fresh(rng.choice(WORDS) + "_e")
        body = ", ".join(f"{c} = {v}" for c, v in consts)
        t = Ty("enum", consts=consts)
        if style < 0.5:
            self.items.append(f"typedef enum {{ {body} }} {name};")
            t.tname = name
        elif style < 0.8:
            t.tag = name
            self.items.append(f"enum {name} {{ {body} }};")
        else:
            t.tag = name + "_tag"
            self.items.append(f"typedef enum {t.tag} {{ {body} }} {name};")
            t.tname = name
        self.enums.append(t)
        return t

    def new_fptr_typedef(self):
        name = self.names.fresh(self.rng.choice(WORDS) + "_fn")
        ret = self.rng.choice(["int", "void", "long"])
        params = self.rng.choice(["int", "void", "int, long", "const char *", "void *, int"])
        self.items.append(f"typedef {ret} (*{name})({params});")
        t = Ty("fptr", ret=ret, params=params, tname=name)
        self.fptrs.append(t)
        return t

    def field_names(self, count):
        return self.rng.sample(self.field_words, count)

    def new_aggregate(self, kind, depth, named, message=False, extra=None):
        rng = self.rng
        count = rng.randint(2, 4) if kind == "union" else rng.randint(2, 6 if message else 5)
        fields = []
        names = self.field_names(count + 1)
        for fname in names[:count]:
            ty, bits = self.field_type(depth + 1, kind)
            fields.append(Field(fname, ty, bits))
        if extra is not None:
            fields.insert(rng.randint(0, len(fields)), Field(names[count], extra))
        # An unnamed member (C11) now and then, in structures only.
        if kind == "struct" and depth < 2 and rng.random() < 0.03:
            inner = Ty("union", fields=[Field(self.names.fresh("alt"), self.basic_int()),
                                        Field(self.names.fresh("raw"), Ty("float", cspell="float"))])
            fields.append(Field(None, inner))
        t = Ty(kind, fields=fields)
        if not named:
            return t
        name = self.names.fresh(rng.choice(WORDS) + ("_msg_t" if message else ("_u" if kind == "union" else "_t")))
        style = rng.random()
        if style < 0.5:
            self.items.append(f"typedef {t.body()} {name};")
            t.tname = name
        elif style < 0.8:
            t.tag = name + "_s"
            self.items.append(t.body() + ";")
            self.items.append(f"typedef {kind} {t.tag} {name};")
            t.tname = name
        else:
            t.tag = name + "_s"
            self.items.append(f"typedef {t.body()} {name};")
            t.tname = name
        (self.unions if kind == "union" else self.structs).append(t)
        return t

    def field_type(self, depth, owner):
        rng = self.rng
        choices = ["int", "int", "int", "int", "float", "enum", "chars", "array", "ptr", "charptr", "fptr",
                   "bits", "bits", "bytes", "byteptr"]
        if depth < 3:
            choices += ["struct", "union", "inline", "structarray", "array2"]
        pick = rng.choice(choices)
        if pick == "int":
            return self.some_int(), 0
        if pick == "bits" and owner == "struct":
            spell = rng.choice(["unsigned int", "unsigned int", "int", "unsigned"])
            bits = rng.randint(1, 7)
            lo, hi = (0, (1 << bits) - 1) if spell != "int" else (-(1 << (bits - 1)), (1 << (bits - 1)) - 1)
            return int_type(spell, lo, hi, False, False), bits
        if pick == "float":
            return self.float_type(), 0
        if pick == "enum":
            return (rng.choice(self.enums) if self.enums and rng.random() < 0.6 else self.new_enum()), 0
        if pick == "chars":
            return Ty("array", elem=int_type("char", -128, 127, True, False), n=rng.randint(4, 24)), 0
        if pick == "bytes":
            return Ty("array", elem=self.byte_type(), n=rng.randint(2, 16)), 0
        if pick == "byteptr":
            return Ty("ptr", to=self.byte_type()), 0
        if pick == "array":
            return Ty("array", elem=self.some_int() if rng.random() < 0.8 else self.float_type(),
                      n=rng.randint(2, 8)), 0
        if pick == "array2":
            inner = Ty("array", elem=self.some_int(), n=rng.randint(2, 3))
            return Ty("array", elem=inner, n=rng.randint(2, 3)), 0
        if pick == "ptr":
            target = rng.choice([self.some_int(), self.float_type()] + self.structs[-2:])
            return Ty("ptr", to=target), 0
        if pick == "charptr":
            return Ty("ptr", to=int_type("char", -128, 127, True, False), constq=rng.random() < 0.5), 0
        if pick == "fptr":
            if self.fptrs and rng.random() < 0.5:
                return rng.choice(self.fptrs), 0
            return Ty("fptr", ret="int", params=rng.choice(["int", "void", "long, int"])), 0
        if pick == "struct":
            if self.structs and rng.random() < 0.5:
                return rng.choice(self.structs), 0
            return self.new_aggregate("struct", depth, True), 0
        if pick == "union":
            if self.unions and rng.random() < 0.5:
                return rng.choice(self.unions), 0
            return self.new_aggregate("union", depth, True), 0
        if pick == "inline":
            return self.new_aggregate(rng.choice(["struct", "union"]), depth, False), 0
        if pick == "structarray":
            inner = rng.choice(self.structs) if self.structs and rng.random() < 0.6 else \
                self.new_aggregate("struct", depth, True)
            return Ty("array", elem=inner, n=rng.randint(2, 4)), 0
        return self.some_int(), 0

    # Bytes: unsigned char, or uint8_t when the header has <stdint.h>.
    def byte_type(self):
        if self.stdint and self.rng.random() < 0.5:
            t = int_type("uint8_t", 0, 255, True, False)
            t.tname = "uint8_t"
            t.base = int_type("unsigned char", 0, 255, True, False)
            return t
        return int_type("unsigned char", 0, 255, True, False)

    def float_type(self):
        spell = self.rng.choice(["float", "double", "double"])
        return Ty("float", cspell=spell, double=(spell == "double"))

    # ---- the whole header ------------------------------------------------
    def build(self, message_count):
        rng = self.rng
        for _ in range(rng.randint(2, 5)):
            name = self.names.fresh("K_" + rng.choice(WORDS).upper())
            value = rng.choice([1, 2, 3, 4, 5, 8, 10, 16, 100, 250])
            self.macros.append((name, value))
            self.items.append(f"#define {name} {value}" if rng.random() < 0.8 else f"#define {name} ({value})")
        for _ in range(rng.randint(1, 4)):
            self.new_int_typedef()
        for _ in range(rng.randint(1, 3)):
            self.new_enum()
        if rng.random() < 0.6:
            self.new_fptr_typedef()
        for _ in range(rng.randint(1, 3)):
            self.new_aggregate(rng.choice(["struct", "struct", "union"]), 1, True)
        # Message structures, most with a union inside, so that their
        # selection contexts come into play.
        self.messages = []
        for _ in range(message_count):
            union = self.new_aggregate("union", 2, rng.random() < 0.5) if rng.random() < 0.6 else None
            self.messages.append(self.new_aggregate("struct", 0, True, message=True, extra=union))

    def add_global(self, ty, const=False, derefsafe=False):
        name = self.names.fresh("g_" + self.rng.choice(WORDS))
        var = Var(name, ty, "extern", lvalue=not const, const=const, derefsafe=derefsafe)
        self.globals.append(var)
        return var

    def add_function(self, name, ret, params, variadic=False):
        func = Func(name, ret, params, variadic)
        self.functions.append(func)
        return func

    def header_text(self):
        out = [f"/* Random interface of a generated test case. */", f"#ifndef {self.guard}", f"#define {self.guard}",
               ""]
        if self.stdint:
            out.append("#include <stdint.h>")
        if self.stddef:
            out.append("#include <stddef.h>")
        out.append("")
        out.extend(self.items)
        out.append("")
        for var in self.globals:
            out.append(f"extern {'const ' if var.const else ''}{var.ty.decl(var.name)};")
        out.append("")
        for func in self.functions:
            out.append(self.prototype(func) + ";")
        out.extend(["", f"#endif /* {self.guard} */", ""])
        return "\n".join(out)

    def prototype(self, func, named=True):
        params = []
        for pname, pty in func.params:
            params.append(pty.decl(pname if named else ""))
        if func.variadic:
            params.append("...")
        text = ", ".join(p.rstrip() for p in params) if params else "void"
        ret = func.ret.spell() if func.ret is not None else "void"
        sep = "" if ret.endswith("*") else " "
        return f"{ret}{sep}{func.name}({text})"

    def sut_text(self):
        out = ["/* Simulated system under test of a generated test case: every variable and", " * function of its "
               "interface, with simple bodies. */", "#include <string.h>", f'#include "iface.h"', ""]
        # One definition a paragraph, so that a reduced case can drop those
        # its header no longer declares.
        for var in self.globals:
            out += [self.definition(var), ""]
        for func in self.functions:
            out += self.function_body(func) + [""]
        return "\n".join(out)

    def definition(self, var):
        ty = var.ty
        const = "const " if var.const else ""
        if var.derefsafe:
            target = ty.to
            store = self.names.fresh("store")
            return f"static {target.decl(store)};\n{const}{ty.decl(var.name)} = &{store};"
        if ty.is_char_pointer():
            return f'{const}{ty.decl(var.name)} = "{self.rng.choice(WORDS)}";'
        if var.const:
            if ty.scalar():
                return f"{const}{ty.decl(var.name)} = {self.const_value(ty)};"
            return f"{const}{ty.decl(var.name)} = {{0}};"
        return f"{ty.decl(var.name)};"

    def const_value(self, ty):
        if ty.kind == "enum":
            return ty.consts[0][0]
        if ty.kind == "float":
            return "1.5"
        return str(max(ty.lo, min(ty.hi, 3)))

    def function_body(self, func):
        lines = [self.prototype(func), "{"]
        if func.name.startswith(("rs_recv_", "rs_poll_")):
            # Every other poll brings a message of zeros: the callbacks, and
            # the compare and dump functions after them, run too.
            return lines + ["    static int polls;", *[f"    (void){p};" for p, _ in func.params[:-1]],
                            "    if (++polls % 2 == 0) {", "        return 0;", "    }",
                            "    memset(out, 0, sizeof *out);", "    return 1;", "}"]
        for pname, _ in func.params:
            lines.append(f"    (void){pname};")
        ret = func.ret
        if ret is None:
            pass
        elif ret.kind in ("struct", "union"):
            lines.append(f"    {ret.decl('result')};")
            lines.append("    memset(&result, 0, sizeof result);")
            lines.append("    return result;")
        elif ret.kind == "ptr":
            if ret.is_char_pointer():
                lines.append(f'    return ({ret.spell()})"ok";')
            else:
                lines.append(f"    static {ret.to.decl('object')};")
                lines.append("    return &object;")
        elif ret.kind == "enum":
            lines.append(f"    return {ret.consts[0][0]};")
        elif ret.kind == "float":
            lines.append("    return 0.0;")
        else:
            lines.append("    return 0;")
        lines.append("}")
        return lines
