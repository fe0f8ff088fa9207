// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Run-time type information for published properties: one registry, filled
// once per class, that the form-file reader and writer and the design-time
// property editors all read. For each class it keeps the parent class, a
// factory (create with owner) and the ordered published properties with
// their kind, type name, default, stored rule, getter and setter.
//
// Declaring a class is one fluent statement, usually in the class's own
// source file, from a static member function so that private accessors may
// be named:
//
//     RegisterClass<TODBCSession>("TODBCSession", "TComponent")
//         .EnumProp("About", AboutInfo, &TODBCSession::GetAbout, &TODBCSession::SetAbout).NeverStored()
//         .BooleanProp("Active", &TODBCSession::GetActive, &TODBCSession::SetActive).Default(false)
//         .EventProp("OnStartup", &TODBCSession::OnStartup);
//
// Getters may be member functions, data members or callables taking T* or
// T&; setters likewise, or nullptr for a read-only property.
//
// Events: a form file names a handler ("OnLogin = Form1DatabaseLogin"). The
// handler is found in the method table of the component or of one of its
// owners (TComponent::RegisterMethod), and the name is remembered on the
// component (TComponent::EventHandlerName) so that the writer can store it
// again. Event properties exist on components only.
//
// Registration from a static initializer is safe (the registry is built on
// first use). In a static library, though, the object file holding such an
// initializer is linked only when something else in it is used: a class that
// must be readable from form files without being named in code needs an
// explicit registration call.
#pragma once

#include "velora/classes/Classes.h"

#include <any>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <typeinfo>
#include <vector>

namespace velora {

/// A property that does not exist, is read-only, or is used with the wrong
/// kind of value.
class EPropertyError : public Exception {
public:
    using Exception::Exception;
};

/// What a published property holds.
enum TTypeKind : std::uint8_t {
    tkUnknown,
    tkBoolean,      ///< bool, written True/False
    tkInteger,      ///< 32-bit signed
    tkInt64,        ///< 64-bit signed
    tkFloat,        ///< double
    tkString,       ///< String
    tkEnumeration,  ///< enumeration, written by value name
    tkSet,          ///< set of an enumeration, written [a, b]
    tkClass,        ///< nested persistent object owned by the instance (TStrings, ...)
    tkComponent,    ///< reference to a component, written by name
    tkMethod        ///< event, written as the handler's name
};

/// An enumeration type: value names by ordinal (0, 1, ...).
struct TEnumInfo {
    String Name;
    std::vector<String> Names;
};

/// Registers (or returns the already registered) enumeration typeName.
const TEnumInfo& RegisterEnum(const String& typeName, std::vector<String> names);
const TEnumInfo* FindEnum(const String& typeName);
/// The enumeration "Boolean" (False, True).
const TEnumInfo& BooleanInfo();
/// Name of an ordinal, empty when out of range.
String GetEnumName(const TEnumInfo& info, std::int64_t ordinal);
/// Ordinal of a name (case-insensitive), -1 when unknown.
int GetEnumValue(const TEnumInfo& info, const String& name);
/// "[a,b]" text of a set; StringToSet accepts it with or without brackets
/// and blanks, raising EPropertyError for an unknown name.
String SetToString(const TEnumInfo& info, std::uint64_t bits);
std::uint64_t StringToSet(const TEnumInfo& info, const String& text);

/// One published property.
struct TPropInfo {
    String Name;
    TTypeKind Kind = tkUnknown;
    /// "Boolean", "Integer", "Int64", "Double", "String", the enumeration's
    /// name (also for sets), the class name of a tkClass or tkComponent
    /// property, "TNotifyEvent" or "TMethod" for events.
    String TypeName;
    const TEnumInfo* EnumType = nullptr;  ///< tkBoolean, tkEnumeration, tkSet

    /// Defaults: a value equal to its default is not written. Ordinals have
    /// none unless declared (always written); floats default to 0 and
    /// strings to empty unless NoDefault() was declared.
    std::optional<std::int64_t> OrdDefault;
    std::optional<double> FloatDefault;
    std::optional<String> StrDefault;
    /// Stored rule; empty means always stored.
    std::function<bool(TPersistent*)> StoredProc;

    // Accessors: only those of the property's kind are set.
    std::function<std::int64_t(TPersistent*)> GetOrd;  // boolean, integer, int64, enum, set
    std::function<void(TPersistent*, std::int64_t)> SetOrd;
    std::function<double(TPersistent*)> GetFloat;
    std::function<void(TPersistent*, double)> SetFloat;
    std::function<String(TPersistent*)> GetStr;
    std::function<void(TPersistent*, const String&)> SetStr;
    std::function<TPersistent*(TPersistent*)> GetObject;    // tkClass
    std::function<TComponent*(TPersistent*)> GetComponent;  // tkComponent
    std::function<void(TPersistent*, TComponent*)> SetComponent;
    std::function<bool(TComponent*)> AcceptsComponent;  // is it of TypeName?
    std::function<bool(TPersistent*)> MethodAssigned;   // tkMethod
    /// Sets the handler (null clears); false when the handler's type does
    /// not match the event.
    std::function<bool(TPersistent*, const std::any*)> SetMethod;

    bool IsOrdinal() const {
        return Kind == tkBoolean || Kind == tkInteger || Kind == tkInt64 || Kind == tkEnumeration || Kind == tkSet;
    }
    /// True when the property cannot be assigned (tkClass objects are filled
    /// in place and count as writable).
    bool ReadOnly() const;
};

using TComponentFactory = std::function<TComponent*(TComponent* owner)>;

/// A registered class.
class TClassInfo {
public:
    String ClassName;
    String ParentName;          ///< empty for TPersistent
    TComponentFactory Factory;  ///< empty for abstract and non-component classes
    std::function<bool(const TPersistent*)> IsInstance;
    std::vector<TPropInfo> Properties;  ///< own properties, declaration order

    const TClassInfo* Parent() const;
    /// True for this class and its registered descendants of className.
    bool InheritsFrom(const String& className) const;
    /// Inherited properties first, then the own ones.
    std::vector<const TPropInfo*> AllProperties() const;
    /// Property by name (case-insensitive), inherited ones included.
    const TPropInfo* FindProperty(const String& name) const;
    /// Creates an instance with the factory (EClassNotFound when none).
    TComponent* CreateComponent(TComponent* owner) const;
};

/// Registered class by name, or null.
const TClassInfo* GetClass(const String& className);
/// Registered class by name; raises EClassNotFound "Class <name> not found".
const TClassInfo& FindClass(const String& className);
/// The registered class of instance: the one named by its ClassName(), else
/// the most derived registered class it belongs to. Null for null.
const TClassInfo* ClassInfoOf(const TPersistent* instance);

/// Published property of an instance by name, or null.
const TPropInfo* GetPropInfo(const TPersistent* instance, const String& propName);
/// All published properties of an instance, inherited first.
std::vector<const TPropInfo*> GetPropList(const TPersistent* instance);

// Typed access; wrong kinds and read-only properties raise EPropertyError.
std::int64_t GetOrdProp(TPersistent* instance, const TPropInfo& prop);
void SetOrdProp(TPersistent* instance, const TPropInfo& prop, std::int64_t value);
double GetFloatProp(TPersistent* instance, const TPropInfo& prop);
void SetFloatProp(TPersistent* instance, const TPropInfo& prop, double value);
String GetStrProp(TPersistent* instance, const TPropInfo& prop);
void SetStrProp(TPersistent* instance, const TPropInfo& prop, const String& value);
TPersistent* GetObjectProp(TPersistent* instance, const TPropInfo& prop);
TComponent* GetComponentProp(TPersistent* instance, const TPropInfo& prop);
/// Raises EPropertyError when value is not of the property's class.
void SetComponentProp(TPersistent* instance, const TPropInfo& prop, TComponent* value);
/// Name of the handler bound to the event, empty when none.
String GetMethodProp(TComponent* instance, const TPropInfo& prop);
/// Binds the handler registered as methodName (see RegisterMethod) to the
/// event and remembers the name; an empty name clears the event. Raises
/// EPropertyError "Method '<name>' not found" or when the types differ.
void SetMethodProp(TComponent* instance, const TPropInfo& prop, const String& methodName);

/// The stored rule of the property for this instance.
bool IsStoredProp(TPersistent* instance, const TPropInfo& prop);
/// True when the value equals the ancestor's (when given) or the default.
/// Properties without a default are never default; tkClass is never.
bool IsDefaultPropValue(TPersistent* instance, const TPropInfo& prop, TPersistent* ancestor = nullptr);
/// The value as text, as the object inspector shows it: True, 12, 1.5,
/// text, an enumeration name, [a,b], a component's name, a handler's name,
/// "(TStrings)" for objects.
String GetPropValueText(TPersistent* instance, const TPropInfo& prop);
/// Sets the value from such text (tkClass: EPropertyError); a component
/// name is looked up among the owner's components of instance's root.
void SetPropValueText(TPersistent* instance, const TPropInfo& prop, const String& text);

namespace detail {

TClassInfo* AddClassInfo(const String& className, const String& parentName, const std::type_info& type,
                         std::function<bool(const TPersistent*)> isInstance, TComponentFactory factory);
[[noreturn]] void ThrowBadInstance(const TPersistent* instance, const String& className);

template <class T>
T* CastInstance(TPersistent* instance, const String& className) {
    T* t = dynamic_cast<T*>(instance);
    if (!t) ThrowBadInstance(instance, className);
    return t;
}

template <class T, class G>
decltype(auto) InvokeGetter(const G& get, T* obj) {
    if constexpr (std::is_invocable_v<const G&, T*>)
        return std::invoke(get, obj);
    else
        return std::invoke(get, *obj);
}

template <class T, class S, class V>
void InvokeSetter(const S& set, T* obj, V&& value) {
    if constexpr (std::is_member_object_pointer_v<S>)
        obj->*set = std::forward<V>(value);
    else if constexpr (std::is_invocable_v<const S&, T*, V>)
        std::invoke(set, obj, std::forward<V>(value));
    else
        std::invoke(set, *obj, std::forward<V>(value));
}

template <class T, class G>
using GetterResult = std::remove_cvref_t<decltype(InvokeGetter(std::declval<const G&>(), static_cast<T*>(nullptr)))>;

template <class S>
inline constexpr bool HasSetter = !std::is_null_pointer_v<S>;

}  // namespace detail

/// Declares the published properties of class T (see the file comment).
/// Each *Prop call adds a property; Default, NoDefault, Stored and
/// NeverStored refine the property added last.
template <class T>
class TClassBuilder {
public:
    explicit TClassBuilder(TClassInfo* info) : FInfo(info) {}

    template <class G, class S>
    TClassBuilder& BooleanProp(const String& name, G get, S set) {
        TPropInfo& p = Add(name, tkBoolean, "Boolean");
        p.EnumType = &BooleanInfo();
        const String cn = ClassName();
        p.GetOrd = [get, cn](TPersistent* o) -> std::int64_t {
            return detail::InvokeGetter(get, detail::CastInstance<T>(o, cn)) ? 1 : 0;
        };
        if constexpr (detail::HasSetter<S>)
            p.SetOrd = [set, cn](TPersistent* o, std::int64_t v) {
                detail::InvokeSetter(set, detail::CastInstance<T>(o, cn), v != 0);
            };
        return *this;
    }

    template <class G, class S>
    TClassBuilder& IntegerProp(const String& name, G get, S set) {
        return OrdinalProp<int>(Add(name, tkInteger, "Integer"), get, set);
    }

    template <class G, class S>
    TClassBuilder& Int64Prop(const String& name, G get, S set) {
        return OrdinalProp<std::int64_t>(Add(name, tkInt64, "Int64"), get, set);
    }

    template <class G, class S>
    TClassBuilder& FloatProp(const String& name, G get, S set) {
        TPropInfo& p = Add(name, tkFloat, "Double");
        p.FloatDefault = 0.0;
        const String cn = ClassName();
        p.GetFloat = [get, cn](TPersistent* o) -> double {
            return static_cast<double>(detail::InvokeGetter(get, detail::CastInstance<T>(o, cn)));
        };
        if constexpr (detail::HasSetter<S>) {
            using R = detail::GetterResult<T, G>;
            p.SetFloat = [set, cn](TPersistent* o, double v) {
                detail::InvokeSetter(set, detail::CastInstance<T>(o, cn), static_cast<R>(v));
            };
        }
        return *this;
    }

    template <class G, class S>
    TClassBuilder& StringProp(const String& name, G get, S set) {
        TPropInfo& p = Add(name, tkString, "String");
        p.StrDefault = String();
        const String cn = ClassName();
        p.GetStr = [get, cn](TPersistent* o) -> String {
            return String(detail::InvokeGetter(get, detail::CastInstance<T>(o, cn)));
        };
        if constexpr (detail::HasSetter<S>)
            p.SetStr = [set, cn](TPersistent* o, const String& v) {
                detail::InvokeSetter(set, detail::CastInstance<T>(o, cn), v);
            };
        return *this;
    }

    /// An enumeration property; the getter returns the enum (or an integer).
    template <class G, class S>
    TClassBuilder& EnumProp(const String& name, const TEnumInfo& type, G get, S set) {
        TPropInfo& p = Add(name, tkEnumeration, type.Name);
        p.EnumType = &type;
        return OrdinalProp<detail::GetterResult<T, G>>(p, get, set);
    }

    /// A set property; the getter returns a TSet<E> or an integer bit mask.
    template <class G, class S>
    TClassBuilder& SetProp(const String& name, const TEnumInfo& elementType, G get, S set) {
        TPropInfo& p = Add(name, tkSet, elementType.Name);
        p.EnumType = &elementType;
        using R = detail::GetterResult<T, G>;
        const String cn = ClassName();
        p.GetOrd = [get, cn](TPersistent* o) -> std::int64_t {
            const auto v = detail::InvokeGetter(get, detail::CastInstance<T>(o, cn));
            if constexpr (requires { v.Bits(); })
                return static_cast<std::int64_t>(v.Bits());
            else
                return static_cast<std::int64_t>(v);
        };
        if constexpr (detail::HasSetter<S>)
            p.SetOrd = [set, cn](TPersistent* o, std::int64_t v) {
                if constexpr (requires { R::FromBits(0); })
                    detail::InvokeSetter(set, detail::CastInstance<T>(o, cn),
                                         R::FromBits(static_cast<std::uint64_t>(v)));
                else
                    detail::InvokeSetter(set, detail::CastInstance<T>(o, cn), static_cast<R>(v));
            };
        return *this;
    }

    /// A nested persistent object owned by the instance (a TStrings, a
    /// parameter list, ...). The reader fills it in place; the writer stores
    /// its properties as "Name.Sub = ...".
    template <class G>
    TClassBuilder& ObjectProp(const String& name, G get) {
        using R = detail::GetterResult<T, G>;
        static_assert(std::is_pointer_v<R>, "ObjectProp getter must return a pointer");
        TPropInfo& p = Add(name, tkClass, detail::TypeNameOf(typeid(std::remove_cv_t<std::remove_pointer_t<R>>)));
        const String cn = ClassName();
        p.GetObject = [get, cn](TPersistent* o) -> TPersistent* {
            return detail::InvokeGetter(get, detail::CastInstance<T>(o, cn));
        };
        return *this;
    }

    /// A reference to another component; the getter returns C*.
    template <class G, class S>
    TClassBuilder& ComponentProp(const String& name, G get, S set) {
        using R = detail::GetterResult<T, G>;
        static_assert(std::is_pointer_v<R>, "ComponentProp getter must return a pointer");
        using C = std::remove_cv_t<std::remove_pointer_t<R>>;
        TPropInfo& p = Add(name, tkComponent, detail::TypeNameOf(typeid(C)));
        const String cn = ClassName();
        p.GetComponent = [get, cn](TPersistent* o) -> TComponent* {
            return detail::InvokeGetter(get, detail::CastInstance<T>(o, cn));
        };
        p.AcceptsComponent = [](TComponent* c) { return c == nullptr || dynamic_cast<C*>(c) != nullptr; };
        if constexpr (detail::HasSetter<S>)
            p.SetComponent = [set, cn](TPersistent* o, TComponent* c) {
                detail::InvokeSetter(set, detail::CastInstance<T>(o, cn), dynamic_cast<C*>(c));
            };
        return *this;
    }

    /// An event stored in a data member (a std::function).
    template <class M>
    requires std::is_member_object_pointer_v<M> TClassBuilder& EventProp(const String& name, M member) {
        return EventProp(name, member, member);
    }

    /// An event with getter and setter of a std::function type.
    template <class G, class S>
    TClassBuilder& EventProp(const String& name, G get, S set) {
        using E = detail::GetterResult<T, G>;
        TPropInfo& p = Add(name, tkMethod, std::is_same_v<E, TNotifyEvent> ? "TNotifyEvent" : "TMethod");
        const String cn = ClassName();
        p.MethodAssigned = [get, cn](TPersistent* o) {
            return static_cast<bool>(detail::InvokeGetter(get, detail::CastInstance<T>(o, cn)));
        };
        p.SetMethod = [set, cn](TPersistent* o, const std::any* handler) {
            T* t = detail::CastInstance<T>(o, cn);
            if (!handler) {
                detail::InvokeSetter(set, t, E());
                return true;
            }
            const E* e = std::any_cast<E>(handler);
            if (!e) return false;
            detail::InvokeSetter(set, t, *e);
            return true;
        };
        return *this;
    }

    /// Default of the property added last (bool, integer, enum, TSet, float
    /// or string, as the property's kind).
    template <class V>
    TClassBuilder& Default(const V& value) {
        TPropInfo& p = Last();
        if constexpr (std::is_same_v<V, bool>)
            p.OrdDefault = value ? 1 : 0;
        else if constexpr (std::is_enum_v<V>)
            p.OrdDefault = static_cast<std::int64_t>(value);
        else if constexpr (std::is_integral_v<V>) {
            if (p.Kind == tkFloat)
                p.FloatDefault = static_cast<double>(value);
            else
                p.OrdDefault = static_cast<std::int64_t>(value);
        } else if constexpr (std::is_floating_point_v<V>)
            p.FloatDefault = static_cast<double>(value);
        else if constexpr (requires { value.Bits(); })
            p.OrdDefault = static_cast<std::int64_t>(value.Bits());
        else
            p.StrDefault = String(value);
        return *this;
    }
    /// The property added last is always written (no default).
    TClassBuilder& NoDefault() {
        TPropInfo& p = Last();
        p.OrdDefault.reset();
        p.FloatDefault.reset();
        p.StrDefault.reset();
        return *this;
    }
    TClassBuilder& Stored(bool stored) {
        Last().StoredProc = [stored](TPersistent*) { return stored; };
        return *this;
    }
    /// Stored rule as a function of the instance (a callable taking T*).
    template <class F>
    requires std::is_invocable_r_v<bool, const F&, T*> TClassBuilder& Stored(F rule) {
        const String cn = ClassName();
        Last().StoredProc = [rule = std::move(rule), cn](TPersistent* o) {
            return static_cast<bool>(rule(detail::CastInstance<T>(o, cn)));
        };
        return *this;
    }
    /// Never written to form files (e.g. About).
    TClassBuilder& NeverStored() { return Stored(false); }

private:
    TPropInfo& Add(const String& name, TTypeKind kind, const String& typeName) {
        TPropInfo p;
        p.Name = name;
        p.Kind = kind;
        p.TypeName = typeName;
        if (!FInfo) {
            FScratch = std::move(p);
            return FScratch;
        }
        FInfo->Properties.push_back(std::move(p));
        return FInfo->Properties.back();
    }
    TPropInfo& Last() {
        if (!FInfo) return FScratch;
        if (FInfo->Properties.empty()) throw EPropertyError("No property declared yet for " + FInfo->ClassName);
        return FInfo->Properties.back();
    }
    String ClassName() const { return FInfo ? FInfo->ClassName : String(); }

    template <class V, class G, class S>
    TClassBuilder& OrdinalProp(TPropInfo& p, G get, S set) {
        const String cn = ClassName();
        p.GetOrd = [get, cn](TPersistent* o) -> std::int64_t {
            return static_cast<std::int64_t>(detail::InvokeGetter(get, detail::CastInstance<T>(o, cn)));
        };
        if constexpr (detail::HasSetter<S>)
            p.SetOrd = [set, cn](TPersistent* o, std::int64_t v) {
                detail::InvokeSetter(set, detail::CastInstance<T>(o, cn), static_cast<V>(v));
            };
        return *this;
    }

    TClassInfo* FInfo;  // null: the class was registered before, declarations are dropped
    TPropInfo FScratch;
};

/// Registers class T under className with its parent's name and returns the
/// builder for its published properties. Components constructible from an
/// owner get a factory. Registering the same name again for the same type
/// is harmless (the new declarations are dropped); for another type it
/// raises EFilerError.
template <class T>
TClassBuilder<T> RegisterClass(const String& className, const String& parentName) {
    static_assert(std::is_base_of_v<TPersistent, T>, "only persistent classes are registered");
    TComponentFactory factory;
    if constexpr (std::is_base_of_v<TComponent, T> && !std::is_abstract_v<T> && std::is_constructible_v<T, TComponent*>)
        factory = [](TComponent* owner) -> TComponent* { return new T(owner); };
    TClassInfo* info = detail::AddClassInfo(
        className, parentName, typeid(T), [](const TPersistent* p) { return dynamic_cast<const T*>(p) != nullptr; },
        std::move(factory));
    return TClassBuilder<T>(info);
}

}  // namespace velora
