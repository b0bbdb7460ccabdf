// Run state of the native type modules, reset together by resetNativeTypes.
#pragma once

namespace qvm::script::detail {

void resetFormats();
void resetSelectionContexts();

}  // namespace qvm::script::detail
