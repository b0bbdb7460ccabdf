// Interfaces far larger than usual: every item of a huge enum, struct or
// typedef chain is entered, and enumerators named in array dimensions are
// still replaced by their values when there are tens of thousands of them.
#include "base/mstrid.h"
#include "canalysis/declarations/ctabsy.h"

#include <gtest/gtest.h>

#include <string>

namespace qvm::canalysis {
namespace {

class LargeIface : public ::testing::Test {
protected:
    void SetUp() override { C_CPP_reset_analysis(); }
    void TearDown() override { C_CPP_reset_analysis(); }

    void parse(const std::string& text)
    {
        C_CPP_parse_decls(text, table_, "", "big.h", 1,
                          [this](int, std::string_view code, std::string_view, std::string_view, int) {
                              ++reports_;
                              ADD_FAILURE() << "unexpected report " << code;
                          });
    }

    const CType* typeOf(const std::string& name)
    {
        const Symbol* symbol = C_CPP_find_symbol(name, table_, "");
        return symbol != nullptr ? symbol->type.get() : nullptr;
    }

    SymbolTable table_;
    int reports_ = 0;
};

constexpr int kItems = 60000;

TEST_F(LargeIface, Struct60000FieldsInOrder)
{
    std::string text = "struct big {\n";
    for (int i = 0; i < kItems; ++i) {
        text += "    int f" + std::to_string(i) + ";\n";
    }
    parse(text + "};\nstruct big whole;\n");
    const CType* type = typeOf("whole");
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(C_CPP_scalar_count(type), kItems);
    EXPECT_EQ(C_CPP_field_index(type, base::ident("f0")), 1);
    EXPECT_EQ(C_CPP_field_index(type, base::ident("f59999")), kItems);
}

TEST_F(LargeIface, EnumDims60000Replaced)
{
    std::string text = "enum big {\n";
    for (int i = 0; i < kItems; ++i) {
        text += "    E" + std::to_string(i) + (i == 30000 ? " = BASE" : "") + ",\n";
    }
    parse(text + "};\nchar first[E1];\nchar later[E30002 * 2];\nchar last[E59999];\n");
    EXPECT_EQ(C_CPP_type_image(typeOf("first"), "first"), "char first[1]");
    EXPECT_EQ(C_CPP_type_image(typeOf("later"), "later"), "char later[(BASE+2) * 2]");
    EXPECT_EQ(C_CPP_type_image(typeOf("last"), "last"), "char last[(BASE+29999)]");
}

TEST_F(LargeIface, TypedefChain60000Links)
{
    std::string text = "typedef unsigned short t0;\n";
    for (int i = 0; i < kItems; ++i) {
        text += "typedef t" + std::to_string(i) + " t" + std::to_string(i + 1) + ";\n";
    }
    parse(text + "t60000 deepest;\n");
    const CType* type = typeOf("deepest");
    ASSERT_NE(type, nullptr);
    while (type->kind == kTypedefName) {
        type = type->target.get();
    }
    EXPECT_EQ(C_CPP_type_image(type), "unsigned short");
    EXPECT_EQ(type->size, 16);
}

}  // namespace
}  // namespace qvm::canalysis
