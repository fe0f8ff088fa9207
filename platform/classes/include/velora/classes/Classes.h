// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The object model every component of the library is built on: TObject,
// TPersistent (assignment and form-file hooks), TComponent (the owner tree,
// names, state flags, notifications and free notification), the pointer list
// TList and the string lists TStrings/TStringList with their change events.
//
// Ownership runs along the owner tree: a component is freed by its owner, owned
// components are freed from the last to the first, and a component that goes
// away tells its owner's components and everyone that asked for free
// notification, so that no component keeps a dangling reference to it.
#pragma once

#include "velora/rtl/SysUtils.h"

#include <any>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <typeinfo>
#include <utility>
#include <vector>

namespace velora {

class TObject;
class TPersistent;
class TComponent;
class TStream;
class TFiler;
class TReader;
class TWriter;

/// A component name that is invalid or already taken, or a bad owner change.
class EComponentError : public Exception {
public:
    using Exception::Exception;
};
/// A class name that no registration knows (form files, FindClass).
class EClassNotFound : public EFilerError {
public:
    using EFilerError::EFilerError;
};
/// An operation that the object's state does not allow.
class EInvalidOperation : public Exception {
public:
    using Exception::Exception;
};
/// A string list that refuses an operation (sorted insert, duplicates).
class EStringListError : public EListError {
public:
    using EListError::EListError;
};

/// A set of enumeration values (a small bit set), bit n for ordinal n.
/// Ordinals must lie in 0..63.
template <typename E>
class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> items) {
        for (E e : items) Include(e);
    }
    static constexpr TSet FromBits(std::uint64_t bits) {
        TSet s;
        s.FBits = bits;
        return s;
    }
    constexpr std::uint64_t Bits() const { return FBits; }
    constexpr bool Contains(E e) const { return (FBits & Bit(e)) != 0; }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr TSet& Include(E e) {
        FBits |= Bit(e);
        return *this;
    }
    constexpr TSet& Exclude(E e) {
        FBits &= ~Bit(e);
        return *this;
    }
    constexpr TSet operator+(TSet o) const { return FromBits(FBits | o.FBits); }
    constexpr TSet operator-(TSet o) const { return FromBits(FBits & ~o.FBits); }
    constexpr TSet operator*(TSet o) const { return FromBits(FBits & o.FBits); }
    constexpr TSet operator+(E e) const { return FromBits(FBits | Bit(e)); }
    constexpr TSet operator-(E e) const { return FromBits(FBits & ~Bit(e)); }
    constexpr bool operator==(const TSet&) const = default;

private:
    static constexpr std::uint64_t Bit(E e) { return std::uint64_t{1} << static_cast<unsigned>(e); }
    std::uint64_t FBits = 0;
};

/// An event with one sender argument.
using TNotifyEvent = std::function<void(TObject* Sender)>;

/// Horizontal alignment of text (fields and controls share it).
enum TAlignment : std::uint8_t { taLeftJustify, taRightJustify, taCenter };

/// Root of the object model. Objects are identities: no copies.
class TObject {
public:
    TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;
    virtual ~TObject();

    /// The class name form files and messages use ("TODBCDatabase"). The default derives it from
    /// the C++ type (namespaces stripped); classes may override it.
    virtual String ClassName() const;
    /// Is this object a T (or derived from it)?
    template <class T>
    bool InheritsFrom() const {
        return dynamic_cast<const T*>(this) != nullptr;
    }

    /// Called by Free before the destructor; components use it to free what
    /// they own while their own fields are still intact.
    virtual void BeforeDestruction() {}
    /// Runs BeforeDestruction, then deletes the object. Prefer it (or
    /// TOwnedPtr) to delete: a component deleted directly frees the
    /// components it owns only after its derived destructors have run.
    void Free();
};

/// Frees obj (null allowed) and sets the pointer to null.
template <class T>
void FreeAndNil(T*& obj) {
    T* p = obj;
    obj = nullptr;
    if (p) p->Free();
}

/// unique_ptr deleter that frees through Free (so a component's
/// BeforeDestruction runs while the derived object is intact).
struct TFreeDeleter {
    void operator()(TObject* obj) const {
        if (obj) obj->Free();
    }
};
/// An owning pointer to a TObject freed with Free.
template <class T>
using TOwnedPtr = std::unique_ptr<T, TFreeDeleter>;

/// An object that can be copied with Assign and stored in form files.
class TPersistent : public TObject {
public:
    /// Copies source into this object. The default asks source->AssignTo(this);
    /// a null source or a pair nobody handles raises EAssignError
    /// "Cannot assign a <source class> to a <this class>".
    virtual void Assign(TPersistent* source);
    /// Copies this object into dest; the default raises EAssignError.
    virtual void AssignTo(TPersistent* dest);
    /// Declares unpublished data for form files (DefineProperty,
    /// DefineBinaryProperty of the filer). The default declares nothing.
    virtual void DefineProperties(TFiler& filer);
};

/// The filer handed to DefineProperties by the form-file reader and writer.
class TFiler {
public:
    using TReaderProc = std::function<void(TReader&)>;
    using TWriterProc = std::function<void(TWriter&)>;
    using TStreamProc = std::function<void(TStream&)>;

    virtual ~TFiler();
    /// The root component being read or written.
    TComponent* Root() const { return FRoot; }
    /// While an inherited form is written: the ancestor's counterpart of the
    /// object whose properties are written; else (and always when reading)
    /// null.
    TPersistent* Ancestor() const { return FAncestor; }

    /// A property stored as a form-file value (string, list, ...): readData
    /// runs when the reader meets it, writeData when the writer stores it and
    /// hasData is true.
    virtual void DefineProperty(const String& name, TReaderProc readData, TWriterProc writeData, bool hasData) = 0;
    /// A property stored as binary data (written as hex digits in braces).
    virtual void DefineBinaryProperty(const String& name, TStreamProc readData, TStreamProc writeData,
                                      bool hasData) = 0;

protected:
    TComponent* FRoot = nullptr;
    TPersistent* FAncestor = nullptr;
};

/// Component state flags (the ordinals are fixed: they index TComponentState).
enum TComponentStateItem : std::uint8_t {
    csLoading,     ///< properties are being read from a form file; setters only record
    csReading,     ///< the reader is assigning this component's properties
    csWriting,     ///< the writer is storing this component
    csDestroying,  ///< the component is being destroyed
    csDesigning,   ///< the component is being edited in a designer
    csAncestor,
    csUpdating,
    csFixups,
    csFreeNotification,
    csInline,
    csDesignInstance
};
using TComponentState = TSet<TComponentStateItem>;

/// What a Notification announces.
enum TOperation : std::uint8_t { opInsert, opRemove };

/// The owner tree: a component owns the components created with it as owner,
/// frees them (last first) when it goes, and keeps them unique by name.
class TComponent : public TPersistent {
public:
    /// Creates the component and, with an owner, inserts it into the owner's
    /// list (the owner's components receive Notification(this, opInsert)
    /// while this object is still being constructed: compare pointers only).
    explicit TComponent(TComponent* owner);
    ~TComponent() override;

    /// Sets csDestroying and frees the owned components while the derived
    /// class's fields are still intact (run by Free and by the owner).
    void BeforeDestruction() override;

    TComponent* Owner() const { return FOwner; }
    const String& Name() const { return FName; }
    /// Renames the component: a non-empty name must be an identifier and
    /// unique (case-insensitively) among the owner's components, else
    /// EComponentError.
    virtual void SetName(const String& name);
    int Tag() const { return FTag; }
    void SetTag(int value) { FTag = value; }

    int ComponentCount() const { return static_cast<int>(FComponents.size()); }
    /// Owned component at index (EListError when out of range).
    TComponent* Components(int index) const;
    /// Position in the owner's list, -1 without owner.
    int ComponentIndex() const;
    /// Owned component with that name (case-insensitive), or null.
    TComponent* FindComponent(const String& name) const;

    TComponentState ComponentState() const { return FComponentState; }
    bool IsLoading() const { return FComponentState.Contains(csLoading); }
    bool IsDesigning() const { return FComponentState.Contains(csDesigning); }
    bool IsDestroying() const { return FComponentState.Contains(csDestroying); }
    /// Sets or clears csDesigning on this component and, by default, on all
    /// components it owns.
    void SetDesigning(bool value, bool setChildren = true);

    /// Called once after the component was read from a form file, when every
    /// reference is resolved. The default clears csLoading.
    virtual void Loaded();
    /// Told when a component is inserted into or removed from the owner, or
    /// when a component this one asked free notification of goes away. The
    /// default forwards to every owned component.
    virtual void Notification(TComponent* aComponent, TOperation operation);
    /// Asks to be told (Notification(other, opRemove)) when other is freed.
    /// The link is mutual: whichever goes first tells the other.
    void FreeNotification(TComponent* other);
    void RemoveFreeNotification(TComponent* other);
    /// Marks this component and those it owns csDestroying.
    void Destroying();
    /// Frees every owned component, the last first.
    void DestroyComponents();
    /// Makes this component the owner of aComponent (taking it from a
    /// previous owner). The name must be free among this owner's components.
    void InsertComponent(TComponent* aComponent);
    /// Takes aComponent out of this owner's list without freeing it.
    void RemoveComponent(TComponent* aComponent);
    /// The components stored with this one in a form file: by default every
    /// owned component. Override to hide internal ones.
    virtual void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root);
    /// Components that sit inside another one besides their owner (controls
    /// in their parent control) answer true. In a form file such a
    /// component is stored inside that parent; the reader makes it owned by
    /// the root and hands it the enclosing component through
    /// SetParentComponent. By default: false, and no parent.
    virtual bool HasParent() const { return false; }
    virtual TComponent* GetParentComponent() const { return nullptr; }
    virtual void SetParentComponent(TComponent*) {}

    /// Method table for form files: event properties name a handler, found by
    /// the reader through this table (this component first, then its owners).
    /// Pass the event type itself, e.g. RegisterMethod("Form1Click",
    /// TNotifyEvent(...)); the event property accepts only that exact type.
    template <class E>
    void RegisterMethod(const String& name, E handler) {
        FMethods[UpperCase(name)] = TMethodEntry{name, std::any(std::move(handler))};
    }
    /// The registered handler of that name here or in an owner, or null.
    const std::any* FindMethod(const String& name) const;
    /// The name a method was registered under (case as registered) or empty.
    String MethodName(const String& name) const;

    /// Name of the handler bound to an event property (set by the reader and
    /// by SetMethodProp); the writer stores it. Empty when none is known.
    String EventHandlerName(const String& eventProp) const;
    void SetEventHandlerName(const String& eventProp, const String& methodName);

protected:
    /// Sets csLoading (and csReading): the form-file reader's entry.
    void Loading() { FComponentState.Include(csLoading); }

private:
    friend class TReader;
    friend class TWriter;
    struct TMethodEntry {
        String Name;
        std::any Handler;
    };
    void ValidateRename(TComponent* aComponent, const String& curName, const String& newName);
    void SendRemoveNotifications();

    TComponent* FOwner = nullptr;
    String FName;
    int FTag = 0;
    std::vector<TComponent*> FComponents;
    std::vector<TComponent*> FFreeNotifies;
    TComponentState FComponentState;
    bool FRemoveSent = false;
    std::map<String, TMethodEntry> FMethods;      // key: upper-case name
    std::map<String, String> FEventHandlerNames;  // key: upper-case property name
};

/// A list of untyped pointers with range-checked access (EListError
/// "List index out of bounds (<index>)").
class TList : public TObject {
public:
    TList() = default;
    int Add(void* item);
    void Insert(int index, void* item);
    void Delete(int index);
    /// Removes the first occurrence; returns its former index or -1.
    int Remove(void* item);
    int IndexOf(void* item) const;
    void* Get(int index) const;
    void* Items(int index) const { return Get(index); }
    void Put(int index, void* item);
    void* First() const { return Get(0); }
    void* Last() const { return Get(Count() - 1); }
    void Exchange(int index1, int index2);
    void Move(int curIndex, int newIndex);
    /// Removes the null entries.
    void Pack();
    void Clear() { FList.clear(); }
    int Count() const { return static_cast<int>(FList.size()); }

private:
    void CheckIndex(int index) const;
    std::vector<void*> FList;
};

/// Duplicates policy of a sorted string list.
enum TDuplicates : std::uint8_t { dupIgnore, dupAccept, dupError };

/// An abstract list of strings, each with an associated object pointer.
/// Name=value lines are looked up case-insensitively.
class TStrings : public TPersistent {
public:
    int Count() const { return GetCount(); }
    String Strings(int index) const { return Get(index); }
    void SetStrings(int index, const String& s) { Put(index, s); }
    String operator[](int index) const { return Get(index); }
    TObject* Objects(int index) const { return GetObject(index); }
    void SetObjects(int index, TObject* obj) { PutObject(index, obj); }

    virtual int Add(const String& s);
    virtual int AddObject(const String& s, TObject* obj);
    void Append(const String& s) { Add(s); }
    /// Adds the lines (and objects) of another list.
    virtual void AddStrings(const TStrings& strings);
    virtual void Insert(int index, const String& s) = 0;
    void InsertObject(int index, const String& s, TObject* obj);
    virtual void Delete(int index) = 0;
    virtual void Clear() = 0;
    virtual void Exchange(int index1, int index2);
    virtual void Move(int curIndex, int newIndex);

    /// Index of the first line equal to s (case-insensitive), else -1.
    virtual int IndexOf(const String& s) const;
    int IndexOfObject(TObject* obj) const;
    /// Index of the first line whose text before "=" matches name
    /// case-insensitively, else -1.
    virtual int IndexOfName(const String& name) const;
    /// Text before the first "=" of line index (empty without "=").
    String Names(int index) const;
    /// Text after "=" of the first line named name, or empty.
    String Values(const String& name) const;
    /// Replaces the line named name with "name=value" or appends it; an
    /// empty value removes the line.
    void SetValues(const String& name, const String& value);

    /// Every line followed by CR LF (the last one too).
    virtual String Text() const;
    /// Replaces the lines with text split at CR LF, LF or CR.
    virtual void SetText(const String& text);
    /// Lines separated by commas, quoted with " when they hold blanks,
    /// commas or quotes.
    String CommaText() const;
    void SetCommaText(const String& text);

    /// Line-by-line equality (case-sensitive), objects ignored.
    bool Equals(const TStrings& other) const;

    /// Copies the lines and objects of another TStrings; other sources raise
    /// EAssignError through TPersistent.
    void Assign(TPersistent* source) override;
    /// Stores the lines in form files as the list property "Strings".
    void DefineProperties(TFiler& filer) override;

    /// Nested calls suppress change events; see TStringList.
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return FUpdateCount; }

    void LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream) const;
    void LoadFromFile(const String& fileName);
    void SaveToFile(const String& fileName) const;

protected:
    virtual String Get(int index) const = 0;
    virtual void Put(int index, const String& s);
    virtual TObject* GetObject(int index) const;
    virtual void PutObject(int index, TObject* obj);
    virtual int GetCount() const = 0;
    /// Called with true by the outermost BeginUpdate and false by the
    /// outermost EndUpdate.
    virtual void SetUpdateState(bool updating);
    void CheckIndex(int index, int count) const;

private:
    int FUpdateCount = 0;
};

/// The concrete string list. Change events: OnChanging fires before and
/// OnChange after each change. Between BeginUpdate and the matching
/// EndUpdate they are held back: OnChanging fires once before the first
/// change, and the outermost EndUpdate fires OnChange once when anything
/// changed.
class TStringList : public TStrings {
public:
    TStringList() = default;

    using TStrings::Add;
    int Add(const String& s) override;
    int AddObject(const String& s, TObject* obj) override;
    void Insert(int index, const String& s) override;
    void Delete(int index) override;
    void Clear() override;
    void Exchange(int index1, int index2) override;
    int IndexOf(const String& s) const override;

    /// Binary search of a sorted list (case-insensitive): true when found,
    /// index is the match or the insertion point.
    bool Find(const String& s, int& index) const;
    void Sort();
    bool Sorted() const { return FSorted; }
    void SetSorted(bool value);
    TDuplicates Duplicates() const { return FDuplicates; }
    void SetDuplicates(TDuplicates value) { FDuplicates = value; }

    TNotifyEvent OnChange;
    TNotifyEvent OnChanging;

protected:
    String Get(int index) const override;
    void Put(int index, const String& s) override;
    TObject* GetObject(int index) const override;
    void PutObject(int index, TObject* obj) override;
    int GetCount() const override { return static_cast<int>(FItems.size()); }
    void SetUpdateState(bool updating) override;
    /// Fire the events (or hold them back while updating).
    virtual void Changing();
    virtual void Changed();

private:
    struct TStringItem {
        String FString;
        TObject* FObject = nullptr;
    };
    void InsertItem(int index, const String& s, TObject* obj);

    std::vector<TStringItem> FItems;
    bool FSorted = false;
    TDuplicates FDuplicates = dupIgnore;
    bool FChangingSent = false;     // OnChanging fired in the current update
    bool FChangedInUpdate = false;  // something changed in the current update
};

namespace detail {
/// The unqualified name of a C++ type ("velora::TFoo" gives "TFoo").
String TypeNameOf(const std::type_info& type);
/// True when name is a valid identifier (letter or _, then letters, digits, _).
bool IsValidIdent(const String& name);
}  // namespace detail

}  // namespace velora
