// The dialogs' expression evaluator: one table of texts with their values or
// error codes, run in order because variables persist between evaluations.
#include <cmath>
#include <string>

#include <gtest/gtest.h>
#include <windows.h>

#include "tools/expression.h"

namespace {

struct Case {
    const char* text;
    int code;       // 0: success
    double value;   // checked on success
    int assignment; // flag expected on success
};

const Case CASES[] = {
    {"", 9, 0, 0},
    {"()", 8, 0, 0},
    {"(1+2", 2, 0, 0},
    {"1/0", 3, 0, 0},
    {"5%0", 3, 0, 0},
    {"$", 1, 0, 0},
    {"2*(3+4)", 0, 14, 0},
    {"1+2*3-4/2", 0, 5, 0},
    {"7%3", 0, 1, 0},
    {"-7%3", 0, -1, 0},
    {"2^3", 0, 8, 0},
    {"2^3^2", 0, 8, 0},
    {"-2^2", 0, 4, 0},
    {"-(2^2)", 0, -4, 0},
    {"2^-1", 0, 0.5, 0},
    {"PI", 0, 3.141592653589793, 0},
    {"e", 0, 2.718281828459045, 0},
    {"sin(pi/2)", 0, 1, 0},
    {"cos(0)+tan(0)", 0, 1, 0},
    {"asin(1)*2-pi", 0, 0, 0},
    {"acos(1)+atan(0)", 0, 0, 0},
    {"sinh(0)+cosh(0)+tanh(0)", 0, 1, 0},
    {"exp(0)+log(e)+log10(100)", 0, 4, 0},
    {"sqrt(16)+floor(2.7)+ceil(2.1)", 0, 9, 0},
    {"abs(-3.5)", 0, 3.5, 0},
    {"deg(pi)", 0, 180, 0},
    {"rad(180)", 0, 3.141592653589793, 0},
    {"hypot(3,4)", 0, 5, 0},
    {"hypot(3)", 7, 0, 0},
    {"foo(1)", 6, 0, 0},
    {"sin()", 8, 0, 0},
    {"sin(0", 0, 0, 0},
    {"1.5.5", 0, 1.5, 0},
    {"1e3", 0, 1, 0},
    {"12 34", 0, 12, 0},
    {"x=5", 0, 5, 1},
    {"x*2", 0, 10, 0},
    {"(y=3)+x", 0, 8, 0},
    {"y", 0, 3, 0},
    {"x=", 0, 0, 1},
    {"x", 4, 0, 0},
    {"abcdefghijklmnopqrst=7", 0, 7, 1},
    {"abcdefghijklmnoXYZ", 0, 7, 0},  // names are cut to 15 characters
    {"_corvane_expr", 0, 2.5, 0},
    {"unknown", 4, 0, 0},
    // A number longer than a token would otherwise be read as another value.
    {"12345678901234567890123456789012", 1, 0, 0},
};

// The evaluator works on a text of its own.
int eval(std::string text, double* value, int* assignment)
{
    return evaluate_expression(&text[0], value, assignment);
}

TEST(Expression, TableOfTextsAndResults)
{
    SetEnvironmentVariableA("CORVANE_EXPR", "2.5");
    for (const Case& c : CASES) {
        double value = -999;
        int assignment = -1;
        int code = eval(c.text, &value, &assignment);
        EXPECT_EQ(code, c.code) << c.text;
        if (c.code == 0 && code == 0) {
            EXPECT_NEAR(value, c.value, 1e-12) << c.text;
            EXPECT_EQ(assignment, c.assignment) << c.text;
        }
    }
}

// Code 5 when full, without writing past the table; the names go after.
TEST(Expression, VariableTableFillsAtFiftyAndRedefinitionStillWorks)
{
    double v;
    int a, first_full = -1;
    for (int i = 0; i < 60 && first_full < 0; ++i)
        if (eval("fill" + std::to_string(i) + "=1", &v, &a) == 5)
            first_full = i;
    ASSERT_GE(first_full, 40);
    ASSERT_LE(first_full, 50);
    EXPECT_EQ(eval("fill0=2", &v, &a), 0);
    for (int i = 0; i < first_full; ++i)
        eval("fill" + std::to_string(i) + "=", &v, &a);
}

TEST(Expression, EntryPointsRoundAndRefuse)
{
    struct IntCase {
        const char* text;
        int value;
    } int_cases[] = {
        {"2.5", 3}, {"2.49", 2}, {"-1", 0}, {"abc", 0}, {"3000000000", 0}, {"sqrt(0-1)", 0},
    };
    for (const IntCase& c : int_cases) {
        std::string text = c.text;
        EXPECT_EQ(evaluate_int_expression(&text[0]), c.value) << c.text;
    }
    // A field's text: an expression that cannot be read is named as typed;
    // an empty field and a negative value are left to the dialog's message.
    struct FieldCase {
        const char* text;
        int value;
        const char* unreadable;
    } field_cases[] = {
        {"640*1.5", 960, ""},
        {"640*1.5+X", 0, "Error: Cannot read the expression \"640*1.5+X\"."},
        {"(2", 0, "Error: Cannot read the expression \"(2\"."},
        {"  ", 0, ""},
        {"-1", 0, ""},
    };
    for (const FieldCase& c : field_cases) {
        char unreadable[300] = "stale";
        EXPECT_EQ(evaluate_int_field(c.text, unreadable, sizeof unreadable), c.value) << c.text;
        EXPECT_STREQ(unreadable, c.unreadable);
    }
    double angle = 0;
    std::string ok = "90/2", overflow = "10^400", bad = "(";
    EXPECT_TRUE(evaluate_double_expression(&ok[0], &angle));
    EXPECT_EQ(angle, 45);
    EXPECT_FALSE(evaluate_double_expression(&overflow[0], &angle));
    EXPECT_FALSE(evaluate_double_expression(&bad[0], &angle));
}

}  // namespace
