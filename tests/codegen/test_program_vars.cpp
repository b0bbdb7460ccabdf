// VAR statements and native calls in the generated program: the checks,
// assignments and dumps each value writes, numbered as the TDC writer
// numbers them (constructs from 7 for a script of one file).
#include "codegen/test_program_support.h"

#include <gmock/gmock.h>

namespace {

using qvm::testing::program::GenProg;
using ::testing::HasSubstr;
using ::testing::Not;

const std::string kVarInterface =
    "typedef struct { int id; char tag; long total; } item_t;\n"
    "typedef union { int whole; char bytes[4]; } word_t;\n"
    "typedef struct { int kind; word_t w; } tagged_t;\n"
    "int count;\n"
    "char letter;\n"
    "long big;\n"
    "double gain;\n"
    "char name[8];\n"
    "char *text;\n"
    "item_t item;\n"
    "item_t other;\n"
    "int table[4];\n"
    "int grid[2][3];\n"
    "tagged_t tagged;\n"
    "word_t spare;\n"
    "int compute(int a, int *out);\n"
    "void reset(void);\n"
    "int greet(const char *who);\n"
    "item_t make_item(void);\n"
    "const char *get_text(void);\n";

const std::string kHead = "HEADER \"t\", \"1\", \"x\"\n#int bench;\n";

class VarProg : public GenProg {
protected:
    // The scenario's body as generated, for one script body.
    std::string body(const std::string& statements, const std::string& declarations = {})
    {
        writersNumber = true;
        const std::string text =
            generate(kHead + declarations + "SCENARIO main\n" + statements + "END SCENARIO\n", options(), {}, kVarInterface);
        const std::size_t from = text.find("static TRV_T_INT trv_S");
        const std::size_t to = text.find("TRV_T_INT main");
        return from == std::string::npos ? text : text.substr(from, to - from);
    }
};

// The script header takes E7, the root scenario S8 and main S9: a first VAR's K record is 10.
TEST_F(VarProg, ExpectedScalarsChecked)
{
    const std::string text = body("  VAR count, EV=3\n");
    EXPECT_THAT(text, HasSubstr("  trv_var_va ( &(trv_ctx->trv_ctxrun),10 );\n"
                                "  trv_var_int_c (&(trv_ctx->trv_ctxrun),11, (TRV_T_INT) count,(TRV_T_INT) 3,"
                                "TRV_P_BASE10, I0, -1 );\n"
                                "  trv_flagrt = trv_end_var_va ( &(trv_ctx->trv_ctxrun),12 );\n"
                                "  if (trv_flagrt != 0)\n"
                                "   {\n"
                                "#ifdef TRV_OSTREL_DEBUG\n"
                                "    trv_debug_state = 1;\n"
                                "#else\n"
                                "    return ( 1 );\n"
                                "#endif\n"
                                "   }\n"));
}

TEST_F(VarProg, InitsCastToTheirClass)
{
    const std::string text = body("  VAR count, INIT=3\n  VAR gain, INIT=1.5\n  VAR name, INIT=\"abc\"\n"
                                  "  VAR item, INIT={id => 4, total => 9}\n");
    EXPECT_THAT(text, HasSubstr("  count = (TRV_T_INT) 3;\n  gain = (TRV_T_DOUBLE) 1.5;\n"
                                "  trv_strcpy(name,\"abc\");\n"
                                "  item.id = (TRV_T_INT) 4;\n  item.total = (TRV_T_LONG) 9;\n"));
    EXPECT_THAT(text, Not(HasSubstr("trv_var_va")));
    EXPECT_THAT(text, Not(HasSubstr("trv_varstruct")));
}

// Integers have no octal base: FORMAT OCT gives them base 10, characters base 8.
TEST_F(VarProg, FormatCodesSelectTheDisplayBase)
{
    const std::string text = body("  VAR count, EV=1\n  VAR letter, EV='a'\n  VAR big, EV=2\n",
                                  "FORMAT= count # integer OCT\nFORMAT= letter # char OCT\nFORMAT= big # integer BIN\n");
    EXPECT_THAT(text, HasSubstr("(TRV_T_INT) count,(TRV_T_INT) 1,TRV_P_BASE10, I0, -1 );"));
    EXPECT_THAT(text, HasSubstr("trv_var_byte_c (&(trv_ctx->trv_ctxrun),14, (TRV_T_CAR) letter,(TRV_T_CAR) 'a',"
                                "TRV_P_BASE8, I0, -1 );"));
    EXPECT_THAT(text, HasSubstr("trv_var_long_c (&(trv_ctx->trv_ctxrun),17, (TRV_T_LONG) big,(TRV_T_LONG) 2,"
                                "TRV_P_BASE2, I0, -1 );"));
}

// A character without FORMAT is checked in octal (with FORMAT HEX: the hand-written program).
TEST_F(VarProg, CharsCheckedByFormat)
{
    const std::string natural = body("  VAR letter, EV='a'\n");
    EXPECT_THAT(natural, HasSubstr("trv_var_char_c (&(trv_ctx->trv_ctxrun),11, (TRV_T_CAR) letter,(TRV_T_CAR) 'a',"
                                   "TRV_P_BASE8, I0, -1 );"));
}

TEST_F(VarProg, AFieldHasItsOwnFormat)
{
    const std::string text = body("  VAR item, EV={id => 1, tag => 'x'}\n", "FORMAT= item.tag # char HEX\n");
    EXPECT_THAT(text, HasSubstr("trv_var_bytetab_c (&(trv_ctx->trv_ctxrun),13, (TRV_T_CAR) item.tag,(TRV_T_CAR) 'x',"
                                "TRV_P_BASE16, I0, -1 );"));
}

// The FORMAT of item.tag is that field's alone: the same field of another
// variable keeps the natural base, and a VAR reaching the field through
// its path dumps it with the format.
TEST_F(VarProg, FieldFormatOfItsVarOnly)
{
    const std::string text = body("  VAR other, EV={tag => 'y'}\n  VAR item.tag, VA='z'\n  VAR item, EV={tag => 'x'}\n",
                                  "FORMAT= item.tag # char HEX\n");
    EXPECT_THAT(text, HasSubstr("trv_var_char_c (&(trv_ctx->trv_ctxrun),12, (TRV_T_CAR) other.tag,(TRV_T_CAR) 'y',"
                                "TRV_P_BASE8, I0, -1 );"));
    EXPECT_THAT(text, HasSubstr("(TRV_T_CAR) item.tag,TRV_P_BASE16, I0, -1 );"));
    EXPECT_THAT(text, HasSubstr("(TRV_T_CAR) item.tag,(TRV_T_CAR) 'x',TRV_P_BASE16, I0, -1 );"));
}

TEST_F(VarProg, RangesWriteAbsentBoundsAsZero)
{
    const std::string text = body("  VAR item.total, EV=[.. 100]\n  VAR count, EV=[1 ..]\n");
    EXPECT_THAT(text, HasSubstr("trv_var_range_int_c (&(trv_ctx->trv_ctxrun),14, (TRV_T_INT) count,"
                                "1,(TRV_T_INT) 1,0,(TRV_T_INT) 0,TRV_P_BASE10, I0, -1 );"));
}

TEST_F(VarProg, RangesSetBoundsOnInit)
{
    const std::string text = body("  VAR count, INIT=[1 .. 5]\n");
    EXPECT_THAT(text, HasSubstr("  trv_Min_count = (TRV_T_INT) 1;\n  trv_Max_count = (TRV_T_INT) 5;\n"));
}

// A dump judges no range: the field is dumped as it is.
TEST_F(VarProg, DumpRangeReportedFieldDumped)
{
    const std::string text = body("  VAR item, VA={id => [1 .. 2], total => 5}\n");
    EXPECT_THAT(console, HasSubstr("RANGENOTA"));
    EXPECT_THAT(text, HasSubstr("  trv_var ( &(trv_ctx->trv_ctxrun),10 );\n"
                                "  trv_varstruct ( &(trv_ctx->trv_ctxrun),11 );\n"
                                "  trv_dmp_int_c (&(trv_ctx->trv_ctxrun),12, (TRV_T_INT) item.id,TRV_P_BASE10, I0, -1 );\n"
                                "  trv_dmp_long_c (&(trv_ctx->trv_ctxrun),13, (TRV_T_LONG) item.total,TRV_P_BASE10, "
                                "I0, -1 );\n"
                                "  trv_varstruct ( &(trv_ctx->trv_ctxrun),14 );\n"
                                "  trv_var ( &(trv_ctx->trv_ctxrun),15 );\n"));
    EXPECT_THAT(text, Not(HasSubstr("range")));
}

// Elements of an array of scalars are checked in a loop over their indices;
// one index alone is assigned, and the braces stay.
TEST_F(VarProg, ScalarArraysLoop)
{
    const std::string text = body("  VAR table, EV={2 => 9, OTHERS => 0}\n");
    EXPECT_THAT(text, HasSubstr("  trv_vartab ( &(trv_ctx->trv_ctxrun),11 );\n"
                                "  trv_varreset (&(trv_ctx->trv_ctxrun));\n"
                                "  for(I1 = 0; I1 <= 1; ++I1)\n"
                                "   {\n"
                                "    trv_var_int_c (&(trv_ctx->trv_ctxrun),12, (TRV_T_INT) table[I1],(TRV_T_INT) 0,"
                                "TRV_P_BASE10, I1, 1 );\n"
                                "   }\n"
                                "  trv_varreset (&(trv_ctx->trv_ctxrun));\n"
                                "  I1 = 2;\n"
                                "   {\n"
                                "    trv_var_int_c (&(trv_ctx->trv_ctxrun),13, (TRV_T_INT) table[I1],(TRV_T_INT) 9,"
                                "TRV_P_BASE10, I1, 2 );\n"
                                "   }\n"
                                "  trv_varreset (&(trv_ctx->trv_ctxrun));\n"
                                "  I1 = 3;\n"));
}

// An index range of aggregates loops at the depth of its array, its members one deeper.
TEST_F(VarProg, OneCounterPerArrayDepth)
{
    const std::string text = body("  VAR grid, EV={0 => {OTHERS => 1}, 1 => {OTHERS => 2}}\n");
    EXPECT_THAT(text, HasSubstr("  trv_vartab ( &(trv_ctx->trv_ctxrun),11 );\n"
                                "  trv_varplage ( &(trv_ctx->trv_ctxrun),12, 0, 0 );\n"
                                "  I1 = 0;\n"
                                "   {\n"
                                "    trv_vartab ( &(trv_ctx->trv_ctxrun),13 );\n"
                                "    trv_varreset (&(trv_ctx->trv_ctxrun));\n"
                                "    for(I2 = 0; I2 <= 2; ++I2)\n"
                                "     {\n"
                                "      trv_var_int_c (&(trv_ctx->trv_ctxrun),14, (TRV_T_INT) grid[I1][I2],"
                                "(TRV_T_INT) 1,TRV_P_BASE10, I2, 2 );\n"
                                "     }\n"
                                "    trv_vartab ( &(trv_ctx->trv_ctxrun),15 );\n"
                                "   }\n"
                                "  trv_varplage ( &(trv_ctx->trv_ctxrun),16, -1, -1 );\n"));
}

// A whole value is followed field by field beside the variable.
TEST_F(VarProg, WholeValueFieldByField)
{
    const std::string text = body("  VAR item, EV=other\n");
    EXPECT_THAT(text, HasSubstr("(TRV_T_INT) item.id,(TRV_T_INT) other.id,"));
    EXPECT_THAT(text, HasSubstr("(TRV_T_CAR) item.tag,(TRV_T_CAR) other.tag,"));
    EXPECT_THAT(text, HasSubstr("(TRV_T_LONG) item.total,(TRV_T_LONG) other.total,"));
}

TEST_F(VarProg, UnionsAssigned)
{
    const std::string members = body("  VAR tagged, INIT={kind => 1, w => {whole => 5}}\n");
    EXPECT_THAT(members, HasSubstr("  tagged.kind = (TRV_T_INT) 1;\n  tagged.w.whole = (TRV_T_INT) 5;\n"));
    EXPECT_THAT(members, Not(HasSubstr("assign_union")));
    const std::string whole = body("  VAR tagged.w, INIT=spare\n");
    EXPECT_THAT(whole, HasSubstr("  trv_assign_union ( &(trv_ctx->trv_ctxrun),tagged.w,spare );\n"));
}

TEST_F(VarProg, ExpectedUnionsTraced)
{
    const std::string text = body("  VAR tagged.w, EV={whole => 5}\n");
    EXPECT_THAT(text, HasSubstr("  trv_varstruct ( &(trv_ctx->trv_ctxrun),11 );\n"
                                "  trv_var_int_c (&(trv_ctx->trv_ctxrun),12, (TRV_T_INT) tagged.w.whole,"
                                "(TRV_T_INT) 5,TRV_P_BASE10, I0, -1 );\n"
                                "  trv_varstruct ( &(trv_ctx->trv_ctxrun),13 );\n"));
}

// The CALL record is 10, its arguments R11 and R12, the result R13, the end A14.
TEST_F(VarProg, NativeCallParamsAndResult)
{
    const std::string text = body("  CALL compute(count @ 3, &count) @ 7\n");
    EXPECT_THAT(text, HasSubstr("  trv_bcf ( &(trv_ctx->trv_ctxrun),10 );\n"
                                "  trv_return_0 = (TRV_T_INT) compute (count, &count );\n"
                                "  trv_int_c (&(trv_ctx->trv_ctxrun),1, (TRV_T_INT) count, (TRV_T_INT) 3, "
                                "(TRV_T_INT) count, 11 );\n"
                                "  trv_pointer_c (&(trv_ctx->trv_ctxrun),0, (TRV_PT_VOID) &count, "
                                "(TRV_PT_VOID) &count, (TRV_PT_VOID) &count, 12 );\n"
                                "  trv_int_c (&(trv_ctx->trv_ctxrun),1, (TRV_T_INT) 0, (TRV_T_INT) 7, "
                                "(TRV_T_INT) trv_return_0, 13 );\n"
                                "  trv_flagrt = trv_cf (&(trv_ctx->trv_ctxrun),14 );\n"
                                "  if (trv_flagrt != 0)\n"));
}

TEST_F(VarProg, NativeCallParamsOnly)
{
    const std::string text = body("  CALL reset()\n  CALL greet(\"bob\") @ 1 @ count\n");
    EXPECT_THAT(text, HasSubstr("  reset (  );\n  trv_flagrt = trv_cf (&(trv_ctx->trv_ctxrun),11 );\n"));
    EXPECT_THAT(text, HasSubstr("  count = (TRV_T_INT) greet (\"bob\" );\n"
                                "  trv_string_c (&(trv_ctx->trv_ctxrun),0, (TRV_PT_CAR) \"bob\", (TRV_PT_CAR) \"bob\", "
                                "(TRV_PT_CAR) \"bob\", "));
    EXPECT_THAT(text, HasSubstr("(TRV_T_INT) 0, (TRV_T_INT) 1, (TRV_T_INT) count, "));
    EXPECT_THAT(text, Not(HasSubstr("trv_return_")));
}

// NONIL expects any pointer but null: the result is checked as such.
TEST_F(VarProg, ANonNilResultIsCheckedForNull)
{
    const std::string text = body("  CALL get_text() @ NONIL\n");
    EXPECT_THAT(text, HasSubstr("  trv_nonil_c (&(trv_ctx->trv_ctxrun),1, (TRV_PT_VOID) 1, (TRV_PT_VOID) NONIL, "
                                "(TRV_PT_VOID) trv_return_0, 11 );\n"));
}

TEST_F(VarProg, ANonNilValueIsCheckedForNull)
{
    const std::string text = body("  VAR text, EV=NONIL\n");
    EXPECT_THAT(text, HasSubstr("  trv_var_nonil_c (&(trv_ctx->trv_ctxrun),11, (TRV_PT_VOID) text,(TRV_PT_VOID) NONIL, "
                                "I0, -1 );\n"));
}

// No runtime type exists for a structure: the result is held in a variable
// of the function's own return type.
TEST_F(VarProg, StructResultInAVariable)
{
    const std::string text = body("  CALL make_item()\n");
    EXPECT_THAT(text, HasSubstr("  item_t trv_return_0;\n"));
    EXPECT_THAT(text, HasSubstr("  trv_return_0 = make_item ( );\n"));
}

// Golden program written by hand from the templates before the writer was
// run on it, for the VAR- and CALL-heavy script: an INIT=, an expected
// range, a character with its FORMAT, a structure, an array with OTHERS and
// a native call with parameter and result checks.
// Numbers are those of the TDC and tracer structure writers of the same run.
TEST_F(VarProg, HandWrittenChecksAndCalls)
{
    expectHandWritten("vars_call");
}

}  // namespace
