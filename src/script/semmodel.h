// The semantic model of an analysed script: scopes holding ordered entries,
// each entry optionally carrying a descriptor.
#pragma once

namespace qvm::script::sem {

struct Model {};

}  // namespace qvm::script::sem
