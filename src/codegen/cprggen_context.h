// What the section writers of the generated program share: the run's
// inputs, the line writer, and the helpers every section writes with.
#pragma once

#include "codegen/cprggen.h"
#include "codegen/cprggen_template.h"
#include "codegen/geccode.h"
#include "codegen/genindex.h"

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qvm::codegen::program {

using script::sem::Entry;
using script::sem::Scope;

// A number as the generated text writes it.
inline std::string text(int value)
{
    return std::to_string(value);
}

// The run-context argument of every runtime call; a character array, which
// a line copies as one block of its known size.
inline constexpr char kRun[] = "&(trv_ctx->trv_ctxrun)";

// The inputs of one program, and the writer of its file.
struct ProgramContext {
    ProgramContext(GeneratedFiles& files, const Numbering& numbering, const ScriptIndex& index,
                   const script::sem::Model& model, const std::vector<script::SourceFileRecord>& sourceFiles,
                   const ProgramOptions& options);

    GeneratedFiles& files;
    const Numbering& numbering;
    // Either the TDC writer's, in the numbering, or one gathered for this
    // program; both outlive it.
    const ScriptIndex& index;
    const script::sem::Model& model;
    const std::vector<script::SourceFileRecord>& sourceFiles;
    const ProgramOptions& options;
    LineWriter out;
};

// (type text, name) of a parameter of a generated function.
using Parameters = std::vector<std::pair<std::string, std::string>>;

// The base of the section writers: the context under the names their code
// uses, and the lines that several sections write.
class SectionWriter {
protected:
    explicit SectionWriter(ProgramContext& context)
        : numbering_(context.numbering), index_(context.index), model_(context.model), options_(context.options),
          out_(context.out)
    {
    }

    template <typename... Pieces>
    void line(const Pieces&... pieces)
    {
        out_.line(pieces...);
    }
    void emptyLine() { out_.emptyLine(); }
    void open() { out_.openBlock(); }
    void close() { out_.closeBlock(); }
    // A fixed run of lines (see emitTemplate).
    void emit(TemplateText lines, std::initializer_list<TemplateValue> values = {})
    {
        emitTemplate(out_, lines, values);
    }
    // "#ifdef TRV_OSTREL_DEBUG", the debug lines, "#else", the release lines, "#endif".
    void debugFrame(std::initializer_list<std::string_view> debugLines,
                    std::initializer_list<std::string_view> releaseLines);
    void debugResult(std::string_view value);
    // The debug state that a function declares first.
    void debugDeclaration();
    // The prototype of a function whose header is given, with its parameters after the context.
    void prototype(const std::string& header, const Parameters& parameters = {});
    // The static list of names, ended by a null pointer, that a runtime
    // call is given in a block of its own.
    void nameTable(const std::vector<std::string>& names, std::string_view call);
    // A timer's variable, which holds its index in the context's timers.
    void timerDeclaration(const Entry& timer);

    // The code written from here on is the code of the entry's script line
    // (-SCRIPTLINES), until generatedLines() returns to the program's own lines.
    void scriptLine(const Entry& entry);
    void generatedLines();

    int number(const Entry& entry) const { return numbering_.records.find(entry).begin; }
    int endNumber(const Entry& entry) const { return numbering_.records.find(entry).end; }
    int element(const Entry& entry) const { return numbering_.elements.find(entry).begin; }
    bool tracing() const { return options_.traceLevel >= 1 && bufferBytes() >= 1; }
    int bufferBytes() const { return options_.bufferSizeKb * 1024; }
    bool runTimeInstances() const { return options_.instanceMode == 2 || options_.instanceMode == 3; }

    const Numbering& numbering_;
    const ScriptIndex& index_;
    const script::sem::Model& model_;
    const ProgramOptions& options_;
    LineWriter& out_;
};

}  // namespace qvm::codegen::program
