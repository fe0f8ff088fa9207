// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The form-file text format of FormFiles.h: a lexer and parser that turn the
// whole text into a tree first (so that a syntax error creates nothing), the
// reader that builds components from that tree, and the writer.
#include "velora/classes/FormFiles.h"

#include "velora/classes/TypInfo.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <mutex>

namespace velora {

namespace detail {

/// One value of a property as the parser found it.
struct TFormValue {
    TValueType Kind = vaNull;
    int Line = 0;
    std::int64_t Int = 0;
    double Float = 0;
    String Str;                     // string, identifier, or the bytes of binary data
    std::vector<TFormValue> Items;  // list items; set elements (identifiers)
};

struct TFormProperty {
    String Path;  // "Params.Strings"
    TFormValue Value;
    int Line = 0;
};

/// One "object ... end" block.
struct TFormObject {
    bool Inherited = false;
    String Name;
    String ClassName;
    int Line = 0;
    std::vector<TFormProperty> Properties;
    std::vector<TFormObject> Children;
};

}  // namespace detail

namespace {

using detail::TFormObject;
using detail::TFormProperty;
using detail::TFormValue;

// Nesting limit for objects and lists: hostile input must not exhaust the
// stack of the recursive parser.
constexpr int MaxNesting = 200;
// Bytes of binary data per written line (two hex digits each).
constexpr std::size_t BinaryBytesPerLine = 32;

[[noreturn]] void ReadErrorAt(int line, const String& message) {
    throw EReadError(Format("line %d: %s", line, message));
}

String Spaces(int n) { return String(static_cast<std::size_t>(std::max(n, 0)), ' '); }

String CharText(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 32 || u == 127) return "#" + IntToStr(u);
    return String("'") + c + "'";
}

bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

void AppendUtf8(String& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// ---------------------------------------------------------------------------
// Lexer

enum class TTok { End, Ident, Integer, Float, String, Symbol };

struct TToken {
    TTok Kind = TTok::End;
    String Text;  // identifier or string value
    std::int64_t Int = 0;
    double Float = 0;
    char Sym = 0;
    int Line = 1;
};

class TLexer {
public:
    explicit TLexer(const String& text) : FText(text) {
        if (FText.size() >= 3 && FText.compare(0, 3, "\xEF\xBB\xBF") == 0) FPos = 3;  // UTF-8 byte order mark
    }

    int Line() const { return FLine; }

    TToken Next() {
        SkipBlanks();
        TToken t;
        t.Line = FLine;
        if (AtEnd()) return t;
        char c = Peek();
        if (IsIdentStart(c)) {
            t.Kind = TTok::Ident;
            while (!AtEnd() && IsIdentChar(Peek())) t.Text += FText[FPos++];
            return t;
        }
        if (IsDigit(c) || c == '$' ||
            ((c == '-' || c == '+') && FPos + 1 < FText.size() && (IsDigit(FText[FPos + 1]) || FText[FPos + 1] == '$')))
            return Number(t);
        if (c == '\'' || c == '#') return StringToken(t);
        t.Kind = TTok::Symbol;
        t.Sym = c;
        ++FPos;
        return t;
    }

    // The bytes of "{ hex digits }" after the opening brace; blanks and line
    // breaks may separate the digits.
    String Binary() {
        String bytes;
        int high = -1;
        for (;;) {
            SkipBlanks();
            if (AtEnd()) ReadErrorAt(FLine, "Unexpected end of file in binary value");
            char c = FText[FPos++];
            if (c == '}') break;
            int v = HexValue(c);
            if (v < 0) ReadErrorAt(FLine, Format("Invalid binary value: bad hex digit %s", CharText(c)));
            if (high < 0) {
                high = v;
            } else {
                bytes += static_cast<char>((high << 4) | v);
                high = -1;
            }
        }
        if (high >= 0) ReadErrorAt(FLine, "Invalid binary value: odd number of hex digits");
        return bytes;
    }

private:
    bool AtEnd() const { return FPos >= FText.size(); }
    char Peek() const { return FText[FPos]; }

    void SkipBlanks() {
        while (!AtEnd()) {
            char c = Peek();
            if (c == '\n') {
                ++FLine;
            } else if (c == '\r') {
                if (FPos + 1 >= FText.size() || FText[FPos + 1] != '\n') ++FLine;
            } else if (c != ' ' && c != '\t' && c != '\f' && c != '\v') {
                return;
            }
            ++FPos;
        }
    }

    TToken& Number(TToken& t) {
        std::size_t start = FPos;
        bool negative = false;
        if (Peek() == '-' || Peek() == '+') negative = FText[FPos++] == '-';
        if (!AtEnd() && Peek() == '$') {
            ++FPos;
            std::size_t digits = FPos;
            std::uint64_t v = 0;
            while (!AtEnd() && HexValue(Peek()) >= 0) {
                if (FPos - digits >= 16) ReadErrorAt(FLine, "Integer value out of range");
                v = (v << 4) | static_cast<unsigned>(HexValue(FText[FPos++]));
            }
            if (FPos == digits) ReadErrorAt(FLine, "Invalid hexadecimal number");
            t.Kind = TTok::Integer;
            t.Int = negative ? -static_cast<std::int64_t>(v) : static_cast<std::int64_t>(v);
            return t;
        }
        while (!AtEnd() && IsDigit(Peek())) ++FPos;
        bool isFloat = false;
        if (!AtEnd() && Peek() == '.' && FPos + 1 < FText.size() && IsDigit(FText[FPos + 1])) {
            isFloat = true;
            ++FPos;
            while (!AtEnd() && IsDigit(Peek())) ++FPos;
        }
        if (!AtEnd() && (Peek() == 'e' || Peek() == 'E')) {
            std::size_t save = FPos++;
            if (!AtEnd() && (Peek() == '+' || Peek() == '-')) ++FPos;
            if (!AtEnd() && IsDigit(Peek())) {
                isFloat = true;
                while (!AtEnd() && IsDigit(Peek())) ++FPos;
            } else {
                FPos = save;
            }
        }
        const char* b = FText.data() + start + ((FText[start] == '+') ? 1 : 0);
        const char* e = FText.data() + FPos;
        if (isFloat) {
            t.Kind = TTok::Float;
            auto [p, ec] = std::from_chars(b, e, t.Float);
            if (ec != std::errc() || p != e || !std::isfinite(t.Float))
                ReadErrorAt(FLine, Format("Invalid floating point value %s", String(b, e)));
        } else {
            t.Kind = TTok::Integer;
            auto [p, ec] = std::from_chars(b, e, t.Int);
            if (ec != std::errc() || p != e) ReadErrorAt(FLine, Format("Integer value %s out of range", String(b, e)));
        }
        return t;
    }

    TToken& StringToken(TToken& t) {
        t.Kind = TTok::String;
        const int startLine = FLine;
        while (!AtEnd()) {
            char c = Peek();
            if (c == '\'') {
                ++FPos;
                for (;;) {
                    if (AtEnd() || Peek() == '\n' || Peek() == '\r') ReadErrorAt(startLine, "Invalid string constant");
                    char d = FText[FPos++];
                    if (d != '\'') {
                        t.Text += d;
                    } else if (!AtEnd() && Peek() == '\'') {
                        t.Text += '\'';
                        ++FPos;
                    } else {
                        break;
                    }
                }
            } else if (c == '#') {
                ++FPos;
                std::uint32_t code = 0;
                std::size_t digits = 0;
                if (!AtEnd() && Peek() == '$') {
                    ++FPos;
                    while (!AtEnd() && HexValue(Peek()) >= 0 && digits < 8) {
                        code = (code << 4) | static_cast<unsigned>(HexValue(FText[FPos++]));
                        ++digits;
                    }
                } else {
                    while (!AtEnd() && IsDigit(Peek()) && digits < 8) {
                        code = code * 10 + static_cast<unsigned>(FText[FPos++] - '0');
                        ++digits;
                    }
                }
                if (digits == 0 || code > 0x10FFFF) ReadErrorAt(FLine, "Invalid string constant");
                if (code < 256)
                    t.Text += static_cast<char>(code);
                else
                    AppendUtf8(t.Text, code);
            } else {
                break;
            }
        }
        return t;
    }

    const String& FText;
    std::size_t FPos = 0;
    int FLine = 1;
};

// ---------------------------------------------------------------------------
// Parser

class TParser {
public:
    explicit TParser(const String& text) : FLex(text) { Advance(); }

    TFormObject ParseRoot() {
        TFormObject root = ParseObject(0);
        if (FTok.Kind != TTok::End) ReadErrorAt(FTok.Line, "End of file expected");
        return root;
    }

private:
    void Advance() { FTok = FLex.Next(); }

    [[noreturn]] void Unexpected(const char* expected) {
        if (FTok.Kind == TTok::End) ReadErrorAt(FTok.Line, "Unexpected end of file");
        ReadErrorAt(FTok.Line, expected);
    }

    bool IsSym(char c) const { return FTok.Kind == TTok::Symbol && FTok.Sym == c; }
    bool IsKeyword(const char* word) const { return FTok.Kind == TTok::Ident && SameText(FTok.Text, word); }
    bool IsObjectStart() const { return IsKeyword("object") || IsKeyword("inherited") || IsKeyword("inline"); }

    String ExpectIdent(const char* expected) {
        if (FTok.Kind != TTok::Ident) Unexpected(expected);
        String s = FTok.Text;
        Advance();
        return s;
    }

    String QualifiedName() {
        String name = ExpectIdent("Identifier expected");
        while (IsSym('.')) {
            Advance();
            name += '.';
            name += ExpectIdent("Identifier expected");
        }
        return name;
    }

    TFormObject ParseObject(int depth) {
        if (depth > MaxNesting) ReadErrorAt(FTok.Line, "Objects nested too deeply");
        TFormObject obj;
        obj.Line = FTok.Line;
        if (!IsObjectStart()) Unexpected("'object' expected");
        obj.Inherited = IsKeyword("inherited");
        Advance();
        String first = ExpectIdent("Identifier expected");
        if (IsSym(':')) {
            Advance();
            obj.Name = first;
            obj.ClassName = ExpectIdent("Class name expected");
        } else {
            obj.ClassName = first;
        }
        if (IsSym('[')) {  // position of an inline child: accepted and ignored
            Advance();
            if (FTok.Kind != TTok::Integer) Unexpected("Integer expected");
            Advance();
            if (!IsSym(']')) Unexpected("']' expected");
            Advance();
        }
        for (;;) {
            if (FTok.Kind == TTok::End) ReadErrorAt(FTok.Line, "Unexpected end of file");
            if (FTok.Kind != TTok::Ident) Unexpected("Identifier expected");
            if (IsKeyword("end")) {
                Advance();
                return obj;
            }
            if (IsObjectStart()) {
                obj.Children.push_back(ParseObject(depth + 1));
                continue;
            }
            TFormProperty prop;
            prop.Line = FTok.Line;
            prop.Path = QualifiedName();
            if (!IsSym('=')) Unexpected("'=' expected");
            Advance();
            prop.Value = ParseValue(depth);
            obj.Properties.push_back(std::move(prop));
        }
    }

    TFormValue ParseValue(int depth) {
        if (depth > MaxNesting) ReadErrorAt(FTok.Line, "Values nested too deeply");
        TFormValue v;
        v.Line = FTok.Line;
        switch (FTok.Kind) {
            case TTok::Integer:
                v.Kind = vaInt;
                v.Int = FTok.Int;
                Advance();
                return v;
            case TTok::Float:
                v.Kind = vaExtended;
                v.Float = FTok.Float;
                Advance();
                return v;
            case TTok::String:
                v.Kind = vaString;
                v.Str = FTok.Text;
                Advance();
                while (IsSym('+')) {  // 'long text ' + 'continued'
                    Advance();
                    if (FTok.Kind != TTok::String) Unexpected("String expected");
                    v.Str += FTok.Text;
                    Advance();
                }
                return v;
            case TTok::Ident:
                v.Kind = vaIdent;
                v.Str = QualifiedName();
                return v;
            case TTok::End:
                Unexpected("Property value expected");
            case TTok::Symbol:
                break;
        }
        if (IsSym('(')) {
            v.Kind = vaList;
            Advance();
            while (!IsSym(')')) {
                if (FTok.Kind == TTok::End) Unexpected("')' expected");
                v.Items.push_back(ParseValue(depth + 1));
            }
            Advance();
            return v;
        }
        if (IsSym('[')) {
            v.Kind = vaSet;
            Advance();
            if (!IsSym(']')) {
                for (;;) {
                    TFormValue item;
                    item.Kind = vaIdent;
                    item.Line = FTok.Line;
                    item.Str = ExpectIdent("Identifier expected");
                    v.Items.push_back(std::move(item));
                    if (IsSym(']')) break;
                    if (!IsSym(',')) Unexpected("',' or ']' expected");
                    Advance();
                }
            }
            Advance();
            return v;
        }
        if (IsSym('{')) {
            v.Kind = vaBinary;
            v.Str = FLex.Binary();
            Advance();
            return v;
        }
        if (IsSym('<')) ReadErrorAt(FTok.Line, "Collection values are not supported");
        ReadErrorAt(FTok.Line, Format("Invalid property value %s", CharText(FTok.Sym)));
    }

    TLexer FLex;
    TToken FTok;
};

std::vector<String> SplitPath(const String& path) {
    std::vector<String> parts;
    std::size_t p = 0;
    for (;;) {
        std::size_t q = path.find('.', p);
        parts.push_back(path.substr(p, q == String::npos ? String::npos : q - p));
        if (q == String::npos) break;
        p = q + 1;
    }
    return parts;
}

String FloatText(double v) {
    if (!std::isfinite(v)) throw EWriteError("Invalid floating point value in form file");
    char buf[64];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
    (void)ec;
    return String(buf, p);
}

String ReadAll(TStream& stream) {
    std::int64_t size = stream.Size() - stream.Position();
    String text(static_cast<std::size_t>(std::max<std::int64_t>(size, 0)), '\0');
    if (size > 0) stream.ReadBuffer(text.data(), size);
    return text;
}

std::mutex& FinderLock() {
    static std::mutex* lock = new std::mutex();
    return *lock;
}

TFindGlobalComponent& Finder() {
    static TFindGlobalComponent* finder = new TFindGlobalComponent();
    return *finder;
}

bool ClassMatches(TComponent* component, const String& className) {
    if (SameText(component->ClassName(), className)) return true;
    const TClassInfo* info = ClassInfoOf(component);
    return info && info->InheritsFrom(className);
}

}  // namespace

// ---------------------------------------------------------------------------
// TReader

struct TReaderAccess {
    static TComponent* Read(const String& text, TComponent* root, TComponent* owner) {
        TFormObject tree = TParser(text).ParseRoot();
        TReader reader(root, owner);
        return reader.ReadRoot(tree);
    }
};

TReader::TReader(TComponent* root, TComponent* owner) : FOwner(owner), FRootGiven(root != nullptr) { FRoot = root; }

TReader::~TReader() = default;

void TReader::Error(const String& message) const { ReadErrorAt(FLine, message); }

TComponent* TReader::ReadRoot(const TFormObject& node) {
    try {
        TComponent* root = ReadObject(node, FOwner, true);
        ResolveFixups();
        std::vector<TComponent*> loaded = FLoaded;
        for (TComponent* c : loaded) c->FComponentState.Exclude(csReading);
        for (TComponent* c : loaded) c->Loaded();
        FCreated.clear();
        FLoaded.clear();
        return root;
    } catch (...) {
        Cleanup();
        throw;
    }
}

void TReader::Cleanup() noexcept {
    for (TComponent* c : FLoaded)
        if (std::find(FCreated.begin(), FCreated.end(), c) == FCreated.end())
            c->FComponentState.Exclude(csLoading).Exclude(csReading);
    // Children were created after their owners: freeing from the last one
    // never frees a component twice.
    for (auto it = FCreated.rbegin(); it != FCreated.rend(); ++it) {
        try {
            (*it)->Free();
        } catch (...) {}
    }
    if (FRootGiven && FRoot && FRoot->Name() != FOldRootName) {
        try {
            FRoot->SetName(FOldRootName);
        } catch (...) {}
    }
    FCreated.clear();
    FLoaded.clear();
}

TComponent* TReader::ReadObject(const TFormObject& node, TComponent* owner, bool isRoot) {
    FLine = node.Line;
    TComponent* component;
    if (isRoot && FRootGiven) {
        component = FRoot;
        FOldRootName = component->Name();
        if (!ClassMatches(component, node.ClassName))
            ReadErrorAt(node.Line, Format("Cannot read a %s into a %s", node.ClassName, component->ClassName()));
    } else if (node.Inherited) {
        component = owner ? owner->FindComponent(node.Name) : nullptr;
        if (!component && FRoot && owner != FRoot) component = FRoot->FindComponent(node.Name);  // parented
        if (!component) ReadErrorAt(node.Line, Format("Inherited component %s not found", node.Name));
        if (!ClassMatches(component, node.ClassName))
            ReadErrorAt(node.Line, Format("Inherited component %s is not a %s", node.Name, node.ClassName));
    } else {
        const TClassInfo* info = GetClass(node.ClassName);
        if (!info) ReadErrorAt(node.Line, Format("Class %s not found", node.ClassName));
        if (!info->Factory) ReadErrorAt(node.Line, Format("Class %s cannot be created by name", node.ClassName));
        component = info->Factory(owner);
        FCreated.push_back(component);
        if (isRoot) FRoot = component;
    }
    component->FComponentState.Include(csLoading).Include(csReading);
    if (std::find(FLoaded.begin(), FLoaded.end(), component) == FLoaded.end()) FLoaded.push_back(component);
    if (!isRoot && !node.Inherited && owner && component->HasParent()) {
        // A control read inside another belongs to the root and sits in the
        // enclosing component (its parent), which is how forms are stored.
        if (FRoot && owner != FRoot) FRoot->InsertComponent(component);
        component->SetParentComponent(owner);
    }
    if (!node.Name.empty() && component->Name() != node.Name) {
        try {
            component->SetName(node.Name);
        } catch (const EComponentError& e) {
            ReadErrorAt(node.Line, e.Message());
        }
    }
    for (const TFormProperty& prop : node.Properties) ReadProperty(component, prop.Path, prop.Value, prop.Line);
    for (const TFormObject& child : node.Children) ReadObject(child, component, false);
    return component;
}

void TReader::ReadProperty(TComponent* component, const String& path, const TFormValue& value, int line) {
    FLine = line;
    const std::vector<String> parts = SplitPath(path);
    TPersistent* obj = component;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        const TPropInfo* prop = GetPropInfo(obj, parts[i]);
        if (!prop || prop->Kind != tkClass) ReadErrorAt(line, Format("Property %s does not exist", path));
        obj = prop->GetObject(obj);
        if (!obj) ReadErrorAt(line, Format("Property %s does not exist", path));
    }
    if (const TPropInfo* prop = GetPropInfo(obj, parts.back())) {
        AssignValue(component, obj, *prop, path, value);
        return;
    }
    // Not published: maybe declared by the object's DefineProperties.
    FPropName = parts.back();
    FPropValue = &value;
    FPropHandled = false;
    FAncestor = nullptr;
    obj->DefineProperties(*this);
    bool handled = FPropHandled;
    FPropValue = nullptr;
    FPropName.clear();
    if (!handled) ReadErrorAt(line, Format("Property %s does not exist", path));
}

void TReader::AssignValue(TComponent* component, TPersistent* obj, const TPropInfo& prop, const String& path,
                          const TFormValue& value) {
    const int line = value.Line ? value.Line : FLine;
    auto expected = [&](const char* what) {
        ReadErrorAt(line, Format("Invalid property value for %s: %s expected", path, what));
    };
    if (prop.Kind != tkClass && prop.ReadOnly()) ReadErrorAt(line, Format("Property %s is read-only", path));
    switch (prop.Kind) {
        case tkBoolean:
            if (value.Kind != vaIdent || GetEnumValue(BooleanInfo(), value.Str) < 0) expected("True or False");
            prop.SetOrd(obj, GetEnumValue(BooleanInfo(), value.Str));
            return;
        case tkInteger:
            if (value.Kind != vaInt) expected("an integer");
            if (value.Int < INT32_MIN || value.Int > INT32_MAX)
                ReadErrorAt(line, Format("Invalid property value for %s: %d is out of range", path, value.Int));
            prop.SetOrd(obj, value.Int);
            return;
        case tkInt64:
            if (value.Kind != vaInt) expected("an integer");
            prop.SetOrd(obj, value.Int);
            return;
        case tkFloat:
            if (value.Kind == vaInt)
                prop.SetFloat(obj, static_cast<double>(value.Int));
            else if (value.Kind == vaExtended)
                prop.SetFloat(obj, value.Float);
            else
                expected("a number");
            return;
        case tkString:
            if (value.Kind != vaString) expected("a string");
            prop.SetStr(obj, value.Str);
            return;
        case tkEnumeration: {
            if (value.Kind != vaIdent) expected(("a " + prop.TypeName + " value").c_str());
            int v = GetEnumValue(*prop.EnumType, value.Str);
            if (v < 0)
                ReadErrorAt(line, Format("Invalid property value for %s: %s is not a %s value", path, value.Str,
                                         prop.TypeName));
            prop.SetOrd(obj, v);
            return;
        }
        case tkSet: {
            if (value.Kind != vaSet) expected("a set");
            std::uint64_t bits = 0;
            for (const TFormValue& item : value.Items) {
                int v = GetEnumValue(*prop.EnumType, item.Str);
                if (v < 0 || v >= 64)
                    ReadErrorAt(item.Line, Format("Invalid property value for %s: %s is not a %s value", path, item.Str,
                                                  prop.TypeName));
                bits |= std::uint64_t{1} << v;
            }
            prop.SetOrd(obj, static_cast<std::int64_t>(bits));
            return;
        }
        case tkComponent:
            if (value.Kind != vaIdent) expected("a component name");
            if (SameText(value.Str, "nil")) {
                prop.SetComponent(obj, nullptr);
                return;
            }
            FFixups.push_back(TFixup{component, obj, &prop, value.Str, line});
            return;
        case tkMethod: {
            if (value.Kind != vaIdent) expected("a method name");
            auto* owner = dynamic_cast<TComponent*>(obj);
            if (!owner) ReadErrorAt(line, Format("Property %s: events of nested objects are not supported", path));
            const std::any* handler = owner->FindMethod(value.Str);
            if (!handler) ReadErrorAt(line, Format("Method '%s' not found", value.Str));
            if (!prop.SetMethod(owner, handler))
                ReadErrorAt(line, Format("Method '%s' does not match event %s", value.Str, path));
            owner->SetEventHandlerName(prop.Name, owner->MethodName(value.Str));
            return;
        }
        case tkClass:
        case tkUnknown:
            break;
    }
    ReadErrorAt(line, Format("Invalid property value for %s", path));
}

TComponent* TReader::ResolveReference(const String& reference) const {
    const std::vector<String> parts = SplitPath(reference);
    TComponent* c = FRoot ? FRoot->FindComponent(parts[0]) : nullptr;
    if (!c && FRoot && !FRoot->Name().empty() && SameText(FRoot->Name(), parts[0])) c = FRoot;
    if (!c) {
        TFindGlobalComponent finder;
        {
            std::lock_guard<std::mutex> guard(FinderLock());
            finder = Finder();
        }
        if (finder) c = finder(parts[0]);
    }
    for (std::size_t i = 1; c && i < parts.size(); ++i) c = c->FindComponent(parts[i]);
    return c;
}

void TReader::ResolveFixups() {
    for (const TFixup& f : FFixups) {
        FLine = f.Line;
        TComponent* target = ResolveReference(f.Reference);
        if (!target)
            ReadErrorAt(f.Line,
                        Format("Invalid property value for %s: component %s not found", f.Prop->Name, f.Reference));
        if (f.Prop->AcceptsComponent && !f.Prop->AcceptsComponent(target))
            ReadErrorAt(f.Line, Format("Invalid property value for %s: %s is not a %s", f.Prop->Name, f.Reference,
                                       f.Prop->TypeName));
        f.Prop->SetComponent(f.Object, target);
    }
    FFixups.clear();
}

void TReader::DefineProperty(const String& name, TReaderProc readData, TWriterProc, bool) {
    if (FPropHandled || !FPropValue || !SameText(name, FPropName)) return;
    FPropHandled = true;
    if (!readData) ReadErrorAt(FLine, Format("Property %s cannot be read", name));
    FCursor.clear();
    FValueTaken = false;
    try {
        readData(*this);
    } catch (EReadError& e) {
        if (e.Message().rfind("line ", 0) != 0) e.SetMessage(Format("line %d: %s", FLine, e.Message()));
        throw;
    }
    if (!FCursor.empty() || !FValueTaken) ReadErrorAt(FLine, Format("Invalid property value for %s", name));
}

void TReader::DefineBinaryProperty(const String& name, TStreamProc readData, TStreamProc, bool) {
    if (FPropHandled || !FPropValue || !SameText(name, FPropName)) return;
    FPropHandled = true;
    if (FPropValue->Kind != vaBinary)
        ReadErrorAt(FLine, Format("Invalid property value for %s: binary data expected", name));
    if (!readData) ReadErrorAt(FLine, Format("Property %s cannot be read", name));
    TMemoryStream data;
    data.WriteBuffer(FPropValue->Str.data(), static_cast<std::int64_t>(FPropValue->Str.size()));
    data.SetPosition(0);
    try {
        readData(data);
    } catch (EReadError& e) {
        if (e.Message().rfind("line ", 0) != 0) e.SetMessage(Format("line %d: %s", FLine, e.Message()));
        throw;
    }
}

const TFormValue& TReader::Current() const {
    static const TFormValue none;
    if (FCursor.empty()) return (FValueTaken || !FPropValue) ? none : *FPropValue;
    const auto& [list, index] = FCursor.back();
    return index < list->Items.size() ? list->Items[index] : none;
}

const TFormValue& TReader::Take() {
    const TFormValue& v = Current();
    if (v.Kind == vaNull) Error("Invalid property value: more values expected");
    if (FCursor.empty())
        FValueTaken = true;
    else
        ++FCursor.back().second;
    return v;
}

TValueType TReader::NextValue() const { return Current().Kind; }

void TReader::ReadListBegin() {
    const TFormValue& v = Take();
    if (v.Kind != vaList) ReadErrorAt(v.Line ? v.Line : FLine, "Invalid property value: list expected");
    FCursor.emplace_back(&v, 0);
}

bool TReader::EndOfList() const {
    if (FCursor.empty()) return true;
    const auto& [list, index] = FCursor.back();
    return index >= list->Items.size();
}

void TReader::ReadListEnd() {
    if (FCursor.empty()) Error("Invalid property value: no list open");
    if (!EndOfList()) Error("Invalid property value: end of list expected");
    FCursor.pop_back();
}

String TReader::ReadString() {
    const TFormValue& v = Take();
    if (v.Kind != vaString) ReadErrorAt(v.Line ? v.Line : FLine, "Invalid property value: string expected");
    return v.Str;
}

std::int64_t TReader::ReadInteger() {
    const TFormValue& v = Take();
    if (v.Kind != vaInt) ReadErrorAt(v.Line ? v.Line : FLine, "Invalid property value: integer expected");
    return v.Int;
}

double TReader::ReadFloat() {
    const TFormValue& v = Take();
    if (v.Kind == vaInt) return static_cast<double>(v.Int);
    if (v.Kind != vaExtended) ReadErrorAt(v.Line ? v.Line : FLine, "Invalid property value: number expected");
    return v.Float;
}

bool TReader::ReadBoolean() {
    const TFormValue& v = Take();
    int b = v.Kind == vaIdent ? GetEnumValue(BooleanInfo(), v.Str) : -1;
    if (b < 0) ReadErrorAt(v.Line ? v.Line : FLine, "Invalid property value: True or False expected");
    return b == 1;
}

String TReader::ReadIdent() {
    const TFormValue& v = Take();
    if (v.Kind != vaIdent) ReadErrorAt(v.Line ? v.Line : FLine, "Invalid property value: identifier expected");
    return v.Str;
}

// ---------------------------------------------------------------------------
// TWriter

struct TWriterAccess {
    static String Write(TComponent* root, TComponent* ancestor) {
        if (!root) throw EInvalidOperation("No component to write");
        TWriter writer(root, ancestor);
        writer.WriteObject(root, ancestor, 0);
        return std::move(writer.FOut);
    }
};

TWriter::TWriter(TComponent* root, TComponent* ancestorRoot) : FAncestorRoot(ancestorRoot) { FRoot = root; }

TWriter::~TWriter() = default;

void TWriter::WriteObject(TComponent* component, TComponent* ancestor, int indent) {
    struct TWritingFlag {
        TComponent* C;
        explicit TWritingFlag(TComponent* c) : C(c) { C->FComponentState.Include(csWriting); }
        ~TWritingFlag() { C->FComponentState.Exclude(csWriting); }
    } writing(component);

    FOut += Spaces(indent);
    FOut += ancestor ? "inherited " : "object ";
    if (!component->Name().empty()) FOut += component->Name() + ": ";
    FOut += component->ClassName();
    FOut += '\n';
    FIndent = indent + 2;
    WriteProperties(component, ancestor, String(), component);
    component->GetChildren(
        [&](TComponent* child) {
            TComponent* childAncestor =
                ancestor && !child->Name().empty() ? ancestor->FindComponent(child->Name()) : nullptr;
            WriteObject(child, childAncestor, indent + 2);
        },
        FRoot);
    FOut += Spaces(indent) + "end\n";
}

void TWriter::WriteProperties(TPersistent* obj, TPersistent* ancestor, const String& prefix, TComponent* component) {
    if (const TClassInfo* info = ClassInfoOf(obj)) {
        for (const TPropInfo* prop : info->AllProperties()) {
            if (!IsStoredProp(obj, *prop)) continue;
            TPersistent* propAncestor = ancestor && GetPropInfo(ancestor, prop->Name) == prop ? ancestor : nullptr;
            if (prop->Kind == tkClass) {
                TPersistent* sub = prop->GetObject(obj);
                if (!sub) continue;
                TPersistent* subAncestor = propAncestor ? prop->GetObject(propAncestor) : nullptr;
                WriteProperties(sub, subAncestor, prefix + prop->Name + ".", component);
                continue;
            }
            if (prop->ReadOnly() || IsDefaultPropValue(obj, *prop, propAncestor)) continue;
            String text;
            switch (prop->Kind) {
                case tkBoolean:
                    text = prop->GetOrd(obj) ? "True" : "False";
                    break;
                case tkInteger:
                case tkInt64:
                    text = IntToStr(prop->GetOrd(obj));
                    break;
                case tkFloat:
                    text = FloatText(prop->GetFloat(obj));
                    break;
                case tkString:
                    text = QuoteFormString(prop->GetStr(obj));
                    break;
                case tkEnumeration: {
                    std::int64_t v = prop->GetOrd(obj);
                    text = GetEnumName(*prop->EnumType, v);
                    if (text.empty())
                        throw EWriteError(Format("Property %s: %d is not a %s value", prop->Name, v, prop->TypeName));
                    break;
                }
                case tkSet: {
                    text = SetToString(*prop->EnumType, static_cast<std::uint64_t>(prop->GetOrd(obj)));
                    String spaced;
                    for (char c : text) spaced += c == ',' ? String(", ") : String(1, c);
                    text = spaced;
                    break;
                }
                case tkComponent:
                    text = ReferenceName(prop->GetComponent(obj));
                    break;
                case tkMethod: {
                    auto* owner = dynamic_cast<TComponent*>(obj);
                    text = owner ? GetMethodProp(owner, *prop) : String();
                    break;
                }
                default:
                    break;
            }
            if (text.empty()) continue;  // unnamed reference or handler
            WritePropertyName(prefix + prop->Name);
            FOut += text;
            FOut += '\n';
        }
    }
    (void)component;
    const String savedPrefix = FPrefix;
    TPersistent* savedAncestor = FAncestor;
    FPrefix = prefix;
    FAncestor = ancestor;
    try {
        obj->DefineProperties(*this);
    } catch (...) {
        FPrefix = savedPrefix;
        FAncestor = savedAncestor;
        throw;
    }
    FPrefix = savedPrefix;
    FAncestor = savedAncestor;
}

void TWriter::WritePropertyName(const String& name) {
    FOut += Spaces(FIndent);
    FOut += name;
    FOut += " = ";
}

String TWriter::ReferenceName(TComponent* value) const {
    if (!value || value->Name().empty()) return String();
    if (value == FRoot) return value->Name();
    String path = value->Name();
    for (TComponent* owner = value->Owner(); owner; owner = owner->Owner()) {
        if (owner == FRoot || owner->Name().empty()) break;
        path = owner->Name() + "." + path;
    }
    return path;
}

void TWriter::DefineProperty(const String& name, TReaderProc, TWriterProc writeData, bool hasData) {
    if (!hasData || !writeData) return;
    WritePropertyName(FPrefix + name);
    FListDepth = 0;
    writeData(*this);
    if (FListDepth != 0) throw EWriteError(Format("Property %s: unbalanced list", name));
    FOut += '\n';
}

void TWriter::DefineBinaryProperty(const String& name, TStreamProc, TStreamProc writeData, bool hasData) {
    if (!hasData || !writeData) return;
    TMemoryStream data;
    writeData(data);
    static const char digits[] = "0123456789ABCDEF";
    WritePropertyName(FPrefix + name);
    FOut += '{';
    const std::vector<std::uint8_t>& bytes = data.Bytes();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i % BinaryBytesPerLine == 0) {
            FOut += '\n';
            FOut += Spaces(FIndent + 2);
        }
        FOut += digits[bytes[i] >> 4];
        FOut += digits[bytes[i] & 0xF];
    }
    FOut += "}\n";
}

void TWriter::ValuePrefix() {
    if (FListDepth > 0) {
        FOut += '\n';
        FOut += Spaces(FIndent + 2 * FListDepth);
    }
}

void TWriter::WriteListBegin() {
    ValuePrefix();
    FOut += '(';
    ++FListDepth;
}

void TWriter::WriteListEnd() {
    if (FListDepth == 0) throw EWriteError("Unbalanced list in form file");
    --FListDepth;
    FOut += ')';
}

void TWriter::WriteString(const String& value) {
    ValuePrefix();
    FOut += QuoteFormString(value);
}

void TWriter::WriteInteger(std::int64_t value) {
    ValuePrefix();
    FOut += IntToStr(value);
}

void TWriter::WriteFloat(double value) {
    ValuePrefix();
    FOut += FloatText(value);
}

void TWriter::WriteBoolean(bool value) {
    ValuePrefix();
    FOut += value ? "True" : "False";
}

void TWriter::WriteIdent(const String& ident) {
    if (!detail::IsValidIdent(ident)) throw EWriteError(Format("'%s' is not an identifier", ident));
    ValuePrefix();
    FOut += ident;
}

// ---------------------------------------------------------------------------
// Entry points

String QuoteFormString(const String& text) {
    if (text.empty()) return "''";
    String out;
    bool quoted = false;
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 32 || u == 127) {
            if (quoted) out += '\'';
            quoted = false;
            out += '#';
            out += IntToStr(u);
            continue;
        }
        if (!quoted) out += '\'';
        quoted = true;
        if (c == '\'') out += '\'';
        out += c;
    }
    if (quoted) out += '\'';
    return out;
}

void WriteComponentToStream(TComponent* root, TStream& stream, TComponent* ancestor) {
    String text = TWriterAccess::Write(root, ancestor);
    stream.WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
}

String WriteComponentToString(TComponent* root, TComponent* ancestor) { return TWriterAccess::Write(root, ancestor); }

void WriteComponentToFile(TComponent* root, const String& fileName, TComponent* ancestor) {
    String text = TWriterAccess::Write(root, ancestor);
    TFileStream stream(fileName, fmCreate);
    stream.WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
}

TComponent* ReadComponentFromStream(TStream& stream, TComponent* owner) {
    return TReaderAccess::Read(ReadAll(stream), nullptr, owner);
}

TComponent* ReadComponentFromString(const String& text, TComponent* owner) {
    return TReaderAccess::Read(text, nullptr, owner);
}

TComponent* ReadComponentFromFile(const String& fileName, TComponent* owner) {
    TFileStream stream(fileName, fmOpenRead);
    return ReadComponentFromStream(stream, owner);
}

void ReadComponentInto(TStream& stream, TComponent* root) {
    if (!root) throw EInvalidOperation("No root component to read into");
    TReaderAccess::Read(ReadAll(stream), root, nullptr);
}

void ReadComponentStringInto(const String& text, TComponent* root) {
    if (!root) throw EInvalidOperation("No root component to read into");
    TReaderAccess::Read(text, root, nullptr);
}

void ReadComponentFileInto(const String& fileName, TComponent* root) {
    TFileStream stream(fileName, fmOpenRead);
    ReadComponentInto(stream, root);
}

void SetFindGlobalComponent(TFindGlobalComponent finder) {
    std::lock_guard<std::mutex> guard(FinderLock());
    Finder() = std::move(finder);
}

}  // namespace velora
