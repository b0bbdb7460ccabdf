// The dependency file of a run: make rules from the files read to the files written.
#include "codegen/depgen.h"

#include "base/filesread.h"

namespace qvm::codegen {

std::string makeEscaped(std::string_view path)
{
    std::string escaped;
    std::size_t backslashes = 0;  // in a row, just before the current character
    for (const char c : path) {
        if (c == ' ' || c == '\t') {
            escaped.append(backslashes + 1, '\\');
        } else if (c == '#' || c == ':') {
            escaped += '\\';
        } else if (c == '$') {
            escaped += '$';
        }
        escaped += c;
        backslashes = c == '\\' ? backslashes + 1 : 0;
    }
    return escaped;
}

std::string makeTargetEscaped(std::string_view path)
{
    std::string escaped;
    for (const char c : makeEscaped(path)) {
        if (c == '%') {
            escaped += '\\';
        }
        escaped += c;
    }
    return escaped;
}

std::string dependencyRules(const std::vector<std::string>& targets, const std::vector<std::string>& prerequisites)
{
    std::string text;
    for (const std::string& target : targets) {
        text += text.empty() ? "" : " ";
        text += makeTargetEscaped(target);
    }
    text += ":";
    for (const std::string& prerequisite : prerequisites) {
        text += " \\\n  " + makeEscaped(prerequisite);
    }
    text += "\n";
    for (const std::string& prerequisite : prerequisites) {
        text += "\n" + makeTargetEscaped(prerequisite) + ":\n";
    }
    return text;
}

void writeDependencyFile(GeneratedFiles& files, const std::string& name,
                         const std::vector<std::string>& prerequisites)
{
    std::vector<std::string> targets = files.targets();
    for (std::string& target : targets) {
        target = base::absoluteNormalPath(target);
    }
    files.create(name).write(dependencyRules(targets, prerequisites));
}

}  // namespace qvm::codegen
