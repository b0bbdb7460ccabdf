// The context of the section writers and the lines several sections write.
#include "codegen/cprggen_context.h"

namespace qvm::codegen::program {

ProgramContext::ProgramContext(GeneratedFiles& files, const Numbering& numbering, const ScriptIndex& index,
                               const script::sem::Model& model,
                               const std::vector<script::SourceFileRecord>& sourceFiles, const ProgramOptions& options)
    : files(files), numbering(numbering), index(index), model(model), sourceFiles(sourceFiles), options(options),
      out(files, options.programPath)
{
    if (options.scriptLines) {
        out.file().countLines();
    }
}

void SectionWriter::scriptLine(const Entry& entry)
{
    if (options_.scriptLines && entry.line > 0 && !entry.fileName().empty()) {
        out_.beginScriptLine(entry.line, entry.fileName());
    }
}

void SectionWriter::generatedLines()
{
    if (options_.scriptLines) {
        out_.endScriptLine(options_.programPath);
    }
}

void SectionWriter::debugFrame(std::initializer_list<std::string_view> debugLines,
                               std::initializer_list<std::string_view> releaseLines)
{
    out_.ifdef("TRV_OSTREL_DEBUG");
    for (const std::string_view text : debugLines) {
        line(text);
    }
    out_.elseDirective();
    for (const std::string_view text : releaseLines) {
        line(text);
    }
    out_.endif();
}

void SectionWriter::debugResult(std::string_view value)
{
    emit(R"(
        #ifdef TRV_OSTREL_DEBUG
        trv_debug_state = $value$;
        #else
        return ( $value$ );
        #endif
    )",
         {{"value", value}});
}

void SectionWriter::prototype(const std::string& header, const Parameters& parameters)
{
    if (parameters.empty()) {
        line(header, " TRV_DP (( trv_ctx)) TRV_BP");
        line("TRV_PT_CTX trv_ctx TRV_EP");
        return;
    }
    std::string names;
    for (const auto& [type, name] : parameters) {
        if (!names.empty()) {
            names += ',';
        }
        names += name;
    }
    line(header, " TRV_DP (( trv_ctx, ", names, ")) TRV_BP");
    line("TRV_PT_CTX trv_ctx TRV_SP");
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        line(parameters[i].first, " ", parameters[i].second, " ", (i + 1 < parameters.size() ? "TRV_SP" : "TRV_EP"));
    }
}

void SectionWriter::debugDeclaration()
{
    out_.ifdef("TRV_OSTREL_DEBUG");
    line("TRV_T_INT trv_debug_state = 0;");
    line("#endif");
}

void SectionWriter::nameTable(const std::vector<std::string>& names, std::string_view call)
{
    std::string list;
    for (const std::string& name : names) {
        list += "\"" + cStringText(name) + "\", ";
    }
    open();
    line("static const char *const trv_names[] = {", list, "NULL};");
    line(call, " (", kRun, ", trv_names);");
    close();
}

// In a function a timer's variable is TRV_T_INT, the int that may go unused:
// a script need not read a timer it declares.
void SectionWriter::timerDeclaration(const Entry& timer)
{
    line(out_.level() > 0 ? "TRV_T_INT " : "int ", timer.name, "=", timer.data<script::sem::NumberData>().number, ";");
}

}  // namespace qvm::codegen::program
