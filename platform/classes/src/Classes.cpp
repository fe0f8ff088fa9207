// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The object model of Classes.h: class names, assignment, the owner tree with
// its notifications, TList and the string lists.
#include "velora/classes/Classes.h"

#include "velora/classes/FormFiles.h"
#include "velora/classes/Streams.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <typeindex>
#include <unordered_map>

namespace velora {

// ---------------------------------------------------------------------------
// Names

namespace detail {

String TypeNameOf(const std::type_info& type) {
    static std::mutex lock;
    static std::unordered_map<std::type_index, String>* cache = new std::unordered_map<std::type_index, String>();
    std::lock_guard<std::mutex> guard(lock);
    auto it = cache->find(std::type_index(type));
    if (it != cache->end()) return it->second;

    int status = 0;
    char* demangled = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    String full = (status == 0 && demangled) ? String(demangled) : String(type.name());
    std::free(demangled);
    // Keep the last qualified part outside template arguments.
    int depth = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < full.size(); ++i) {
        char c = full[i];
        if (c == '<' || c == '(')
            ++depth;
        else if (c == '>' || c == ')')
            --depth;
        else if (depth == 0 && c == ':' && i + 1 < full.size() && full[i + 1] == ':') {
            start = i + 2;
            ++i;
        }
    }
    String name = full.substr(start);
    cache->emplace(std::type_index(type), name);
    return name;
}

bool IsValidIdent(const String& name) {
    if (name.empty()) return false;
    auto alpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
    if (!alpha(name[0])) return false;
    return std::all_of(name.begin() + 1, name.end(), [&](char c) { return alpha(c) || (c >= '0' && c <= '9'); });
}

}  // namespace detail

// ---------------------------------------------------------------------------
// TObject, TPersistent, TFiler

TObject::~TObject() = default;

String TObject::ClassName() const { return detail::TypeNameOf(typeid(*this)); }

void TObject::Free() {
    BeforeDestruction();
    delete this;
}

void TPersistent::Assign(TPersistent* source) {
    if (source) {
        source->AssignTo(this);
        return;
    }
    throw EAssignError(Format("Cannot assign a %s to a %s", "nil", ClassName()));
}

void TPersistent::AssignTo(TPersistent* dest) {
    throw EAssignError(Format("Cannot assign a %s to a %s", ClassName(), dest ? dest->ClassName() : String("nil")));
}

void TPersistent::DefineProperties(TFiler&) {}

TFiler::~TFiler() = default;

// ---------------------------------------------------------------------------
// TComponent

TComponent::TComponent(TComponent* owner) {
    if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
    // Reached through Free (BeforeDestruction already ran) or a plain delete.
    Destroying();
    SendRemoveNotifications();
    DestroyComponents();
    if (FOwner) FOwner->RemoveComponent(this);
}

void TComponent::BeforeDestruction() {
    Destroying();
    DestroyComponents();
}

void TComponent::SendRemoveNotifications() {
    if (FRemoveSent) return;
    FRemoveSent = true;
    // Mutual links: take this component out of the partner's list before
    // telling it, so that no list keeps a pointer to a dead component even
    // when a Notification override forgets the inherited call.
    while (!FFreeNotifies.empty()) {
        TComponent* other = FFreeNotifies.back();
        FFreeNotifies.pop_back();
        auto& theirs = other->FFreeNotifies;
        theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
        other->Notification(this, opRemove);
    }
}

void TComponent::Destroying() {
    if (FComponentState.Contains(csDestroying)) return;
    FComponentState.Include(csDestroying);
    for (TComponent* c : FComponents) c->Destroying();
}

void TComponent::DestroyComponents() {
    while (!FComponents.empty()) {
        TComponent* c = FComponents.back();
        c->Free();  // its destructor takes it out of our list
        if (!FComponents.empty() && FComponents.back() == c) FComponents.pop_back();
    }
}

TComponent* TComponent::Components(int index) const {
    if (index < 0 || index >= ComponentCount()) throw EListError(Format("List index out of bounds (%d)", index));
    return FComponents[static_cast<std::size_t>(index)];
}

int TComponent::ComponentIndex() const {
    if (!FOwner) return -1;
    const auto& list = FOwner->FComponents;
    auto it = std::find(list.begin(), list.end(), this);
    return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

TComponent* TComponent::FindComponent(const String& name) const {
    if (name.empty()) return nullptr;
    for (TComponent* c : FComponents)
        if (SameText(c->FName, name)) return c;
    return nullptr;
}

void TComponent::ValidateRename(TComponent* aComponent, const String& curName, const String& newName) {
    if (newName.empty() || SameText(curName, newName)) return;
    TComponent* found = FindComponent(newName);
    if (found && found != aComponent) throw EComponentError(Format("A component named %s already exists", newName));
}

void TComponent::SetName(const String& name) {
    if (FName == name) return;
    if (!name.empty() && !detail::IsValidIdent(name))
        throw EComponentError(Format("'%s' is not a valid component name", name));
    if (FOwner) FOwner->ValidateRename(this, FName, name);
    FName = name;
}

void TComponent::SetDesigning(bool value, bool setChildren) {
    if (value)
        FComponentState.Include(csDesigning);
    else
        FComponentState.Exclude(csDesigning);
    if (setChildren)
        for (TComponent* c : FComponents) c->SetDesigning(value, true);
}

void TComponent::Loaded() { FComponentState.Exclude(csLoading); }

void TComponent::Notification(TComponent* aComponent, TOperation operation) {
    if (operation == opRemove && aComponent) RemoveFreeNotification(aComponent);
    // Copy: a handler may free or insert components.
    std::vector<TComponent*> components = FComponents;
    for (TComponent* c : components) {
        if (std::find(FComponents.begin(), FComponents.end(), c) == FComponents.end()) continue;
        if (c != aComponent) c->Notification(aComponent, operation);
    }
}

void TComponent::FreeNotification(TComponent* other) {
    if (!other || other == this) return;
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), other) == FFreeNotifies.end())
        FFreeNotifies.push_back(other);
    if (std::find(other->FFreeNotifies.begin(), other->FFreeNotifies.end(), this) == other->FFreeNotifies.end())
        other->FFreeNotifies.push_back(this);
    FComponentState.Include(csFreeNotification);
}

void TComponent::RemoveFreeNotification(TComponent* other) {
    if (!other) return;
    FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), other), FFreeNotifies.end());
    auto& theirs = other->FFreeNotifies;
    theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
}

void TComponent::InsertComponent(TComponent* aComponent) {
    if (!aComponent) return;
    if (aComponent->FOwner == this) return;
    ValidateRename(aComponent, String(), aComponent->FName);
    if (aComponent->FOwner) aComponent->FOwner->RemoveComponent(aComponent);
    FComponents.push_back(aComponent);
    aComponent->FOwner = this;
    Notification(aComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* aComponent) {
    if (!aComponent || aComponent->FOwner != this) return;
    Notification(aComponent, opRemove);
    FComponents.erase(std::remove(FComponents.begin(), FComponents.end(), aComponent), FComponents.end());
    aComponent->FOwner = nullptr;
}

void TComponent::GetChildren(const std::function<void(TComponent*)>& proc, TComponent*) {
    std::vector<TComponent*> components = FComponents;
    for (TComponent* c : components) proc(c);
}

const std::any* TComponent::FindMethod(const String& name) const {
    const String key = UpperCase(name);
    for (const TComponent* c = this; c; c = c->FOwner) {
        auto it = c->FMethods.find(key);
        if (it != c->FMethods.end()) return &it->second.Handler;
    }
    return nullptr;
}

String TComponent::MethodName(const String& name) const {
    const String key = UpperCase(name);
    for (const TComponent* c = this; c; c = c->FOwner) {
        auto it = c->FMethods.find(key);
        if (it != c->FMethods.end()) return it->second.Name;
    }
    return String();
}

String TComponent::EventHandlerName(const String& eventProp) const {
    auto it = FEventHandlerNames.find(UpperCase(eventProp));
    return it == FEventHandlerNames.end() ? String() : it->second;
}

void TComponent::SetEventHandlerName(const String& eventProp, const String& methodName) {
    if (methodName.empty())
        FEventHandlerNames.erase(UpperCase(eventProp));
    else
        FEventHandlerNames[UpperCase(eventProp)] = methodName;
}

// ---------------------------------------------------------------------------
// TList

void TList::CheckIndex(int index) const {
    if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
}

int TList::Add(void* item) {
    FList.push_back(item);
    return Count() - 1;
}

void TList::Insert(int index, void* item) {
    if (index < 0 || index > Count()) throw EListError(Format("List index out of bounds (%d)", index));
    FList.insert(FList.begin() + index, item);
}

void TList::Delete(int index) {
    CheckIndex(index);
    FList.erase(FList.begin() + index);
}

int TList::Remove(void* item) {
    int i = IndexOf(item);
    if (i >= 0) Delete(i);
    return i;
}

int TList::IndexOf(void* item) const {
    auto it = std::find(FList.begin(), FList.end(), item);
    return it == FList.end() ? -1 : static_cast<int>(it - FList.begin());
}

void* TList::Get(int index) const {
    CheckIndex(index);
    return FList[static_cast<std::size_t>(index)];
}

void TList::Put(int index, void* item) {
    CheckIndex(index);
    FList[static_cast<std::size_t>(index)] = item;
}

void TList::Exchange(int index1, int index2) {
    CheckIndex(index1);
    CheckIndex(index2);
    std::swap(FList[static_cast<std::size_t>(index1)], FList[static_cast<std::size_t>(index2)]);
}

void TList::Move(int curIndex, int newIndex) {
    if (curIndex == newIndex) return;
    CheckIndex(curIndex);
    CheckIndex(newIndex);
    void* item = FList[static_cast<std::size_t>(curIndex)];
    FList.erase(FList.begin() + curIndex);
    FList.insert(FList.begin() + newIndex, item);
}

void TList::Pack() { FList.erase(std::remove(FList.begin(), FList.end(), nullptr), FList.end()); }

// ---------------------------------------------------------------------------
// TStrings

void TStrings::CheckIndex(int index, int count) const {
    if (index < 0 || index >= count) throw EStringListError(Format("List index out of bounds (%d)", index));
}

int TStrings::Add(const String& s) {
    int index = Count();
    Insert(index, s);
    return index;
}

int TStrings::AddObject(const String& s, TObject* obj) {
    int index = Add(s);
    PutObject(index, obj);
    return index;
}

void TStrings::AddStrings(const TStrings& strings) {
    BeginUpdate();
    try {
        for (int i = 0; i < strings.Count(); ++i) AddObject(strings.Strings(i), strings.Objects(i));
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TStrings::InsertObject(int index, const String& s, TObject* obj) {
    Insert(index, s);
    PutObject(index, obj);
}

void TStrings::Put(int index, const String& s) {
    TObject* obj = GetObject(index);
    BeginUpdate();
    try {
        Delete(index);
        InsertObject(index, s, obj);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

TObject* TStrings::GetObject(int) const { return nullptr; }
void TStrings::PutObject(int, TObject*) {}

void TStrings::Exchange(int index1, int index2) {
    BeginUpdate();
    try {
        String s = Strings(index1);
        TObject* o = Objects(index1);
        SetStrings(index1, Strings(index2));
        SetObjects(index1, Objects(index2));
        SetStrings(index2, s);
        SetObjects(index2, o);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TStrings::Move(int curIndex, int newIndex) {
    if (curIndex == newIndex) return;
    BeginUpdate();
    try {
        String s = Strings(curIndex);
        TObject* o = Objects(curIndex);
        CheckIndex(newIndex, Count());
        Delete(curIndex);
        InsertObject(newIndex, s, o);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

int TStrings::IndexOf(const String& s) const {
    for (int i = 0; i < Count(); ++i)
        if (AnsiCompareText(Get(i), s) == 0) return i;
    return -1;
}

int TStrings::IndexOfObject(TObject* obj) const {
    for (int i = 0; i < Count(); ++i)
        if (GetObject(i) == obj) return i;
    return -1;
}

int TStrings::IndexOfName(const String& name) const {
    for (int i = 0; i < Count(); ++i) {
        String s = Get(i);
        std::size_t p = s.find('=');
        if (p != String::npos && AnsiCompareText(std::string_view(s).substr(0, p), name) == 0) return i;
    }
    return -1;
}

String TStrings::Names(int index) const {
    String s = Get(index);
    std::size_t p = s.find('=');
    return p == String::npos ? String() : s.substr(0, p);
}

String TStrings::Values(const String& name) const {
    int i = IndexOfName(name);
    if (i < 0) return String();
    String s = Get(i);
    return s.substr(s.find('=') + 1);
}

void TStrings::SetValues(const String& name, const String& value) {
    int i = IndexOfName(name);
    if (value.empty()) {
        if (i >= 0) Delete(i);
        return;
    }
    if (i < 0)
        Add(name + "=" + value);
    else
        Put(i, name + "=" + value);
}

String TStrings::Text() const {
    String out;
    for (int i = 0; i < Count(); ++i) {
        out += Get(i);
        out += "\r\n";
    }
    return out;
}

void TStrings::SetText(const String& text) {
    BeginUpdate();
    try {
        Clear();
        std::size_t p = 0;
        const std::size_t n = text.size();
        while (p < n) {
            std::size_t start = p;
            while (p < n && text[p] != '\r' && text[p] != '\n') ++p;
            Add(text.substr(start, p - start));
            if (p < n && text[p] == '\r') ++p;
            if (p < n && text[p] == '\n') ++p;
        }
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

String TStrings::CommaText() const {
    String out;
    for (int i = 0; i < Count(); ++i) {
        if (i) out += ',';
        String s = Get(i);
        bool quote = s.empty() && Count() == 1;
        for (char c : s)
            if (static_cast<unsigned char>(c) <= ' ' || c == ',' || c == '"') quote = true;
        if (!quote) {
            out += s;
            continue;
        }
        out += '"';
        for (char c : s) {
            if (c == '"') out += '"';
            out += c;
        }
        out += '"';
    }
    return out;
}

void TStrings::SetCommaText(const String& text) {
    BeginUpdate();
    try {
        Clear();
        std::size_t p = 0;
        const std::size_t n = text.size();
        auto blank = [&](std::size_t i) { return static_cast<unsigned char>(text[i]) <= ' '; };
        while (p < n && blank(p)) ++p;
        while (p < n) {
            String item;
            if (text[p] == '"') {
                ++p;
                while (p < n) {
                    if (text[p] == '"') {
                        if (p + 1 < n && text[p + 1] == '"') {
                            item += '"';
                            p += 2;
                            continue;
                        }
                        ++p;
                        break;
                    }
                    item += text[p++];
                }
            } else {
                while (p < n && !blank(p) && text[p] != ',') item += text[p++];
            }
            Add(item);
            while (p < n && blank(p)) ++p;
            if (p < n && text[p] == ',') {
                ++p;
                while (p < n && blank(p)) ++p;
            }
        }
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

bool TStrings::Equals(const TStrings& other) const {
    if (Count() != other.Count()) return false;
    for (int i = 0; i < Count(); ++i)
        if (Get(i) != other.Get(i)) return false;
    return true;
}

void TStrings::Assign(TPersistent* source) {
    if (auto* src = dynamic_cast<TStrings*>(source)) {
        if (src == this) return;
        BeginUpdate();
        try {
            Clear();
            AddStrings(*src);
        } catch (...) {
            EndUpdate();
            throw;
        }
        EndUpdate();
        return;
    }
    TPersistent::Assign(source);
}

void TStrings::DefineProperties(TFiler& filer) {
    bool hasData;
    if (auto* ancestor = dynamic_cast<TStrings*>(filer.Ancestor()))
        hasData = !Equals(*ancestor);
    else
        hasData = Count() > 0;
    filer.DefineProperty(
        "Strings",
        [this](TReader& reader) {
            BeginUpdate();
            try {
                Clear();
                reader.ReadListBegin();
                while (!reader.EndOfList()) Add(reader.ReadString());
                reader.ReadListEnd();
            } catch (...) {
                EndUpdate();
                throw;
            }
            EndUpdate();
        },
        [this](TWriter& writer) {
            writer.WriteListBegin();
            for (int i = 0; i < Count(); ++i) writer.WriteString(Get(i));
            writer.WriteListEnd();
        },
        hasData);
}

void TStrings::BeginUpdate() {
    if (FUpdateCount == 0) SetUpdateState(true);
    ++FUpdateCount;
}

void TStrings::EndUpdate() {
    if (FUpdateCount <= 0) return;
    --FUpdateCount;
    if (FUpdateCount == 0) SetUpdateState(false);
}

void TStrings::SetUpdateState(bool) {}

void TStrings::LoadFromStream(TStream& stream) {
    std::int64_t size = stream.Size() - stream.Position();
    String text(static_cast<std::size_t>(std::max<std::int64_t>(size, 0)), '\0');
    if (size > 0) stream.ReadBuffer(text.data(), size);
    SetText(text);
}

void TStrings::SaveToStream(TStream& stream) const {
    String text = Text();
    stream.WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
}

void TStrings::LoadFromFile(const String& fileName) {
    TFileStream stream(fileName, fmOpenRead);
    LoadFromStream(stream);
}

void TStrings::SaveToFile(const String& fileName) const {
    TFileStream stream(fileName, fmCreate);
    SaveToStream(stream);
}

// ---------------------------------------------------------------------------
// TStringList

void TStringList::Changing() {
    if (UpdateCount() == 0) {
        if (OnChanging) OnChanging(this);
        return;
    }
    if (!FChangingSent) {
        if (OnChanging) OnChanging(this);
        FChangingSent = true;
    }
}

void TStringList::Changed() {
    if (UpdateCount() == 0) {
        if (OnChange) OnChange(this);
        return;
    }
    FChangedInUpdate = true;
}

void TStringList::SetUpdateState(bool updating) {
    if (updating) {
        FChangingSent = false;
        FChangedInUpdate = false;
        return;
    }
    bool changed = FChangedInUpdate;
    FChangingSent = false;
    FChangedInUpdate = false;
    if (changed && OnChange) OnChange(this);
}

String TStringList::Get(int index) const {
    CheckIndex(index, GetCount());
    return FItems[static_cast<std::size_t>(index)].FString;
}

TObject* TStringList::GetObject(int index) const {
    CheckIndex(index, GetCount());
    return FItems[static_cast<std::size_t>(index)].FObject;
}

void TStringList::Put(int index, const String& s) {
    if (FSorted) throw EStringListError("Operation not allowed on sorted string list");
    CheckIndex(index, GetCount());
    Changing();
    FItems[static_cast<std::size_t>(index)].FString = s;
    Changed();
}

void TStringList::PutObject(int index, TObject* obj) {
    CheckIndex(index, GetCount());
    Changing();
    FItems[static_cast<std::size_t>(index)].FObject = obj;
    Changed();
}

void TStringList::InsertItem(int index, const String& s, TObject* obj) {
    Changing();
    FItems.insert(FItems.begin() + index, TStringItem{s, obj});
    Changed();
}

int TStringList::Add(const String& s) { return AddObject(s, nullptr); }

int TStringList::AddObject(const String& s, TObject* obj) {
    int index;
    if (!FSorted) {
        index = GetCount();
    } else if (Find(s, index)) {
        if (FDuplicates == dupIgnore) return index;
        if (FDuplicates == dupError) throw EStringListError("String list does not allow duplicates");
    }
    InsertItem(index, s, obj);
    return index;
}

void TStringList::Insert(int index, const String& s) {
    if (FSorted) throw EStringListError("Operation not allowed on sorted string list");
    if (index < 0 || index > GetCount()) throw EStringListError(Format("List index out of bounds (%d)", index));
    InsertItem(index, s, nullptr);
}

void TStringList::Delete(int index) {
    CheckIndex(index, GetCount());
    Changing();
    FItems.erase(FItems.begin() + index);
    Changed();
}

void TStringList::Clear() {
    if (FItems.empty()) return;
    Changing();
    FItems.clear();
    Changed();
}

void TStringList::Exchange(int index1, int index2) {
    CheckIndex(index1, GetCount());
    CheckIndex(index2, GetCount());
    Changing();
    std::swap(FItems[static_cast<std::size_t>(index1)], FItems[static_cast<std::size_t>(index2)]);
    Changed();
}

int TStringList::IndexOf(const String& s) const {
    if (!FSorted) return TStrings::IndexOf(s);
    int index;
    return Find(s, index) ? index : -1;
}

bool TStringList::Find(const String& s, int& index) const {
    int lo = 0, hi = GetCount() - 1;
    bool found = false;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        int c = AnsiCompareText(FItems[static_cast<std::size_t>(mid)].FString, s);
        if (c < 0) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
            if (c == 0) {
                found = true;
                if (FDuplicates != dupAccept) lo = mid;
            }
        }
    }
    index = lo;
    return found;
}

void TStringList::Sort() {
    if (GetCount() < 2) return;
    Changing();
    std::stable_sort(FItems.begin(), FItems.end(), [](const TStringItem& a, const TStringItem& b) {
        return AnsiCompareText(a.FString, b.FString) < 0;
    });
    Changed();
}

void TStringList::SetSorted(bool value) {
    if (FSorted == value) return;
    if (value) Sort();
    FSorted = value;
}

}  // namespace velora
