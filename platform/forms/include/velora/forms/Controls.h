// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The control tree of the forms library: TControl (position, size, caption,
// font, hint, enabled and visible state, click events), TWinControl (child
// controls, tab order, focus and keyboard input), and the two painting bases
// TGraphicControl and TCustomControl, each with a canvas.
//
// Controls are plain objects: there is no window system behind them. What a
// user does (typing, pressing keys, clicking) arrives through the methods a
// form presenter calls (see Forms.h and Presenters.h), and everything a user
// would see (bounds, captions, fonts, focus) can be read back: that is what
// the presenters show and what the tests examine.
//
// Two trees meet here. The owner tree (TComponent) decides who frees whom;
// the parent tree (Parent, Controls) decides where a control sits. A parent
// frees the child controls it still holds when it goes, and
// a control that goes takes itself out of its parent first.
#pragma once

#include "velora/classes/Classes.h"
#include "velora/forms/Application.h"
#include "velora/forms/Graphics.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace velora {

class TWinControl;
class TCustomForm;

/// The modal results a form answers (ShowModal) and a button gives.
using TModalResult = int;
inline constexpr TModalResult mrNone = 0;
inline constexpr TModalResult mrOk = 1;
inline constexpr TModalResult mrCancel = 2;
inline constexpr TModalResult mrAbort = 3;
inline constexpr TModalResult mrRetry = 4;
inline constexpr TModalResult mrIgnore = 5;
inline constexpr TModalResult mrYes = 6;
inline constexpr TModalResult mrNo = 7;
inline constexpr TModalResult mrAll = 8;

/// Virtual key codes of the keys the controls handle (the usual VK_ values).
using Word = std::uint16_t;
inline constexpr Word VK_BACK = 0x08;
inline constexpr Word VK_TAB = 0x09;
inline constexpr Word VK_RETURN = 0x0D;
inline constexpr Word VK_ESCAPE = 0x1B;
inline constexpr Word VK_SPACE = 0x20;
inline constexpr Word VK_END = 0x23;
inline constexpr Word VK_HOME = 0x24;
inline constexpr Word VK_LEFT = 0x25;
inline constexpr Word VK_UP = 0x26;
inline constexpr Word VK_RIGHT = 0x27;
inline constexpr Word VK_DOWN = 0x28;
inline constexpr Word VK_DELETE = 0x2E;

enum TShiftStateItem : std::uint8_t { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TSet<TShiftStateItem>;
enum TMouseButton : std::uint8_t { mbLeft, mbRight, mbMiddle };

enum TAlign : std::uint8_t { alNone, alTop, alBottom, alLeft, alRight, alClient };
/// Border of a control; forms add more styles (TFormBorderStyle).
enum TFormBorderStyle : std::uint8_t { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
using TBorderStyle = TFormBorderStyle;

using TKeyEvent = std::function<void(TObject* Sender, Word& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;
using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;

/// Raised when focus is asked for a control that cannot take it:
/// "Cannot focus a disabled or invisible window".
inline constexpr const char* SCannotFocus = "Cannot focus a disabled or invisible window";

/// Base of every control: something with bounds inside a parent.
class TControl : public TComponent {
public:
    explicit TControl(TComponent* AOwner);
    ~TControl() override;

    /// The control this one sits in (null: none). Setting it moves the
    /// control to the end of the new parent's child list and tab order;
    /// a control with ParentFont / ParentColor / ParentShowHint takes the
    /// parent's value.
    TWinControl* Parent() const { return FParent; }
    virtual void SetParent(TWinControl* AParent);
    /// Form files store a control inside its parent (see TComponent).
    bool HasParent() const override { return true; }
    TComponent* GetParentComponent() const override;
    /// Sets Parent when value is a TWinControl (else raises
    /// EInvalidOperation).
    void SetParentComponent(TComponent* value) override;

    int Left() const { return FLeft; }
    int Top() const { return FTop; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    void SetLeft(int value) { SetBounds(value, FTop, FWidth, FHeight); }
    void SetTop(int value) { SetBounds(FLeft, value, FWidth, FHeight); }
    void SetWidth(int value) { SetBounds(FLeft, FTop, value, FHeight); }
    void SetHeight(int value) { SetBounds(FLeft, FTop, FWidth, value); }
    /// Moves and sizes the control in one step (negative sizes become 0).
    virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
    TRect BoundsRect() const { return Bounds(FLeft, FTop, FWidth, FHeight); }

    /// The inside of the control in its own coordinates. For controls the
    /// whole control; forms subtract their frame and title bar.
    virtual TRect ClientRect() const { return Rect(0, 0, FWidth, FHeight); }
    int ClientWidth() const { return ClientRect().Width(); }
    int ClientHeight() const { return ClientRect().Height(); }
    /// Sizes the control so that its client area has the given size.
    void SetClientWidth(int value) { SetClientSize(value, ClientHeight()); }
    void SetClientHeight(int value) { SetClientSize(ClientWidth(), value); }
    virtual void SetClientSize(int AWidth, int AHeight);

    /// The control's text: a label's or button's caption, an edit box's
    /// contents. Caption and Text are two names for it.
    String Caption() const { return GetText(); }
    void SetCaption(const String& value) { SetText(value); }
    String Text() const { return GetText(); }
    virtual String GetText() const { return FText; }
    virtual void SetText(const String& value);

    /// The control's font, owned by the control. Changing it clears
    /// ParentFont; a parent's font change reaches children with ParentFont.
    TFont* Font() const { return FFont; }
    void SetFont(TFont* value) { FFont->Assign(value); }
    bool ParentFont() const { return FParentFont; }
    void SetParentFont(bool value);

    TColor Color() const { return FColor; }
    void SetColor(TColor value);
    bool ParentColor() const { return FParentColor; }
    void SetParentColor(bool value);

    /// Hint text (lines separated by CR LF) and whether it is shown.
    /// Setting ShowHint clears ParentShowHint.
    const String& Hint() const { return FHint; }
    void SetHint(const String& value) { FHint = value; }
    bool ShowHint() const { return FShowHint; }
    void SetShowHint(bool value);
    bool ParentShowHint() const { return FParentShowHint; }
    void SetParentShowHint(bool value);

    bool Enabled() const { return FEnabled; }
    virtual void SetEnabled(bool value);
    bool Visible() const { return FVisible; }
    virtual void SetVisible(bool value);
    /// Enabled, and every parent up to the form enabled.
    bool EnabledInTree() const;
    /// Visible, and every parent up to the form visible.
    bool VisibleInTree() const;

    TAlign Align() const { return FAlign; }
    void SetAlign(TAlign value) { FAlign = value; }

    /// The mouse cursor shown over the control.
    TCursor Cursor() const { return FCursor; }
    void SetCursor(TCursor value) { FCursor = value; }

    /// Runs the click behaviour of the control (OnClick by default).
    virtual void Click();
    /// A user's click: ignored unless the control is enabled and visible
    /// with all its parents; otherwise Click.
    virtual void UserClick();
    /// Offered a dialog key (Return, Escape) the focused control did not
    /// take; true when this control handled it (buttons).
    virtual bool DialogKey(Word key);

    /// Mouse input a presenter may deliver, in client coordinates.
    virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void MouseMove(TShiftState Shift, int X, int Y);
    virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);

    /// Asks for a repaint; counted so that tests can see it happened.
    virtual void Invalidate() { ++FInvalidateCount; }
    int InvalidateCount() const { return FInvalidateCount; }

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseUp;

protected:
    void Loaded() override;
    /// After Caption/Text changed (not while loading).
    virtual void TextChanged() {}
    /// After the font changed, whether from the control or its parent.
    virtual void FontChanged();
    virtual void EnabledChanged();
    virtual void VisibleChanged();
    /// The parent's font / colour / ShowHint changed.
    virtual void ParentFontChanged();
    void ParentColorChanged();
    void ParentShowHintChanged();
    /// Default size of a new control (set by constructors).
    void InitBounds(int AWidth, int AHeight) {
        FWidth = AWidth;
        FHeight = AHeight;
    }
    /// Initial visibility (forms start hidden).
    void InitVisible(bool value) { FVisible = value; }

    String FText;

private:
    friend class TWinControl;
    void FontOnChange();

    TWinControl* FParent = nullptr;
    int FLeft = 0;
    int FTop = 0;
    int FWidth = 0;
    int FHeight = 0;
    TFont* FFont;
    bool FParentFont = true;
    bool FUpdatingFromParent = false;
    TColor FColor = clBtnFace;
    bool FParentColor = true;
    String FHint;
    bool FShowHint = false;
    bool FParentShowHint = true;
    bool FEnabled = true;
    bool FVisible = true;
    TAlign FAlign = alNone;
    TCursor FCursor = crDefault;
    int FInvalidateCount = 0;
};

/// A control that can hold other controls and take the keyboard focus.
class TWinControl : public TControl {
public:
    explicit TWinControl(TComponent* AOwner);
    ~TWinControl() override;
    void BeforeDestruction() override;

    /// Child controls in insertion order.
    int ControlCount() const { return static_cast<int>(FControls.size()); }
    TControl* Controls(int index) const;
    /// The child (any depth) with that name, case-insensitive, or null.
    TControl* FindChildControl(const String& name) const;
    bool ContainsControl(const TControl* control) const;
    /// For form files: the child controls owned by root.
    void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;

    /// Position among the parent's focusable children (0 is first). Setting
    /// it moves the control and shifts the others; a value out of range puts
    /// it last. While the form is read the stored values are kept and the
    /// order is rebuilt from them once reading ends.
    int TabOrder() const;
    void SetTabOrder(int value);
    bool TabStop() const { return FTabStop; }
    void SetTabStop(bool value) { FTabStop = value; }

    /// Every focusable control below this one in tab order: each child
    /// followed by its own children.
    void GetTabOrderList(std::vector<TWinControl*>& list) const;
    /// The control after (or before) current in this control's tab order
    /// list that can take the focus: enabled and visible in the tree and,
    /// with checkTabStop, a tab stop; wraps around. Null when none.
    TWinControl* FindNextControl(TWinControl* current, bool goForward, bool checkTabStop) const;

    /// Enabled and visible, with every parent below the form (the form
    /// itself may still be hidden, as when the active control is chosen
    /// before ShowModal).
    bool CanFocus() const;
    /// This control is its form's active control.
    bool Focused() const;
    /// Makes this control the form's active control; raises
    /// EInvalidOperation SCannotFocus when it cannot take the focus.
    void SetFocus();

    /// Keyboard input that reaches the focused control. KeyDown handles
    /// keys without a character (VK_BACK, VK_DELETE, arrows), KeyPress
    /// characters. The events run first and may cancel the key (set it to 0).
    virtual void KeyDown(Word& Key, TShiftState Shift);
    virtual void KeyPress(char& Key);
    /// Keys the control takes itself instead of the form's dialog handling
    /// (a memo takes Return); Tab, Return and Escape go to the form otherwise.
    virtual bool WantsKey(Word Key) const;

    /// Run by the form when the control receives / loses the focus.
    virtual void DoEnter();
    virtual void DoExit();

    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;
    TKeyEvent OnKeyDown;
    TKeyPressEvent OnKeyPress;

protected:
    void Loaded() override;
    void FontChanged() override;
    void EnabledChanged() override;
    void VisibleChanged() override;
    /// Inserts / removes a child (called by TControl::SetParent).
    virtual void InsertControl(TControl* control);
    virtual void RemoveControl(TControl* control);
    /// Frees the children still held, the last first.
    void DestroyChildControls();

private:
    friend class TControl;
    void FixupTabList();

    std::vector<TControl*> FControls;
    std::vector<TWinControl*> FTabList;
    int FTabOrder = -1;  // stored value while reading, -1 otherwise
    bool FTabStop = false;
};

/// A control without a window of its own that paints on its parent
/// (labels, bevels, images, speed buttons).
class TGraphicControl : public TControl {
public:
    explicit TGraphicControl(TComponent* AOwner);
    ~TGraphicControl() override;
    /// The canvas the control paints on; its font follows the control's.
    TCanvas* Canvas() const;
    /// Draws the control (nothing by default).
    virtual void Paint() {}
    /// Runs Paint with the canvas on device, the control's top-left corner
    /// at origin and drawing kept inside clip (device coordinates).
    void PaintTo(TCanvasDevice& device, TPoint origin, const TRect& clip);

private:
    TCanvas* FCanvas;
};

/// A windowed control that paints itself (panels, group boxes).
class TCustomControl : public TWinControl {
public:
    explicit TCustomControl(TComponent* AOwner);
    ~TCustomControl() override;
    TCanvas* Canvas() const;
    virtual void Paint() {}
    /// As TGraphicControl::PaintTo (the children are painted by the caller).
    void PaintTo(TCanvasDevice& device, TPoint origin, const TRect& clip);

private:
    TCanvas* FCanvas;
};

/// The form a control sits on (following parents), or null.
TCustomForm* GetParentForm(const TControl* control);

}  // namespace velora
