// The built-in message catalogs: code -> translated text.
#pragma once

#include <QString>
#include <span>
#include <string_view>

namespace qvm::diag {

struct CatalogEntry {
    const char* code;     // nine-letter (or longer) message code
    const char* context;  // translation context
    const char* text;     // English source text
};

// The four built-in tables, in registration order.
std::span<const CatalogEntry> qvmCatalog();
std::span<const CatalogEntry> bibliCatalog();
std::span<const CatalogEntry> modbasCatalog();
std::span<const CatalogEntry> anaccppCatalog();

// Registers the four tables in the order qvm, bibli, modbas, anaccpp; a later
// table's text replaces an earlier one's. Each table registers only once per
// run however often this is called.
void registerBuiltinCatalogs();

// Registers one entry (its text translated in its context with the comment
// naming the code).
void registerEntry(const CatalogEntry& entry);

// The registered text of a code, or nullptr when the code is unknown.
const QString* catalogText(std::string_view code);

// Forgets every registration (for tests that run many passes).
void clearCatalog();

}  // namespace qvm::diag
