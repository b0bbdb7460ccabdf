// Type images are C declarations of the same types: a few hundred
// declarations of varied shapes go through qvminspect decls, and a C
// compiler checks each image against its original.
#include "support/process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace qvm::testing {
namespace {

// Types and names the declarations are built on.
constexpr const char* kPrelude =
    "struct s { int a; };\n"
    "union u { int i; float f; };\n"
    "enum e { E0, E1 };\n"
    "typedef int T;\n"
    "typedef char *PC;\n"
    "typedef const struct s CS;\n";

const std::vector<std::string> kBases = {
    "int",           "unsigned long", "const char",     "volatile short",   "struct s",
    "union u",       "enum e",        "T",              "PC",               "const PC",
    "double",        "long double",   "unsigned",       "signed char",      "long long",
    "float",         "CS",            "const volatile unsigned char",       "void",
    "_Bool",         "unsigned __int128", "long double _Complex",
};

// A declarator shape ("%" stands for the name); objectBase: the base type is
// the type of an object (so it cannot be void).
struct Shape {
    std::string text;
    bool objectBase;
};

const std::vector<Shape> kShapes = {
    {"%", true},
    {"*%", false},
    {"* const %", false},
    {"* volatile * const %", false},
    {"* const volatile %", false},
    {"%[4]", true},
    {"*%[3]", false},
    {"(*%)[5]", true},
    {"(* const %)[2][3]", true},
    {"(*%)(int, char *)", false},
    {"(* const volatile %)(void)", false},
    {"%(int a, ...)", false},
    {"(*%(void))[2]", true},
    {"(*(*%)[2])(long)", false},
    {"* const * volatile %[2][3]", false},
    {"(*%(int (*)(void)))(double)", false},
    {"%(T, PC *, const char * const *)", false},
    {"*(*%)(const char *const *, int)", false},
    {"%(void (*)(int, ...), int [3])", false},
    {"%()", false},
    {"(*%)()", false},
    {"(* volatile (* const %)(void))(T *)", false},
    {"(*%[2])(void (*)(CS *))", false},
    {"* (* (* %)[4])[5]", false},
};

std::string declarator(const Shape& shape, const std::string& name)
{
    const std::size_t at = shape.text.find('%');
    return shape.text.substr(0, at) + name + shape.text.substr(at + 1);
}

bool compilerAvailable()
{
    return std::system("gcc --version >/dev/null 2>&1") == 0;
}

TEST(CDeclImages, ImagesDeclareSameTypes)
{
    if (!compilerAvailable()) {
        GTEST_SKIP() << "no C compiler";
    }
    std::string originals;
    std::vector<std::string> names;
    for (const std::string& base : kBases) {
        for (const Shape& shape : kShapes) {
            if (base == "void" && shape.objectBase) {
                continue;
            }
            const std::string name = "v" + std::to_string(names.size());
            originals += base + " " + declarator(shape, name) + ";\n";
            names.push_back(name);
        }
    }
    ASSERT_GE(names.size(), 400U);

    TempDir dir;
    writeFile(dir / "shapes.h", std::string(kPrelude) + originals);
    const RunResult run = runInspect({"decls", "shapes.h"}, {}, dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.err, "");

    // Each image declares a name of its own, w<n> for v<n>.
    const std::regex declared("\\bv([0-9]+)\\b");
    std::map<std::string, std::string> images;
    for (const std::string& line : lines(run.out)) {
        std::smatch match;
        if (std::regex_search(line, match, declared)) {
            images["v" + match[1].str()] = std::regex_replace(line, declared, "w$1");
        }
    }
    ASSERT_EQ(images.size(), names.size());

    // The address of each: qualifiers of the declared object itself count too.
    std::string program = std::string(kPrelude) + originals;
    for (const std::string& name : names) {
        const std::string image = "w" + name.substr(1);
        program += images[name] + "\n";
        program += "_Static_assert(__builtin_types_compatible_p(__typeof__(&" + name + "), __typeof__(&" + image +
                   ")), \"" + name + ": " + images[name] + "\");\n";
    }
    writeFile(dir / "check.c", program);
    const RunResult compiled = runProgram("/bin/sh", {"-c", "exec gcc -std=gnu11 -fsyntax-only -w check.c"}, {}, dir.path());
    EXPECT_EQ(compiled.status, 0) << compiled.err;
}

}  // namespace
}  // namespace qvm::testing
