#include "diag/i18nutil.h"

#include "diag/i18nerrgest.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>
#include <QTranslator>

#include <cstdlib>
#include <memory>

namespace qvm::diag {

namespace {

std::vector<std::unique_ptr<QTranslator>>& installedTranslators()
{
    static std::vector<std::unique_ptr<QTranslator>> translators;
    return translators;
}

// The catalog directory under FENWIRDIR, or an empty text when FENWIRDIR is
// unset or empty.
QString catalogDirectory(const char* fenwirDir)
{
    if (fenwirDir == nullptr || *fenwirDir == '\0') {
        return {};
    }
    return fromLocal8(fenwirDir) + QStringLiteral("/lib/locale");
}

void installFrom(QCoreApplication& app, const QString& directory, const std::vector<std::string>& prefixes)
{
    const QString locale = QLocale::system().name();
    for (const std::string& prefix : prefixes) {
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(QString::fromStdString(prefix) + locale, directory)) {
            app.installTranslator(translator.get());
            installedTranslators().push_back(std::move(translator));
        }
    }
}

}  // namespace

QString tr(const char* context, const char* source, const char* comment)
{
    return QCoreApplication::translate(context, source, comment);
}

std::string trLocal(const char* context, const char* source, const char* comment)
{
    return toLocal8(tr(context, source, comment));
}

std::string toLocal8(const QString& text)
{
    return text.toLocal8Bit().toStdString();
}

QString fromLocal8(std::string_view text)
{
    return QString::fromLocal8Bit(text.data(), static_cast<int>(text.size()));
}

const std::vector<std::string>& catalogPrefixes()
{
    static const std::vector<std::string> prefixes{"qvm_",     "zolvident_", "bibli_",     "modbas_",
                                                   "anaccpp_", "cab_",       "qvmprepro_"};
    return prefixes;
}

void loadTranslators(QCoreApplication& app, const std::vector<std::string>& prefixes)
{
    const QString directory = catalogDirectory(std::getenv("FENWIRDIR"));
    if (directory.isEmpty()) {
        writeConsole("Fatal Error: please setup FENWIRDIR environment variable.\n");
        throw RunAbort{StatusNoCatalog};
    }
    if (!QDir(directory).exists()) {
        writeConsole(toLocal8(QStringLiteral("Fatal Error: directory doesn't exist '%1'\n").arg(directory)));
        throw RunAbort{StatusNoCatalog};
    }
    installFrom(app, directory, prefixes);
}

void loadTranslatorsIfAvailable(QCoreApplication& app, const std::vector<std::string>& prefixes)
{
    const QString directory = catalogDirectory(std::getenv("FENWIRDIR"));
    if (!directory.isEmpty() && QDir(directory).exists()) {
        installFrom(app, directory, prefixes);
    }
}

void unloadTranslators()
{
    for (auto& translator : installedTranslators()) {
        QCoreApplication::removeTranslator(translator.get());
    }
    installedTranslators().clear();
}

}  // namespace qvm::diag
