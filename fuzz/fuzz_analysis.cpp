// The whole analysis of a script on arbitrary bytes: the input is parsed as
// the script and, when the parse counted no error (as the driver decides),
// analysed against a small fixed interface declared through the bridge.
// The options of the analysis (trace level, instance, fast mode) are drawn
// from the input's size so that every setting gets its share of inputs.
// Run with the keyword dictionary: -dict=fuzz/fuzz_script.dict
#include "diag/catalog.h"
#include "diag/i18nerrgest.h"
#include "script/ancgest.h"
#include "script/prtanac.h"
#include "script/sempti.h"
#include "script/stxpti.h"
#include "script_input.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace {

// Message structures with nested unions and arrays, an enumeration, a
// typedef chain, a bit-field, connection identifier types and functions of
// every parameter shape, so that random names often hit something real.
constexpr std::string_view kInterface = R"(
#define LIMIT 8
#define OK 0
typedef unsigned char u8;
typedef unsigned short u16;
typedef u16 door_id;
typedef int link_t;
typedef struct { u8 port; u16 address; } port_t;
typedef port_t *bus_t;
typedef enum { CLOSED, OPENING, OPEN = 4, CLOSING } state_t;
typedef struct { u16 id; u16 length; unsigned int sequence; } header_t;
typedef struct { unsigned int released : 1; unsigned int obstacle : 1; unsigned int spare : 6; } flags_t;
typedef struct {
    header_t header;
    state_t state;
    u8 mask;
    union { struct { u8 speed; u8 platform; } release; u16 force; char text[12]; } param;
} command_t;
typedef struct {
    header_t header;
    struct { door_id door; state_t state; flags_t flags; short position; } doors[LIMIT];
    char name[16];
} status_t;
extern status_t last_status;
extern command_t last_command;
extern int counter;
extern long total;
extern double voltage;
extern const char *version;
extern char name[16];
extern u16 cycles[LIMIT];
extern state_t requested;
int open_doors(state_t side, u8 mask);
void stop(void);
long uptime(void);
int log_text(const char *format, ...);
int legacy();
link_t connect_link(const char *host, int port);
int receive(link_t link, void *buffer, unsigned int size);
state_t door_state(door_id door);
)";

void declareInterface()
{
    qvm::script::resetCAnalysis();
    qvm::script::resetNativeTypes();
    qvm::script::startCAnalysis(qvm::script::CModeNeither, {}, {}, {});
    qvm::script::declareCText(kInterface, {}, "fuzz.h", 1);
}

qvm::script::AnalysisOptions optionsFor(std::size_t size, int scriptFlags)
{
    static constexpr std::array<int, 5> kTraceLevels{0, 5, 10, 20, 50};
    qvm::script::AnalysisOptions options;
    options.traceLevel = kTraceLevels[size % kTraceLevels.size()];
    options.fast = size % 2 == 0;
    options.scriptFlags = scriptFlags;
    if (size % 3 == 1) {
        options.instance = "one";
    } else if (size % 3 == 2) {
        options.scenarios = {"outer.inner"};
        options.families = {"f"};
    }
    return options;
}

void analyse(const std::string& script)
{
    qvm::script::ParseOptions parseOptions;
    parseOptions.reader = qvm::fuzz::inMemoryScript(script, "PROC included ( )\n  CALL stop()\nEND PROC\n");
    parseOptions.comments = script.size() % 2 == 0;
    declareInterface();
    const qvm::script::ParsedScript parsed = qvm::script::parseScript("fuzz.pts", parseOptions);
    if (parsed.root == nullptr || qvm::diag::errorCount() != 0) {
        return;
    }
    const auto options = optionsFor(script.size(), parsed.scriptFlags);
    const qvm::script::AnalysisResult result = qvm::script::analyseScript(parsed.root, parsed.sourceFiles, options);
    (void)result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool catalogsReady = (qvm::diag::registerBuiltinCatalogs(), true);
    (void)catalogsReady;
    qvm::diag::setConsoleSink([](std::string_view) {});

    const std::string script(reinterpret_cast<const char*>(data), size);
    try {
        analyse(script);
    } catch (const qvm::RunAbort&) {
        // A fatal or internal report ends a run; here it ends one input.
    }
    qvm::script::endCAnalysis();
    qvm::diag::resetRun();
    return 0;
}
