// The classes of expression types of the test language, by number: the
// analysis gives each expression one, and the writers choose by it.
#pragma once

namespace qvm::script {

enum ExpressionClass : int {
    kClassEnum = 0,
    kClassChar = 1,
    kClassInt = 2,
    kClassLong = 3,
    kClassFloat = 4,
    kClassDouble = 5,
    kClassString = 6,
    kClassCharArray = 7,
    kClassNonNil = 8,
    kClassPointer = 9,
    kClassStruct = 10,
    kClassArray = 11,
    kClassUnion = 12,
    kClassFunction = 13,
    kClassVoid = 14,
    kClassVariadic = 15,
    kClassUnspecified = 17,
    kClassNone = -1,
};

}  // namespace qvm::script
