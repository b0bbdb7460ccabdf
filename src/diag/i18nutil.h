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

// The share directory (catalogs, host profile): FENWIRDIR when it is set;
// otherwise the installed one beside the program (<prefix>/share/qvmprepro
// for <prefix>/bin/<program>), or the build tree's share beside a program
// that was not installed. Empty when there is none.
std::string shareDirectory();

// The host profile of the share directory, read when no -STD_DEFINE is
// given; empty when the share directory has none.
std::string defaultHostProfile();

// Finds the share directory, checks its catalog directory and installs one
// translator per prefix for the user's locale. No share directory, or one
// without its catalog directory, is reported on the standard error stream
// and ends the run with status -1.
void loadTranslators(QCoreApplication& app, const std::vector<std::string>& prefixes);

// Same as loadTranslators, but a missing share or catalog directory is not
// an error: the built-in texts are then used.
void loadTranslatorsIfAvailable(QCoreApplication& app, const std::vector<std::string>& prefixes);

// Removes the translators installed by either loader (tests run many passes).
void unloadTranslators();

}  // namespace qvm::diag
