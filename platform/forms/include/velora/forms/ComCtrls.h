// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The common controls: status bars with panels, page controls with tab
// sheets, tree views with their nodes, and rich-text boxes.
#pragma once

#include "velora/forms/Controls.h"
#include "velora/forms/StdCtrls.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace velora {

class TStatusBar;
class TStatusPanels;
class TPageControl;
class TTreeNodes;
class TTreeView;

enum TStatusPanelStyle : std::uint8_t { psText, psOwnerDraw };
enum TStatusPanelBevel : std::uint8_t { pbNone, pbLowered, pbRaised };

/// One panel of a status bar.
class TStatusPanel : public TPersistent {
public:
    explicit TStatusPanel(TStatusPanels* collection) : FCollection(collection) {}

    TStatusPanels* Collection() const { return FCollection; }
    /// Position in the bar's panel list.
    int Index() const;
    const String& Text() const { return FText; }
    void SetText(const String& value) { FText = value; }
    int Width() const { return FWidth; }
    void SetWidth(int value) { FWidth = value; }
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment value) { FAlignment = value; }
    TStatusPanelBevel Bevel() const { return FBevel; }
    void SetBevel(TStatusPanelBevel value) { FBevel = value; }
    TStatusPanelStyle Style() const { return FStyle; }
    void SetStyle(TStatusPanelStyle value) { FStyle = value; }

    void Assign(TPersistent* source) override;

private:
    TStatusPanels* FCollection;
    String FText;
    int FWidth = 50;
    TAlignment FAlignment = taLeftJustify;
    TStatusPanelBevel FBevel = pbLowered;
    TStatusPanelStyle FStyle = psText;
};

/// The panels of a status bar, owned by it.
class TStatusPanels : public TPersistent {
public:
    explicit TStatusPanels(TStatusBar* owner) : FOwner(owner) {}

    TStatusBar* Owner() const { return FOwner; }
    int Count() const { return static_cast<int>(FItems.size()); }
    /// Panel at index (EListError when out of range).
    TStatusPanel* Items(int index) const;
    TStatusPanel* operator[](int index) const { return Items(index); }
    TStatusPanel* Add();
    void Delete(int index);
    void Clear() { FItems.clear(); }
    int IndexOf(const TStatusPanel* panel) const;
    void Assign(TPersistent* source) override;
    /// Stored in form files as the list "Items": for each panel its Width,
    /// Text, Alignment, Bevel and Style, one after the other.
    void DefineProperties(TFiler& filer) override;

private:
    TStatusBar* FOwner;
    std::vector<std::unique_ptr<TStatusPanel>> FItems;
};

/// A bar of text panels, normally along the bottom of a form.
class TStatusBar : public TWinControl {
public:
    explicit TStatusBar(TComponent* AOwner);
    ~TStatusBar() override;

    TStatusPanels* Panels() const { return FPanels; }
    void SetPanels(TStatusPanels* value) { FPanels->Assign(value); }
    /// One text across the bar (SimpleText) instead of the panels.
    bool SimplePanel() const { return FSimplePanel; }
    void SetSimplePanel(bool value) { FSimplePanel = value; }
    const String& SimpleText() const { return FSimpleText; }
    void SetSimpleText(const String& value) { FSimpleText = value; }
    bool SizeGrip() const { return FSizeGrip; }
    void SetSizeGrip(bool value) { FSizeGrip = value; }

private:
    TStatusPanels* FPanels;
    bool FSimplePanel = false;
    String FSimpleText;
    bool FSizeGrip = true;
};

/// One page of a page control: a container whose Parent is the page control.
class TTabSheet : public TWinControl {
public:
    explicit TTabSheet(TComponent* AOwner);

    TPageControl* PageControl() const;
    /// Puts the sheet on a page control (as its last page) or takes it off.
    void SetPageControl(TPageControl* value);
    /// Position among the pages; setting it moves the sheet.
    int PageIndex() const;
    void SetPageIndex(int value);
    bool TabVisible() const { return FTabVisible; }
    void SetTabVisible(bool value) { FTabVisible = value; }

private:
    bool FTabVisible = true;
};

using TTabChangingEvent = std::function<void(TObject* Sender, bool& AllowChange)>;

/// Pages behind tabs; only the active page is visible.
class TPageControl : public TWinControl {
public:
    explicit TPageControl(TComponent* AOwner);

    int PageCount() const { return static_cast<int>(FPages.size()); }
    TTabSheet* Pages(int index) const;
    TTabSheet* ActivePage() const { return FActivePage; }
    /// Shows page (one of ours, or null); the others are hidden. No events.
    void SetActivePage(TTabSheet* page);
    int ActivePageIndex() const;
    void SetActivePageIndex(int value);
    /// The next (previous) page with a visible tab after current, wrapping.
    TTabSheet* FindNextPage(TTabSheet* current, bool goForward) const;

    /// The user clicks the tab of page index: OnChanging may refuse; then
    /// the page shows and OnChange runs.
    void UserSelectPage(int index);

    TNotifyEvent OnChange;
    TTabChangingEvent OnChanging;

protected:
    void InsertControl(TControl* control) override;
    void RemoveControl(TControl* control) override;

private:
    friend class TTabSheet;
    void MovePage(TTabSheet* page, int index);

    std::vector<TTabSheet*> FPages;
    TTabSheet* FActivePage = nullptr;
};

/// A node of a tree view: text, image indexes and child nodes (owned).
class TTreeNode : public TPersistent {
public:
    TTreeNode(TTreeNodes* owner, TTreeNode* parent) : FOwner(owner), FParent(parent) {}
    ~TTreeNode() override;

    TTreeNodes* Owner() const { return FOwner; }
    TTreeNode* Parent() const { return FParent; }
    const String& Text() const { return FText; }
    void SetText(const String& value) { FText = value; }
    int ImageIndex() const { return FImageIndex; }
    void SetImageIndex(int value) { FImageIndex = value; }
    int SelectedIndex() const { return FSelectedIndex; }
    void SetSelectedIndex(int value) { FSelectedIndex = value; }
    int StateIndex() const { return FStateIndex; }
    void SetStateIndex(int value) { FStateIndex = value; }
    int OverlayIndex() const { return FOverlayIndex; }
    void SetOverlayIndex(int value) { FOverlayIndex = value; }
    void* Data() const { return FData; }
    void SetData(void* value) { FData = value; }
    bool Expanded() const { return FExpanded; }
    void Expand(bool recurse = false);
    void Collapse(bool recurse = false);

    /// Child nodes.
    int Count() const { return static_cast<int>(FChildren.size()); }
    bool HasChildren() const { return !FChildren.empty(); }
    TTreeNode* Item(int index) const;
    TTreeNode* GetFirstChild() const { return FChildren.empty() ? nullptr : FChildren.front().get(); }
    TTreeNode* GetNextSibling() const;
    /// Position among its siblings.
    int Index() const;
    /// Depth: 0 for top-level nodes.
    int Level() const;
    /// Position in the whole tree, depth first.
    int AbsoluteIndex() const;
    /// Removes and frees the node and its children.
    void Delete();

    void Assign(TPersistent* source) override;

private:
    friend class TTreeNodes;
    TTreeNodes* FOwner;
    TTreeNode* FParent;
    String FText;
    int FImageIndex = 0;
    int FSelectedIndex = 0;
    int FStateIndex = -1;
    int FOverlayIndex = -1;
    void* FData = nullptr;
    bool FExpanded = false;
    std::vector<std::unique_ptr<TTreeNode>> FChildren;
};

/// All nodes of a tree view. Item(i) counts depth first. Stored in form
/// files as the binary property "Data": an int32 count of top-level nodes,
/// then each node as int32 ImageIndex, SelectedIndex, StateIndex,
/// OverlayIndex and child count, one byte text length, the text, and its
/// children (little-endian).
class TTreeNodes : public TPersistent {
public:
    explicit TTreeNodes(TTreeView* owner) : FOwner(owner) {}
    ~TTreeNodes() override;

    TTreeView* Owner() const { return FOwner; }
    /// Every node of the tree.
    int Count() const;
    TTreeNode* Item(int index) const;
    TTreeNode* GetFirstNode() const { return FRoots.empty() ? nullptr : FRoots.front().get(); }
    /// Top-level nodes.
    int RootCount() const { return static_cast<int>(FRoots.size()); }
    TTreeNode* Root(int index) const;

    /// A new last sibling of sibling (null: a top-level node).
    TTreeNode* Add(TTreeNode* sibling, const String& text);
    /// A new first sibling of sibling.
    TTreeNode* AddFirst(TTreeNode* sibling, const String& text);
    /// A new last child of parent (null: a top-level node).
    TTreeNode* AddChild(TTreeNode* parent, const String& text);
    TTreeNode* AddChildFirst(TTreeNode* parent, const String& text);
    /// A new node just before sibling.
    TTreeNode* Insert(TTreeNode* sibling, const String& text);
    void Delete(TTreeNode* node);
    void Clear();

    void Assign(TPersistent* source) override;
    void DefineProperties(TFiler& filer) override;
    void ReadData(TStream& stream);
    void WriteData(TStream& stream) const;

private:
    friend class TTreeNode;
    using TNodeList = std::vector<std::unique_ptr<TTreeNode>>;
    TNodeList& ListOf(TTreeNode* parent) { return parent ? parent->FChildren : FRoots; }
    TTreeNode* InsertAt(TTreeNode* parent, int index, const String& text);
    void Removing(TTreeNode* node);

    TTreeView* FOwner;
    TNodeList FRoots;
};

using TTVChangedEvent = std::function<void(TObject* Sender, TTreeNode* Node)>;

/// A tree of nodes with one selected node.
class TTreeView : public TWinControl {
public:
    explicit TTreeView(TComponent* AOwner);
    ~TTreeView() override;

    TTreeNodes* Items() const { return FItems; }
    void SetItems(TTreeNodes* value) { FItems->Assign(value); }
    TTreeNode* Selected() const { return FSelected; }
    void SetSelected(TTreeNode* node);
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool value) { FReadOnly = value; }
    bool ShowButtons() const { return FShowButtons; }
    void SetShowButtons(bool value) { FShowButtons = value; }
    bool ShowLines() const { return FShowLines; }
    void SetShowLines(bool value) { FShowLines = value; }
    bool ShowRoot() const { return FShowRoot; }
    void SetShowRoot(bool value) { FShowRoot = value; }
    bool HideSelection() const { return FHideSelection; }
    void SetHideSelection(bool value) { FHideSelection = value; }
    int Indent() const { return FIndent; }
    void SetIndent(int value) { FIndent = value; }

    /// The user clicks node: focus, selection, OnChange.
    void UserSelectNode(TTreeNode* node);

    TTVChangedEvent OnChange;

private:
    friend class TTreeNodes;
    TTreeNodes* FItems;
    TTreeNode* FSelected = nullptr;
    bool FReadOnly = false;
    bool FShowButtons = true;
    bool FShowLines = true;
    bool FShowRoot = true;
    bool FHideSelection = true;
    int FIndent = 19;
};

/// A memo for rich text; here its Lines hold the plain text.
class TRichEdit : public TCustomMemo {
public:
    explicit TRichEdit(TComponent* AOwner);

    bool PlainText() const { return FPlainText; }
    void SetPlainText(bool value) { FPlainText = value; }
    bool HideSelection() const { return FHideSelection; }
    void SetHideSelection(bool value) { FHideSelection = value; }

private:
    bool FPlainText = false;
    bool FHideSelection = true;
};

}  // namespace velora
