// The probe section: in probe mode, the macros with which an instrumented
// application records its messages (the second half of the probe header)
// and the code that records, decodes and replays them (the generated file,
// in place of a test driver).
#pragma once

#include "codegen/cprggen.h"
#include "codegen/cprggen_template.h"
#include "codegen/geccode.h"
#include "codegen/genfiles.h"
#include "codegen/gennumbers.h"
#include "script/semmodel.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qvm::codegen::probe {

// A selector of a message type: the code an application names it by, and
// the member of the replay's context that records its value.
struct Selector {
    std::string code;    // "TRV_SEL_<type>", "TRV_SEL_<type>_<member>_<index>"...
    std::string member;  // "TRV_<type>.select", "TRV_<type>.<member>[<index>].select"...
};

// The most selectors one message type gives codes to; a union inside large
// arrays would otherwise give one code per element without bound.
inline constexpr std::size_t kMaxSelectors = 1024;

// The selectors of a message type, from the declaration of its selection
// context ("struct {...}trv_ctxsel_<type>;"), in member order; at most
// kMaxSelectors, truncated says whether more were left out.
std::vector<Selector> selectorsOf(std::string_view type, std::string_view context, bool& truncated);

class ProbeWriter {
public:
    // Writes the message dump function of a message type into the
    // generated file (the program writer's own walk).
    using DumpFunction = std::function<void(const script::sem::Entry&)>;

    ProbeWriter(LineWriter& out, GeneratedFile& header, const script::sem::Model& model, const ProbeCodes& codes,
                const ProgramOptions& options);

    // scriptVariables: the variables that the script's top-level native
    // lines define.
    void write(const std::vector<std::string>& scriptVariables, const DumpFunction& dumpFunction);

private:
    bool custom() const { return options_.probeMode == 2; }
    // ---- probe header ----
    void headerIncludes();
    void headerMacros();
    void headerDeclarations();
    void selectorCodes();
    // ---- generated file ----
    void contextType();
    void selectorFunctions();
    void recordingFunctions();
    void startAndStop();
    void decodeFunction();
    void decodeHeader();
    void decodeTime();
    std::string definedCode(const std::string& name) const;
    void decodeBegin();
    void decodeDump();
    void decodeEnd();
    void replayFunction();
    void nativeLines(const std::vector<std::string>& scriptVariables);
    // The message types whose messages the decode dumps, in declaration order.
    std::vector<const script::sem::Entry*> dumpedTypes() const;
    std::string sendCode(const ProbeCodes::Exchange& send) const;
    std::string receiveCode(const ProbeCodes::Exchange& receive) const;

    template <typename... Pieces>
    void line(const Pieces&... pieces)
    {
        out_.line(pieces...);
    }
    void emit(TemplateText lines) { emitTemplate(out_, lines); }
    void open() { out_.openBlock(); }
    void close() { out_.closeBlock(); }

    LineWriter& out_;
    GeneratedFile& header_;
    const script::sem::Model& model_;
    const ProbeCodes& codes_;
    const ProgramOptions& options_;
    // The message types with selectors and theirs, in declaration order.
    std::vector<std::pair<const script::sem::Entry*, std::vector<Selector>>> selectors_;
};

}  // namespace qvm::codegen::probe
