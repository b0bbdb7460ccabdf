#include "canalysis/cgloba.h"

#include <new>

namespace qvm::canalysis {

namespace {

std::vector<std::unique_ptr<LexContext>>& contextStack()
{
    static std::vector<std::unique_ptr<LexContext>> stack;
    return stack;
}

std::pair<std::string, int> currentPosition()
{
    if (const LexContext* context = currentLexContext()) {
        return {context->fileName, context->line};
    }
    return {std::string(), 0};
}

}  // namespace

LexContext* C_CPP_init_lex(LexContext* below, std::string_view fileName, int firstLine, std::size_t textCapacity,
                           std::size_t tableCapacity)
{
    try {
        auto context = std::make_unique<LexContext>();
        context->tokenText.reserve(textCapacity);
        context->table.reserve(tableCapacity);
        context->fileName = std::string(fileName);
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
    if (!contextStack().empty()) {
        contextStack().pop_back();
    }
}

LexContext* currentLexContext()
{
    return contextStack().empty() ? nullptr : contextStack().back().get();
}

LexScope::LexScope(std::string_view text, std::string_view fileName, int firstLine)
    : context_(C_CPP_init_lex(currentLexContext(), fileName, firstLine, 50, 50))
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

}  // namespace qvm::canalysis
