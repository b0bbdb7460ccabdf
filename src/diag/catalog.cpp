// The built-in message catalogs and their look-up by code.
#include "diag/catalog.h"

#include "diag/i18nutil.h"

#include <QMap>
#include <QString>

#include <array>
#include <string>

namespace qvm::diag {

namespace {

struct Catalog {
    QMap<QString, QString> texts;      // code -> translated text
    std::array<bool, 4> registered{};  // per built-in table, in registration order
};

Catalog& catalog()
{
    static Catalog instance;
    return instance;
}

void registerTable(std::size_t index, std::span<const CatalogEntry> table)
{
    if (catalog().registered[index]) {
        return;
    }
    catalog().registered[index] = true;
    for (const CatalogEntry& entry : table) {
        registerEntry(entry);
    }
}

}  // namespace

void registerEntry(const CatalogEntry& entry)
{
    const std::string comment = std::string("Error code is \"") + entry.code + "\"";
    catalog().texts.insert(QString::fromLatin1(entry.code), tr(entry.context, entry.text, comment.c_str()));
}

void registerBuiltinCatalogs()
{
    registerTable(0, qvmCatalog());
    registerTable(1, bibliCatalog());
    registerTable(2, modbasCatalog());
    registerTable(3, anaccppCatalog());
}

const QString* catalogText(std::string_view code)
{
    const auto& texts = catalog().texts;
    const auto found = texts.constFind(QString::fromLatin1(code.data(), static_cast<int>(code.size())));
    return found == texts.constEnd() ? nullptr : &found.value();
}

void clearCatalog()
{
    catalog() = Catalog{};
}

}  // namespace qvm::diag
