// The probe section of the generated files: the macros an instrumented
// application records with, and the code that decodes its records into a
// trace (DEFAULT: at once; CUSTOM: from a probe file, by a replay).
#include "codegen/cprggen_probe.h"

#include "codegen/cprggen_scenario.h"
#include "diag/i18nerrgest.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <set>
#include <sstream>

namespace qvm::codegen::probe {

using namespace script::sem;

namespace {

// One level of a selection context: a structure made for a union (it has a
// "select" member) or for a structure holding one, named by its declarator.
struct ContextNode {
    bool selects = false;
    std::string declarator;  // "b", "tab[4]", "tab[4][2]"
    std::vector<std::unique_ptr<ContextNode>> members;
};

std::string trimmed(std::string_view text)
{
    const auto begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(begin, text.find_last_not_of(" \t") - begin + 1));
}

// The context's levels, read from its declaration: lines "struct {",
// "int select;", "}<declarator>;".
std::unique_ptr<ContextNode> parseContext(std::string_view declaration)
{
    std::vector<std::unique_ptr<ContextNode>> open;
    std::unique_ptr<ContextNode> top;
    std::istringstream lines{std::string(declaration)};
    for (std::string text; std::getline(lines, text);) {
        const std::string line = trimmed(text);
        if (line == "struct {") {
            open.push_back(std::make_unique<ContextNode>());
        } else if (line == "int select;" && !open.empty()) {
            open.back()->selects = true;
        } else if (line.starts_with("}") && !open.empty()) {
            std::unique_ptr<ContextNode> closed = std::move(open.back());
            open.pop_back();
            closed->declarator = line.substr(1, line.size() - 1 - (line.ends_with(";") ? 1 : 0));
            if (open.empty()) {
                top = std::move(closed);
            } else {
                open.back()->members.push_back(std::move(closed));
            }
        }
    }
    return top;
}

// A declarator's name and dimensions: "tab[4][2]" gives "tab" and {4, 2}.
std::pair<std::string, std::vector<long>> declaratorParts(std::string_view declarator)
{
    const std::size_t bracket = declarator.find('[');
    std::pair<std::string, std::vector<long>> parts{std::string(declarator.substr(0, bracket)), {}};
    for (std::size_t at = bracket; at != std::string_view::npos; at = declarator.find('[', at + 1)) {
        parts.second.push_back(std::strtol(std::string(declarator.substr(at + 1)).c_str(), nullptr, 10));
    }
    return parts;
}

class SelectorList {
public:
    SelectorList(std::vector<Selector>& list, bool& truncated) : list_(list), truncated_(truncated) {}

    void add(const ContextNode& node, const std::string& code, const std::string& member)
    {
        if (node.selects) {
            if (list_.size() == kMaxSelectors) {
                truncated_ = true;
                return;
            }
            list_.push_back({code, member + ".select"});
        }
        for (const auto& inner : node.members) {
            const auto [name, dimensions] = declaratorParts(inner->declarator);
            addElements(*inner, dimensions, 0, code + "_" + name, member + "." + name);
        }
    }

private:
    void addElements(const ContextNode& node, const std::vector<long>& dimensions, std::size_t depth,
                     const std::string& code, const std::string& member)
    {
        if (depth == dimensions.size()) {
            add(node, code, member);
            return;
        }
        for (long index = 0; index < dimensions[depth] && !truncated_; ++index) {
            const std::string at = std::to_string(index);
            addElements(node, dimensions, depth + 1, code + "_" + at, member + "[" + at + "]");
        }
    }

    std::vector<Selector>& list_;
    bool& truncated_;
};

std::string baseName(std::string_view path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace

std::vector<Selector> selectorsOf(std::string_view type, std::string_view context, bool& truncated)
{
    std::vector<Selector> selectors;
    truncated = false;
    if (const std::unique_ptr<ContextNode> top = parseContext(context)) {
        const std::string name(type);
        SelectorList(selectors, truncated).add(*top, "TRV_SEL_" + name, "TRV_" + name);
    }
    return selectors;
}

ProbeWriter::ProbeWriter(LineWriter& out, GeneratedFile& header, const Model& model, const ProbeCodes& codes,
                         const ProgramOptions& options)
    : out_(out), header_(header), model_(model), codes_(codes), options_(options)
{
    for (const Entry& entry : model.global().entries) {
        if (entry.code != ENT_EVENT_STRUCT || entry.data<EventStructData>().companion.empty()) {
            continue;
        }
        bool truncated = false;
        std::vector<Selector> selectors = selectorsOf(entry.name, entry.data<EventStructData>().companion, truncated);
        if (truncated) {
            diag::warning("PRBSELMAX", std::string(entry.name.view()));
        }
        selectors_.emplace_back(&entry, std::move(selectors));
    }
}

// In the order the two files are read: what the header's macros name is
// defined before the generated functions that use it.
void ProbeWriter::write(const std::vector<std::string>& scriptVariables, const DumpFunction& dumpFunction)
{
    line("#include \"", baseName(options_.probeHeaderPath), "\"");
    out_.emptyLine();
    nativeLines(scriptVariables);
    for (const auto& [type, selectors] : selectors_) {
        out_.define("TRV_" + std::string(type->name.view()), "(trv_ctx->trv_ctxsel_" + std::string(type->name.view()) + ")");
    }
    headerIncludes();
    contextType();
    headerMacros();
    headerDeclarations();
    selectorCodes();
    selectorFunctions();
    for (const Entry* type : dumpedTypes()) {
        dumpFunction(*type);
    }
    if (!custom()) {
        recordingFunctions();
    }
    startAndStop();
    decodeFunction();
    if (custom()) {
        replayFunction();
    }
    header_.write("\n#endif\n");
}

// ---- probe header ----

void ProbeWriter::headerIncludes()
{
    header_.write("#ifdef USE_QVM\n#undef USE_QVM\n#endif\n#define USE_QVM 1\n#include \"TP.h\"\n");
    if (custom()) {
        header_.write("#include \"probecst.h\"\n");
        // The application declares its recording context the same way in
        // both modes.
        header_.write("#define TRV_CTX_PRB TRV_PT_PRB\n");
    } else {
        header_.write("\ntypedef struct TRV_T_CTX *TRV_PT_CTX;\n");
        header_.write("\n#define TRV_CTX_PRB TRV_PT_CTX\n");
        header_.write("\n#include \"trvdeclar.h\"\n");
    }
}

// The message macros name their event code by message type and channel,
// as the TDC part of this header does.
void ProbeWriter::headerMacros()
{
    header_.write("#define tarvo_concat(a,b) a##b\n");
    header_.write("#define tarvo_concat_3(a,b,c) a##b##c\n");
    header_.write("#define tarvo_concat_4(a,b,c,d) a##b##c##d\n");
    header_.write("#define tarvo_concat_6(a,b,c,d,e,f) a##b##c##d##e##f\n");
    header_.write("\n/************* Definition of macros for dumping messages *********/ \n");
    header_.write("#define trv_start_trace(ctx,path,instance,p1) ctx=trv_create_probe(path,#instance,p1)\n");
    header_.write(custom() ? "#define trv_end_trace(ctx) trv_end_probe(ctx)\n"
                           : "#define trv_end_trace(ctx) trv_stop_probe(ctx)\n");
    header_.write("#define trv_send_trace(ctx,dist,msg,type,reportmsgname) "
                  "trv_write_probe(ctx,tarvo_concat_4(TRV_TDC_SEND_,type,_,dist),0,msg,sizeof(type))\n");
    header_.write("#define trv_recv_trace(ctx,dist,msg,type,reportmsgname) "
                  "trv_write_probe(ctx,tarvo_concat_4(TRV_TDC_RECV_,type,_,dist),0,msg,sizeof(type))\n");
    header_.write("#define trv_format_trace(ctx,format)\n");
    header_.write(custom() ? "#define trv_select_trace(ctx,code,value) trv_write_key(ctx,code,value)\n"
                           : "#define trv_select_trace(ctx,code,value) trv_set_selector(ctx,code,value)\n");
    header_.write(custom() ? "#define trv_dump_trace(path,riopath) trv_dump_all_inst(path,riopath)\n"
                           : "#define trv_dump_trace(path,riopath)\n");
    header_.write("\n/************* Enf of macros definition *********/ \n");
}

void ProbeWriter::headerDeclarations()
{
    if (!custom()) {
        header_.write("extern TRV_PT_CTX trv_create_probe(TRV_PT_CAR path,TRV_PT_CAR instance,TRV_T_INT p1);\n");
        header_.write("extern void trv_write_probe(TRV_PT_CTX ctx,TRV_T_UINT code,TRV_T_UINT key,const void *msg,"
                      "TRV_T_UINT length);\n");
        header_.write("extern void trv_stop_probe(TRV_PT_CTX ctx);\n");
        header_.write("extern void trv_set_selector(TRV_PT_CTX ctx,TRV_T_UINT code,TRV_T_UINT value);\n");
    }
    header_.write("extern TRV_T_INT trv_dump_all_inst(TRV_PT_CAR path,TRV_PT_CAR riopath);\n");
    header_.write("extern void trv_dump_inst(struct TRV_T_PRB *prb_ctx,TRV_PT_CAR path,TRV_PT_CAR riofile,"
                  "TRV_PT_CAR instName,TRV_PT_CAR other);\n");
}

void ProbeWriter::selectorCodes()
{
    int number = 1;
    for (const auto& [type, selectors] : selectors_) {
        for (const Selector& selector : selectors) {
            header_.write("#define ", selector.code, ' ', number++, "+TRV_TDC_LAST_ID\n");
        }
    }
}

// ---- generated file ----

void ProbeWriter::contextType()
{
    if (custom()) {
        line("typedef struct TRV_T_CTX *TRV_PT_CTX;");
    }
    line("#define trv_set_time(trv_ctx,time) "
         "trv_memcpy(&(trv_ctx->trv_ctxrun.trv_ctxusrdate),&time,sizeof(TRV_T_DATE))");
    line("struct TRV_T_CTX");
    line("{");
    line("TRV_T_RUNCTX trv_ctxrun;");
    for (const auto& [type, selectors] : selectors_) {
        std::istringstream context{std::string(type->data<EventStructData>().companion)};
        for (std::string text; std::getline(context, text);) {
            if (!text.empty()) {
                line(text);
            }
        }
    }
    line("}");
    line(";");
    if (custom()) {
        line("\nvoid trv_decode (TRV_PT_CTX trv_ctx,TRV_T_DATE time,TRV_T_UINT code,TRV_T_UINT trv_key,void *msg);\n");
    } else {
        line("struct TRV_T_CTX tab_global_ctx[NB_INSTANCES];");
        line("trv_declar;");
        line("\nvoid trv_decode (TRV_PT_CTX trv_ctx,TRV_T_UINT code,TRV_T_UINT trv_key,void *msg);\n");
    }
    line("void trv_strt_probe (TRV_PT_CTX trv_ctx,TRV_PT_CAR rioFilename,TRV_PT_CAR codeName);");
}

void ProbeWriter::selectorFunctions()
{
    line("void trv_set_selector TRV_DP ((trv_ctx,trv_code,trv_value)) TRV_BP ");
    emit(R"(
        TRV_PT_CTX trv_ctx TRV_SP
        TRV_T_UINT trv_code TRV_SP
        TRV_T_UINT trv_value TRV_EP
         {
          switch(trv_code)
           {
    )");
    for (const auto& [type, selectors] : selectors_) {
        for (const Selector& selector : selectors) {
            line("case (", selector.code, "):");
            line(selector.member, "=trv_value;");
            line("break;");
        }
    }
    line("default:");
    line("break;");
    close();
    close();
    line("void trv_init_selector TRV_DP ((trv_ctx)) TRV_BP ");
    line("TRV_PT_CTX trv_ctx TRV_EP");
    open();
    for (const auto& [type, selectors] : selectors_) {
        for (const Selector& selector : selectors) {
            line(selector.member, "=0;");
        }
    }
    close();
}

// DEFAULT: an instance's context comes from the generated table, and each
// record is decoded as it is written. The table and the trace file name
// have their bounds: an instance past them is not recorded, and its
// recording calls do nothing.
void ProbeWriter::recordingFunctions()
{
    emit(R"(
        TRV_PT_CTX trv_create_probe (TRV_PT_CAR path,TRV_PT_CAR instance,TRV_T_INT p1)
         {
          char name[TRV_K_PROBE_NAME];
          static int i_ctx=0;
          TRV_PT_CTX trv_ctx;
          (void)p1;
          if (!trv_probe_rio_name(name,sizeof name,path,instance,i_ctx,NB_INSTANCES))
           {
            return 0;
           }
          trv_ctx=tab_global_ctx+i_ctx++;
          trv_strt_probe(trv_ctx,name,instance);
          return trv_ctx;
         }
        void trv_write_probe (TRV_PT_CTX ctx,TRV_T_UINT code,TRV_T_UINT key,const void *msg,TRV_T_UINT length)
         {
          (void)length;
          if (ctx != 0)
           {
            trv_decode(ctx,code,key,(void *)msg);
           }
         }
    )");
}

void ProbeWriter::startAndStop()
{
    const char* run = "&(trv_ctx->trv_ctxrun)";
    line("void trv_strt_probe (TRV_PT_CTX trv_ctx,TRV_PT_CAR rioFilename,TRV_PT_CAR codeName)");
    open();
    if (!custom()) {
        line("trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxtracepriority = 0;");
    }
    line("trv_ctx->trv_ctxrun.trv_ctxflagprobe=", custom() ? "1;" : "0;");
    line("trv_set_trace_functions ( ", run, " );");
    line("trv_ctx->trv_ctxrun.trv_ctxoccid=0;");
    line("trv_ctx->trv_ctxrun.trv_ctxlogdate=(TRV_T_UTIME)0;");
    // The trace shows script positions when the TDC file is found.
    if (!options_.tdcPath.empty()) {
        line("trv_tdc_origin ( ", run, ", \"", cStringText(options_.generationDirectory), "\", \"",
             cStringText(options_.tdcPath), "\" );");
    }
    line("trv_initrio ( ", run, ",rioFilename ,0, 1, 0, codeName, 0,TRV_TDC_gen,\"\");");
    const bool outer = codes_.defines("Spts") && codes_.defines("Epts");
    const bool inner = codes_.defines("Sscn") && codes_.defines("Escn");
    if (outer) {
        line("trv_startchronomarkloop ( ", run, ",TRV_TDC_Epts, TRV_TDC_Spts , 0, 1,\"\",0,0);");
    }
    if (inner) {
        line("trv_startchronomarkloop ( ", run, ",TRV_TDC_Escn, TRV_TDC_Sscn ,1, 1,\"\",0,0);");
    }
    close();
    emit(R"(
        void trv_stop_probe (TRV_PT_CTX trv_ctx)
         {
          if (trv_ctx == 0)
           {
            return;
           }
    )");
    if (inner) {
        line("trv_stopchronomarkloop ( ", run, ",0,TRV_TDC_Escn,1,1,\"\",0,0);");
    }
    if (outer) {
        line("trv_stopchronomarkloop ( ", run, ",0,TRV_TDC_Epts,0,1,\"\",0,0);");
    }
    line("trv_end (", run, ");");
    close();
}

std::string ProbeWriter::sendCode(const ProbeCodes::Exchange& send) const
{
    return "TRV_TDC_SEND_" + std::string(send.type->name.view()) + "_" + std::string(send.channel->name.view());
}

std::string ProbeWriter::receiveCode(const ProbeCodes::Exchange& receive) const
{
    return "TRV_TDC_RECV_" + std::string(receive.type->name.view()) + "_" +
           std::string(receive.channel->name.view());
}

std::vector<const Entry*> ProbeWriter::dumpedTypes() const
{
    std::set<const Entry*> dumped;
    for (const auto* list : {&codes_.sends, &codes_.receives}) {
        for (const ProbeCodes::Exchange& exchange : *list) {
            dumped.insert(exchange.type);
        }
    }
    std::vector<const Entry*> ordered;
    for (const Entry& entry : model_.global().entries) {
        if (dumped.count(&entry) != 0) {
            ordered.push_back(&entry);
        }
    }
    return ordered;
}

// A record's code says what it replays: a selector's value, a SEND, or a
// message received by a WAITTIL. SENDs and WAITTILs stand in any order in
// a script, so each is told by its own code; a code of neither (another
// generation's) is left out.
void ProbeWriter::decodeFunction()
{
    const bool exchanges = !codes_.sends.empty() || !codes_.receives.empty();
    decodeHeader();
    open();
    if (exchanges) {
        line("TRV_T_INT eevt,defmsg;");
    }
    emit(R"(
        if (trv_code > TRV_TDC_LAST_ID)
         {
          trv_set_selector(trv_ctx,trv_code,*((TRV_PT_UINT) trv_msg));
          return;
         }
    )");
    decodeTime();
    if (!exchanges) {
        close();
        return;
    }
    line("eevt=0;");
    line("defmsg=-1;");
    decodeBegin();
    decodeDump();
    decodeEnd();
    close();
}

void ProbeWriter::decodeHeader()
{
    if (custom()) {
        line("void trv_decode TRV_DP ((trv_ctx,trv_time,trv_code,trv_key,trv_msg)) TRV_BP");
    } else {
        line("void trv_decode TRV_DP ((trv_ctx,trv_code,trv_key,trv_msg)) TRV_BP");
    }
    line("TRV_PT_CTX trv_ctx TRV_SP");
    if (custom()) {
        line("TRV_T_DATE trv_time TRV_SP");
    }
    line("TRV_T_UINT trv_code TRV_SP");
    line("TRV_T_UINT trv_key TRV_SP");
    line("void *trv_msg TRV_EP");
}

// CUSTOM replays the time of the record; DEFAULT decodes as the
// application writes, at the current time.
void ProbeWriter::decodeTime()
{
    if (custom()) {
        line("trv_set_time(trv_ctx,trv_time);");
        return;
    }
    open();
    line("TRV_T_DATE trv_now;");
    line("trv_get_date(&trv_now);");
    line("trv_set_time(trv_ctx,trv_now);");
    close();
}

// The probe header's code of that name, or 0 where nothing in the script
// gave it one (a channel no construct uses, a type with no definition).
std::string ProbeWriter::definedCode(const std::string& name) const
{
    return codes_.defines(name) ? "TRV_TDC_" + name : "0";
}

void ProbeWriter::decodeBegin()
{
    line("switch(trv_code)");
    open();
    for (const ProbeCodes::Exchange& send : codes_.sends) {
        line("case ", sendCode(send), ":");
        line("trv_send(&(trv_ctx->trv_ctxrun),trv_code,\"\");");
        line("break;");
    }
    for (const ProbeCodes::Exchange& receive : codes_.receives) {
        const std::string type(receive.type->name.view());
        const std::string definition = "DEFM_" + std::string(receive.message->name.view());
        line("case ", receiveCode(receive), ":");
        line("trv_waittil(&(trv_ctx->trv_ctxrun),trv_code);");
        line("trv_evt(&(trv_ctx->trv_ctxrun),", definedCode("EVT_" + type), ",",
             definedCode("CH_" + std::string(receive.channel->name.view())), ",0,\" \");");
        line("eevt=", definedCode("EEVT_" + type), ";");
        if (codes_.defines(definition)) {
            line("defmsg=TRV_TDC_", definition, ";");
        }
        line("break;");
    }
    line("default:");
    line("return;");
    close();
}

void ProbeWriter::decodeDump()
{
    if (codes_.sends.empty() && codes_.receives.empty()) {
        return;
    }
    line("switch(trv_code)");
    open();
    for (const Entry* type : dumpedTypes()) {
        for (const auto* list : {&codes_.sends, &codes_.receives}) {
            for (const ProbeCodes::Exchange& exchange : *list) {
                if (exchange.type == type) {
                    line("case ", list == &codes_.sends ? sendCode(exchange) : receiveCode(exchange), ":");
                }
            }
        }
        line("trv_", std::string(type->name.view()), "_dump_msg(trv_ctx,trv_msg);");
        line("break;");
    }
    line("default:");
    line("break;");
    close();
}

// A received message is defined (matched) only when its message variable
// has a definition, as in a test run.
void ProbeWriter::decodeEnd()
{
    if (codes_.sends.empty() && codes_.receives.empty()) {
        return;
    }
    line("switch(trv_code)");
    open();
    for (const ProbeCodes::Exchange& send : codes_.sends) {
        line("case ", sendCode(send), ":");
    }
    if (!codes_.sends.empty()) {
        line("trv_end_send(&(trv_ctx->trv_ctxrun),0,trv_code+TRV_TDC_END_SEND);");
        line("break;");
    }
    emit(R"(
        default:
        trv_endevt(&(trv_ctx->trv_ctxrun),eevt);
        if (defmsg >= 0)
         {
          trv_def_msg(&(trv_ctx->trv_ctxrun),defmsg);
         }
        trv_endwaittil(&(trv_ctx->trv_ctxrun), 0, trv_code+TRV_TDC_END_RECV,"");
        break;
    )");
    close();
}

// CUSTOM: one probe file replayed into one trace. Its context starts
// zeroed (no trace buffer), and a file that cannot be opened leaves no trace.
// Each message is decoded from a copy as large as the largest message type,
// zero-filled beyond the record: a record shorter than its type (another
// program's) is never read past its end.
void ProbeWriter::replayFunction()
{
    emit(R"(
        void trv_dump_inst TRV_DP ((prb_ctx, path,riofile,instName,other)) TRV_BP
        TRV_PT_PRB prb_ctx TRV_SP
        TRV_PT_CAR path TRV_SP
        TRV_PT_CAR riofile TRV_SP
        TRV_PT_CAR instName TRV_SP
        TRV_PT_CAR other TRV_EP
         {
          struct TRV_T_CTX trv_ctx;
          TRV_T_DATE time;
          TRV_T_UINT code,key;
          void *msg;
          union
           {
            TRV_T_UINT trv_key;
    )");
    for (const Entry* type : dumpedTypes()) {
        line(std::string(type->name.view()), " trv_msg_", std::string(type->name.view()), ";");
    }
    close();
    emit(R"(
        trv_buffer;
        memset(&trv_ctx,0,sizeof trv_ctx);
        prb_ctx=trv_open_probe(prb_ctx,path,riofile,instName,other);
        if (prb_ctx == 0)
         {
          return;
         }
        trv_init_selector(&trv_ctx);
        if(trv_read_probe(prb_ctx,&time,&code,&key,&msg))
         {
          trv_set_time((&trv_ctx),time);
          trv_strt_probe(&trv_ctx,riofile,instName);
          do
           {
            memset(&trv_buffer,0,sizeof trv_buffer);
            if (msg != 0)
             {
              trv_memcpy(&trv_buffer,msg,trv_probe_length(prb_ctx) < sizeof trv_buffer ? trv_probe_length(prb_ctx) : sizeof trv_buffer);
             }
            trv_decode(&trv_ctx,time,code,key,&trv_buffer);
           }
          while(trv_read_probe(prb_ctx,&time,&code,&key,&msg));
          trv_stop_probe(&trv_ctx);
         }
        trv_close_probe(prb_ctx);
    )");
    close();
}

// The script's top-level native lines come first: the message types may be
// declared by them. The variables they define serve a test run's
// statements only, so they are named once here, where a static one would
// otherwise be reported unused.
void ProbeWriter::nativeLines(const std::vector<std::string>& scriptVariables)
{
    for (const Entry& entry : model_.global().entries) {
        if (entry.code == ENT_HASH_LINE) {
            line(program::nativeLineText(entry.name));
        } else if (entry.code == ENT_AT_LINE) {
            line(program::nativeStatementText(entry.name));
        }
    }
    if (scriptVariables.empty()) {
        return;
    }
    line("void *const trv_script_variables[] =");
    line("{");
    for (const std::string& name : scriptVariables) {
        line("(void *) &", name, ",");
    }
    line("0");
    line("};");
}

}  // namespace qvm::codegen::probe
