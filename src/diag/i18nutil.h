// Translation and text conversion at the edge between Qt and the byte strings
// used everywhere else.
#pragma once

#include <QString>
#include <string>
#include <string_view>
#include <vector>

class QCoreApplication;

namespace qvm::diag {

// Translation of a source text in its context; `comment` disambiguates
// entries that share a source text (the message catalogs name their code).
QString tr(const char* context, const char* source, const char* comment = nullptr);

// Same, converted to the local 8-bit encoding.
std::string trLocal(const char* context, const char* source, const char* comment = nullptr);

std::string toLocal8(const QString& text);
QString fromLocal8(std::string_view text);

// The catalog file prefixes, in loading order.
const std::vector<std::string>& catalogPrefixes();

// Reads FENWIRDIR, checks its catalog directory and installs one translator
// per prefix for the user's locale. A missing FENWIRDIR or catalog directory
// is reported on the standard error stream and ends the run with status -1.
void loadTranslators(QCoreApplication& app, const std::vector<std::string>& prefixes);

// Same as loadTranslators, but a missing FENWIRDIR or directory is not an
// error: the built-in texts are then used.
void loadTranslatorsIfAvailable(QCoreApplication& app, const std::vector<std::string>& prefixes);

// Removes the translators installed by either loader (tests run many passes).
void unloadTranslators();

}  // namespace qvm::diag
