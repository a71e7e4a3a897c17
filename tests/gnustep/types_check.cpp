// Every message the macOS file sends, checked against GNUstep's own record
// of the method: the selector must exist on the class the code means, take
// as many arguments as the call passes, and each argument and the result
// must match the call's type in kind and width. objc_msgSend has no type of
// its own, so a wrong one here compiles, and on a Mac puts arguments or the
// result in the wrong registers, or reads a short value as a long one.
//
// The call sites and their types come from clang's syntax tree of the file
// as the x86-64 slice is built (QUENBRIX_AST, made by the build with
// -Xclang -ast-dump=json); the methods' types from GNUstep's runtime
// (method_getTypeEncoding).
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <objc/runtime.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

namespace {

using nlohmann::json;

// The class each selector of the file is sent to: "+Class" for a class
// method, "-Class" for an instance method. A new message must be added here.
const std::map<std::string, std::string> receivers = {
    {"sharedApplication", "+NSApplication"},
    {"windows", "-NSApplication"},
    {"mainWindow", "-NSApplication"},
    {"isActive", "-NSApplication"},
    {"keyWindow", "-NSApplication"},
    {"count", "-NSArray"},
    {"objectAtIndex:", "-NSArray"},
    {"title", "-NSWindow"},
    {"canBecomeMainWindow", "-NSWindow"},
    {"isMiniaturized", "-NSWindow"},
    {"isVisible", "-NSWindow"},
    {"styleMask", "-NSWindow"},
    {"deminiaturize:", "-NSWindow"},
    {"makeKeyAndOrderFront:", "-NSWindow"},
    {"isKindOfClass:", "-NSObject"},
    {"retain", "-NSObject"},
    {"release", "-NSObject"},
    {"UTF8String", "-NSString"},
    {"stringWithUTF8String:", "+NSString"},
    {"currentApplication", "+NSRunningApplication"},
    {"activateWithOptions:", "-NSRunningApplication"},
    {"isMainThread", "+NSThread"},
    {"sharedWorkspace", "+NSWorkspace"},
    {"openFile:withApplication:", "-NSWorkspace"},
};

// GNUstep's documented differences from Apple's declarations, which are
// not faults: the call's type, GNUstep's encoding, and the selector it
// applies to (empty: every one).
struct Difference {
    const char *selector;
    const char *code_type;
    char encoding;
    const char *why;
};
const Difference differences[] = {
    {"", "signed char", 'C', "BOOL is unsigned char in GNUstep, signed char on x86-64 macOS"},
    {"activateWithOptions:", "unsigned long", 'q',
     "NSApplicationActivationOptions is NSInteger in GNUstep, NSUInteger in Apple's AppKit"},
};

enum Kind { VOID, SIGNED, UNSIGNED, BOOLEAN, FLOAT, OBJECT, SELECTOR, POINTER, OTHER };

struct Type {
    Kind kind;
    int width;
    bool operator==(const Type &o) const { return kind == o.kind && width == o.width; }
};

// A C++ type of the call, as clang spells it desugared, on x86-64 macOS.
bool code_type(std::string t, Type &out)
{
    static const std::map<std::string, Type> types = {
        {"void", {VOID, 0}},          {"signed char", {SIGNED, 1}},
        {"unsigned char", {UNSIGNED, 1}}, {"bool", {BOOLEAN, 1}},
        {"short", {SIGNED, 2}},       {"unsigned short", {UNSIGNED, 2}},
        {"int", {SIGNED, 4}},         {"unsigned int", {UNSIGNED, 4}},
        {"long", {SIGNED, 8}},        {"unsigned long", {UNSIGNED, 8}},
        {"long long", {SIGNED, 8}},   {"unsigned long long", {UNSIGNED, 8}},
        {"float", {FLOAT, 4}},        {"double", {FLOAT, 8}},
        {"id", {OBJECT, 8}},          {"objc_object *", {OBJECT, 8}},
        {"struct objc_object *", {OBJECT, 8}}, {"Class", {OBJECT, 8}},
        {"SEL", {SELECTOR, 8}},
    };
    auto it = types.find(t);
    if (it != types.end()) {
        out = it->second;
        return true;
    }
    if (!t.empty() && t.back() == '*') {
        out = {POINTER, 8};
        return true;
    }
    return false;
}

// One type of an Objective-C type encoding, from `p`, with its offset.
Type encoded_type(const char *&p, char &letter)
{
    while (*p && std::strchr("rnNoORVA", *p))
        ++p; // qualifiers: const, in, out, oneway...
    letter = *p;
    Type t{OTHER, 0};
    switch (*p) {
    case 'v': t = {VOID, 0}; break;
    case 'c': t = {SIGNED, 1}; break;
    case 'C': t = {UNSIGNED, 1}; break;
    case 'B': t = {BOOLEAN, 1}; break;
    case 's': t = {SIGNED, 2}; break;
    case 'S': t = {UNSIGNED, 2}; break;
    case 'i': t = {SIGNED, 4}; break;
    case 'I': t = {UNSIGNED, 4}; break;
    case 'l': t = {SIGNED, (int)sizeof(long)}; break;
    case 'L': t = {UNSIGNED, (int)sizeof(long)}; break;
    case 'q': t = {SIGNED, 8}; break;
    case 'Q': t = {UNSIGNED, 8}; break;
    case 'f': t = {FLOAT, 4}; break;
    case 'd': t = {FLOAT, 8}; break;
    case '@': case '#': t = {OBJECT, 8}; break;
    case ':': t = {SELECTOR, 8}; break;
    case '*': t = {POINTER, 8}; break;
    case '^': {
        ++p;
        char pointee;
        encoded_type(p, pointee);
        while (std::isdigit((unsigned char)*p))
            ++p;
        return {POINTER, 8};
    }
    case '{': case '[': case '(': { // an aggregate: skip it whole
        int depth = 0;
        do {
            if (std::strchr("{[(", *p))
                ++depth;
            else if (std::strchr("}])", *p))
                --depth;
            ++p;
        } while (*p && depth > 0);
        --p;
        break;
    }
    default: break;
    }
    if (*p)
        ++p;
    while (std::isdigit((unsigned char)*p))
        ++p;
    return t;
}

struct Site {
    int line = 0;
    std::string selector, class_literal, type;
};

const json *unwrap(const json &n)
{
    const json *d = &n;
    while (d->value("kind", "") == "ImplicitCastExpr" && d->contains("inner"))
        d = &(*d)["inner"][0];
    return d;
}

std::string string_literal(const json &n)
{
    const json *d = unwrap(n);
    if (d->value("kind", "") != "StringLiteral")
        return "";
    std::string v = (*d)["value"];
    return v.size() >= 2 ? v.substr(1, v.size() - 2) : "";
}

// Calls of `function`, walked in order; `line` follows the locations.
void collect(const json &n, int &line, std::vector<Site> &out)
{
    if (n.is_array()) {
        for (const json &c : n)
            collect(c, line, out);
        return;
    }
    if (!n.is_object())
        return;
    for (const char *key : {"loc", "range"}) {
        if (!n.contains(key))
            continue;
        const json &l = key[0] == 'l' ? n[key] : n[key].value("begin", json::object());
        if (l.contains("line"))
            line = l["line"];
    }
    if (n.value("kind", "") == "CallExpr" && n.contains("inner") && n["inner"].size() >= 3) {
        const json &inner = n["inner"];
        const json *callee = unwrap(inner[0]);
        if (callee->value("kind", "") == "DeclRefExpr" &&
            (*callee)["referencedDecl"].value("name", "") == "liveapp_send") {
            Site s;
            s.line = line;
            s.type = (*callee)["type"]["qualType"];
            s.selector = string_literal(inner[2]);
            const json *receiver = unwrap(inner[1]);
            if (receiver->value("kind", "") == "CallExpr" && (*receiver)["inner"].size() == 2 &&
                (*unwrap((*receiver)["inner"][0]))["referencedDecl"].value("name", "") ==
                    "liveapp_objc_class")
                s.class_literal = string_literal((*receiver)["inner"][1]);
            out.push_back(s);
        }
    }
    if (n.contains("inner"))
        collect(n["inner"], line, out);
}

std::string trim(const std::string &s)
{
    size_t a = s.find_first_not_of(' '), b = s.find_last_not_of(' ');
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

// "R (A, B, C)" as clang spells a function type: R, then A, B, C.
std::vector<std::string> split_function_type(const std::string &t)
{
    size_t open = t.find('('), close = t.rfind(')');
    std::vector<std::string> parts{trim(t.substr(0, open))};
    std::string params = t.substr(open + 1, close - open - 1);
    for (size_t at = 0; at <= params.size();) {
        size_t comma = params.find(',', at);
        if (comma == std::string::npos)
            comma = params.size();
        parts.push_back(trim(params.substr(at, comma - at)));
        at = comma + 1;
    }
    return parts;
}

bool allowed(const std::string &selector, const std::string &code, char encoding,
             std::string &why)
{
    for (const Difference &d : differences)
        if ((!*d.selector || selector == d.selector) && code == d.code_type &&
            encoding == d.encoding) {
            why = d.why;
            return true;
        }
    return false;
}

// What is wrong with one call, or the empty string.
std::string check_site(const Site &s, std::string &note)
{
    if (s.selector.empty())
        return "the selector is not a string literal";
    auto meant = receivers.find(s.selector);
    if (meant == receivers.end()) {
        SEL sel = sel_registerName(s.selector.c_str());
        for (auto &r : receivers) {
            Class c = objc_getClass(r.second.c_str() + 1);
            if (c && (class_getInstanceMethod(c, sel) || class_getClassMethod(c, sel)))
                return "not listed in this check; GNUstep's " + r.second.substr(1) + " has it";
        }
        return "none of the classes messaged here has such a method";
    }
    bool class_method = meant->second[0] == '+';
    std::string cls = meant->second.substr(1);
    if (!s.class_literal.empty() && (!class_method || s.class_literal != cls))
        return "sent to class " + s.class_literal + ", listed as " + meant->second;
    Class c = objc_getClass(cls.c_str());
    if (!c)
        return "GNUstep has no class " + cls;
    SEL sel = sel_registerName(s.selector.c_str());
    Method m = class_method ? class_getClassMethod(c, sel) : class_getInstanceMethod(c, sel);
    if (!m)
        return "GNUstep's " + cls + " has no " + (class_method ? "class" : "instance") +
               " method " + s.selector;
    std::string encoding = method_getTypeEncoding(m);
    note = encoding;

    std::vector<std::string> code = split_function_type(s.type);
    // The call passes the receiver and the selector's name first; the
    // method takes self and _cmd first.
    std::vector<std::pair<Type, char>> enc;
    for (const char *p = encoding.c_str(); *p;) {
        char letter;
        Type t = encoded_type(p, letter);
        enc.emplace_back(t, letter);
    }
    if (enc.size() < 3 || code.size() < 3)
        return "malformed types";
    if (code.size() != enc.size())
        return "the call passes " + std::to_string(code.size() - 3) + " argument(s), the method takes " +
               std::to_string(enc.size() - 3);
    for (size_t i = 0; i < code.size(); ++i) {
        if (i == 1 || i == 2)
            continue; // receiver and selector
        std::string what = i == 0 ? "result" : "argument " + std::to_string(i - 2);
        Type t;
        if (!code_type(code[i], t))
            return what + ": unknown type " + code[i];
        if (t == enc[i].first)
            continue;
        std::string why;
        if (allowed(s.selector, code[i], enc[i].second, why)) {
            note += "; " + what + " allowed: " + why;
            continue;
        }
        return what + ": the call has " + code[i] + ", GNUstep encodes '" + enc[i].second + "'";
    }
    return "";
}

TEST(GNUstepTypes, EveryMessageOfTheMacOSFileMatchesGNUstepsMethod)
{
    std::ifstream in(QUENBRIX_AST);
    ASSERT_TRUE(in) << "cannot read " << QUENBRIX_AST;
    json ast = json::parse(in);
    std::vector<Site> sites;
    int line = 0;
    collect(ast, line, sites);
    ASSERT_GE(sites.size(), 20u) << "the calls of liveapp_send were not found";
    for (const Site &s : sites) {
        std::string note;
        std::string fault = check_site(s, note);
        std::cout << "line " << s.line << ": " << s.selector << " " << s.type << "  GNUstep: "
                  << note << (fault.empty() ? "" : "  <- " + fault) << "\n";
        if (!fault.empty())
            ADD_FAILURE() << "liveapp_mac.cpp line " << s.line << ", " << s.selector << ": "
                          << fault;
    }
}

} // namespace
