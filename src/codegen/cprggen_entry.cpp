// The entry function of the generated program: main or the thread routine.
// It sets up the context and the trace buffer, reads the program's own
// command line, starts the runtime and runs the root scenario.
#include "codegen/cprggen_entry.h"

#include "codegen/geccode.h"
#include "codegen/tsfgen.h"

#include "diag/i18nerrgest.h"

#include <map>

namespace qvm::codegen::program {

using namespace script::sem;

namespace {

const std::string kTraceContext = "trv_ctx->trv_ctxrun.trv_ctxtracectx.";
const std::string kScenarioList = "trv_scenario_list";

// The names of the scenario's FAMILY line joined by ",".
std::string familyNames(const ScenarioData& data)
{
    std::string names;
    if (data.familyScope != nullptr) {
        for (const Entry& family : data.familyScope->entries) {
            names += (names.empty() ? "" : ",") + std::string(family.name);
        }
    }
    return names;
}

}  // namespace

void EntryWriter::entryFunction()
{
    const Entry* root = rootScenario();
    if (root == nullptr) {
        const Entry* last = model_.global().last();
        diag::internal("ENTCODUNK", {}, text(last != nullptr ? last->code : -1));
    }
    scenarioTable(*root);
    entryHeader();
    open();
    entryDeclarations();
    entryContext();
    traceBufferSetup();
    scenarioOptions();
    line("trv_set_trace_functions ( ", kRun, " );");
    line("trv_ctx->trv_ctxrun.trv_ctxflagprobe = 0;");
    line("trv_numinstance = ", options_.instanceNumber, ";");
    line("trv_testernaming[0] = '\\0';");
    if (options_.entryName == "<main>") {
        line("trv_scenario_table ( ", kRun, ", argc, argv, ", kScenarioList, ", ", scenarioCount_, " );");
    } else {
        line("trv_scenario_table ( ", kRun, ", 0, 0, ", kScenarioList, ", ", scenarioCount_, " );");
    }
    if (options_.entryName == "<main>") {
        mainArguments();
    } else {
        threadArguments();
    }
    line("trv_initctx ( trv_ctx );");
    declaredInstanceTable();
    line("J0 = 1;");
    tracerLink(*root);
    rootRun(*root);
    entryEnd();
}

void EntryWriter::scenarioTable(const Entry& root)
{
    emptyLine();
    line("/* The scenarios: begin and end numbers, enclosing one, leaf, name, families, position */");
    line("static const TRV_T_SCENARIO_INFO ", kScenarioList, "[] = {");
    int index = 0;
    scenarioRows(root, -1, index);
    line("};");
    scenarioCount_ = index;
    emptyLine();
}

void EntryWriter::scenarioRows(const Entry& scenario, int parent, int& index)
{
    const auto& data = scenario.data<ScenarioData>();
    const int own = index++;
    line("  { ", number(scenario), ", ", endNumber(scenario), ", ", parent, ", ", data.leaf ? 1 : 0, ", \"",
         cStringText(qualifiedName(scenario)), "\", \"", cStringText(familyNames(data)), "\", \"",
         cStringText(data.fileName), "\", ", scenario.line, " },");
    if (data.leaf) {
        return;
    }
    for (const Entry& child : scenario.descriptor->subScope->entries) {
        if (child.code == ENT_SCENARIO && child.data<ScenarioData>().selected) {
            scenarioRows(child, own, index);
        }
    }
}

// -LIST and a wrong selection end the program before its run starts.
void EntryWriter::scenarioOptions()
{
    if (options_.entryName == "<main>") {
        line("trv_scenario_options ( argc, argv, ", kScenarioList, ", ", scenarioCount_, " );");
    }
}

void EntryWriter::entryHeader()
{
    if (options_.entryName == "<main>") {
        line("TRV_T_INT main TRV_DP (( argc, argv )) TRV_BP");
        line("TRV_CONST TRV_T_INT argc TRV_SP");
        line("TRV_CONST TRV_PT_CAR * argv TRV_EP");
        return;
    }
    const std::vector<const Entry*> instances = declaredInstances();
    if (!instances.empty()) {
        std::string names;
        for (const Entry* instance : instances) {
            names += (names.empty() ? "\"" : ",\"") + instance->name + "\"";
        }
        emptyLine();
        line("char * ", options_.entryName, "_Table[] = {", names, "};");
        line("int ", options_.entryName, "_TableLen = ", static_cast<int>(instances.size()), ";");
        emptyLine();
    }
    line("TRV_T_THREAD_RETURN  ", options_.entryName, " TRV_DP ((arg)) TRV_BP");
    line("TRV_CONST TRV_PT_ARG arg TRV_EP");
}

void EntryWriter::entryDeclarations()
{
    if (options_.allocation == Allocation::Stack) {
        line("TRV_T_CTX trv_ctxst;");
        if (tracing()) {
            line("TRV_T_CAR trv_ctxbuffertracest[", bufferBytes(), "];");
        }
    }
    line("TRV_PT_CTX trv_ctx;");
    line("TRV_PT_CAR rio_file_name = \"", cStringText(options_.rioPath), "\";");
    // The buffers that only main's reading of its command line uses.
    const bool mainEntry = options_.entryName == "<main>";
    if (mainEntry) {
        line("char argRioFileName[255];");
    }
    emit(R"(
        char lstflt[255];
        #if QVM_DYNFLW
        char tstnaming[255];
        #endif /* QVM_DYNFLW */

        TRV_T_INT trv_local_state = 0;
        TRV_PT_CAR instance_name = (TRV_PT_CAR) 0;
    )");
    if (options_.instanceMode == 1 && mainEntry) {
        line("char fixed_instance[255] = \"", options_.instanceName, "\";");
    }
}

void EntryWriter::entryContext()
{
    if (options_.allocation == Allocation::Dynamic) {
        line("trv_ctx = (TRV_PT_CTX) trv_malloc(sizeof(TRV_T_CTX));");
        if (tracing()) {
            line(kTraceContext, "trv_ctxbuffertrace = (TRV_PT_CAR) trv_malloc(sizeof(TRV_T_CAR)*(", bufferBytes(),
                 ")) ;");
        }
        return;
    }
    line("trv_ctx = &trv_ctxst;");
    if (tracing()) {
        line(kTraceContext, "trv_ctxbuffertrace = trv_ctxbuffertracest;");
    }
}

void EntryWriter::traceBufferSetup()
{
    if (tracing()) {
        line(kTraceContext, "trv_ctxbuffersize = ", bufferBytes(), ";");
        line(kTraceContext, "trv_ctxbuffersizeleft = ", bufferBytes(), ";");
        line(kTraceContext, "trv_ctxtracepriority = ", options_.traceLevel, ";");
        for (const char* pointer : {"trv_ctxcurrentline", "trv_ctxlinetoerase", "trv_ctxlastline"}) {
            line(kTraceContext, pointer, "= ", kTraceContext, "trv_ctxbuffertrace;");
        }
    } else {
        line(kTraceContext, "trv_ctxtracepriority = 0;");
    }
    emptyLine();
}

void EntryWriter::threadArguments()
{
    // The list starts empty as in main's arguments: a thread started without
    // filters would otherwise read whatever the stack held.
    emit(R"(
        lstflt[0] = '\0';
        if ( arg->trv_filters )
         {
          trv_strcpy ( lstflt, arg->trv_filters );
         }
    )");
    if (!options_.filterLetters.empty()) {
        line("trv_strcat ( lstflt, \"", options_.filterLetters, "\" );");
    }
    emit(R"(

        if ( arg->trv_instance )
         {
          instance_name =  arg->trv_instance;
         }
    )");
    instanceIndexBlock();
    line("TRV_OCCID = arg->trv_occid;");
    testerNaming();
    initrioCall(true);
}

void EntryWriter::mainArguments()
{
    if (options_.instanceMode == 1) {
        line("instance_name = fixed_instance;");
    } else if (runTimeInstances()) {
        for (int position = 1; position <= 3; ++position) {
            argumentParser(position, "-INSTANCE=");
        }
        instanceIndexBlock();
    } else if (options_.instanceMode != 0) {
        diag::error("BADPARAMS");
    }
    line("TRV_OCCID = 0;");
    for (int position = 1; position <= 3; ++position) {
        argumentParser(position, "-OCCID=");
    }
    line("lstflt[0] = '\\0';");
    for (int position = 1; position <= 3; ++position) {
        argumentParser(position, "-RIO=");
    }
    emit(R"(
        if ((rio_file_name[0] != '\0') && (trv_strstr (rio_file_name, ".rio") == NULL))
         {
          trv_strcpy (argRioFileName, rio_file_name);
          trv_strcat (argRioFileName, ".rio");
          rio_file_name = argRioFileName;
         }
    )");
    testerNaming();
    if (!options_.filterLetters.empty()) {
        line("trv_strcat ( lstflt, \"", options_.filterLetters, "\" );");
    }
    emptyLine();
    initrioCall(false);
}

void EntryWriter::argumentParser(int position, std::string_view option)
{
    // What each option sets from the text after its '='.
    static const std::map<std::string_view, std::string_view> kAssignments = {
        {"-INSTANCE=", "instance_name = &(argv[%k][%n]);"},
        {"-OCCID=", "TRV_OCCID = atoi(&argv[%k][%n]);"},
        {"-RIO=", "rio_file_name = &(argv[%k][%n]);"},
    };
    const auto assignment = kAssignments.find(option);
    if (position < 1 || position > 3 || assignment == kAssignments.end()) {
        diag::internal("ENTCODUNK", {}, text(position));
    }
    const std::string k = text(position);
    const std::string length = text(static_cast<int>(option.size()));
    std::string lower(option);
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    std::string assign(assignment->second);
    assign.replace(assign.find("%k"), 2, k);
    assign.replace(assign.find("%n"), 2, length);

    emit(R"(
        if ( argc > $k$ )
         {
          if ((trv_strncmp(argv[$k$], "$option$", $length$) == 0) || (trv_strncmp(argv[$k$], "$lower$", $length$) == 0))
           {
            $assign$
           }
    )",
         {{"k", k}, {"option", option}, {"length", length}, {"lower", lower}, {"assign", assign}});
    if (option == "-RIO=") {
        // An argument that is no option is the filter list.
        emit(R"(
            else
             {
              if (!(argv[$k$][0]=='-'))
               {
                trv_strcpy ( lstflt, argv[$k$] );
               }
             }
        )",
             {{"k", k}});
    }
    close();
    emptyLine();
}

void EntryWriter::instanceIndexBlock()
{
    line("if (instance_name)");
    open();
    line("/* Computing index of executed instance */");
    for (const Entry* instance : declaredInstances()) {
        line("if (trv_strcmp (\"", instance->name, "\", instance_name) == 0)");
        open();
        line("trv_numinstance = ", instance->data<NumberData>().number, ";");
        close();
    }
    close();
}

// The runtime finds an instance's tester by the instance's name.
void EntryWriter::declaredInstanceTable()
{
    std::vector<std::string> names;
    for (const Entry* instance : declaredInstances()) {
        names.emplace_back(instance->name);
    }
    if (!names.empty()) {
        nameTable(names, "trv_declare_instances");
    }
}

void EntryWriter::testerNaming()
{
    emit(R"(
        if (instance_name)
         {
          trv_sprintf (trv_testernaming, "%s_%d", instance_name, TRV_OCCID);
         }
        else
         {
          trv_sprintf (trv_testernaming, "%s_%d", rio_file_name, TRV_OCCID);
         }
    )");
}

void EntryWriter::initrioCall(bool thread)
{
    const std::string run(kRun);
    const std::string notSingle = "!(trv_numinstance == 1)";
    std::string arguments;
    std::string blank = " ";  // between the call's name and its parenthesis
    if (thread) {
        arguments = run + ", arg->trv_riofilename, lstflt, " + notSingle + ", 0";
    } else if (runTimeInstances()) {
        arguments = run + ",rio_file_name, lstflt, " + notSingle + ", (trv_numinstance == 1)";
        blank.clear();
    } else {
        arguments = run + ",rio_file_name, lstflt, 1, 0";
    }
    if (!options_.tdcPath.empty()) {
        line("trv_tdc_origin ( ", run, ", \"", cStringText(options_.generationDirectory), "\", \"",
             cStringText(options_.tdcPath), "\" );");
    }
    emit(R"(
        #if QVM_DYNFLW
        trv_initrio_with_dynamicfollowing$blank$( $arguments$, instance_name, TRV_OCCID, "$stamp$",
        $else$
        trv_initrio_no_dynamicfollowing ( $arguments$, instance_name, TRV_OCCID, "$stamp$",
        #endif /* QVM_DYNFLW */
        #ifdef TRV_OSTREL_DEBUG
        "D");
        #else
        "");
        #endif
    )",
         {{"blank", blank},
          {"arguments", arguments},
          {"stamp", stamp()},
          {"else", thread ? "#else /* QVM_DYNFLW */" : "#else"}});
}

void EntryWriter::tracerLink(const Entry& root)
{
    emit(R"(
        #if QVM_DYNFLW
         {
          trv_sprintf (tstnaming, "\"%s\"", trv_testernaming);
          if (priv_boot_tagtlk( &(trv_tagtsocket), instance_name, tstnaming, &(trv_tagttimeout), &(trv_tagtcommactivated)) )
           {
            QVM_EXIT (1);
           }
          else
           {
    )");
    supervisionNotices();
    close();
    close();
    emit(R"(

        trv_declare_ni_tsf (&(trv_ctx->trv_ctxrun), $file$);
        #endif /* QVM_DYNFLW */

    )",
         {{"file", root.fileId()}});
}

void EntryWriter::supervisionNotices()
{
    std::map<int, const script::SourceFileRecord*> byId;
    for (const script::SourceFileRecord& record : sourceFiles_) {
        byId.emplace(record.fileId, &record);
    }
    for (int id = 1;; ++id) {
        const auto found = byId.find(id);
        if (found == byId.end()) {
            break;
        }
        const script::SourceFileRecord& record = *found->second;
        const long key = tracerRunKey(record, options_.processId, options_.date);
        line("trv_notify_tsf (", kRun, ", ", id, ", ", record.hashKey, ", ", key, ");");
        line("/* To_spv: ", id, " -> (", record.size, ",", record.checksum, ") - ", cCommentText(record.path), " -*/");
    }
}

void EntryWriter::rootRun(const Entry& root)
{
    const std::string end = text(endNumber(root));
    line("trv_startchronomarkloop ( ", kRun, ",", end, ", ", number(root), " , 0, J0, \"\", 0, 0);");
    line("trv_local_state = trv_S", number(root), " (trv_ctx);");
    line("trv_stopchronomarkloop ( ", kRun, ",trv_local_state, ", end, ", 0, J0, \"\", 0, 0);");
    if (tracing()) {
        line("trv_flush_circular_buffer (", kRun, ", K_TRACECTX_MAX_PRIORITY);");
    }
    emit(R"(
        trv_end (&(trv_ctx->trv_ctxrun));
        #if QVM_DYNFLW
        trv_endoftester_tagtlk ( &(trv_ctx->trv_ctxrun) );
        priv_close_tagtlk ( &(trv_tagtsocket) );
        #endif /* QVM_DYNFLW */

    )");
}

void EntryWriter::entryEnd()
{
    if (options_.allocation == Allocation::Dynamic) {
        if (tracing()) {
            line("trv_free( (TRV_PT_VOID) ", kTraceContext, "trv_ctxbuffertrace );");
        }
        line("trv_free((TRV_PT_VOID) trv_ctx);");
    }
    if (options_.entryName == "<main>") {
        line("QVM_EXIT ((trv_local_state != 0));");
        line("return ( 0 );");
    } else {
        line("trv_thr_exit ((trv_local_state != 0));");
    }
    close();
}

std::string EntryWriter::stamp() const
{
    return options_.date + " " + std::to_string(options_.processId);
}

const Entry* EntryWriter::rootScenario() const
{
    const Entry* last = model_.global().last();
    return last != nullptr && last->code == ENT_SCENARIO ? last : nullptr;
}

std::vector<const Entry*> EntryWriter::declaredInstances() const
{
    std::vector<const Entry*> instances;
    for (const Entry& entry : model_.global().entries) {
        if (entry.code == ENT_INSTANCE_DECL) {
            instances.push_back(&entry);
        }
    }
    return instances;
}

}  // namespace qvm::codegen::program
