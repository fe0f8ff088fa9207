// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Status bars, page controls, tree views and rich-text boxes.
#include "velora/forms/ComCtrls.h"

#include "velora/classes/FormFiles.h"
#include "velora/forms/Forms.h"
#include "velora/classes/TypInfo.h"
#include "velora/classes/Streams.h"

#include <algorithm>
#include <cstdint>

namespace velora {

namespace {

[[noreturn]] void IndexError(int index) { throw EListError(Format("List index out of bounds (%d)", index)); }

}  // namespace

// ---------------------------------------------------------------- status bar

int TStatusPanel::Index() const { return FCollection ? FCollection->IndexOf(this) : -1; }

void TStatusPanel::Assign(TPersistent* source) {
    if (auto* src = dynamic_cast<TStatusPanel*>(source)) {
        FText = src->FText;
        FWidth = src->FWidth;
        FAlignment = src->FAlignment;
        FBevel = src->FBevel;
        FStyle = src->FStyle;
        return;
    }
    TPersistent::Assign(source);
}

TStatusPanel* TStatusPanels::Items(int index) const {
    if (index < 0 || index >= Count()) IndexError(index);
    return FItems[static_cast<std::size_t>(index)].get();
}

TStatusPanel* TStatusPanels::Add() {
    FItems.push_back(std::make_unique<TStatusPanel>(this));
    return FItems.back().get();
}

void TStatusPanels::Delete(int index) {
    if (index < 0 || index >= Count()) IndexError(index);
    FItems.erase(FItems.begin() + index);
}

int TStatusPanels::IndexOf(const TStatusPanel* panel) const {
    for (std::size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i].get() == panel) return static_cast<int>(i);
    return -1;
}

void TStatusPanels::Assign(TPersistent* source) {
    if (auto* src = dynamic_cast<TStatusPanels*>(source)) {
        if (src == this) return;
        Clear();
        for (const auto& p : src->FItems) Add()->Assign(p.get());
        return;
    }
    TPersistent::Assign(source);
}

void TStatusPanels::DefineProperties(TFiler& filer) {
    auto enumName = [](const char* type, int ordinal) { return GetEnumName(*FindEnum(type), ordinal); };
    auto enumValue = [](TReader& reader, const char* type) {
        const int v = GetEnumValue(*FindEnum(type), reader.ReadIdent());
        if (v < 0) reader.Error(Format("Invalid %s value", type));
        return v;
    };
    filer.DefineProperty(
        "Items",
        [this, enumValue](TReader& reader) {
            Clear();
            reader.ReadListBegin();
            while (!reader.EndOfList()) {
                TStatusPanel* p = Add();
                p->SetWidth(static_cast<int>(reader.ReadInteger()));
                p->SetText(reader.ReadString());
                p->SetAlignment(static_cast<TAlignment>(enumValue(reader, "TAlignment")));
                p->SetBevel(static_cast<TStatusPanelBevel>(enumValue(reader, "TStatusPanelBevel")));
                p->SetStyle(static_cast<TStatusPanelStyle>(enumValue(reader, "TStatusPanelStyle")));
            }
            reader.ReadListEnd();
        },
        [this, enumName](TWriter& writer) {
            writer.WriteListBegin();
            for (const auto& p : FItems) {
                writer.WriteInteger(p->Width());
                writer.WriteString(p->Text());
                writer.WriteIdent(enumName("TAlignment", p->Alignment()));
                writer.WriteIdent(enumName("TStatusPanelBevel", p->Bevel()));
                writer.WriteIdent(enumName("TStatusPanelStyle", p->Style()));
            }
            writer.WriteListEnd();
        },
        !FItems.empty());
}

TStatusBar::TStatusBar(TComponent* AOwner) : TWinControl(AOwner), FPanels(new TStatusPanels(this)) {
    InitBounds(200, 19);
    SetAlign(alBottom);
}

TStatusBar::~TStatusBar() { delete FPanels; }

// ---------------------------------------------------------------- page control

TTabSheet::TTabSheet(TComponent* AOwner) : TWinControl(AOwner) { InitBounds(200, 150); }

TPageControl* TTabSheet::PageControl() const { return dynamic_cast<TPageControl*>(Parent()); }

void TTabSheet::SetPageControl(TPageControl* value) { SetParent(value); }

int TTabSheet::PageIndex() const {
    const TPageControl* pc = PageControl();
    if (!pc) return -1;
    auto it = std::find(pc->FPages.begin(), pc->FPages.end(), this);
    return it == pc->FPages.end() ? -1 : static_cast<int>(it - pc->FPages.begin());
}

void TTabSheet::SetPageIndex(int value) {
    if (TPageControl* pc = PageControl()) pc->MovePage(this, value);
}

TPageControl::TPageControl(TComponent* AOwner) : TWinControl(AOwner) {
    InitBounds(289, 193);
    SetTabStop(true);
}

TTabSheet* TPageControl::Pages(int index) const {
    if (index < 0 || index >= PageCount()) IndexError(index);
    return FPages[static_cast<std::size_t>(index)];
}

void TPageControl::InsertControl(TControl* control) {
    TWinControl::InsertControl(control);
    if (auto* sheet = dynamic_cast<TTabSheet*>(control)) {
        FPages.push_back(sheet);
        // A new page stays hidden unless it is the only one. (The sheet's
        // Parent is set only after this call.)
        if (!FActivePage)
            FActivePage = sheet;
        else
            sheet->SetVisible(false);
    }
}

void TPageControl::RemoveControl(TControl* control) {
    // control may be in its destructor: pointer comparison only.
    auto it = std::find_if(FPages.begin(), FPages.end(),
                           [control](TTabSheet* p) { return static_cast<TControl*>(p) == control; });
    if (it != FPages.end()) {
        const bool wasActive = static_cast<TControl*>(FActivePage) == control;
        FPages.erase(it);
        if (wasActive) {
            FActivePage = nullptr;
            if (!IsDestroying() && !FPages.empty()) SetActivePage(FPages.front());
        }
    }
    TWinControl::RemoveControl(control);
}

void TPageControl::MovePage(TTabSheet* page, int index) {
    auto it = std::find(FPages.begin(), FPages.end(), page);
    if (it == FPages.end()) return;
    FPages.erase(it);
    index = std::clamp(index, 0, PageCount());
    FPages.insert(FPages.begin() + index, page);
}

void TPageControl::SetActivePage(TTabSheet* page) {
    if (page && page->PageControl() != this) return;
    if (page == FActivePage) return;
    TTabSheet* old = FActivePage;
    FActivePage = page;
    if (page) page->SetVisible(true);
    if (old) old->SetVisible(false);
}

int TPageControl::ActivePageIndex() const { return FActivePage ? FActivePage->PageIndex() : -1; }

void TPageControl::SetActivePageIndex(int value) {
    SetActivePage(value >= 0 && value < PageCount() ? FPages[static_cast<std::size_t>(value)] : nullptr);
}

TTabSheet* TPageControl::FindNextPage(TTabSheet* current, bool goForward) const {
    if (FPages.empty()) return nullptr;
    const int count = PageCount();
    auto it = std::find(FPages.begin(), FPages.end(), current);
    int start = it == FPages.end() ? (goForward ? count - 1 : 0) : static_cast<int>(it - FPages.begin());
    int i = start;
    do {
        i = goForward ? (i + 1) % count : (i + count - 1) % count;
        if (FPages[static_cast<std::size_t>(i)]->TabVisible()) return FPages[static_cast<std::size_t>(i)];
    } while (i != start);
    return nullptr;
}

void TPageControl::UserSelectPage(int index) {
    if (!EnabledInTree() || !VisibleInTree() || index < 0 || index >= PageCount()) return;
    TTabSheet* page = FPages[static_cast<std::size_t>(index)];
    if (page == FActivePage || !page->TabVisible()) return;
    bool allow = true;
    if (OnChanging) OnChanging(this, allow);
    if (!allow) return;
    SetActivePage(page);
    if (OnChange) OnChange(this);
}

// ---------------------------------------------------------------- tree nodes

TTreeNode::~TTreeNode() = default;

void TTreeNode::Expand(bool recurse) {
    FExpanded = true;
    if (recurse)
        for (auto& c : FChildren) c->Expand(true);
}

void TTreeNode::Collapse(bool recurse) {
    FExpanded = false;
    if (recurse)
        for (auto& c : FChildren) c->Collapse(true);
}

TTreeNode* TTreeNode::Item(int index) const {
    if (index < 0 || index >= Count()) IndexError(index);
    return FChildren[static_cast<std::size_t>(index)].get();
}

int TTreeNode::Index() const {
    const auto& list = FParent ? FParent->FChildren : FOwner->FRoots;
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].get() == this) return static_cast<int>(i);
    return -1;
}

TTreeNode* TTreeNode::GetNextSibling() const {
    const auto& list = FParent ? FParent->FChildren : FOwner->FRoots;
    const int i = Index();
    return i >= 0 && i + 1 < static_cast<int>(list.size()) ? list[static_cast<std::size_t>(i + 1)].get() : nullptr;
}

int TTreeNode::Level() const {
    int level = 0;
    for (const TTreeNode* p = FParent; p; p = p->FParent) ++level;
    return level;
}

int TTreeNode::AbsoluteIndex() const {
    for (int i = 0, n = FOwner->Count(); i < n; ++i)
        if (FOwner->Item(i) == this) return i;
    return -1;
}

void TTreeNode::Delete() { FOwner->Delete(this); }

void TTreeNode::Assign(TPersistent* source) {
    if (auto* src = dynamic_cast<TTreeNode*>(source)) {
        FText = src->FText;
        FImageIndex = src->FImageIndex;
        FSelectedIndex = src->FSelectedIndex;
        FStateIndex = src->FStateIndex;
        FOverlayIndex = src->FOverlayIndex;
        FData = src->FData;
        return;
    }
    TPersistent::Assign(source);
}

TTreeNodes::~TTreeNodes() = default;

int TTreeNodes::Count() const {
    int n = 0;
    std::function<void(const TNodeList&)> count = [&](const TNodeList& list) {
        for (const auto& node : list) {
            ++n;
            count(node->FChildren);
        }
    };
    count(FRoots);
    return n;
}

TTreeNode* TTreeNodes::Item(int index) const {
    int n = 0;
    TTreeNode* found = nullptr;
    std::function<bool(const TNodeList&)> walk = [&](const TNodeList& list) {
        for (const auto& node : list) {
            if (n++ == index) {
                found = node.get();
                return true;
            }
            if (walk(node->FChildren)) return true;
        }
        return false;
    };
    if (index < 0 || !walk(FRoots)) IndexError(index);
    return found;
}

TTreeNode* TTreeNodes::Root(int index) const {
    if (index < 0 || index >= RootCount()) IndexError(index);
    return FRoots[static_cast<std::size_t>(index)].get();
}

TTreeNode* TTreeNodes::InsertAt(TTreeNode* parent, int index, const String& text) {
    TNodeList& list = ListOf(parent);
    auto node = std::make_unique<TTreeNode>(this, parent);
    node->FText = text;
    TTreeNode* result = node.get();
    list.insert(list.begin() + std::clamp(index, 0, static_cast<int>(list.size())), std::move(node));
    return result;
}

TTreeNode* TTreeNodes::Add(TTreeNode* sibling, const String& text) {
    TTreeNode* parent = sibling ? sibling->FParent : nullptr;
    return InsertAt(parent, static_cast<int>(ListOf(parent).size()), text);
}

TTreeNode* TTreeNodes::AddFirst(TTreeNode* sibling, const String& text) {
    return InsertAt(sibling ? sibling->FParent : nullptr, 0, text);
}

TTreeNode* TTreeNodes::AddChild(TTreeNode* parent, const String& text) {
    return InsertAt(parent, static_cast<int>(ListOf(parent).size()), text);
}

TTreeNode* TTreeNodes::AddChildFirst(TTreeNode* parent, const String& text) { return InsertAt(parent, 0, text); }

TTreeNode* TTreeNodes::Insert(TTreeNode* sibling, const String& text) {
    if (!sibling) return Add(nullptr, text);
    return InsertAt(sibling->FParent, sibling->Index(), text);
}

void TTreeNodes::Removing(TTreeNode* node) {
    if (!FOwner) return;
    for (TTreeNode* p = FOwner->FSelected; p; p = p->FParent)
        if (p == node) {
            FOwner->FSelected = nullptr;
            return;
        }
}

void TTreeNodes::Delete(TTreeNode* node) {
    if (!node || node->FOwner != this) return;
    Removing(node);
    TNodeList& list = ListOf(node->FParent);
    list.erase(std::remove_if(list.begin(), list.end(), [node](const auto& p) { return p.get() == node; }), list.end());
}

void TTreeNodes::Clear() {
    if (FOwner) FOwner->FSelected = nullptr;
    FRoots.clear();
}

void TTreeNodes::Assign(TPersistent* source) {
    if (auto* src = dynamic_cast<TTreeNodes*>(source)) {
        if (src == this) return;
        Clear();
        std::function<void(const TNodeList&, TTreeNode*)> copy = [&](const TNodeList& list, TTreeNode* parent) {
            for (const auto& node : list) {
                TTreeNode* n = AddChild(parent, node->FText);
                n->Assign(node.get());
                n->FExpanded = node->FExpanded;
                copy(node->FChildren, n);
            }
        };
        copy(src->FRoots, nullptr);
        return;
    }
    TPersistent::Assign(source);
}

namespace {

void WriteInt(TStream& s, std::int32_t v) {
    unsigned char b[4];
    for (int i = 0; i < 4; ++i) b[i] = static_cast<unsigned char>((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xFF);
    s.WriteBuffer(b, 4);
}

std::int32_t ReadInt(TStream& s) {
    unsigned char b[4];
    s.ReadBuffer(b, 4);
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(b[i]) << (8 * i);
    return static_cast<std::int32_t>(v);
}

}  // namespace

void TTreeNodes::WriteData(TStream& stream) const {
    std::function<void(const TTreeNode&)> writeNode = [&](const TTreeNode& node) {
        WriteInt(stream, node.FImageIndex);
        WriteInt(stream, node.FSelectedIndex);
        WriteInt(stream, node.FStateIndex);
        WriteInt(stream, node.FOverlayIndex);
        WriteInt(stream, node.Count());
        const std::size_t len = std::min<std::size_t>(node.FText.size(), 255);
        const unsigned char l = static_cast<unsigned char>(len);
        stream.WriteBuffer(&l, 1);
        if (len) stream.WriteBuffer(node.FText.data(), static_cast<std::int64_t>(len));
        for (const auto& c : node.FChildren) writeNode(*c);
    };
    WriteInt(stream, RootCount());
    for (const auto& r : FRoots) writeNode(*r);
}

void TTreeNodes::ReadData(TStream& stream) {
    Clear();
    std::function<void(TTreeNode*)> readNode = [&](TTreeNode* parent) {
        const std::int32_t image = ReadInt(stream);
        const std::int32_t selected = ReadInt(stream);
        const std::int32_t state = ReadInt(stream);
        const std::int32_t overlay = ReadInt(stream);
        const std::int32_t children = ReadInt(stream);
        unsigned char len = 0;
        stream.ReadBuffer(&len, 1);
        String text(len, '\0');
        if (len) stream.ReadBuffer(text.data(), len);
        if (children < 0) throw EReadError("Invalid tree node data");
        TTreeNode* node = AddChild(parent, text);
        node->FImageIndex = image;
        node->FSelectedIndex = selected;
        node->FStateIndex = state;
        node->FOverlayIndex = overlay;
        for (std::int32_t i = 0; i < children; ++i) readNode(node);
    };
    const std::int32_t roots = ReadInt(stream);
    if (roots < 0) throw EReadError("Invalid tree node data");
    for (std::int32_t i = 0; i < roots; ++i) readNode(nullptr);
}

void TTreeNodes::DefineProperties(TFiler& filer) {
    filer.DefineBinaryProperty(
        "Data", [this](TStream& s) { ReadData(s); }, [this](TStream& s) { WriteData(s); }, !FRoots.empty());
}

// ---------------------------------------------------------------- tree view

TTreeView::TTreeView(TComponent* AOwner) : TWinControl(AOwner), FItems(new TTreeNodes(this)) {
    InitBounds(121, 97);
    SetTabStop(true);
    SetParentColor(false);
    SetColor(clWindow);
}

TTreeView::~TTreeView() { delete FItems; }

void TTreeView::SetSelected(TTreeNode* node) {
    if (node && node->Owner() != FItems) return;
    FSelected = node;
}

void TTreeView::UserSelectNode(TTreeNode* node) {
    if (!EnabledInTree() || !VisibleInTree() || !node || node->Owner() != FItems) return;
    if (TCustomForm* form = GetParentForm(this)) form->UserFocus(this);
    if (node == FSelected) return;
    FSelected = node;
    if (OnChange) OnChange(this, node);
}

// ---------------------------------------------------------------- rich edit

TRichEdit::TRichEdit(TComponent* AOwner) : TCustomMemo(AOwner) {}

}  // namespace velora
