// Recursive-descent evaluator of the dialogs' numeric fields. The first error
// ends the evaluation from any depth; it is thrown as a code and caught at the
// entry, so nothing below needs to pass it up by hand.
#include "tools/expression.h"

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "image/seams.h"

namespace {

enum TokenType { TOK_END, TOK_NAME, TOK_DELIM, TOK_NUMBER };

const int TOKEN_CHARS = 31;     // a token holds this many characters
const int NAME_CHARS = 15;      // names are cut to this many
const int VARIABLE_SLOTS = 50;
// Deep enough for any typed formula; stops "((((..." from exhausting the stack.
const int MAX_NESTING = 200;

struct Variable {
    char name[NAME_CHARS + 1];  // empty: free slot
    double value;
};

// Shared by all dialogs for the rest of the run.
Variable g_variables[VARIABLE_SLOTS];

struct Scanner {
    const char* pos;
    char token[TOKEN_CHARS + 1];
    TokenType type;
    int depth;
};

struct EvalError {
    int code;
};

[[noreturn]] void fail(int code) { throw EvalError{code}; }

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_name_char(char c) { return (c >= 'a' && c <= 'z') || is_digit(c) || c == '_'; }

void skip_blanks(Scanner& s) {
    while (is_blank(*s.pos)) ++s.pos;
}

void next_token(Scanner& s) {
    skip_blanks(s);
    s.token[0] = '\0';
    char c = *s.pos;
    if (c == '\0') {
        s.type = TOK_END;
    } else if (std::strchr("+-*/%^(),=", c)) {
        s.token[0] = c;
        s.token[1] = '\0';
        ++s.pos;
        s.type = TOK_DELIM;
    } else if (is_digit(c) || c == '.') {
        int n = 0;
        while (is_digit(*s.pos) || *s.pos == '.') {
            // A longer number would be read as a different value: refuse it.
            if (n == TOKEN_CHARS) fail(1);
            s.token[n++] = *s.pos++;
        }
        s.token[n] = '\0';
        s.type = TOK_NUMBER;
    } else if (is_name_char(c)) {
        int n = 0;
        while (is_name_char(*s.pos)) {
            if (n < NAME_CHARS) s.token[n++] = *s.pos;
            ++s.pos;
        }
        s.token[n] = '\0';
        s.type = TOK_NAME;
    } else {
        fail(1);
    }
    skip_blanks(s);
}

bool is_delim(const Scanner& s, char c) { return s.type == TOK_DELIM && s.token[0] == c; }

Variable* find_variable(const char* name) {
    for (Variable& v : g_variables)
        if (v.name[0] && std::strcmp(v.name, name) == 0) return &v;
    return nullptr;
}

void store_variable(const char* name, double value) {
    if (Variable* old = find_variable(name)) old->name[0] = '\0';
    for (Variable& v : g_variables) {
        if (!v.name[0]) {
            std::strcpy(v.name, name);
            v.value = value;
            return;
        }
    }
    fail(5);
}

struct Constant {
    const char* name;
    double value;
};
const Constant CONSTANTS[] = {{"pi", 3.141592653589793}, {"e", 2.718281828459045}};

double fn_abs(double x) { return std::fabs(x); }

struct Function {
    const char* name;
    int arg_count;
    double (*one)(double);
    double (*two)(double, double);
};
const Function FUNCTIONS[] = {
    {"sin", 1, std::sin, nullptr},     {"cos", 1, std::cos, nullptr},
    {"tan", 1, std::tan, nullptr},     {"asin", 1, std::asin, nullptr},
    {"acos", 1, std::acos, nullptr},   {"atan", 1, std::atan, nullptr},
    {"sinh", 1, std::sinh, nullptr},   {"cosh", 1, std::cosh, nullptr},
    {"tanh", 1, std::tanh, nullptr},   {"exp", 1, std::exp, nullptr},
    {"log", 1, std::log, nullptr},     {"log10", 1, std::log10, nullptr},
    {"sqrt", 1, std::sqrt, nullptr},   {"floor", 1, std::floor, nullptr},
    {"ceil", 1, std::ceil, nullptr},   {"abs", 1, fn_abs, nullptr},
    {"hypot", 2, nullptr, std::hypot}, {"deg", 1, expr_deg, nullptr},
    {"rad", 1, expr_rad, nullptr},
};

double parse_statement(Scanner& s, int* is_assignment);

double call_function(Scanner& s, const char* name) {
    const Function* fn = nullptr;
    for (const Function& f : FUNCTIONS)
        if (std::strcmp(f.name, name) == 0) fn = &f;
    if (!fn) fail(6);
    next_token(s);  // the "("
    double args[4];
    int count = 0;
    int ignored;
    do {
        next_token(s);
        if (is_delim(s, ')') || is_delim(s, ',')) fail(8);
        args[count++] = parse_statement(s, &ignored);
    } while (count < 4 && is_delim(s, ','));
    next_token(s);  // the closing ")" or whatever stands there
    if (count != fn->arg_count) fail(7);
    return fn->one ? fn->one(args[0]) : fn->two(args[0], args[1]);
}

double name_value(const char* name) {
    if (name[0] == '_') {
        DWORD need = GetEnvironmentVariableA(name + 1, nullptr, 0);
        if (need == 0) fail(4);
        std::string value(need, '\0');
        if (GetEnvironmentVariableA(name + 1, &value[0], need) >= need) fail(4);
        return std::strtod(value.c_str(), nullptr);
    }
    if (const Variable* v = find_variable(name)) return v->value;
    for (const Constant& c : CONSTANTS)
        if (std::strcmp(c.name, name) == 0) return c.value;
    fail(4);
}

double parse_primary(Scanner& s) {
    if (is_delim(s, '(')) {
        next_token(s);
        if (is_delim(s, ')')) fail(8);
        if (++s.depth > MAX_NESTING) fail(2);
        int ignored;
        double value = parse_statement(s, &ignored);
        --s.depth;
        if (!is_delim(s, ')')) fail(2);
        next_token(s);
        return value;
    }
    if (s.type == TOK_NUMBER) {
        // strtod stops at a second dot, as intended.
        double value = std::strtod(s.token, nullptr);
        next_token(s);
        return value;
    }
    if (s.type == TOK_NAME) {
        char name[NAME_CHARS + 1];
        std::strcpy(name, s.token);
        if (*s.pos == '(') {
            if (++s.depth > MAX_NESTING) fail(2);
            double value = call_function(s, name);
            --s.depth;
            return value;
        }
        double value = name_value(name);
        next_token(s);
        return value;
    }
    fail(1);
}

// The sign binds tighter than "^": -2^2 is 4.
double parse_unary(Scanner& s) {
    bool negate = false;
    if (is_delim(s, '+') || is_delim(s, '-')) {
        negate = s.token[0] == '-';
        next_token(s);
    }
    double value = parse_primary(s);
    return negate ? -value : value;
}

double parse_power(Scanner& s) {
    double value = parse_unary(s);
    if (is_delim(s, '^')) {
        next_token(s);
        value = std::pow(value, parse_unary(s));
    }
    return value;
}

double parse_term(Scanner& s) {
    double value = parse_power(s);
    while (is_delim(s, '*') || is_delim(s, '/') || is_delim(s, '%')) {
        char op = s.token[0];
        next_token(s);
        double right = parse_power(s);
        if (op == '*') {
            value *= right;
        } else {
            if (right == 0.0) fail(3);
            value = op == '/' ? value / right : std::fmod(value, right);
        }
    }
    return value;
}

double parse_expression(Scanner& s) {
    double value = parse_term(s);
    while (is_delim(s, '+') || is_delim(s, '-')) {
        char op = s.token[0];
        next_token(s);
        double right = parse_term(s);
        value = op == '+' ? value + right : value - right;
    }
    return value;
}

double parse_statement(Scanner& s, int* is_assignment) {
    *is_assignment = 0;
    if (s.type == TOK_NAME && *s.pos == '=') {
        char name[NAME_CHARS + 1];
        std::strcpy(name, s.token);
        next_token(s);  // the "="
        next_token(s);
        *is_assignment = 1;
        if (s.type == TOK_END) {
            if (Variable* v = find_variable(name)) v->name[0] = '\0';
            return 0.0;
        }
        double value = parse_expression(s);
        store_variable(name, value);
        return value;
    }
    return parse_expression(s);
}

}  // namespace

double expr_deg(double radians) { return radians * 180.0 / 3.141592653589793; }
double expr_rad(double degrees) { return degrees * 3.141592653589793 / 180.0; }

int evaluate_expression(char* text, double* result, int* is_assignment) {
    *result = 0.0;
    *is_assignment = 0;
    for (char* p = text; *p; ++p)
        if (*p >= 'A' && *p <= 'Z') *p = (char)(*p - 'A' + 'a');
    Scanner s{};
    s.pos = text;
    try {
        next_token(s);
        if (s.type == TOK_END) fail(9);
        *result = parse_statement(s, is_assignment);
    } catch (const EvalError& e) {
        return e.code;
    }
    return 0;
}

// Rounded half up; 0 for what an int field cannot take.
static int field_int(double value) {
    // Also refuses NaN, which fails every comparison.
    if (!(value >= 0.0 && value + 0.5 < 2147483648.0)) return 0;
    return (int)(value + 0.5);
}

int evaluate_int_expression(char* text) {
    double value;
    int is_assignment;
    if (evaluate_expression(text, &value, &is_assignment) != 0) return 0;
    return field_int(value);
}

bool evaluate_double_expression(char* text, double* value) {
    int is_assignment;
    double result;
    if (evaluate_expression(text, &result, &is_assignment) != 0) return false;
    if (!std::isfinite(result)) return false;
    *value = result;
    return true;
}

int evaluate_int_field(const char* text, char* unreadable, size_t size) {
    if (size > 0) unreadable[0] = '\0';
    // The evaluator lower-cases its text; the message shows it as typed.
    std::string scratch = text;
    double value;
    int is_assignment;
    int code = evaluate_expression(&scratch[0], &value, &is_assignment);
    if (code == 0) return field_int(value);
    if (code != 9) std::snprintf(unreadable, size, "Error: Cannot read the expression \"%s\".", text);
    return 0;
}

int read_int_field(HWND dialog, int id, HWND owner, const char* caption, int* value) {
    char text[256] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    char unreadable[sizeof text + 48];
    *value = evaluate_int_field(text, unreadable, sizeof unreadable);
    if (!unreadable[0]) return 1;
    seam_message_box(owner, unreadable, caption, MB_ICONSTOP);
    return 0;
}
