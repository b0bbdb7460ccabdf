// Internals shared by the #if evaluator and its grammar (y1_tab.y).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qvm::canalysis::evalif {

// A 64-bit two's-complement value and its unsigned flag. Trivially
// constructible, so the parser's value stack costs nothing to set up.
struct Value {
    std::int64_t value;
    bool isUnsigned;
};

// State of one evaluation: the text, the reading position and the outcome.
struct Context {
    std::string_view text;
    std::size_t position = 0;
    Value result{};
    bool failed = false;     // a lexical or syntax error was reported
    bool accepted = false;   // a complete expression was read
    bool textLeft = false;   // a token followed the complete expression

    // Reports "EXPERRONE" for the text read so far (once per evaluation).
    void reportError();
};

enum class BinaryOp {
    Multiply, Divide, Remainder, Add, Subtract, ShiftLeft, ShiftRight,
    Equal, NotEqual, Less, Greater, LessEqual, GreaterEqual,
    BitAnd, BitXor, BitOr, LogicalAnd, LogicalOr
};

enum class UnaryOp { Negate, Not, Plus, Complement };

Value binary(BinaryOp op, Value left, Value right);
Value unary(UnaryOp op, Value operand);
Value conditional(Value condition, Value whenTrue, Value whenFalse);

}  // namespace qvm::canalysis::evalif
