// Message catalog of the base modules: file services and the end-of-run summary.
#include "diag/catalog.h"

namespace qvm::diag {
namespace {
constexpr CatalogEntry kEntries[] = {
    // context "Error-modbas"
    {"NOMESSDEF", "Error-modbas", "Undefined message for code number %1"},
    {"ENDERRWAR", "Error-modbas", "End of execution with %1 error(s) and %2 warning(s)"},
    {"ENDNOEWAR", "Error-modbas", "End of execution with %1%2 warning(s)"},
    {"ENDNOENWR", "Error-modbas", "End of execution with 0 error and 0 warning%1%2"},
    {"FICERROPN", "Error-modbas", "File %1 opening problem"},
    {"ENDERRNWR", "Error-modbas", "End of execution with %1 error(s)"},
    {"EROPFICMD", "Error-modbas", "Incorrect option in option file: %1"},
};
}  // namespace

std::span<const CatalogEntry> modbasCatalog() { return kEntries; }

}  // namespace qvm::diag
