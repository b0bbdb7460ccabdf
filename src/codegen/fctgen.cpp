// The function templates.
#include "codegen/fctgen.h"

#include "base/cstsyst.h"
#include "base/extgest.h"
#include "codegen/geccode.h"
#include "diag/i18nerrgest.h"

namespace qvm::codegen {

namespace {

using script::sem::Entry;
using script::sem::Scope;

// Where the templates go: the program's directory (with its separator) and
// the program's extension.
struct TemplatePlace {
    std::string directory;
    std::string extension;

    std::string path(std::string_view name) const { return directory + std::string(name) + "." + extension; }
};

TemplatePlace placeOf(const std::string& programPath)
{
    const std::string name = base::fileNamePart(programPath);
    return {programPath.substr(0, programPath.size() - name.size()), base::splitExtension(programPath).extension};
}

// The message structures, in the order of the global scope.
std::vector<std::string> eventStructures(const Scope& global)
{
    std::vector<std::string> names;
    for (const Entry& entry : global.entries) {
        if (entry.code == script::sem::ENT_EVENT_STRUCT) {
            names.emplace_back(entry.name);
        }
    }
    return names;
}

// Whether fctri_c is to be written: only when it does not exist yet. One
// older than an interface file is kept, with a warning.
bool initTemplateWanted(const std::string& templatePath, const std::vector<std::string>& interfaceFiles)
{
    for (const std::string& interfaceFile : interfaceFiles) {
        switch (base::compareFileTimes(interfaceFile, templatePath)) {
        case base::FileMissing: diag::warning("NEWFFCTRI"); return true;
        case base::FileNewer: diag::warning("OLDFFCTRI"); return false;
        case base::FileNotNewer: break;
        }
    }
    return false;
}

void writeIncludeLines(LineWriter& out)
{
    out.line("#include \"ccst.h\"");
    out.line("#include \"tarvo_c.h\"");
    out.emptyLine();
}

void writeInitTemplate(GeneratedFiles& files, const std::string& path, const std::vector<std::string>& structures)
{
    LineWriter out(files, path);
    writeIncludeLines(out);
    for (const std::string& structure : structures) {
        out.line("void " + structure + "_Init DP ((current,id)) BP");
        out.line("   " + structure + " *current SP /* structure to initialize */");
        out.line("   T_ENTIER id EP /* id of connection */");
        out.openBlock();
        out.line("/* call to the read event function */");
        out.closeBlock();
    }
}

void writeCallTemplate(GeneratedFiles& files, const std::string& path)
{
    LineWriter out(files, path);
    writeIncludeLines(out);
}

void writeHeader(GeneratedFiles& files, const std::string& path, const std::vector<std::string>& interfaceFiles,
                 const std::vector<std::string>& structures)
{
    LineWriter out(files, path);
    for (const std::string& interfaceFile : interfaceFiles) {
        out.line("#include \"" + interfaceFile + "\"");
    }
    for (const char* fixed : {"typedef int T_ENTIER;", "#define CONST", "#define PP(ARGS) ()", "#define DP(ARGS) ARGS",
                              "#define SP ;", "#define EP ;", "#define BP", "#define VOID"}) {
        out.line(fixed);
    }
    for (const std::string& structure : structures) {
        out.line("void " + structure + "_Init PP ((" + structure + " *current,T_ENTIER id));");
        out.emptyLine();
    }
}

}  // namespace

void writeFunctionTemplates(GeneratedFiles& files, const std::string& programPath,
                            const std::vector<std::string>& interfaceFiles, const script::sem::Scope& global)
{
    const TemplatePlace place = placeOf(programPath);
    const std::vector<std::string> structures = eventStructures(global);
    const std::string initPath = place.path("fctri_c");
    if (initTemplateWanted(initPath, interfaceFiles)) {
        writeInitTemplate(files, initPath, structures);
    }
    writeCallTemplate(files, place.path("fctfc_c"));
    writeHeader(files, place.directory + "tarvo_c.h", interfaceFiles, structures);
}

}  // namespace qvm::codegen
