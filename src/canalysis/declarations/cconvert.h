// How a C value passes to a parameter of another type: the judgement a C
// compiler makes of a function argument (as of an assignment).
#pragma once

#include "canalysis/declarations/cexpr.h"
#include "canalysis/declarations/ctabsy.h"

namespace qvm::canalysis {

enum class Conversion {
    Silent,               // converts without a word
    IntegerPointer,       // an integer for a pointer or a pointer for an integer
    IncompatiblePointer,  // pointers to types that differ (signedness included)
    QualifierDropped,     // the pointed-to type loses a const or volatile
    ValueChanged,         // a constant that the parameter's type cannot hold as it is
    Impossible,           // no conversion exists: the call cannot compile
};

// The conversion of an argument of type `argument` (none stands for int) to
// a parameter of type `parameter` (none stands for int). Arrays and
// functions on either side stand for pointers to their element or to
// themselves; a null pointer constant suits every pointer. An argument
// that is a numeric constant (`constant`, none otherwise) changes its value
// when an integer parameter's type cannot hold it, or when it is a floating
// constant with a fraction.
Conversion C_CPP_argument_conversion(const CType* parameter, const CType* argument, bool nullPointerConstant,
                                     const CConstant* constant = nullptr);

// Whether a numeric constant keeps its value in a type: any constant in a
// type that is no integer type (none stands for int); in an integer type, as
// compilers judge an implicit conversion, or, with asBits, as the same bits
// of the type's size whichever its sign (what a comparison that casts both
// sides to the type compares). A floating constant keeps its value only
// without a fraction.
bool C_CPP_constant_kept(const CType* type, const CConstant& constant, bool asBits);

}  // namespace qvm::canalysis
