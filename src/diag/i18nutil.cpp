// Translation and text conversion between Qt and byte strings.
#include "diag/i18nutil.h"

#include "diag/i18nerrgest.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
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

constexpr const char* kCatalogSubdirectory = "/lib/locale";
constexpr const char* kHostProfile = "/lib/host.def";

bool hasCatalogDirectory(const QString& share)
{
    return QDir(share + QLatin1String(kCatalogSubdirectory)).exists();
}

// The share directory a program that was not given FENWIRDIR uses: the
// installed tree first, then the build tree's.
QString shareBesideProgram()
{
    const QString programDirectory = QCoreApplication::applicationDirPath();
    for (const QString& candidate : {programDirectory + QStringLiteral("/../share/qvmprepro"),
                                     programDirectory + QStringLiteral("/share")}) {
        if (hasCatalogDirectory(candidate)) {
            return QDir::cleanPath(candidate);
        }
    }
    return {};
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

std::string shareDirectory()
{
    const char* fenwirDir = std::getenv("FENWIRDIR");
    if (fenwirDir != nullptr && *fenwirDir != '\0') {
        return fenwirDir;
    }
    return toLocal8(shareBesideProgram());
}

std::string defaultHostProfile()
{
    const std::string share = shareDirectory();
    if (share.empty()) {
        return {};
    }
    const std::string profile = share + kHostProfile;
    return QFileInfo::exists(fromLocal8(profile)) ? profile : std::string();
}

void loadTranslators(QCoreApplication& app, const std::vector<std::string>& prefixes)
{
    const std::string share = shareDirectory();
    if (share.empty()) {
        writeConsole("Fatal Error: please setup FENWIRDIR environment variable.\n");
        throw RunAbort{StatusNoCatalog};
    }
    const QString directory = fromLocal8(share) + QLatin1String(kCatalogSubdirectory);
    if (!QDir(directory).exists()) {
        writeConsole(toLocal8(QStringLiteral("Fatal Error: directory doesn't exist '%1'\n").arg(directory)));
        throw RunAbort{StatusNoCatalog};
    }
    installFrom(app, directory, prefixes);
}

void loadTranslatorsIfAvailable(QCoreApplication& app, const std::vector<std::string>& prefixes)
{
    const std::string share = shareDirectory();
    const QString directory = fromLocal8(share) + QLatin1String(kCatalogSubdirectory);
    if (!share.empty() && QDir(directory).exists()) {
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
