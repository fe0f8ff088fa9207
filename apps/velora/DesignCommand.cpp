// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The designer without a screen: every change goes through the editor the
// design-time registry gives the property (or the component's verb), as a
// person at the designer would make it, and the form file is written back
// with --save. Dialogs that a verb or an editor opens are answered by a
// presenter that accepts them: the update-SQL editor generates its
// statements from its defaults and takes OK; a message box is printed on
// standard error and closed.
#include "DesignCommand.h"

#include "DesignScreen.h"

#include "velora/classes/FormFiles.h"
#include "velora/components/ODBCObj.h"
#include "velora/components/ODBCQuery.h"
#include "velora/design/ODBCReg.h"
#include "velora/design/ODBCUpd.h"
#include "velora/design/ParmsEditor.h"
#include "velora/forms/FormClasses.h"
#include "velora/forms/Presenters.h"
#include "velora/tui/Screen.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <sstream>
#include <unistd.h>

namespace velora::app {

namespace {

/// "A.B=C" split at the first "." and the first "=" after it.
bool SplitAssignment(const std::string& text, std::string& component, std::string& property, std::string& value) {
    const std::size_t eq = text.find('=');
    const std::size_t dot = text.find('.');
    if (eq == std::string::npos || dot == std::string::npos || dot > eq) return false;
    component = text.substr(0, dot);
    property = text.substr(dot + 1, eq - dot - 1);
    value = text.substr(eq + 1);
    return !component.empty() && !property.empty();
}

TComponent* Find(TComponent* root, const std::string& name) {
    if (SameText(root->Name(), name)) return root;
    TComponent* c = root->FindComponent(name);
    if (!c) throw TUsageError{"the form has no component " + name};
    return c;
}

/// Unescapes "\n" in a typed value (SQL text of several lines).
std::string Unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == 'n') {
            out += '\n';
            ++i;
        } else {
            out += s[i];
        }
    }
    return out;
}

void ListForm(TComponent* root, TDesigner& designer) {
    std::printf("%s: %s\n", root->Name().c_str(), root->ClassName().c_str());
    for (int i = 0; i < root->ComponentCount(); ++i) {
        TComponent* c = root->Components(i);
        std::printf("  %s: %s\n", c->Name().c_str(), c->ClassName().c_str());
        for (const TPropInfo* p : GetPropList(c)) {
            if (p->Kind == tkMethod) continue;
            auto editor = GetPropertyEditor(&designer, std::vector<TComponent*>{c}, *p);
            String value = editor->GetValue();
            std::replace(value.begin(), value.end(), '\n', ' ');
            std::printf("    %s = %s\n", p->Name.c_str(), value.c_str());
        }
    }
}

}  // namespace

void TDesignCommand::Define(CLI::App& cmd) {
    cmd.add_option("FORMFILE", FFile, "the form file (created when it does not exist)")->required();
    FCmd = &cmd;
    FAddOption = cmd.add_option("--add", FAdd, "adds a component from the palette: CLASS:NAME");
    FSetOption =
        cmd.add_option("--set", FSet,
                       "types a property value through its editor: COMPONENT.PROPERTY=VALUE (\\n ends a line of a "
                       "string list)");
    FParamOption =
        cmd.add_option("--param", FParam,
                       "gives a query parameter a type and a value in the parameter editor: QUERY.PARAM=TYPE:VALUE");
    FVerbOption = cmd.add_option("--verb", FVerb, "runs a component editor's verb, accepting its dialog: COMPONENT:N");
    cmd.add_option("--values", FValues, "prints the values a property's editor offers: COMPONENT.PROPERTY");
    cmd.add_flag("--save", FSave, "writes the form file back");
}

int TDesignCommand::Run() {
    Register();
    RegisterFormClasses();
    TOwnedPtr<TComponent> root;
    if (std::filesystem::exists(FFile)) {
        root.reset(ReadComponentFromFile(FFile, nullptr));
    } else {
        root.reset(new TForm(nullptr));
        root->SetName("Form1");
    }
    TDesigner designer(root.get());
    const bool interactive =
        FAdd.empty() && FSet.empty() && FParam.empty() && FVerb.empty() && FValues.empty() && !FSave;
    if (interactive && ::isatty(0) && ::isatty(1)) {
        tui::TCursesScreen screen;
        RunDesignScreen(screen, root.get(), designer, FFile);
        return 0;
    }
    TPresenterScope scope(
        AcceptingPresenter([](const String& m) { std::fprintf(stderr, "velora design: %s\n", m.c_str()); }));

    auto add = [&](const std::string& add) {
        const std::size_t colon = add.find(':');
        if (colon == std::string::npos) throw TUsageError{"--add takes CLASS:NAME"};
        const String cls = add.substr(0, colon);
        bool onPalette = false;
        for (const String& page : PalettePages())
            for (const String& c : PaletteClasses(page)) onPalette = onPalette || SameText(c, cls);
        if (!onPalette) throw TUsageError{"no component " + cls + " on the palette"};
        TComponent* c = FindClass(cls).CreateComponent(root.get());
        c->SetName(add.substr(colon + 1));
        designer.Modified();
    };
    auto set = [&](const std::string& set) {
        std::string component, property, value;
        if (!SplitAssignment(set, component, property, value))
            throw TUsageError{"--set takes COMPONENT.PROPERTY=VALUE"};
        auto editor = GetPropertyEditor(&designer, Find(root.get(), component), property);
        // A boolean property takes the spellings people type (1, yes, on...).
        const std::vector<String> values = editor->Values();
        bool flag = false;
        if (values.size() == 2 && SameText(values[0], "False") && SameText(values[1], "True") &&
            ParseBoolean(value, flag))
            value = flag ? "True" : "False";
        editor->TypeValue(Unescape(value));
    };
    auto param = [&](const std::string& param) {
        std::string component, name, value;
        if (!SplitAssignment(param, component, name, value)) throw TUsageError{"--param takes QUERY.PARAM=TYPE:VALUE"};
        auto* query = dynamic_cast<TODBCQuery*>(Find(root.get(), component));
        if (!query) throw TUsageError{component + " is not a query"};
        const std::size_t colon = value.find(':');
        const String type = colon == std::string::npos ? String(value) : String(value.substr(0, colon));
        String text = colon == std::string::npos ? String() : String(value.substr(colon + 1));
        if (SameText(type, "Boolean")) text = BooleanInput(text, component + "." + name) ? "True" : "False";
        TypeParameter(designer, query, name, type, text);
    };
    auto verb = [&](const std::string& verb) {
        const std::size_t colon = verb.rfind(':');
        if (colon == std::string::npos) throw TUsageError{"--verb takes COMPONENT:N"};
        auto editor = GetComponentEditor(Find(root.get(), verb.substr(0, colon)), &designer);
        const int n = std::stoi(verb.substr(colon + 1));
        if (n < 0 || n >= editor->GetVerbCount()) throw TUsageError{"no verb " + verb};
        editor->ExecuteVerb(n);
    };
    // In the order given on the command line: a --set of Active after the
    // --param that gives the query its value opens the query with it.
    struct TStep {
        CLI::Option* Option;
        const std::vector<std::string>& Values;
        std::function<void(const std::string&)> Run;
        std::size_t Next = 0;
    };
    TStep steps[] = {
        {FAddOption, FAdd, add}, {FSetOption, FSet, set}, {FParamOption, FParam, param}, {FVerbOption, FVerb, verb}};
    if (FCmd)
        for (const CLI::Option* given : FCmd->parse_order())
            for (TStep& step : steps)
                if (step.Option == given && step.Next < step.Values.size()) step.Run(step.Values[step.Next++]);
    for (TStep& step : steps)  // anything the parse order did not list
        while (step.Next < step.Values.size()) step.Run(step.Values[step.Next++]);
    for (const std::string& v : FValues) {
        const std::size_t dot = v.find('.');
        if (dot == std::string::npos) throw TUsageError{"--values takes COMPONENT.PROPERTY"};
        for (const String& value :
             GetPropertyEditor(&designer, Find(root.get(), v.substr(0, dot)), v.substr(dot + 1))->Values())
            std::printf("%s\n", value.c_str());
    }
    if (FValues.empty()) ListForm(root.get(), designer);
    if (FSave) {
        SaveForm(root.get(), FFile);
        designer.ClearModified();
    }
    return 0;
}

void TUpdateSQLCommand::Define(CLI::App& cmd) {
    cmd.add_option("DSN", FDsn, "ODBC data source name or connection string")->required();
    cmd.add_option("SQL", FSQL, "the query whose rows the statements write")->required();
    cmd.add_option("--keys", FKeys, "key fields, comma-separated (default: the primary key)");
    cmd.add_option("--update", FUpdate, "update fields, comma-separated (default: all but auto-increment)");
    cmd.add_flag("--quote", FQuote, "quotes every field name");
    FAccount.Define(cmd);
    cmd.callback([this, &cmd] {
        FKeysGiven = cmd.count("--keys") > 0;
        FUpdateGiven = cmd.count("--update") > 0;
    });
}

int TUpdateSQLCommand::Run() {
    TOwnedPtr<TComponent> owner(new TComponent(nullptr));
    TODBCDatabase* db = FAccount.NewDatabase(owner.get(), FDsn);
    db->Open();
    auto* query = new TODBCQuery(owner.get());
    query->SetDataBase(db);
    query->SetReadOnly(true);
    query->SQL()->SetText(FSQL);
    query->Open();
    const String table = StatementTableName(FSQL);
    if (table.empty()) throw TUsageError{"the query names no table after FROM"};
    std::vector<TUpdateField> fields = DefaultUpdateFields(*query, table);
    auto apply = [&](const std::string& list, bool TUpdateField::*member) {
        std::vector<std::string> names;
        std::stringstream in(list);
        for (std::string n; std::getline(in, n, ',');)
            if (!n.empty()) names.push_back(n);
        for (TUpdateField& f : fields) f.*member = false;
        for (const std::string& n : names) {
            auto it =
                std::find_if(fields.begin(), fields.end(), [&](const TUpdateField& f) { return SameText(f.Name, n); });
            if (it == fields.end()) throw TUsageError{"the query has no field " + n};
            (*it).*member = true;
        }
    };
    if (FKeysGiven) apply(FKeys, &TUpdateField::Key);
    if (FUpdateGiven) apply(FUpdate, &TUpdateField::Update);
    const TUpdateStatements s = GenerateUpdateSQL(table, fields, FQuote, IdentifierRulesOf(db->Handle()));
    auto print = [](const char* title, String text) {
        String lines;
        for (char c : text)
            if (c != '\r') lines += c;
        std::printf("-- %s\n%s\n", title, lines.c_str());
    };
    print("ModifySQL", s.Modify);
    std::printf("\n");
    print("InsertSQL", s.Insert);
    std::printf("\n");
    print("DeleteSQL", s.Delete);
    query->Close();
    return 0;
}

}  // namespace velora::app
