// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
#include "velora/design/DesignIntf.h"

#include <mutex>
#include <tuple>

namespace velora {

namespace {

struct TPropertyEditorEntry {
    String Type;
    String ComponentClass;
    String PropertyName;
    TPropertyEditorClass Make;
};

struct TComponentEditorEntry {
    String ComponentClass;
    TComponentEditorClass Make;
};

struct TRegistry {
    std::mutex Lock;
    std::vector<std::pair<String, std::vector<String>>> Pages;
    std::vector<TPropertyEditorEntry> PropertyEditors;
    std::vector<TComponentEditorEntry> ComponentEditors;
};

TRegistry& Registry() {
    static TRegistry* registry = new TRegistry;
    return *registry;
}

/// Steps from the component's class up to className: 0 for its own class,
/// -1 when it does not descend from it.
int ClassDistance(const TComponent* component, const String& className) {
    int distance = 0;
    for (const TClassInfo* c = ClassInfoOf(component); c; c = c->Parent(), ++distance)
        if (SameText(c->ClassName, className)) return distance;
    return -1;
}

}  // namespace

// ---- TPropertyEditor -------------------------------------------------------

TPropertyEditor::TPropertyEditor(TDesigner* designer, std::vector<TComponent*> components, const TPropInfo& prop)
    : FDesigner(designer), FComponents(std::move(components)), FProp(&prop) {}

TPropertyEditor::~TPropertyEditor() = default;

TComponent* TPropertyEditor::GetComponent(int Index) const {
    if (Index < 0 || Index >= ComponentCount()) throw EListError(Format("List index out of bounds (%d)", Index));
    return FComponents[static_cast<std::size_t>(Index)];
}

String TPropertyEditor::GetStrValue() const { return GetPropValueText(GetComponent(0), *FProp); }

void TPropertyEditor::SetStrValue(const String& Value) {
    for (TComponent* c : FComponents) SetPropValueText(c, *FProp, Value);
    Modified();
}

TPropertyAttributes TPropertyEditor::GetAttributes() const {
    TPropertyAttributes a{paMultiSelect};
    if (FProp->ReadOnly()) a.Include(paReadOnly);
    return a;
}

String TPropertyEditor::GetValue() { return GetStrValue(); }
void TPropertyEditor::SetValue(const String& Value) { SetStrValue(Value); }
void TPropertyEditor::GetValues(const TGetStrProc&) {}
void TPropertyEditor::Edit() {}

void TPropertyEditor::Modified() {
    if (FDesigner) FDesigner->Modified();
}

void TPropertyEditor::TypeValue(const String& Value) {
    if (GetAttributes().Contains(paReadOnly)) throw EPropertyError("Property '" + GetName() + "' cannot be typed");
    SetValue(Value);
}

std::vector<String> TPropertyEditor::Values() {
    std::vector<String> values;
    GetValues([&](const String& v) { values.push_back(v); });
    return values;
}

TPropertyAttributes TEnumProperty::GetAttributes() const { return TPropertyAttributes{paMultiSelect, paValueList}; }

void TEnumProperty::GetValues(const TGetStrProc& Proc) {
    if (const TEnumInfo* e = PropInfo().EnumType)
        for (const String& name : e->Names) Proc(name);
}

TPropertyAttributes TStringsProperty::GetAttributes() const { return TPropertyAttributes{}; }

String TStringsProperty::GetValue() {
    auto* list = dynamic_cast<TStrings*>(GetObjectProp(GetComponent(0), PropInfo()));
    if (!list) return GetStrValue();
    String text;
    for (int i = 0; i < list->Count(); ++i) text += (i ? "\n" : "") + list->Strings(i);
    return text;
}

void TStringsProperty::SetValue(const String& Value) {
    for (int i = 0; i < ComponentCount(); ++i) {
        auto* list = dynamic_cast<TStrings*>(GetObjectProp(GetComponent(i), PropInfo()));
        if (!list) throw EPropertyError("Property '" + GetName() + "' is not a string list");
        list->SetText(Value);
    }
    Modified();
}

TPropertyAttributes TComponentProperty::GetAttributes() const {
    return TPropertyAttributes{paMultiSelect, paValueList, paSortList};
}

void TComponentProperty::GetValues(const TGetStrProc& Proc) {
    TComponent* root = Designer() && Designer()->Root() ? Designer()->Root() : GetComponent(0)->Owner();
    if (!root || !PropInfo().AcceptsComponent) return;
    for (int i = 0; i < root->ComponentCount(); ++i) {
        TComponent* c = root->Components(i);
        if (c != GetComponent(0) && !c->Name().empty() && PropInfo().AcceptsComponent(c)) Proc(c->Name());
    }
}

// ---- TComponentEditor --------------------------------------------------------

TComponentEditor::~TComponentEditor() = default;

void TComponentEditor::Edit() {
    if (GetVerbCount() > 0) ExecuteVerb(0);
}

// ---- the registry ----------------------------------------------------------

void RegisterComponents(const String& Page, const std::vector<String>& ClassNames) {
    TRegistry& r = Registry();
    std::lock_guard<std::mutex> guard(r.Lock);
    std::vector<String>* classes = nullptr;
    for (auto& p : r.Pages)
        if (p.first == Page) classes = &p.second;
    if (!classes) classes = &r.Pages.emplace_back(Page, std::vector<String>()).second;
    for (const String& name : ClassNames) {
        FindClass(name);  // raises for an unregistered class
        bool present = false;
        for (const String& c : *classes) present = present || SameText(c, name);
        if (!present) classes->push_back(name);
    }
}

std::vector<String> PalettePages() {
    TRegistry& r = Registry();
    std::lock_guard<std::mutex> guard(r.Lock);
    std::vector<String> pages;
    for (auto& p : r.Pages) pages.push_back(p.first);
    return pages;
}

std::vector<String> PaletteClasses(const String& Page) {
    TRegistry& r = Registry();
    std::lock_guard<std::mutex> guard(r.Lock);
    for (auto& p : r.Pages)
        if (p.first == Page) return p.second;
    return {};
}

void RegisterPropertyEditor(const String& PropertyType, const String& ComponentClass, const String& PropertyName,
                            TPropertyEditorClass EditorClass) {
    TRegistry& r = Registry();
    std::lock_guard<std::mutex> guard(r.Lock);
    r.PropertyEditors.push_back({PropertyType, ComponentClass, PropertyName, std::move(EditorClass)});
}

void RegisterComponentEditor(const String& ComponentClass, TComponentEditorClass EditorClass) {
    TRegistry& r = Registry();
    std::lock_guard<std::mutex> guard(r.Lock);
    r.ComponentEditors.push_back({ComponentClass, std::move(EditorClass)});
}

std::unique_ptr<TPropertyEditor> GetPropertyEditor(TDesigner* Designer, std::vector<TComponent*> Components,
                                                   const TPropInfo& Prop) {
    if (Components.empty()) throw EPropertyError("No component selected");
    TPropertyEditorClass make;
    {
        TRegistry& r = Registry();
        std::lock_guard<std::mutex> guard(r.Lock);
        // Rank: names the property, then the nearest class (any class last),
        // then the later registration.
        std::tuple<bool, int, std::size_t> best{false, 0, 0};
        for (std::size_t i = 0; i < r.PropertyEditors.size(); ++i) {
            const TPropertyEditorEntry& e = r.PropertyEditors[i];
            if (!SameText(e.Type, Prop.TypeName)) continue;
            if (!e.PropertyName.empty() && !SameText(e.PropertyName, Prop.Name)) continue;
            int closeness = 0;  // any class
            if (!e.ComponentClass.empty()) {
                const int d = ClassDistance(Components.front(), e.ComponentClass);
                if (d < 0) continue;
                closeness = 1000 - d;
            }
            std::tuple<bool, int, std::size_t> rank{!e.PropertyName.empty(), closeness, i + 1};
            if (!make || rank > best) {
                best = rank;
                make = e.Make;
            }
        }
    }
    if (make) return make(Designer, std::move(Components), Prop);
    switch (Prop.Kind) {
        case tkBoolean:
        case tkEnumeration:
            return std::make_unique<TEnumProperty>(Designer, std::move(Components), Prop);
        case tkComponent:
            return std::make_unique<TComponentProperty>(Designer, std::move(Components), Prop);
        case tkClass:
            if (dynamic_cast<TStrings*>(GetObjectProp(Components.front(), Prop)))
                return std::make_unique<TStringsProperty>(Designer, std::move(Components), Prop);
            break;
        default:
            break;
    }
    return std::make_unique<TPropertyEditor>(Designer, std::move(Components), Prop);
}

std::unique_ptr<TPropertyEditor> GetPropertyEditor(TDesigner* Designer, TComponent* Component, const String& PropName) {
    const TPropInfo* prop = GetPropInfo(Component, PropName);
    if (!prop) throw EPropertyError(Format("%s has no property '%s'", Component->Name().c_str(), PropName.c_str()));
    return GetPropertyEditor(Designer, std::vector<TComponent*>{Component}, *prop);
}

std::unique_ptr<TComponentEditor> GetComponentEditor(TComponent* Component, TDesigner* Designer) {
    TComponentEditorClass make;
    {
        TRegistry& r = Registry();
        std::lock_guard<std::mutex> guard(r.Lock);
        int best = -1;
        for (const TComponentEditorEntry& e : r.ComponentEditors) {
            const int d = ClassDistance(Component, e.ComponentClass);
            if (d >= 0 && (best < 0 || d <= best)) {
                best = d;
                make = e.Make;
            }
        }
    }
    if (make) return make(Component, Designer);
    return std::make_unique<TComponentEditor>(Component, Designer);
}

}  // namespace velora
