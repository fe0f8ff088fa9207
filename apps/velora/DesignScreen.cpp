// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
#include "DesignScreen.h"

#include "Command.h"

#include "velora/classes/FormFiles.h"
#include "velora/components/ODBCQuery.h"
#include "velora/design/ODBCUpd.h"
#include "velora/design/ParmsEditor.h"
#include "velora/forms/Presenters.h"
#include "velora/tui/DialogScreen.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace velora::app {

namespace {

class TAcceptPresenter : public TFormPresenter {
public:
    explicit TAcceptPresenter(std::function<void(const String&)> report) : FReport(std::move(report)) {}
    bool RunModal(TCustomForm& form) override {
        if (auto* update = dynamic_cast<TUpdateEdit*>(&form)) {
            if (update->Generate->Enabled()) update->GenerateClick(nullptr);
        } else if (TComponent* message = form.FindComponent("Message")) {
            if (FReport) FReport(GetPropValueText(message, *GetPropInfo(message, "Caption")));
        }
        form.SetModalResult(mrOk);
        return true;
    }

private:
    std::function<void(const String&)> FReport;
};

bool StartsWithText(const String& s, const String& prefix) {
    return s.size() >= prefix.size() && SameText(s.substr(0, prefix.size()), prefix);
}
bool ContainsText(const String& s, const String& part) {
    return std::search(s.begin(), s.end(), part.begin(), part.end(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           }) != s.end();
}

class TDesignScreen {
public:
    TDesignScreen(tui::TScreen& screen, TComponent* root, TDesigner& designer, std::string file)
        : FScreen(screen), FRoot(root), FDesigner(designer), FFile(std::move(file)) {}

    void Run() {
        TPresenterScope scope(std::make_shared<tui::TScreenPresenter>(FScreen));
        for (;;) {
            Paint();
            const tui::TKeyEvent key = FScreen.ReadKey();
            if (key.Key == tui::TKey::Closed || key.Key == tui::TKey::F10 ||
                (key.Key == tui::TKey::Ctrl && key.Char == 'q'))
                return;
            try {
                HandleKey(key);
            } catch (const std::exception& e) {
                FMode = mNormal;
                FStatus = e.what();
            } catch (const TUsageError& e) {
                FMode = mNormal;
                FStatus = e.Message;
            }
        }
    }

private:
    enum TMode { mNormal, mPick, mLine };
    enum TPickKind { pkValue, pkPalette };

    std::vector<TComponent*> Components() const {
        std::vector<TComponent*> list;
        for (int i = 0; i < FRoot->ComponentCount(); ++i) list.push_back(FRoot->Components(i));
        return list;
    }
    TComponent* Selected() const {
        const auto list = Components();
        return FComp >= 0 && FComp < static_cast<int>(list.size()) ? list[static_cast<std::size_t>(FComp)] : nullptr;
    }
    std::vector<const TPropInfo*> Properties() const {
        std::vector<const TPropInfo*> props;
        if (TComponent* c = Selected())
            for (const TPropInfo* p : GetPropList(c))
                if (p->Kind != tkMethod) props.push_back(p);
        return props;
    }
    std::unique_ptr<TPropertyEditor> Editor() {
        const auto props = Properties();
        if (FProp < 0 || FProp >= static_cast<int>(props.size())) return nullptr;
        return GetPropertyEditor(&FDesigner, std::vector<TComponent*>{Selected()},
                                 *props[static_cast<std::size_t>(FProp)]);
    }
    std::vector<String> Filtered() const {
        std::vector<String> out;
        for (const String& v : FPickValues)
            if (FLine.Text().empty() || ContainsText(v, FLine.Text())) out.push_back(v);
        return out;
    }

    void Paint() {
        const int w = FScreen.Width();
        const int h = FScreen.Height();
        const int left = std::max(20, w / 3);
        FScreen.WriteLine(0, "velora design " + FFile + (FDesigner.IsModified() ? "  [modified]" : ""), tui::aReverse);
        const auto comps = Components();
        const auto props = Properties();
        std::vector<std::string> values;
        for (const TPropInfo* p : props) {
            String v;
            try {
                v = GetPropertyEditor(&FDesigner, std::vector<TComponent*>{Selected()}, *p)->GetValue();
            } catch (const std::exception& e) {
                v = std::string("(") + e.what() + ")";
            }
            std::replace(v.begin(), v.end(), '\n', ' ');
            values.push_back(v);
        }
        const std::vector<String> picks = FMode == mPick ? Filtered() : std::vector<String>();
        for (int row = 1; row < h - 2; ++row) {
            const int i = row - 1;
            std::string l = i < static_cast<int>(comps.size()) ? comps[static_cast<std::size_t>(i)]->Name() + ": " +
                                                                     comps[static_cast<std::size_t>(i)]->ClassName()
                                                               : std::string();
            const bool compSel = i == FComp;
            FScreen.Write(row, 0, tui::FitWidth(l, left - 1),
                          compSel ? (FPane == 0 ? tui::aReverse : tui::aBold) : tui::aNormal);
            FScreen.Write(row, left - 1, "|");
            std::string r;
            unsigned attr = tui::aNormal;
            if (FMode == mPick) {
                // The list scrolls so that the chosen value shows.
                const int shown = std::max(1, h - 4);
                const int top = std::max(0, FPick - shown + 1);
                const int k = top + i - 1;
                if (i == 0)
                    r = (FPickKind == pkPalette ? "Add component: " : "Pick a value: ") + FLine.Text();
                else if (k < static_cast<int>(picks.size()))
                    r = "  " + picks[static_cast<std::size_t>(k)];
                if (i > 0 && k == FPick) attr = tui::aReverse;
            } else if (i < static_cast<int>(props.size())) {
                r = tui::FitWidth(props[static_cast<std::size_t>(i)]->Name, 18) + " " +
                    values[static_cast<std::size_t>(i)];
                if (i == FProp && FPane == 1) attr = tui::aReverse;
            }
            FScreen.Write(row, left, tui::FitWidth(r, w - left), attr);
        }
        if (FMode == mLine) {
            int col = 0;
            const std::string prompt = FPrompt + ": ";
            const std::string visible = FLine.Visible(w - static_cast<int>(prompt.size()) - 1, col);
            FScreen.WriteLine(h - 2, prompt + visible);
            FScreen.SetCursor(h - 2, static_cast<int>(prompt.size()) + col);
        } else {
            FScreen.WriteLine(h - 2, FStatus);
            FScreen.SetCursor(-1, -1);
        }
        FScreen.WriteLine(h - 1, "Tab pane  Enter edit  F6 verb  F7 add  F2 save  F10 quit", tui::aReverse);
        FScreen.Flush();
    }

    void Jump(const tui::TKeyEvent& key) {
        if (key.Key != tui::TKey::Char) {
            FFind.clear();
            return;
        }
        tui::AppendUtf8(FFind, key.Char);
        if (FPane == 0) {
            const auto comps = Components();
            for (std::size_t i = 0; i < comps.size(); ++i)
                if (StartsWithText(comps[i]->Name(), FFind)) {
                    FComp = static_cast<int>(i);
                    FProp = 0;
                    return;
                }
        } else {
            const auto props = Properties();
            for (std::size_t i = 0; i < props.size(); ++i)
                if (StartsWithText(props[i]->Name, FFind)) {
                    FProp = static_cast<int>(i);
                    return;
                }
        }
    }

    void HandleKey(const tui::TKeyEvent& key) {
        if (FMode == mPick) return HandlePick(key);
        if (FMode == mLine) return HandleLine(key);
        FStatus.clear();
        const int count = FPane == 0 ? static_cast<int>(Components().size()) : static_cast<int>(Properties().size());
        int& index = FPane == 0 ? FComp : FProp;
        switch (key.Key) {
            case tui::TKey::Tab:
            case tui::TKey::BackTab:
                FPane = 1 - FPane;
                FFind.clear();
                return;
            case tui::TKey::Up:
                index = std::max(0, index - 1);
                FFind.clear();
                return;
            case tui::TKey::Down:
                index = std::min(count - 1, index + 1);
                FFind.clear();
                return;
            case tui::TKey::F2:
                SaveForm(FRoot, FFile);
                FDesigner.ClearModified();
                FStatus = "saved " + FFile;
                return;
            case tui::TKey::F6:
                return RunVerb();
            case tui::TKey::F7:
                FPickKind = pkPalette;
                FPickValues.clear();
                for (const String& page : PalettePages())
                    for (const String& c : PaletteClasses(page)) FPickValues.push_back(c);
                return StartPick();
            case tui::TKey::Enter:
                if (FPane == 0) {
                    FPane = 1;
                    return;
                }
                return EditProperty();
            default:
                return Jump(key);
        }
    }

    void StartPick() {
        FMode = mPick;
        FPick = 0;
        FLine.SetText("");
    }

    void RunVerb() {
        TComponent* c = Selected();
        if (!c) return;
        auto editor = GetComponentEditor(c, &FDesigner);
        if (editor->GetVerbCount() < 1) {
            FStatus = c->Name() + " has no verbs";
            return;
        }
        const int before = FDesigner.ModifiedCount();
        editor->ExecuteVerb(0);
        if (FStatus.empty())
            FStatus = editor->GetVerb(0) + (FDesigner.ModifiedCount() != before ? " done" : " cancelled");
    }

    void EditProperty() {
        auto editor = Editor();
        if (!editor) return;
        FFind.clear();
        const TPropertyAttributes attrs = editor->GetAttributes();
        if (attrs.Contains(paValueList)) {
            FPickKind = pkValue;
            FPickValues = editor->Values();
            StartPick();
            // The list opens at the value the property has.
            const String current = editor->GetValue();
            for (std::size_t i = 0; i < FPickValues.size(); ++i)
                if (FPickValues[i] == current) FPick = static_cast<int>(i);
            return;
        }
        if (attrs.Contains(paDialog)) {
            const int before = FDesigner.ModifiedCount();
            editor->Edit();
            FStatus = editor->GetName() + (FDesigner.ModifiedCount() != before ? " edited" : " shown");
            return;
        }
        if (attrs.Contains(paReadOnly)) {
            FStatus = editor->GetName() + " cannot be typed";
            return;
        }
        FPrompt = editor->GetName();
        FLine.SetText(editor->GetValue());
        FMode = mLine;
    }

    void HandlePick(const tui::TKeyEvent& key) {
        const std::vector<String> picks = Filtered();
        switch (key.Key) {
            case tui::TKey::Escape:
                FMode = mNormal;
                return;
            case tui::TKey::Up:
                FPick = std::max(0, FPick - 1);
                return;
            case tui::TKey::Down:
                FPick = std::min(static_cast<int>(picks.size()) - 1, FPick + 1);
                return;
            case tui::TKey::Enter: {
                if (FPick < 0 || FPick >= static_cast<int>(picks.size())) return;
                const String value = picks[static_cast<std::size_t>(FPick)];
                FMode = mNormal;
                if (FPickKind == pkPalette) return AddComponent(value);
                Editor()->TypeValue(value);
                return;
            }
            default:
                if (FLine.HandleKey(key)) FPick = 0;
        }
    }

    void HandleLine(const tui::TKeyEvent& key) {
        if (key.Key == tui::TKey::Escape) {
            FMode = mNormal;
            return;
        }
        if (key.Key != tui::TKey::Enter) {
            FLine.HandleKey(key);
            return;
        }
        FMode = mNormal;
        auto editor = Editor();
        editor->TypeValue(FLine.Text());
    }

    void AddComponent(const String& cls) {
        String base = cls.size() > 1 && cls[0] == 'T' ? cls.substr(1) : cls;
        String name;
        for (int n = 1;; ++n) {
            name = base + std::to_string(n);
            if (!FRoot->FindComponent(name)) break;
        }
        TComponent* c = FindClass(cls).CreateComponent(FRoot);
        c->SetName(name);
        FDesigner.Modified();
        const auto comps = Components();
        FComp = static_cast<int>(std::find(comps.begin(), comps.end(), c) - comps.begin());
        FProp = 0;
        FStatus = "added " + name;
    }

    tui::TScreen& FScreen;
    TComponent* FRoot;
    TDesigner& FDesigner;
    std::string FFile;
    int FPane = 0;
    int FComp = 0;
    int FProp = 0;
    int FPick = 0;
    TMode FMode = mNormal;
    TPickKind FPickKind = pkValue;
    std::vector<String> FPickValues;
    tui::TLineEditor FLine;
    std::string FPrompt;
    std::string FFind;
    String FStatus;
};

}  // namespace

namespace {

/// An identifier made of the text's letters, digits and underscores.
String IdentOf(const String& text) {
    String out;
    for (char c : text) out += std::isalnum(static_cast<unsigned char>(c)) || c == '_' ? c : '_';
    if (out.empty() || std::isdigit(static_cast<unsigned char>(out[0]))) out = "_" + out;
    return out;
}

void NameFieldObjects(TComponent* root, TComponent* owner) {
    for (int i = 0; i < owner->ComponentCount(); ++i) {
        TComponent* c = owner->Components(i);
        if (auto* field = dynamic_cast<TField*>(c); field && field->Name().empty()) {
            const String base = IdentOf(owner->Name() + field->FieldName());
            String name = base;
            for (int n = 1; root->FindComponent(name) || owner->FindComponent(name); ++n)
                name = base + "_" + std::to_string(n);
            field->SetName(name);
        }
        NameFieldObjects(root, c);
    }
}

}  // namespace

void SaveForm(TComponent* root, const std::string& file) {
    NameFieldObjects(root, root);
    WriteComponentToFile(root, file);
}

std::shared_ptr<TFormPresenter> AcceptingPresenter(std::function<void(const String&)> report) {
    return std::make_shared<TAcceptPresenter>(std::move(report));
}

void TypeParameter(TDesigner& designer, TComponent* component, const String& name, const String& type,
                   const String& value) {
    auto* query = dynamic_cast<TODBCQuery*>(component);
    if (!query) throw Exception(component->Name() + " is not a query");
    int index = -1;
    for (int i = 0; i < query->Params()->Count(); ++i)
        if (SameText(query->Params()->Entry(i)->Name(), name)) index = i;
    if (index < 0) throw Exception(query->Name() + " has no parameter " + name);
    String status;
    bool typeFound = true;
    auto user = std::make_shared<TScriptedPresenter>();
    user->Examine([&](TCustomForm& f) { static_cast<TParamsEdit&>(f).ParamsList->UserClickItem(index); })
        .Examine([&](TCustomForm& f) {
            auto& d = static_cast<TParamsEdit&>(f);
            const int item = d.TypeChoice->Items()->IndexOf(type);
            typeFound = item >= 0;
            if (typeFound) d.TypeChoice->UserSelectItem(item);
        })
        .TypeInto("ValueEdit", value)
        .Focus("TypeChoice")
        .Examine([&](TCustomForm& f) { status = static_cast<TParamsEdit&>(f).ParmsBar->Panels()->Items(0)->Text(); })
        .Click("OKBtn");
    {
        TPresenterScope scope(user);
        GetPropertyEditor(&designer, query, "Params")->Edit();
    }
    if (!typeFound) throw Exception("no parameter type " + type);
    if (status.find("unchanged") != String::npos || status.find("cannot") != String::npos) throw Exception(status);
}

void RunDesignScreen(tui::TScreen& screen, TComponent* root, TDesigner& designer, const std::string& file) {
    TDesignScreen(screen, root, designer, file).Run();
}

}  // namespace velora::app
