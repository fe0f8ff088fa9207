// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The design-time interface: what a designer (the `velora design` tool, a
// test) uses to build forms from the registered components.
//
// - The palette: RegisterComponents puts classes on named pages, in the order
//   they are registered.
// - Property editors: RegisterPropertyEditor attaches an editor class to
//   properties by type name, by owning class (and its descendants; empty for
//   any class) and by property name (empty for any name). GetPropertyEditor
//   picks the most specific registration that matches: one naming the
//   property beats one that does not; then the one naming the nearest class
//   of the component (a class beats "any class"); among equals the one
//   registered last. Without a registration the kind of the property picks a
//   default editor (enumerations and Booleans TEnumProperty, string lists
//   TStringsProperty, component references TComponentProperty, every other
//   kind TPropertyEditor).
// - Component editors: RegisterComponentEditor attaches verbs to a class;
//   the nearest registered class wins.
// - The designer hook TDesigner: every editor reports a change through
//   Modified, which the designer counts, so a form changed by an editor is
//   known to need saving.
#pragma once

#include "velora/classes/Classes.h"
#include "velora/classes/TypInfo.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace velora {

/// A component handed to an editor that is not of the class it edits.
class EInvalidCast : public Exception {
public:
    using Exception::Exception;
};

/// The designer hook: the form being designed and its modification record.
class TDesigner {
public:
    explicit TDesigner(TComponent* root = nullptr) : FRoot(root) {}
    virtual ~TDesigner() = default;
    TComponent* Root() const { return FRoot; }
    void SetRoot(TComponent* root) { FRoot = root; }
    /// Records that the form changed.
    virtual void Modified() { ++FModifiedCount; }
    bool IsModified() const { return FModifiedCount > 0; }
    int ModifiedCount() const { return FModifiedCount; }
    /// After saving: nothing unsaved.
    void ClearModified() { FModifiedCount = 0; }

private:
    TComponent* FRoot;
    int FModifiedCount = 0;
};

enum TPropertyAttribute : std::uint8_t {
    paValueList,      ///< GetValues offers values to pick
    paSubProperties,  ///< has nested properties
    paDialog,         ///< Edit opens a dialog (the designer shows an ellipsis)
    paMultiSelect,    ///< may edit several components at once
    paSortList,       ///< the values are shown sorted
    paReadOnly,       ///< the value cannot be typed
    paRevertable      ///< can go back to its inherited value
};
using TPropertyAttributes = TSet<TPropertyAttribute>;

using TGetStrProc = std::function<void(const String&)>;

/// Edits one published property of the selected components. The base class
/// shows the value as text (GetPropValueText) and takes typed text
/// (SetPropValueText) for every selected component.
class TPropertyEditor {
public:
    TPropertyEditor(TDesigner* designer, std::vector<TComponent*> components, const TPropInfo& prop);
    virtual ~TPropertyEditor();
    TPropertyEditor(const TPropertyEditor&) = delete;
    TPropertyEditor& operator=(const TPropertyEditor&) = delete;

    TDesigner* Designer() const { return FDesigner; }
    /// The Index-th selected component (0: the first).
    TComponent* GetComponent(int Index) const;
    int ComponentCount() const { return static_cast<int>(FComponents.size()); }
    const TPropInfo& PropInfo() const { return *FProp; }
    const String& GetName() const { return FProp->Name; }

    /// The first component's value as text.
    String GetStrValue() const;
    /// Sets every selected component's value from text, then Modified.
    void SetStrValue(const String& Value);

    virtual TPropertyAttributes GetAttributes() const;
    virtual String GetValue();
    virtual void SetValue(const String& Value);
    /// Calls Proc once per value offered (paValueList).
    virtual void GetValues(const TGetStrProc& Proc);
    /// Opens the editor's dialog (paDialog); the base class does nothing.
    virtual void Edit();
    /// Tells the designer the property changed.
    void Modified();

    /// What typing Value into the designer does: refused with EPropertyError
    /// "Property '<name>' cannot be typed" when paReadOnly, else SetValue.
    void TypeValue(const String& Value);
    /// The offered values as a list.
    std::vector<String> Values();

private:
    TDesigner* FDesigner;
    std::vector<TComponent*> FComponents;
    const TPropInfo* FProp;
};

/// An enumeration or Boolean: a drop-down list of its value names.
class TEnumProperty : public TPropertyEditor {
public:
    using TPropertyEditor::TPropertyEditor;
    TPropertyAttributes GetAttributes() const override;
    void GetValues(const TGetStrProc& Proc) override;
};

/// A string list (SQL text, statements): shown as "(TStrings)" and typed as
/// its whole text, lines separated by line feeds.
class TStringsProperty : public TPropertyEditor {
public:
    using TPropertyEditor::TPropertyEditor;
    TPropertyAttributes GetAttributes() const override;
    String GetValue() override;
    void SetValue(const String& Value) override;
};

/// A reference to another component: offers the components of the form
/// that the property accepts.
class TComponentProperty : public TPropertyEditor {
public:
    using TPropertyEditor::TPropertyEditor;
    TPropertyAttributes GetAttributes() const override;
    void GetValues(const TGetStrProc& Proc) override;
};

/// Verbs of a component (its context menu at design time).
class TComponentEditor {
public:
    TComponentEditor(TComponent* component, TDesigner* designer) : FComponent(component), FDesigner(designer) {}
    virtual ~TComponentEditor();
    TComponentEditor(const TComponentEditor&) = delete;
    TComponentEditor& operator=(const TComponentEditor&) = delete;

    TComponent* Component() const { return FComponent; }
    TDesigner* Designer() const { return FDesigner; }
    /// Double-click: the first verb when there is one.
    virtual void Edit();
    virtual int GetVerbCount() { return 0; }
    virtual String GetVerb(int) { return String(); }
    virtual void ExecuteVerb(int) {}

private:
    TComponent* FComponent;
    TDesigner* FDesigner;
};

using TPropertyEditorClass =
    std::function<std::unique_ptr<TPropertyEditor>(TDesigner*, std::vector<TComponent*>, const TPropInfo&)>;
using TComponentEditorClass = std::function<std::unique_ptr<TComponentEditor>(TComponent*, TDesigner*)>;

/// The factory of editor class E.
template <class E>
TPropertyEditorClass PropertyEditorClass() {
    return [](TDesigner* d, std::vector<TComponent*> c, const TPropInfo& p) -> std::unique_ptr<TPropertyEditor> {
        return std::make_unique<E>(d, std::move(c), p);
    };
}
template <class E>
TComponentEditorClass ComponentEditorClass() {
    return [](TComponent* c, TDesigner* d) -> std::unique_ptr<TComponentEditor> { return std::make_unique<E>(c, d); };
}

/// Adds the classes (registered class names) to the palette page, in order;
/// a class already on the page stays where it is.
void RegisterComponents(const String& Page, const std::vector<String>& ClassNames);
/// The palette pages in the order they were first named.
std::vector<String> PalettePages();
/// The classes of a page in registration order (empty for an unknown page).
std::vector<String> PaletteClasses(const String& Page);

/// Attaches an editor to properties of type PropertyType (TPropInfo's
/// TypeName) of ComponentClass and its descendants (empty: any class) named
/// PropertyName (empty: any name).
void RegisterPropertyEditor(const String& PropertyType, const String& ComponentClass, const String& PropertyName,
                            TPropertyEditorClass EditorClass);
void RegisterComponentEditor(const String& ComponentClass, TComponentEditorClass EditorClass);

/// The editor of a property for the selected components (the first one's
/// class decides), by the rules of the file comment.
std::unique_ptr<TPropertyEditor> GetPropertyEditor(TDesigner* Designer, std::vector<TComponent*> Components,
                                                   const TPropInfo& Prop);
/// The editor of the named published property of Component.
/// \throws EPropertyError when the component has no such property.
std::unique_ptr<TPropertyEditor> GetPropertyEditor(TDesigner* Designer, TComponent* Component, const String& PropName);
/// The component editor of the nearest registered class (the base class,
/// without verbs, when none).
std::unique_ptr<TComponentEditor> GetComponentEditor(TComponent* Component, TDesigner* Designer);

}  // namespace velora
