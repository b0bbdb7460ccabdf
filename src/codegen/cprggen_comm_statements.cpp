// Communication statements: SEND, WAITTIL with its condition function,
// DEF_MESSAGE, ADD_ID, RENDEZVOUS and the exchanges between testers.
#include "codegen/cprggen_comm.h"

#include "diag/i18nerrgest.h"

#include <algorithm>

namespace qvm::codegen::program {

using namespace script::sem;

namespace {

const Entry* structureOf(const Entry& message)
{
    return message.data<MessageVarData>().structure;
}

// "trv_msg_<type>[<index>]": the table entry of a message variable, as a
// piece of a line.
struct MessageTable {
    const Entry& message;
};

auto pieceParts(const MessageTable& table)
{
    const auto& data = table.message.data<MessageVarData>();
    return std::tuple<std::string_view, std::string_view, char, int, char>("trv_msg_", data.structure->name, '[',
                                                                           data.index, ']');
}

// "trv_channel_<commtype>[<index>]": the table entry of a channel.
struct ChannelTable {
    const Entry& channel;
};

auto pieceParts(const ChannelTable& table)
{
    const auto& data = table.channel.data<ChannelData>();
    return std::tuple<std::string_view, std::string_view, char, int, char>("trv_channel_", data.commtype->name, '[',
                                                                           data.index, ']');
}

int typeIndexOf(const Entry& channel)
{
    return channel.data<ChannelData>().commtype->data<CommtypeData>().typeIndex;
}

// Whether a piece's message is received on the channel of a polling pair.
bool pieceOnChannel(const Entry& piece, const Entry& channel, const std::vector<const Entry*>& pairs)
{
    const auto& data = piece.data<MatchPieceData>();
    if (data.channel != nullptr) {
        return data.channel == &channel;
    }
    return std::any_of(pairs.begin(), pairs.end(), [&](const Entry* pair) {
        const auto& polled = pair->data<PollPairData>();
        return polled.channel == &channel && polled.message == data.message;
    });
}

}  // namespace

const Entry* CommWriter::onlyDefinitionOf(const Entry& message) const
{
    const auto found = definitionsByMessage_.find(&message);
    return found != definitionsByMessage_.end() && found->second.first == 1 ? found->second.second : nullptr;
}

// ---- SEND ----

void CommWriter::send(const Entry& entry)
{
    const auto& data = entry.data<SendData>();
    const auto& channel = data.channel->data<ChannelData>();
    emit(R"(
        trv_$type$_send = &$message$;
        #if QVM_DYNFLW
        trv_send_tsf ( &(trv_ctx->trv_ctxrun), $element$, $file$);
        #endif /* QVM_DYNFLW */

        trv_send( &(trv_ctx->trv_ctxrun),$number$, "$message$");
         {
          TRV_T_INT trv_i,trv_psret=0;
          trv_rio_on(&(trv_ctx->trv_ctxrun));
          for (trv_i=0;trv_i<trv_channel_$commtype$[$channel$].trv_numberofId;trv_i++)
           {
            trv_rio_off(&(trv_ctx->trv_ctxrun));
            trv_psret = trv_$procsend$ (trv_ctx,$channel$,trv_i);
            trv_rio_on(&(trv_ctx->trv_ctxrun));
            if (trv_psret==1)
             {
              #ifdef TRV_OSTREL_DEBUG
              trv_debug_state=1;
              #endif
              break;
             }
           }
          trv_$type$_dump_msg (trv_ctx, &$message$);
          trv_end_send( &(trv_ctx->trv_ctxrun),trv_psret,$end$);
          #ifdef TRV_OSTREL_DEBUG
          #else
          if (trv_psret)
          return ( 1 );
          #endif
         }
    )",
         {{"type", structureOf(*data.message)->name},
          {"message", data.message->name},
          {"element", element(entry)},
          {"file", entry.fileId()},
          {"number", number(entry)},
          {"commtype", channel.commtype->name},
          {"channel", channel.index},
          {"procsend", data.procsend->name},
          {"end", endNumber(entry)}});
}

// ---- WAITTIL ----

CommWriter::WaittilEntries CommWriter::waittilEntries(const Entry& waittil)
{
    WaittilEntries found;
    for (const Entry& entry : waittil.descriptor->subScope->entries) {
        if (entry.code == ENT_MATCH_PIECE) {
            found.pieces.push_back(&entry);
        } else if (entry.code == ENT_POLL_PAIR) {
            found.pairs.push_back(&entry);
        }
    }
    return found;
}

void CommWriter::waittil(const Entry& entry)
{
    const WaittilEntries entries = waittilEntries(entry);
    const std::vector<const Entry*>& pieces = entries.pieces;
    open();
    emit(R"(
        TRV_T_INT trv_end_waittil_debug=0;
        #ifdef TRV_OSTREL_DEBUG
        TRV_T_INT trv_continue_debug=0;
        #endif
    )");
    waittilChecks(entry, entries);
    line("else");
    open();
    emit(R"(
        TRV_T_INT trv_i, trv_ret, trv_cbret, trv_rcv;
        TRV_T_INT trv_exprOK=0, trv_exprKO=0;
        TRV_T_UTIME trv_wtime_0, trv_t0, trv_tn, trv_tn1, trv_tnow;
        trv_initstates (trv_ctx);
        #if QVM_DYNFLW
        trv_begin_waittil_tsf ( &(trv_ctx->trv_ctxrun), $element$, $file$);
        #endif /* QVM_DYNFLW */
        trv_waittil (&(trv_ctx->trv_ctxrun), $number$);
        trv_wtime = 0;
        trv_t0 = trv_getevtdate (&(trv_ctx->trv_ctxrun));
        trv_tn = trv_t0 ;
        trv_tn1=trv_tn+trv_gran;
    )",
         {{"element", element(entry) - 1}, {"file", entry.fileId()}, {"number", number(entry)}});
    waittilPolling(entry, entries);
    waittilResult(entry, pieces);
    close();
    out_.ifdef("TRV_OSTREL_DEBUG");
    line("trv_debug_state |= trv_continue_debug;");
    out_.endif();
    close();
}

// The messages must be defined, and their channels must have a connection.
void CommWriter::waittilChecks(const Entry& waittil, const WaittilEntries& entries)
{
    const std::vector<const Entry*>& pieces = entries.pieces;
    const auto failure = [&](std::string_view call) {
        open();
        line("trv_", call, "(", kRun, ", ", number(waittil), ");");
        debugFrame({"trv_continue_debug = 1;"}, {"return ( 1 );"});
        close();
    };
    line("if (0");
    for (const Entry* piece : pieces) {
        line("||(!", MessageTable{*piece->data<MatchPieceData>().message}, ".trv_defNumber)");
    }
    line(")");
    failure("nodefmsg");
    if (pieces.empty()) {
        return;  // a WAITTIL on time alone needs no connection
    }
    line("else if (!(0");
    const std::vector<const Entry*>& pairs = entries.pairs;
    for (const Entry* piece : pieces) {
        const auto& data = piece->data<MatchPieceData>();
        if (data.channel != nullptr) {
            line("||(", ChannelTable{*data.channel}, ".trv_numberofId)");
            continue;
        }
        for (const Entry* pair : pairs) {
            const auto& polled = pair->data<PollPairData>();
            if (polled.message == data.message) {
                line("||(", ChannelTable{*polled.channel}, ".trv_numberofId)");
            }
        }
    }
    line("))");
    failure("noaddid");
}

// The time left before the limit that WTIME is compared with. The time
// waited is unsigned; a limit that is not a plain number (a variable, an
// expression, a negative number) is compared with it as a signed long, so
// that a negative limit leaves no time.
void CommWriter::remainingTime(std::string_view limit)
{
    const bool plainNumber =
        !limit.empty() && std::all_of(limit.begin(), limit.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (plainNumber) {
        line("TRV_TIMEOUT = ( (((trv_tnow - trv_t0)/TRV_WTIME_TO_TIME) < ", limit, ") ? (", limit,
             " - (trv_tnow - trv_t0)/TRV_WTIME_TO_TIME) : 0);");
        return;
    }
    const std::string waited = "(TRV_T_LONG)((trv_tnow - trv_t0)/TRV_WTIME_TO_TIME)";
    const std::string signedLimit = "(TRV_T_LONG)(" + std::string(limit) + ")";
    line("TRV_TIMEOUT = ( ((", waited, ") < ", signedLimit, ") ? (TRV_T_ULONG)(", signedLimit, " - ", waited,
         ") : 0);");
}

void CommWriter::waittilPolling(const Entry& waittil, const WaittilEntries& entries)
{
    emit(R"(
        for (;
        #ifdef TRV_OSTREL_DEBUG
        !trv_continue_debug &&
        #endif
        !trv_end_waittil_debug;)
         {
          trv_rcv = 0;
          trv_tnow = trv_getevtdate (&(trv_ctx->trv_ctxrun));
          while (trv_tnow >= trv_tn1)
           {
            trv_tn = trv_tn1 ;
            trv_tn1=trv_tn+trv_gran;
           }
    )");
    remainingTime(waittil.data<WaittilData>().texts->limit);
    const std::vector<const Entry*>& pairs = entries.pairs;
    for (const Entry* commtype : commtypes_) {
        bool named = false;
        for (const Entry* channel : commtype->data<CommtypeData>().channels) {
            const auto pair = std::find_if(pairs.begin(), pairs.end(),
                                           [&](const Entry* p) { return p->data<PollPairData>().channel == channel; });
            if (pair == pairs.end()) {
                continue;
            }
            if (!named) {
                line("/* CommType ", commtype->name, " */");
                named = true;
            }
            line("/* Channel ", channel->name, " */");
            receiveStep(waittil, *(*pair)->data<PollPairData>().structure, *channel, entries);
        }
    }
    emit(R"(
        if (!trv_end_waittil_debug
        #ifdef TRV_OSTREL_DEBUG
        && !trv_continue_debug
        #endif
        )
         {
          trv_wtime_0 = trv_getwtime(&(trv_ctx->trv_ctxrun));
    )");
    waitTest(waittil);
    emit(R"(
        if (!trv_rcv)
         {
          trv_tnow = trv_getevtdate (&(trv_ctx->trv_ctxrun));
          while (trv_tnow < trv_tn1)
           {
            trv_sleep(trv_tn1-trv_tnow);
            trv_tnow = trv_getevtdate (&(trv_ctx->trv_ctxrun));
           }
         }
    )");
    close();
    close();
}

void CommWriter::receiveStep(const Entry& waittil, const Entry& structure, const Entry& channel,
                                const WaittilEntries& entries)
{
    const std::vector<const Entry*>& pairs = entries.pairs;
    const ModelText type = structure.name;
    const auto& channelData = channel.data<ChannelData>();
    const Entry& commtype = *channelData.commtype;
    const bool multiplexed = commtype.data<CommtypeData>().multiplexing;
    const Entry* callback = nullptr;
    for (const Entry* pair : pairs) {
        if (pair->data<PollPairData>().channel == &channel) {
            callback = pair->data<PollPairData>().callback;
        }
    }
    const std::string callbackName = callback != nullptr ? std::string(callback->name) : type + "_ON_" + commtype.name;
    line("/* Type message ", type, " */");
    if (!multiplexed) {
        emit(R"(
            for (trv_i=0;
            #ifdef TRV_OSTREL_DEBUG
            !trv_continue_debug&&
            #endif
            !trv_end_waittil_debug && trv_i<trv_channel_$commtype$[$index$].trv_numberofId;trv_i++)
             {
        )",
             {{"commtype", commtype.name}, {"index", channelData.index}});
    }
    emit(R"(
        trv_ret = 0;
        trv_rio_off(&(trv_ctx->trv_ctxrun));
        trv_cbret=trv_$callback$(trv_ctx,$arguments$);
        trv_rio_on(&(trv_ctx->trv_ctxrun));
        if (trv_cbret== 1)
         {
    )",
         {{"callback", callbackName}, {"arguments", text(channelData.index) + (multiplexed ? "" : ",trv_i")}});
    waittilEnd(waittil, 2, type);
    debugFrame({"trv_continue_debug = 1;", "break;"}, {"return ( 1 );"});
    close();
    emit(R"(
        if (trv_cbret==TRV_MESSAGE_READ)
         {
          trv_rcv |= 1;
          trv_evt (&(trv_ctx->trv_ctxrun),$structure$,$channel$,0," ");
          #if QVM_DYNFLW
          trv_waittil_tsf ( &(trv_ctx->trv_ctxrun), "$type$", $element$, $file$);
          #endif /* QVM_DYNFLW */
          trv_$type$_dump_msg (trv_ctx, &(trv_$type$_rcv));
          trv_endevt (&(trv_ctx->trv_ctxrun),$end$);
    )",
         {{"structure", number(structure)},
          {"channel", number(channel)},
          {"type", type},
          {"element", element(waittil)},
          {"file", waittil.fileId()},
          {"end", endNumber(structure)}});
    std::vector<const Entry*> compared;
    for (const Entry* piece : entries.pieces) {
        const Entry& message = *piece->data<MatchPieceData>().message;
        if (structureOf(message) != &structure || !pieceOnChannel(*piece, channel, pairs) ||
            std::find(compared.begin(), compared.end(), &message) != compared.end()) {
            continue;
        }
        compared.push_back(&message);
        const auto state = [&](std::string_view result) {
            line(MessageTable{message}, ".trv_state_channel[", typeIndexOf(channel), "][", channelData.index, "]|=",
                 result, ";");
        };
        line("if (trv_", type, "_cmp_msg(trv_ctx, &(", MessageTable{message}, "),&(trv_", type, "_rcv)))");
        open();
        // One definition tells which value matched; several leave it to the reference function.
        if (const Entry* definition = onlyDefinitionOf(message)) {
            line("trv_def_msg(", kRun, ",", number(*definition), ");");
        }
        line("trv_ret=1;");
        state("TRV_EVTOK");
        close();
        line("else");
        open();
        state("TRV_EVTKO");
        close();
    }
    close();
    emit(R"(
        if (trv_ret)
         {
          trv_wtime_0 = trv_logdate / trv_gran;
         }
        else
         {
          trv_wtime_0 = trv_getwtime(&(trv_ctx->trv_ctxrun));
         }
    )");
    waitTest(waittil);
    if (!multiplexed) {
        close();
    }
}

void CommWriter::waitTest(const Entry& waittil)
{
    const auto& data = waittil.data<WaittilData>();
    emit(R"(
        if (trv_WAIT_$condition$(trv_ctx, &trv_exprOK, &trv_exprKO, trv_wtime_0$arguments$))
         {
          trv_end_waittil_debug = 1;
          break;
         }
    )",
         {{"condition", data.number}, {"arguments", data.texts->context.arguments}});
}

void CommWriter::waittilResult(const Entry& waittil, const std::vector<const Entry*>& pieces)
{
    out_.ifdef("TRV_OSTREL_DEBUG");
    line("if (!trv_continue_debug)");
    open();
    out_.endif();
    for (const Entry* piece : pieces) {
        const auto& data = piece->data<MatchPieceData>();
        const std::string_view type = structureOf(*data.message)->name;
        line("trv_state ( ", kRun, ", (", data.code, "), ", number(*piece), ");");
        line("trv_", type, "_ref_msg (trv_ctx, &(", MessageTable{*data.message}, "));");
    }
    const std::string_view typeName =
        pieces.empty() ? std::string_view("<not defined>") : structureOf(*pieces.front()->data<MatchPieceData>().message)->name;
    line("if (trv_exprKO)");
    open();
    waittilEnd(waittil, 1, typeName);
    debugFrame({"trv_continue_debug = 1;"}, {"return ( 1 );"});
    close();
    line("else if (trv_exprOK)");
    open();
    waittilEnd(waittil, 0, typeName);
    close();
    out_.ifdef("TRV_OSTREL_DEBUG");
    close();
    out_.endif();
}

void CommWriter::waittilEnd(const Entry& waittil, int result, std::string_view typeName)
{
    emit(R"(
        #if QVM_DYNFLW
        trv_end_waittil_tsf ( &(trv_ctx->trv_ctxrun), $element$, $file$, $result$);
        #endif /* QVM_DYNFLW */
        trv_endwaittil(&(trv_ctx->trv_ctxrun), $result$, $end$, "$type$");
    )",
         {{"element", numbering_.elements.find(waittil).end},
          {"file", waittil.fileId()},
          {"result", result},
          {"end", endNumber(waittil)},
          {"type", typeName}});
}

// The failure condition is evaluated first; the logical time catches up
// with the time of the event one tick per pass.
void CommWriter::waitFunction(int number)
{
    const auto found = index_.waittils.find(number);
    if (found == index_.waittils.end()) {
        return;
    }
    const WaittilTexts& texts = *found->second->data<WaittilData>().texts;
    const WaitContext& context = texts.context;
    for (const std::string& name : context.hidden) {
        diag::reportLocated(diag::Warning, "WAITYPLOC", name, found->second->fileName(), found->second->line);
    }
    for (const std::string& typeDefinition : context.typedefs) {
        line(typeDefinition);
    }
    Parameters parameters{{"TRV_T_INT *", "trv_exprOK"}, {"TRV_T_INT *", "trv_exprKO"}, {"TRV_T_UTIME", "trv_wtime_0"}};
    parameters.insert(parameters.end(), context.parameters.begin(), context.parameters.end());
    prototype("static TRV_T_INT trv_WAIT_" + text(number), parameters);
    open();
    for (const auto& [name, alias] : context.aliases) {
        out_.define(name, alias);
    }
    for (const std::string& timer : context.timers) {
        line(timer);
    }
    line("TRV_T_INT trv_ret=0;");
    line("do");
    open();
    scriptLine(*found->second);
    line("if ((*trv_exprKO = (", texts.timeoutCode, ")))");
    generatedLines();
    open();
    line("trv_ret=1;");
    close();
    scriptLine(*found->second);
    line("if ((*trv_exprOK = (", texts.conditionCode, ")))");
    generatedLines();
    open();
    line("trv_ret=1;");
    close();
    line("if (trv_wtime <= trv_wtime_0)");
    open();
    line("trv_wtime++;");
    close();
    close();
    line("while ((trv_wtime<=trv_wtime_0)&&(!trv_ret));");
    line("trv_wtime = trv_wtime_0;");
    line("return trv_ret;");
    for (const auto& alias : context.aliases) {
        out_.undefine(alias.first);
    }
    close();
}

// ---- other statements ----

void CommWriter::defMessage(const Entry& definition)
{
    const auto& data = definition.data<DefMessageData>();
    line(MessageTable{*data.message}, ".trv_defNumber = ", data.number, ";");
    if (data.tree) {
        vars_.locateWalk(definition);
        vars_.walkTree(data.tree.root(), data.message->name, WalkMode::Init);
    }
}

void CommWriter::addId(const Entry& entry)
{
    const auto& data = entry.data<ChannelOpData>();
    const std::string channel = joinedPieces(ChannelTable{*data.channelEntry});
    const std::string slot = channel + ".trv_connexionId[" + channel + ".trv_numberofId]";
    line("if (", channel, ".trv_numberofId<TRV_K_ID_SIZE)");
    open();
    if (data.constant) {
        line(slot, " = ", data.id, ";");
    } else {
        line("trv_memcpy(&(", slot, "),");
        line("&", data.id, ", sizeof (", data.id, "));");
    }
    line("++", channel, ".trv_numberofId;");
    close();
    emit(R"(
        else
         {
          trv_numofid(&(trv_ctx->trv_ctxrun), $n$);
    )",
         {{"n", number(entry)}});
    debugResult("1");
    close();
}

void CommWriter::rendezvous(const Entry& entry)
{
    if (const auto members = rendezvousMembers_.find(&entry);
        members != rendezvousMembers_.end() && !members->second.empty()) {
        nameTable(members->second, "trv_rdv_members");
    }
    const auto reached = [&](int result) {
        emit(R"(
            #if QVM_DYNFLW
            trv_rdv_reached_tsf ( &(trv_ctx->trv_ctxrun), $result$, $element$, $file$);
            #endif /* QVM_DYNFLW */

            trv_ardv(&(trv_ctx->trv_ctxrun),$n$,$result$, "$name$");
        )",
             {{"result", result}, {"element", element(entry)}, {"file", entry.fileId()}, {"n", number(entry)},
              {"name", entry.name}});
    };
    emit(R"(
        trv_brdv(&(trv_ctx->trv_ctxrun),$n$, "$name$");
        if (trv_rdv("$name$"))
         {
    )",
         {{"n", number(entry)}, {"name", entry.name}});
    reached(1);
    debugResult("1");
    close();
    line("else");
    open();
    reached(0);
    close();
}

void CommWriter::interSend(const Entry& entry)
{
    const auto& data = entry.data<InterData>();
    const bool integer = data.firstClass == 2 || data.firstClass == 3;
    const std::string message = integer ? "trv_local_int2string" : data.first;
    if (integer) {
        // The number is converted to the type its format reads: a long (or
        // a long long) is written with "%ld".
        const bool isLong = data.firstClass == 3;
        open();
        line("char trv_local_int2string[QVM_TAGTBUF_SIZE];");
        line("trv_sprintf (trv_local_int2string, ", isLong ? "\"%ld\", (TRV_T_LONG)(" : "\"%d\", (TRV_T_INT)(",
             data.first, "));");
    }
    emit(R"(
        #if QVM_DYNFLW
        trv_intersend_tsf ( &(trv_ctx->trv_ctxrun), $element$, $file$, $to$);
        #endif /* QVM_DYNFLW */
        if (trv_intersend (&(trv_ctx->trv_ctxrun), $message$, $to$))
         {
          trv_isend (&(trv_ctx->trv_ctxrun), $n$, 1, $message$, $to$);
    )",
         {{"element", element(entry)}, {"file", entry.fileId()}, {"to", data.second}, {"message", message},
          {"n", number(entry)}});
    debugResult("1");
    close();
    line("else");
    open();
    line("trv_isend (", kRun, ", ", number(entry), ", 0, ", message, ", ", data.second, ");");
    close();
    if (integer) {
        close();
    }
    emptyLine();
}

void CommWriter::interReceive(const Entry& entry)
{
    const auto& data = entry.data<InterData>();
    const std::string n = text(number(entry));
    const bool integer = data.second.empty();
    const auto failed = [&](std::string_view result) {
        line("trv_end_irecv (", kRun, ", ", n, ", ", result, ", NULL, NULL);");
        debugResult("1");
    };
    const auto received = [&] {
        emit(R"(
            #if QVM_DYNFLW
            trv_interrecv_tsf ( &(trv_ctx->trv_ctxrun), $element$, $file$, trv_loc_info, trv_loc_tstemit);
            #endif /* QVM_DYNFLW */

            trv_end_irecv (&(trv_ctx->trv_ctxrun), $n$, 0, trv_loc_tstemit, trv_loc_info);
        )",
             {{"element", element(entry)}, {"file", entry.fileId()}, {"n", n}});
    };
    open();
    line("char *trv_loc_tstemit = NULL;");
    line("char *trv_loc_info = NULL;");
    if (integer) {
        line("char trv_local_interrecv_msg[QVM_TAGTBUF_SIZE];");
    }
    emit(R"(

        trv_irecv (&(trv_ctx->trv_ctxrun), $n$);
        if (priv_interrecv (&(trv_tagtsocket), trv_tagttimeout, $buffer$, &trv_loc_tstemit, &trv_loc_info))
         {
    )",
         {{"n", n},
          {"buffer", integer ? "trv_local_interrecv_msg, QVM_TAGTBUF_SIZE" : data.first + ", " + data.second}});
    failed("2");
    close();
    line("else");
    open();
    if (integer) {
        // An integer variable is written through its address.
        const bool variable = data.firstClass == 2 || data.firstClass == 3;
        line("*(", (variable ? "&(" + data.first + ")" : data.first), ") = atoi (trv_loc_info);");
        received();
    } else {
        line("if (", data.first, "[0]=='\\0')");
        open();
        failed("1");
        close();
        line("else");
        open();
        received();
        close();
    }
    close();
    close();
    emptyLine();
}

}  // namespace qvm::codegen::program
