// Lexer contexts and working records of the C analysis.
#include "canalysis/declarations/cgloba.h"

#include <malloc.h>
#include <pthread.h>

#include <exception>
#include <new>
#include <tuple>
#include <utility>

namespace qvm::canalysis {

namespace {

std::vector<std::unique_ptr<LexContext>>& contextStack()
{
    static std::vector<std::unique_ptr<LexContext>> stack;
    return stack;
}

// Contexts popped, kept for the next ones: a context is opened for every
// expression and type name of a script, and a fresh one costs several
// allocations.
std::vector<std::unique_ptr<LexContext>>& spareContexts()
{
    static std::vector<std::unique_ptr<LexContext>> spare;
    return spare;
}

constexpr std::size_t kSpareContexts = 4;

// A context as a new one is, keeping the room of its strings.
std::unique_ptr<LexContext> takeContext()
{
    std::vector<std::unique_ptr<LexContext>>& spare = spareContexts();
    if (spare.empty()) {
        return std::make_unique<LexContext>();
    }
    std::unique_ptr<LexContext> context = std::move(spare.back());
    spare.pop_back();
    *context = LexContext{};
    return context;
}

std::pair<std::string, int> currentPosition()
{
    if (const LexContext* context = currentLexContext()) {
        return {context->fileName, context->line};
    }
    return {std::string(), 0};
}

// Whether the calling code runs on the deep stack already.
bool& onDeepStack()
{
    static bool running = false;
    return running;
}

struct DeepWork {
    const std::function<void()>* work;
    std::exception_ptr failure;
};

void* runDeepWork(void* argument)
{
    auto* deep = static_cast<DeepWork*>(argument);
    try {
        (*deep->work)();
    } catch (...) {
        deep->failure = std::current_exception();
    }
    return nullptr;
}

}  // namespace

namespace {

constexpr std::size_t kSpareArenaBlocks = 8;

std::vector<std::unique_ptr<std::byte[]>>& spareArenaBlocks()
{
    static std::vector<std::unique_ptr<std::byte[]>> spare;
    return spare;
}

}  // namespace

std::unique_ptr<std::byte[]> Arena::takeBlock()
{
    auto& spare = spareArenaBlocks();
    if (spare.empty()) {
        return std::make_unique_for_overwrite<std::byte[]>(kBlockSize);
    }
    std::unique_ptr<std::byte[]> block = std::move(spare.back());
    spare.pop_back();
    return block;
}

void Arena::giveBack(std::vector<std::unique_ptr<std::byte[]>>& blocks)
{
    auto& spare = spareArenaBlocks();
    for (auto& block : blocks) {
        if (spare.size() == kSpareArenaBlocks) {
            break;
        }
        spare.push_back(std::move(block));
    }
    blocks.clear();
}

void runOnDeepStack(const std::function<void()>& work)
{
    // Reserved address space: pages are taken only as deep walks reach them.
    constexpr std::size_t kStackBytes = std::size_t{512} << 20;
    if (onDeepStack()) {
        work();
        return;
    }
    // One thread runs at a time: the deep-stack thread allocates from the
    // main heap, since a heap of its own grows a page or so at a time, each
    // step a system call.
    static const bool singleHeap = ::mallopt(M_ARENA_MAX, 1) != 0;
    (void)singleHeap;
    DeepWork deep{&work, nullptr};
    pthread_attr_t attributes;
    pthread_t thread;
    pthread_attr_init(&attributes);
    onDeepStack() = true;
    const bool started = pthread_attr_setstacksize(&attributes, kStackBytes) == 0 &&
                         pthread_create(&thread, &attributes, runDeepWork, &deep) == 0;
    pthread_attr_destroy(&attributes);
    if (started) {
        pthread_join(thread, nullptr);
    }
    onDeepStack() = false;
    if (!started) {
        report(CInternal, "ERRINTERN", "deep stack", {}, 0);
        return;
    }
    if (deep.failure) {
        std::rethrow_exception(deep.failure);
    }
}

LexContext* C_CPP_init_lex(LexContext* below, std::string_view fileName, int firstLine, std::size_t textCapacity)
{
    try {
        std::unique_ptr<LexContext> context = takeContext();
        context->tokenStore.reserve(textCapacity);
        context->fileName = fileName;
        context->line = firstLine;
        context->below = below;
        contextStack().push_back(std::move(context));
    } catch (const std::bad_alloc&) {
        report(CInternal, "ERRINTERN", "C_CPP_init_lex", fileName, firstLine);
        return nullptr;
    }
    installPositionProvider(currentPosition);
    return contextStack().back().get();
}

void C_CPP_end_lex()
{
    std::vector<std::unique_ptr<LexContext>>& stack = contextStack();
    if (stack.empty()) {
        return;
    }
    if (spareContexts().size() < kSpareContexts) {
        spareContexts().push_back(std::move(stack.back()));
    }
    stack.pop_back();
}

LexContext* currentLexContext()
{
    return contextStack().empty() ? nullptr : contextStack().back().get();
}

namespace {

// Room reserved at first in a context for the token text.
constexpr std::size_t kInitialTokenRoom = 50;

}  // namespace

LexScope::LexScope(std::string_view text, std::string_view fileName, int firstLine)
    : context_(C_CPP_init_lex(currentLexContext(), fileName, firstLine, kInitialTokenRoom))
{
    context_->text = text;
}

LexScope::~LexScope()
{
    C_CPP_end_lex();
}

void reportLex(int severity, std::string_view code, std::string_view argument)
{
    const auto [file, line] = currentPosition();
    report(severity, code, argument, file, line);
}

LexerSwitches& lexerSwitches()
{
    static LexerSwitches switches;
    return switches;
}

void resetLexerSwitches()
{
    lexerSwitches() = LexerSwitches{};
}

namespace {

RefusedSyntax& refusedSyntax()
{
    static RefusedSyntax refused;
    return refused;
}

}  // namespace

void noteRefusedSyntax()
{
    RefusedSyntax& refused = refusedSyntax();
    if (refused.count++ == 0) {
        std::tie(refused.file, refused.line) = currentPosition();
    }
}

RefusedSyntax C_CPP_take_refused_syntax()
{
    return std::exchange(refusedSyntax(), RefusedSyntax{});
}

}  // namespace qvm::canalysis
