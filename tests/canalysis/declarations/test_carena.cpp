// Working records of the declaration grammar are emptied and used again from
// one declaration to the next: a record taken again must read as a fresh one.
#include "canalysis/declarations/cgloba.h"

#include <gtest/gtest.h>

#include <string>

namespace qvm::canalysis {
namespace {

TEST(DeclArena, RecordsTakenAgainAreEmpty)
{
    const Ident name = base::ident("arena_name");
    Arena arena;

    Declarator* declarator = arena.make<Declarator>();
    declarator->name = name;
    declarator->init = name;
    declarator->width = name;
    declarator->line = 12;
    declarator->ops.resize(3);
    DeclSpecs* specs = arena.make<DeclSpecs>();
    specs->storage = kTypedef;
    specs->type = C_CPP_new_type(kBasic);
    specs->spelling = "unsigned long long int spelled long enough";
    specs->qualifiers.push_back(name);
    specs->failed = true;
    specs->hasType = true;
    DeclaratorList* list = arena.make<DeclaratorList>();
    list->items.push_back(declarator);
    ParameterList* parameters = arena.make<ParameterList>();
    parameters->parameters.push_back({name, nullptr});
    parameters->names.push_back(name);

    arena.clear();

    Declarator* again = arena.make<Declarator>();
    EXPECT_EQ(again, declarator);
    EXPECT_EQ(again->name, nullptr);
    EXPECT_EQ(again->init, nullptr);
    EXPECT_EQ(again->width, nullptr);
    EXPECT_EQ(again->line, 0);
    EXPECT_TRUE(again->ops.empty());
    DeclSpecs* specsAgain = arena.make<DeclSpecs>();
    EXPECT_EQ(specsAgain, specs);
    EXPECT_EQ(specsAgain->storage, 0U);
    EXPECT_EQ(specsAgain->type, nullptr);
    EXPECT_TRUE(specsAgain->spelling.empty());
    EXPECT_TRUE(specsAgain->qualifiers.empty());
    EXPECT_FALSE(specsAgain->failed);
    EXPECT_FALSE(specsAgain->hasType);
    EXPECT_TRUE(arena.make<DeclaratorList>()->items.empty());
    ParameterList* parametersAgain = arena.make<ParameterList>();
    EXPECT_TRUE(parametersAgain->parameters.empty());
    EXPECT_TRUE(parametersAgain->names.empty());

    // More records of a kind than were emptied: the others are new.
    Declarator* second = arena.make<Declarator>();
    EXPECT_NE(second, declarator);
    EXPECT_EQ(second->name, nullptr);
}

// Each declaration after a richer one reads only its own parts.
TEST(DeclArena, LaterDeclsKeepNothingOld)
{
    C_CPP_reset_analysis();
    SymbolTable table;
    C_CPP_parse_decls("typedef const int *(*handler)(int a, char *b, ...);\n"
                      "struct s { unsigned k : 3; long v[4]; } s1 = {0}, *s2;\n"
                      "int plain;\n"
                      "char name[8];\n"
                      "double f();\n",
                      table, {}, "arena.h", 1, {});
    const auto image = [&](const char* name) {
        const Symbol* symbol = C_CPP_find_symbol(name, table, {});
        return symbol != nullptr ? C_CPP_decl_image(*symbol, true) : std::string("<none>");
    };
    EXPECT_EQ(image("plain"), "int plain;");
    EXPECT_EQ(image("name"), "char name[8];");
    EXPECT_EQ(image("f"), "double f();");
    EXPECT_EQ(image("s2"), "struct s *s2;");
    C_CPP_reset_analysis();
}

}  // namespace
}  // namespace qvm::canalysis
