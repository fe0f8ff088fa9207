// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The class and enumeration registry of TypInfo.h and the typed property
// access built on it. The registry is created on first use and never
// destroyed, so registrations from static initialisers and look-ups from
// static destructors are both safe. The object model's own classes (TPersistent,
// TComponent with Name and Tag, TStrings, TStringList) are registered when
// the registry is created.
#include "velora/classes/TypInfo.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <mutex>
#include <typeindex>
#include <unordered_map>

namespace velora {

namespace {

struct TRegistry {
    std::recursive_mutex Lock;
    std::map<String, std::unique_ptr<TClassInfo>> Classes;  // key: upper-case name
    std::map<String, std::type_index> ClassTypes;           // key: upper-case name
    std::map<String, std::unique_ptr<TEnumInfo>> Enums;     // key: upper-case name
    std::unordered_map<std::type_index, const TClassInfo*> InstanceCache;
};

TClassInfo* AddClassInfoTo(TRegistry& r, const String& className, const String& parentName, const std::type_info& type,
                           std::function<bool(const TPersistent*)> isInstance, TComponentFactory factory) {
    std::lock_guard<std::recursive_mutex> guard(r.Lock);
    const String key = UpperCase(className);
    auto it = r.Classes.find(key);
    if (it != r.Classes.end()) {
        if (r.ClassTypes.at(key) == std::type_index(type)) return nullptr;  // registered before
        throw EFilerError(Format("A class named %s is already registered", className));
    }
    auto info = std::make_unique<TClassInfo>();
    info->ClassName = className;
    info->ParentName = parentName;
    info->IsInstance = std::move(isInstance);
    info->Factory = std::move(factory);
    TClassInfo* raw = info.get();
    r.Classes.emplace(key, std::move(info));
    r.ClassTypes.emplace(key, std::type_index(type));
    r.InstanceCache.clear();
    return raw;
}

template <class T>
TClassInfo* AddBuiltin(TRegistry& r, const String& name, const String& parent) {
    TComponentFactory factory;
    if constexpr (std::is_base_of_v<TComponent, T> && !std::is_abstract_v<T>)
        factory = [](TComponent* owner) -> TComponent* { return new T(owner); };
    return AddClassInfoTo(
        r, name, parent, typeid(T), [](const TPersistent* p) { return dynamic_cast<const T*>(p) != nullptr; },
        std::move(factory));
}

TRegistry& Registry() {
    static TRegistry* registry = [] {
        auto* r = new TRegistry();
        AddBuiltin<TPersistent>(*r, "TPersistent", String());
        TClassBuilder<TComponent>(AddBuiltin<TComponent>(*r, "TComponent", "TPersistent"))
            .StringProp("Name", &TComponent::Name, &TComponent::SetName)
            .NeverStored()
            .IntegerProp("Tag", &TComponent::Tag, &TComponent::SetTag)
            .Default(0);
        AddBuiltin<TStrings>(*r, "TStrings", "TPersistent");
        AddBuiltin<TStringList>(*r, "TStringList", "TStrings");
        return r;
    }();
    return *registry;
}

[[noreturn]] void WrongKind(const TPropInfo& prop, const char* what) {
    throw EPropertyError(Format("Property %s is not %s", prop.Name, what));
}

[[noreturn]] void ReadOnlyProp(const TPropInfo& prop) {
    throw EPropertyError(Format("Property %s is read-only", prop.Name));
}

String FloatText(double v) {
    char buf[64];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
    (void)ec;
    return String(buf, p);
}

// The root whose components a reference name is looked up among.
TComponent* LookupRoot(TComponent* c) {
    while (c && c->Owner()) c = c->Owner();
    return c;
}

}  // namespace

// ---------------------------------------------------------------------------
// Enumerations

const TEnumInfo& RegisterEnum(const String& typeName, std::vector<String> names) {
    TRegistry& r = Registry();
    std::lock_guard<std::recursive_mutex> guard(r.Lock);
    auto& slot = r.Enums[UpperCase(typeName)];
    if (!slot) {
        slot = std::make_unique<TEnumInfo>();
        slot->Name = typeName;
        slot->Names = std::move(names);
    }
    return *slot;
}

const TEnumInfo* FindEnum(const String& typeName) {
    TRegistry& r = Registry();
    std::lock_guard<std::recursive_mutex> guard(r.Lock);
    auto it = r.Enums.find(UpperCase(typeName));
    return it == r.Enums.end() ? nullptr : it->second.get();
}

const TEnumInfo& BooleanInfo() {
    static const TEnumInfo* info = new TEnumInfo{"Boolean", {"False", "True"}};
    return *info;
}

String GetEnumName(const TEnumInfo& info, std::int64_t ordinal) {
    if (ordinal < 0 || ordinal >= static_cast<std::int64_t>(info.Names.size())) return String();
    return info.Names[static_cast<std::size_t>(ordinal)];
}

int GetEnumValue(const TEnumInfo& info, const String& name) {
    for (std::size_t i = 0; i < info.Names.size(); ++i)
        if (SameText(info.Names[i], name)) return static_cast<int>(i);
    return -1;
}

String SetToString(const TEnumInfo& info, std::uint64_t bits) {
    String out = "[";
    bool first = true;
    for (std::size_t i = 0; i < info.Names.size() && i < 64; ++i) {
        if (!(bits & (std::uint64_t{1} << i))) continue;
        if (!first) out += ',';
        out += info.Names[i];
        first = false;
    }
    return out + "]";
}

std::uint64_t StringToSet(const TEnumInfo& info, const String& text) {
    String t = Trim(text);
    if (!t.empty() && t.front() == '[') {
        if (t.back() != ']') throw EPropertyError(Format("Invalid set value: %s", text));
        t = t.substr(1, t.size() - 2);
    }
    std::uint64_t bits = 0;
    std::size_t p = 0;
    while (p <= t.size()) {
        std::size_t q = t.find(',', p);
        if (q == String::npos) q = t.size();
        String name = Trim(std::string_view(t).substr(p, q - p));
        if (!name.empty()) {
            int v = GetEnumValue(info, name);
            if (v < 0 || v >= 64) throw EPropertyError(Format("Invalid set element: %s", name));
            bits |= std::uint64_t{1} << v;
        } else if (q < t.size()) {
            throw EPropertyError(Format("Invalid set value: %s", text));
        }
        p = q + 1;
    }
    return bits;
}

// ---------------------------------------------------------------------------
// Classes

bool TPropInfo::ReadOnly() const {
    switch (Kind) {
        case tkBoolean:
        case tkInteger:
        case tkInt64:
        case tkEnumeration:
        case tkSet:
            return !SetOrd;
        case tkFloat:
            return !SetFloat;
        case tkString:
            return !SetStr;
        case tkComponent:
            return !SetComponent;
        case tkMethod:
            return !SetMethod;
        case tkClass:
            return !GetObject;
        default:
            return true;
    }
}

const TClassInfo* TClassInfo::Parent() const { return ParentName.empty() ? nullptr : GetClass(ParentName); }

bool TClassInfo::InheritsFrom(const String& className) const {
    int guard = 0;
    for (const TClassInfo* c = this; c && guard < 256; c = c->Parent(), ++guard)
        if (SameText(c->ClassName, className)) return true;
    return false;
}

std::vector<const TPropInfo*> TClassInfo::AllProperties() const {
    std::vector<const TClassInfo*> chain;
    for (const TClassInfo* c = this; c && chain.size() < 256; c = c->Parent()) chain.push_back(c);
    std::vector<const TPropInfo*> props;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        for (const TPropInfo& p : (*it)->Properties) {
            // A redeclared property replaces the inherited one in place.
            auto same =
                std::find_if(props.begin(), props.end(), [&](const TPropInfo* q) { return SameText(q->Name, p.Name); });
            if (same != props.end())
                *same = &p;
            else
                props.push_back(&p);
        }
    return props;
}

const TPropInfo* TClassInfo::FindProperty(const String& name) const {
    int guard = 0;
    for (const TClassInfo* c = this; c && guard < 256; c = c->Parent(), ++guard)
        for (const TPropInfo& p : c->Properties)
            if (SameText(p.Name, name)) return &p;
    return nullptr;
}

TComponent* TClassInfo::CreateComponent(TComponent* owner) const {
    if (!Factory) throw EClassNotFound(Format("Class %s cannot be created by name", ClassName));
    return Factory(owner);
}

const TClassInfo* GetClass(const String& className) {
    TRegistry& r = Registry();
    std::lock_guard<std::recursive_mutex> guard(r.Lock);
    auto it = r.Classes.find(UpperCase(className));
    return it == r.Classes.end() ? nullptr : it->second.get();
}

const TClassInfo& FindClass(const String& className) {
    const TClassInfo* info = GetClass(className);
    if (!info) throw EClassNotFound(Format("Class %s not found", className));
    return *info;
}

const TClassInfo* ClassInfoOf(const TPersistent* instance) {
    if (!instance) return nullptr;
    TRegistry& r = Registry();
    std::lock_guard<std::recursive_mutex> guard(r.Lock);
    const std::type_index type(typeid(*instance));
    auto cached = r.InstanceCache.find(type);
    if (cached != r.InstanceCache.end()) return cached->second;

    const TClassInfo* best = nullptr;
    auto named = r.Classes.find(UpperCase(instance->ClassName()));
    if (named != r.Classes.end() && named->second->IsInstance(instance)) {
        best = named->second.get();
    } else {
        std::size_t bestDepth = 0;
        for (auto& [key, info] : r.Classes) {
            if (!info->IsInstance(instance)) continue;
            std::size_t depth = 0;
            for (const TClassInfo* c = info.get(); c && depth < 256; c = c->Parent()) ++depth;
            if (!best || depth > bestDepth) {
                best = info.get();
                bestDepth = depth;
            }
        }
    }
    r.InstanceCache.emplace(type, best);
    return best;
}

const TPropInfo* GetPropInfo(const TPersistent* instance, const String& propName) {
    const TClassInfo* info = ClassInfoOf(instance);
    return info ? info->FindProperty(propName) : nullptr;
}

std::vector<const TPropInfo*> GetPropList(const TPersistent* instance) {
    const TClassInfo* info = ClassInfoOf(instance);
    return info ? info->AllProperties() : std::vector<const TPropInfo*>();
}

namespace detail {

TClassInfo* AddClassInfo(const String& className, const String& parentName, const std::type_info& type,
                         std::function<bool(const TPersistent*)> isInstance, TComponentFactory factory) {
    return AddClassInfoTo(Registry(), className, parentName, type, std::move(isInstance), std::move(factory));
}

void ThrowBadInstance(const TPersistent* instance, const String& className) {
    throw EPropertyError(
        Format("Invalid property access: %s is not a %s", instance ? instance->ClassName() : String("nil"), className));
}

}  // namespace detail

// ---------------------------------------------------------------------------
// Typed access

std::int64_t GetOrdProp(TPersistent* instance, const TPropInfo& prop) {
    if (!prop.GetOrd) WrongKind(prop, "ordinal");
    return prop.GetOrd(instance);
}

void SetOrdProp(TPersistent* instance, const TPropInfo& prop, std::int64_t value) {
    if (!prop.IsOrdinal()) WrongKind(prop, "ordinal");
    if (!prop.SetOrd) ReadOnlyProp(prop);
    prop.SetOrd(instance, value);
}

double GetFloatProp(TPersistent* instance, const TPropInfo& prop) {
    if (!prop.GetFloat) WrongKind(prop, "a float");
    return prop.GetFloat(instance);
}

void SetFloatProp(TPersistent* instance, const TPropInfo& prop, double value) {
    if (prop.Kind != tkFloat) WrongKind(prop, "a float");
    if (!prop.SetFloat) ReadOnlyProp(prop);
    prop.SetFloat(instance, value);
}

String GetStrProp(TPersistent* instance, const TPropInfo& prop) {
    if (!prop.GetStr) WrongKind(prop, "a string");
    return prop.GetStr(instance);
}

void SetStrProp(TPersistent* instance, const TPropInfo& prop, const String& value) {
    if (prop.Kind != tkString) WrongKind(prop, "a string");
    if (!prop.SetStr) ReadOnlyProp(prop);
    prop.SetStr(instance, value);
}

TPersistent* GetObjectProp(TPersistent* instance, const TPropInfo& prop) {
    if (!prop.GetObject) WrongKind(prop, "an object");
    return prop.GetObject(instance);
}

TComponent* GetComponentProp(TPersistent* instance, const TPropInfo& prop) {
    if (!prop.GetComponent) WrongKind(prop, "a component reference");
    return prop.GetComponent(instance);
}

void SetComponentProp(TPersistent* instance, const TPropInfo& prop, TComponent* value) {
    if (prop.Kind != tkComponent) WrongKind(prop, "a component reference");
    if (!prop.SetComponent) ReadOnlyProp(prop);
    if (prop.AcceptsComponent && !prop.AcceptsComponent(value))
        throw EPropertyError(Format("Invalid property value: %s is not a %s", value->ClassName(), prop.TypeName));
    prop.SetComponent(instance, value);
}

String GetMethodProp(TComponent* instance, const TPropInfo& prop) {
    if (prop.Kind != tkMethod) WrongKind(prop, "an event");
    if (!prop.MethodAssigned || !prop.MethodAssigned(instance)) return String();
    return instance->EventHandlerName(prop.Name);
}

void SetMethodProp(TComponent* instance, const TPropInfo& prop, const String& methodName) {
    if (prop.Kind != tkMethod) WrongKind(prop, "an event");
    if (!prop.SetMethod) ReadOnlyProp(prop);
    if (methodName.empty()) {
        prop.SetMethod(instance, nullptr);
        instance->SetEventHandlerName(prop.Name, String());
        return;
    }
    const std::any* handler = instance->FindMethod(methodName);
    if (!handler) throw EPropertyError(Format("Method '%s' not found", methodName));
    if (!prop.SetMethod(instance, handler))
        throw EPropertyError(Format("Method '%s' does not match event %s", methodName, prop.Name));
    instance->SetEventHandlerName(prop.Name, instance->MethodName(methodName));
}

bool IsStoredProp(TPersistent* instance, const TPropInfo& prop) {
    return !prop.StoredProc || prop.StoredProc(instance);
}

bool IsDefaultPropValue(TPersistent* instance, const TPropInfo& prop, TPersistent* ancestor) {
    switch (prop.Kind) {
        case tkBoolean:
        case tkInteger:
        case tkInt64:
        case tkEnumeration:
        case tkSet: {
            std::int64_t v = prop.GetOrd(instance);
            if (ancestor) return v == prop.GetOrd(ancestor);
            return prop.OrdDefault && v == *prop.OrdDefault;
        }
        case tkFloat: {
            double v = prop.GetFloat(instance);
            if (ancestor) return v == prop.GetFloat(ancestor);
            return prop.FloatDefault && v == *prop.FloatDefault;
        }
        case tkString: {
            String v = prop.GetStr(instance);
            if (ancestor) return v == prop.GetStr(ancestor);
            return prop.StrDefault && v == *prop.StrDefault;
        }
        case tkComponent: {
            TComponent* v = prop.GetComponent(instance);
            if (ancestor) {
                TComponent* a = prop.GetComponent(ancestor);
                return v == a || (v && a && !v->Name().empty() && SameText(v->Name(), a->Name()));
            }
            return v == nullptr;
        }
        case tkMethod: {
            auto* c = dynamic_cast<TComponent*>(instance);
            String v = c ? GetMethodProp(c, prop) : String();
            if (ancestor) {
                auto* a = dynamic_cast<TComponent*>(ancestor);
                return SameText(v, a ? GetMethodProp(a, prop) : String());
            }
            return v.empty();
        }
        default:
            return false;
    }
}

String GetPropValueText(TPersistent* instance, const TPropInfo& prop) {
    switch (prop.Kind) {
        case tkBoolean:
        case tkEnumeration:
            return GetEnumName(*prop.EnumType, prop.GetOrd(instance));
        case tkInteger:
        case tkInt64:
            return IntToStr(prop.GetOrd(instance));
        case tkSet:
            return SetToString(*prop.EnumType, static_cast<std::uint64_t>(prop.GetOrd(instance)));
        case tkFloat:
            return FloatText(prop.GetFloat(instance));
        case tkString:
            return prop.GetStr(instance);
        case tkComponent: {
            TComponent* c = prop.GetComponent(instance);
            return c ? c->Name() : String();
        }
        case tkMethod: {
            auto* c = dynamic_cast<TComponent*>(instance);
            return c ? GetMethodProp(c, prop) : String();
        }
        case tkClass:
            return "(" + prop.TypeName + ")";
        default:
            return String();
    }
}

void SetPropValueText(TPersistent* instance, const TPropInfo& prop, const String& text) {
    switch (prop.Kind) {
        case tkBoolean:
        case tkEnumeration: {
            int v = GetEnumValue(*prop.EnumType, Trim(text));
            if (v < 0) throw EPropertyError(Format("Invalid property value: %s", text));
            SetOrdProp(instance, prop, v);
            return;
        }
        case tkInteger:
        case tkInt64: {
            long long v = 0;
            if (!TryStrToInt(text, v) || (prop.Kind == tkInteger && (v < INT32_MIN || v > INT32_MAX)))
                throw EPropertyError(Format("Invalid property value: %s", text));
            SetOrdProp(instance, prop, v);
            return;
        }
        case tkSet:
            SetOrdProp(instance, prop, static_cast<std::int64_t>(StringToSet(*prop.EnumType, text)));
            return;
        case tkFloat: {
            String t = Trim(text);
            double v = 0;
            auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
            if (t.empty() || ec != std::errc() || p != t.data() + t.size() || !std::isfinite(v))
                throw EPropertyError(Format("Invalid property value: %s", text));
            SetFloatProp(instance, prop, v);
            return;
        }
        case tkString:
            SetStrProp(instance, prop, text);
            return;
        case tkComponent: {
            if (Trim(text).empty()) {
                SetComponentProp(instance, prop, nullptr);
                return;
            }
            auto* self = dynamic_cast<TComponent*>(instance);
            TComponent* root = LookupRoot(self);
            TComponent* found = nullptr;
            if (root) found = SameText(root->Name(), Trim(text)) ? root : root->FindComponent(Trim(text));
            if (!found) throw EPropertyError(Format("Component '%s' not found", text));
            SetComponentProp(instance, prop, found);
            return;
        }
        case tkMethod: {
            auto* c = dynamic_cast<TComponent*>(instance);
            if (!c) throw EPropertyError(Format("Property %s is not a component's event", prop.Name));
            SetMethodProp(c, prop, Trim(text));
            return;
        }
        default:
            throw EPropertyError(Format("Property %s cannot be set from text", prop.Name));
    }
}

}  // namespace velora
