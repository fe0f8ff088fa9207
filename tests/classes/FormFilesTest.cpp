// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Form files and the published-property registry, with component classes
// that exist only here: round trips of a component tree, what is and is not
// written, the loading protocol (csLoading while properties are assigned,
// references resolved, Loaded in creation order), binary properties with
// an ancestor, inherited forms, and the rejection of bad form text with the
// line number and without leaving components behind.
#include "velora/classes/FormFiles.h"
#include "velora/classes/TypInfo.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <numeric>

using namespace velora;

namespace {

enum TShade { shRed, shGreen, shBlue };
enum TStyleFlag { sfBold, sfItalic, sfUnderline };
using TStyleFlags = TSet<TStyleFlag>;

std::vector<String> gLoadedLog;  // names, in Loaded order
int gLiveWidgets = 0;            // TWidget instances alive

// A component with one property of every kind.
class TWidget : public TComponent {
public:
    explicit TWidget(TComponent* owner) : TComponent(owner) {
        ++gLiveWidgets;
        Items = new TStringList();
    }
    ~TWidget() override {
        delete Items;
        --gLiveWidgets;
    }

    bool GetActive() const { return FActive; }
    void SetActive(bool value) {
        if (IsLoading())
            FStreamedActive = value;  // acts in Loaded
        else
            FActive = value;
    }
    const String& GetCaption() const { return FCaption; }
    void SetCaption(const String& value) {
        FCaption = value;
        CaptionSetWhileReading = ComponentState().Contains(csLoading) && ComponentState().Contains(csReading);
    }
    TWidget* GetBuddy() const { return FBuddy; }
    void SetBuddy(TWidget* value) {
        FBuddy = value;
        if (value) value->FreeNotification(this);
    }
    void SetLimit(int value) {
        if (value < 0) throw EDatabaseError("Limit must not be negative");
        Limit = value;
    }

    void Loaded() override {
        TComponent::Loaded();
        gLoadedLog.push_back(Name());
        StillLoadingInLoaded = IsLoading();
        BuddyAtLoaded = FBuddy;
        if (FStreamedActive) FActive = true;
        if (FailInLoaded) throw EDatabaseError("Loaded failed for " + Name());
    }
    void Notification(TComponent* aComponent, TOperation operation) override {
        TComponent::Notification(aComponent, operation);
        if (operation == opRemove && aComponent == FBuddy) FBuddy = nullptr;
    }
    void DefineProperties(TFiler& filer) override {
        TComponent::DefineProperties(filer);
        bool hasData;
        if (auto* ancestor = dynamic_cast<TWidget*>(filer.Ancestor()))
            hasData = Blob != ancestor->Blob;
        else
            hasData = !Blob.empty();
        filer.DefineBinaryProperty(
            "Blob",
            [this](TStream& s) {
                Blob.resize(static_cast<std::size_t>(s.Size()));
                s.ReadBuffer(Blob.data(), static_cast<std::int64_t>(Blob.size()));
                if (BlobNeedsHeader && (Blob.empty() || Blob[0] != 0xB1)) {
                    std::uint8_t more[4];
                    s.ReadBuffer(more, 4);  // short read: the stream error
                }
            },
            [this](TStream& s) { s.WriteBuffer(Blob.data(), static_cast<std::int64_t>(Blob.size())); }, hasData);
    }

    static void Register() {
        static const TEnumInfo& shades = RegisterEnum("TShade", {"shRed", "shGreen", "shBlue"});
        static const TEnumInfo& flags = RegisterEnum("TStyleFlag", {"sfBold", "sfItalic", "sfUnderline"});
        RegisterClass<TWidget>("TWidget", "TComponent")
            .IntegerProp("About", &TWidget::About, &TWidget::About)
            .NeverStored()
            .BooleanProp("Active", &TWidget::GetActive, &TWidget::SetActive)
            .Default(false)
            .BooleanProp("Visible", &TWidget::Visible, &TWidget::Visible)
            .Default(true)
            .IntegerProp("Count", &TWidget::Count, &TWidget::Count)  // no default: always written
            .IntegerProp("Limit", &TWidget::Limit, &TWidget::SetLimit)
            .Default(0)
            .Int64Prop("Big", &TWidget::Big, &TWidget::Big)
            .Default(0)
            .FloatProp("Ratio", &TWidget::Ratio, &TWidget::Ratio)
            .StringProp("Caption", &TWidget::GetCaption, &TWidget::SetCaption)
            .StringProp("Secret", &TWidget::Secret, &TWidget::Secret)
            .Stored([](TWidget* w) { return w->StoreSecret; })
            .EnumProp("Shade", shades, &TWidget::Shade, &TWidget::Shade)
            .Default(shRed)
            .SetProp("Style", flags, &TWidget::Style, &TWidget::Style)
            .Default(TStyleFlags{})
            .ObjectProp("Items", &TWidget::Items)
            .ComponentProp("Buddy", &TWidget::GetBuddy, &TWidget::SetBuddy)
            .BooleanProp("FailInLoaded", &TWidget::FailInLoaded, &TWidget::FailInLoaded)
            .Default(false)
            .BooleanProp("BlobNeedsHeader", &TWidget::BlobNeedsHeader, &TWidget::BlobNeedsHeader)
            .Default(false)
            .EventProp("OnClick", &TWidget::OnClick);
    }

    int About = 0;
    bool Visible = true;
    int Count = 0;
    int Limit = 0;
    std::int64_t Big = 0;
    double Ratio = 0;
    String Secret;
    bool StoreSecret = false;
    TShade Shade = shRed;
    TStyleFlags Style;
    TStringList* Items;
    bool FailInLoaded = false;
    bool BlobNeedsHeader = false;
    std::vector<std::uint8_t> Blob;
    TNotifyEvent OnClick;

    bool CaptionSetWhileReading = false;
    bool StillLoadingInLoaded = true;
    TWidget* BuddyAtLoaded = nullptr;

private:
    bool FActive = false;
    bool FStreamedActive = false;
    String FCaption;
    TWidget* FBuddy = nullptr;
};

// A form: the root that carries the event handlers.
class TTestForm : public TComponent {
public:
    explicit TTestForm(TComponent* owner) : TComponent(owner) {
        RegisterMethod("FormClick", TNotifyEvent([this](TObject* sender) { Clicks.push_back(sender); }));
        RegisterMethod("NotAnEvent", std::function<int(int)>([](int x) { return x; }));
    }
    void Loaded() override {
        TComponent::Loaded();
        gLoadedLog.push_back(Name());
    }
    static void Register() { RegisterClass<TTestForm>("TTestForm", "TComponent"); }
    std::vector<TObject*> Clicks;
};

// A subclass that nobody registers: it shows its registered ancestor's
// properties.
class TPlainWidget : public TWidget {
public:
    using TWidget::TWidget;
};

class FormFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        static const bool registered = (TWidget::Register(), TTestForm::Register(), true);
        (void)registered;
        gLoadedLog.clear();
        FLiveBefore = gLiveWidgets;
    }
    void TearDown() override { EXPECT_EQ(gLiveWidgets, FLiveBefore) << "widgets leaked or freed twice"; }

    // A form with a bit of everything.
    static TTestForm* BuildSample() {
        auto* form = new TTestForm(nullptr);
        form->SetName("Form1");
        form->SetTag(3);
        auto* a = new TWidget(form);
        a->SetName("WidgetA");
        a->SetCaption("It's\r\na 'test'\t!");
        a->Count = 7;
        a->Limit = 12;
        a->Big = -1234567890123LL;
        a->Ratio = 0.1;
        a->Shade = shBlue;
        a->Style = TStyleFlags{sfBold, sfUnderline};
        a->Visible = false;
        a->Items->Add("USER NAME=joe");
        a->Items->Add("");
        a->Items->Add("quote ' here");
        a->Blob.resize(70);
        std::iota(a->Blob.begin(), a->Blob.end(), 0xB1);
        auto* b = new TWidget(form);
        b->SetName("WidgetB");
        auto* child = new TWidget(b);
        child->SetName("Child");
        child->SetCaption("nested");
        a->SetBuddy(child);
        b->SetBuddy(a);
        child->SetBuddy(b);
        SetMethodProp(a, *GetPropInfo(a, "OnClick"), "FormClick");
        return form;
    }

    int FLiveBefore = 0;
};

TWidget* Widget(TComponent* owner, const char* name) {
    auto* w = dynamic_cast<TWidget*>(owner->FindComponent(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

TEST_F(FormFilesTest, RoundTripOfAComponentTree) {
    TOwnedPtr<TTestForm> form(BuildSample());
    const String text = WriteComponentToString(form.get());

    TComponent owner(nullptr);
    TComponent* read = ReadComponentFromString(text, &owner);
    auto* copy = dynamic_cast<TTestForm*>(read);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->Owner(), &owner);
    EXPECT_EQ(copy->Name(), "Form1");
    EXPECT_EQ(copy->Tag(), 3);
    ASSERT_EQ(copy->ComponentCount(), 2);
    TWidget* a = Widget(copy, "WidgetA");
    TWidget* b = Widget(copy, "WidgetB");
    TWidget* child = Widget(b, "Child");
    EXPECT_EQ(a->GetCaption(), "It's\r\na 'test'\t!");
    EXPECT_EQ(a->Count, 7);
    EXPECT_EQ(a->Limit, 12);
    EXPECT_EQ(a->Big, -1234567890123LL);
    EXPECT_EQ(a->Ratio, 0.1);
    EXPECT_EQ(a->Shade, shBlue);
    EXPECT_EQ(a->Style, (TStyleFlags{sfBold, sfUnderline}));
    EXPECT_FALSE(a->Visible);
    EXPECT_TRUE(a->Items->Equals(*Widget(form.get(), "WidgetA")->Items));
    EXPECT_EQ(a->Blob, Widget(form.get(), "WidgetA")->Blob);
    EXPECT_EQ(a->GetBuddy(), child);
    EXPECT_EQ(b->GetBuddy(), a);
    EXPECT_EQ(child->GetBuddy(), b);
    EXPECT_EQ(child->GetCaption(), "nested");
    ASSERT_TRUE(static_cast<bool>(a->OnClick));
    a->OnClick(a);
    EXPECT_EQ(copy->Clicks, std::vector<TObject*>{a});  // the handler of the new form

    // Writing the copy gives the same text again.
    EXPECT_EQ(WriteComponentToString(copy), text);
}

TEST_F(FormFilesTest, TextLayoutFollowsTheHostTradition) {
    TTestForm form(nullptr);
    form.SetName("Form1");
    auto* w = new TWidget(&form);
    w->SetName("W");
    w->Items->Add("a");
    w->Items->Add("b");
    w->Blob = {0x01, 0x02, 0xA0, 0xFF};
    w->SetCaption("x");
    EXPECT_EQ(WriteComponentToString(&form),
              "object Form1: TTestForm\n"
              "  object W: TWidget\n"
              "    Count = 0\n"
              "    Caption = 'x'\n"
              "    Items.Strings = (\n"
              "      'a'\n"
              "      'b')\n"
              "    Blob = {\n"
              "      0102A0FF}\n"
              "  end\n"
              "end\n");
}

TEST_F(FormFilesTest, DefaultsAndNeverStoredPropertiesAreNotWritten) {
    TTestForm form(nullptr);
    form.SetName("Form1");
    auto* w = new TWidget(&form);
    w->SetName("W");
    w->About = 5;      // never stored
    w->Secret = "pw";  // stored only when StoreSecret
    auto text = [&] { return WriteComponentToString(&form); };
    const String plain = text();
    for (const char* absent : {"About", "Secret", "Active", "Visible", "Limit", "Big", "Ratio", "Caption", "Shade",
                               "Style", "Items", "Buddy", "OnClick", "Blob", "Tag", "Name ="})
        EXPECT_EQ(plain.find(absent), String::npos) << absent;
    EXPECT_NE(plain.find("Count = 0"), String::npos);  // no default: always written

    w->Visible = false;
    w->Style = TStyleFlags{sfItalic};
    w->StoreSecret = true;
    w->Shade = shGreen;
    const String changed = text();
    EXPECT_NE(changed.find("Visible = False"), String::npos);
    EXPECT_NE(changed.find("Style = [sfItalic]"), String::npos);
    EXPECT_NE(changed.find("Secret = 'pw'"), String::npos);
    EXPECT_NE(changed.find("Shade = shGreen"), String::npos);
    EXPECT_EQ(changed.find("About"), String::npos);
}

TEST_F(FormFilesTest, LoadingFlagsDuringAssignmentAndLoadedAfterReferences) {
    const String text =
        "object Form1: TTestForm\n"
        "  object A: TWidget\n"
        "    Active = True\n"
        "    Caption = 'a'\n"
        "    Buddy = C\n"  // a reference to a component read later
        "  end\n"
        "  object B: TWidget\n"
        "    object B1: TWidget\n"
        "      Buddy = A\n"
        "    end\n"
        "  end\n"
        "  object C: TWidget\n"
        "    Buddy = B.B1\n"
        "  end\n"
        "end\n";
    TOwnedPtr<TComponent> form(ReadComponentFromString(text, nullptr));
    EXPECT_EQ(gLoadedLog, (std::vector<String>{"Form1", "A", "B", "B1", "C"}));
    TWidget* a = Widget(form.get(), "A");
    TWidget* c = Widget(form.get(), "C");
    TWidget* b1 = Widget(Widget(form.get(), "B"), "B1");
    EXPECT_TRUE(a->CaptionSetWhileReading);
    EXPECT_TRUE(a->GetActive());            // recorded while loading, applied by Loaded
    EXPECT_FALSE(a->StillLoadingInLoaded);  // the inherited Loaded cleared csLoading
    EXPECT_EQ(a->BuddyAtLoaded, c);         // resolved before Loaded
    EXPECT_EQ(c->GetBuddy(), b1);
    EXPECT_EQ(b1->GetBuddy(), a);
    for (TComponent* x : {static_cast<TComponent*>(a), static_cast<TComponent*>(c)}) {
        EXPECT_FALSE(x->ComponentState().Contains(csLoading));
        EXPECT_FALSE(x->ComponentState().Contains(csReading));
    }
}

TEST_F(FormFilesTest, ReferencesAreClearedWhenTheTargetGoes) {
    TOwnedPtr<TTestForm> form(BuildSample());
    TWidget* a = Widget(form.get(), "WidgetA");
    TWidget* b = Widget(form.get(), "WidgetB");
    b->Free();  // frees Child too: A's buddy was Child (owned by B, not by A's owner)
    EXPECT_EQ(a->GetBuddy(), nullptr);
    EXPECT_EQ(WriteComponentToString(form.get()).find("Buddy"), String::npos);
}

TEST_F(FormFilesTest, BinaryPropertyIsComparedWithTheAncestor) {
    TTestForm base(nullptr);
    base.SetName("Form1");
    auto* baseWidget = new TWidget(&base);
    baseWidget->SetName("W");
    baseWidget->Blob = {1, 2, 3};
    baseWidget->SetCaption("base");
    baseWidget->Items->Add("x");

    TTestForm derived(nullptr);
    ReadComponentStringInto(WriteComponentToString(&base), &derived);
    TWidget* w = Widget(&derived, "W");
    EXPECT_EQ(w->Blob, baseWidget->Blob);

    // Equal to the ancestor: nothing but the headers is written.
    EXPECT_EQ(WriteComponentToString(&derived, &base),
              "inherited Form1: TTestForm\n"
              "  inherited W: TWidget\n"
              "  end\n"
              "end\n");

    // Differences are written; a new component is an "object".
    w->Blob = {1, 2, 4};
    w->SetCaption("derived");
    w->Items->Clear();  // differs from the ancestor's list: written as an empty list
    auto* extra = new TWidget(&derived);
    extra->SetName("Extra");
    const String text = WriteComponentToString(&derived, &base);
    EXPECT_EQ(text,
              "inherited Form1: TTestForm\n"
              "  inherited W: TWidget\n"
              "    Caption = 'derived'\n"
              "    Items.Strings = ()\n"
              "    Blob = {\n"
              "      010204}\n"
              "  end\n"
              "  object Extra: TWidget\n"
              "    Count = 0\n"
              "  end\n"
              "end\n");

    // Reading the inherited form over a copy of the ancestor restores it.
    TTestForm again(nullptr);
    ReadComponentStringInto(WriteComponentToString(&base), &again);
    ReadComponentStringInto(text, &again);
    TWidget* w2 = Widget(&again, "W");
    EXPECT_EQ(w2->Blob, (std::vector<std::uint8_t>{1, 2, 4}));
    EXPECT_EQ(w2->GetCaption(), "derived");
    EXPECT_EQ(w2->Items->Count(), 0);
    EXPECT_NE(again.FindComponent("Extra"), nullptr);
}

TEST_F(FormFilesTest, StringsAndNumbersInTheirWrittenForms) {
    const String text =
        "object Form1: TTestForm\n"
        "  object W: TWidget\n"
        "    Caption = 'first line '#13#10'second' + \n"
        "      ' continued'#$41#9\n"
        "    Count = $1F\n"
        "    Big = -9223372036854775808\n"
        "    Ratio = -1.5E3\n"
        "    Style = []\n"
        "    Items.Strings = (\n"
        "      'it''s'\n"
        "      #0'nul')\n"
        "  end\n"
        "end\n";
    TOwnedPtr<TComponent> form(ReadComponentFromString(text, nullptr));
    TWidget* w = Widget(form.get(), "W");
    EXPECT_EQ(w->GetCaption(), "first line \r\nsecond continuedA\t");
    EXPECT_EQ(w->Count, 31);
    EXPECT_EQ(w->Big, INT64_MIN);
    EXPECT_EQ(w->Ratio, -1500.0);
    ASSERT_EQ(w->Items->Count(), 2);
    EXPECT_EQ(w->Items->Strings(0), "it's");
    EXPECT_EQ(w->Items->Strings(1), String("\0nul", 4));
    EXPECT_EQ(QuoteFormString("a'b\x01"), "'a''b'#1");
    EXPECT_EQ(QuoteFormString(""), "''");
}

// Bad form text: each case names the line and leaves nothing behind.
struct BadForm {
    const char* Label;
    const char* Text;
    int Line;
    const char* Message;
};

class BadFormFilesTest : public FormFilesTest, public ::testing::WithParamInterface<BadForm> {};

TEST_P(BadFormFilesTest, IsRejectedWithTheLineAndNothingLeaks) {
    const BadForm& bad = GetParam();
    TComponent owner(nullptr);
    try {
        ReadComponentFromString(bad.Text, &owner);
        FAIL() << "accepted";
    } catch (const EReadError& e) {
        const String expected = "line " + std::to_string(bad.Line) + ": ";
        EXPECT_EQ(e.Message().rfind(expected, 0), 0u) << e.Message();
        EXPECT_NE(e.Message().find(bad.Message), String::npos) << e.Message();
    }
    EXPECT_EQ(owner.ComponentCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadFormFilesTest,
    ::testing::Values(
        BadForm{"Truncated", "object Form1: TTestForm\n  object W: TWidget\n    Count = 1\n", 4,
                "Unexpected end of file"},
        BadForm{"TruncatedInList", "object Form1: TTestForm\n  object W: TWidget\n    Items.Strings = (\n      'a'\n",
                5, "Unexpected end of file"},
        BadForm{"UnknownClass", "object Form1: TTestForm\n  object W: TNoSuchThing\n  end\nend\n", 2,
                "Class TNoSuchThing not found"},
        BadForm{"UnknownProperty", "object Form1: TTestForm\n  object W: TWidget\n    Colour = 1\n  end\nend\n", 3,
                "Property Colour does not exist"},
        BadForm{"UnknownNestedProperty",
                "object Form1: TTestForm\n  object W: TWidget\n    Items.Lines = ('a')\n  end\nend\n", 3,
                "Property Items.Lines does not exist"},
        BadForm{"WrongType", "object Form1: TTestForm\n  object W: TWidget\n    Count = 'seven'\n  end\nend\n", 3,
                "Invalid property value for Count: an integer expected"},
        BadForm{"BooleanAsNumber", "object Form1: TTestForm\n  object W: TWidget\n    Visible = 1\n  end\nend\n", 3,
                "True or False expected"},
        BadForm{"IntegerOutOfRange",
                "object Form1: TTestForm\n  object W: TWidget\n    Count = 4294967296\n  end\nend\n", 3,
                "out of range"},
        BadForm{"UnknownEnumValue", "object Form1: TTestForm\n  object W: TWidget\n    Shade = shPink\n  end\nend\n", 3,
                "shPink is not a TShade value"},
        BadForm{"UnknownSetElement",
                "object Form1: TTestForm\n  object W: TWidget\n\n    Style = [sfBold,\n      sfHuge]\n  end\nend\n", 5,
                "sfHuge is not a TStyleFlag value"},
        BadForm{"OddHex", "object Form1: TTestForm\n  object W: TWidget\n    Blob = {\n      ABC}\n  end\nend\n", 4,
                "odd number of hex digits"},
        BadForm{"BadHexDigit", "object Form1: TTestForm\n  object W: TWidget\n    Blob = {\n      0G}\n  end\nend\n", 4,
                "bad hex digit 'G'"},
        BadForm{"BinaryForString", "object Form1: TTestForm\n  object W: TWidget\n    Caption = {00}\n  end\nend\n", 3,
                "a string expected"},
        BadForm{
            "ShortBinary",
            "object Form1: TTestForm\n  object W: TWidget\n    BlobNeedsHeader = True\n    Blob = {00}\n  end\nend\n",
            4, "Stream read error"},
        BadForm{"UnterminatedString", "object Form1: TTestForm\n  object W: TWidget\n    Caption = 'abc\n  end\nend\n",
                3, "Invalid string constant"},
        BadForm{"StringsNotAList",
                "object Form1: TTestForm\n  object W: TWidget\n    Items.Strings = 'a'\n  end\nend\n", 3,
                "list expected"},
        BadForm{"UnresolvedReference", "object Form1: TTestForm\n  object W: TWidget\n    Buddy = Nobody\n  end\nend\n",
                3, "component Nobody not found"},
        BadForm{"ReferenceOfWrongClass",
                "object Form1: TTestForm\n  object W: TWidget\n    Buddy = Form1\n  end\nend\n", 3,
                "Form1 is not a TWidget"},
        BadForm{"DuplicateName",
                "object Form1: TTestForm\n  object W: TWidget\n  end\n  object w: TWidget\n  end\nend\n", 4,
                "A component named w already exists"},
        BadForm{"UnknownMethod", "object Form1: TTestForm\n  object W: TWidget\n    OnClick = Nope\n  end\nend\n", 3,
                "Method 'Nope' not found"},
        BadForm{"MethodOfWrongType",
                "object Form1: TTestForm\n  object W: TWidget\n    OnClick = NotAnEvent\n  end\nend\n", 3,
                "does not match event OnClick"},
        BadForm{"MissingEquals", "object Form1: TTestForm\n  object W: TWidget\n    Count 3\n  end\nend\n", 3,
                "'=' expected"},
        BadForm{"TrailingText", "object Form1: TTestForm\nend\nobject X: TWidget\nend\n", 3, "End of file expected"},
        BadForm{"NotAForm", "\n\nhello", 3, "'object' expected"},
        BadForm{"LateFailureAfterCreation",
                "object Form1: TTestForm\n  object A: TWidget\n    object A1: TWidget\n    end\n  end\n"
                "  object B: TWidget\n    Count = x.y\n  end\nend\n",
                7, "an integer expected"},
        BadForm{"NestingTooDeep",
                "object Form1: TTestForm\n  object W: TWidget\n    Items.Strings = " /* 300 ( */
                "((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((("
                "(((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((("
                "((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((("
                "\n",
                3, "nested too deeply"}),
    [](const ::testing::TestParamInfo<BadForm>& info) { return String(info.param.Label); });

TEST_F(FormFilesTest, FailedReadIntoAGivenRootLeavesTheRootAsItWas) {
    TTestForm root(nullptr);
    root.SetName("Original");
    auto* existing = new TWidget(&root);
    existing->SetName("Existing");
    const String text =
        "object Loaded1: TTestForm\n"
        "  object New1: TWidget\n"
        "  end\n"
        "  inherited Existing: TWidget\n"
        "    Count = 9\n"
        "  end\n"
        "  object New2: TWidget\n"
        "    Shade = shPurple\n"
        "  end\n"
        "end\n";
    EXPECT_THROW(ReadComponentStringInto(text, &root), EReadError);
    EXPECT_EQ(root.Name(), "Original");
    ASSERT_EQ(root.ComponentCount(), 1);
    EXPECT_EQ(root.Components(0), existing);
    EXPECT_FALSE(root.IsLoading());
    EXPECT_FALSE(existing->IsLoading());
    EXPECT_FALSE(existing->ComponentState().Contains(csReading));
    // Property values already assigned are not rolled back.
    EXPECT_EQ(existing->Count, 9);

    // A form of another class is refused.
    TComponent plain(nullptr);
    EXPECT_THROW(ReadComponentStringInto("object X: TTestForm\nend\n", &plain), EReadError);
}

TEST_F(FormFilesTest, ExceptionsFromSettersAndLoadedPropagateUnchangedAndFreeTheTree) {
    TComponent owner(nullptr);
    try {
        ReadComponentFromString("object F: TTestForm\n  object W: TWidget\n    Limit = -1\n  end\nend\n", &owner);
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Limit must not be negative");
    }
    EXPECT_EQ(owner.ComponentCount(), 0);
    try {
        ReadComponentFromString(
            "object F: TTestForm\n  object W1: TWidget\n  end\n  object W2: TWidget\n    FailInLoaded = True\n"
            "  end\n  object W3: TWidget\n  end\nend\n",
            &owner);
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Loaded failed for W2");
    }
    EXPECT_EQ(gLoadedLog, (std::vector<String>{"F", "W1", "W2"}));  // W3 never loaded, all freed
    EXPECT_EQ(owner.ComponentCount(), 0);
}

TEST_F(FormFilesTest, FilesAndStreams) {
    TOwnedPtr<TTestForm> form(BuildSample());
    const auto path = std::filesystem::temp_directory_path() / ("velora-form-" + std::to_string(::getpid()) + ".txt");
    WriteComponentToFile(form.get(), path.string());
    TComponent* read = ReadComponentFromFile(path.string(), nullptr);
    EXPECT_EQ(WriteComponentToString(read), WriteComponentToString(form.get()));
    read->Free();
    std::filesystem::remove(path);

    TMemoryStream stream;
    stream.WriteBuffer("junk", 4);  // the reader starts at the stream's position
    WriteComponentToStream(form.get(), stream);
    stream.SetPosition(4);
    TTestForm into(nullptr);
    ReadComponentInto(stream, &into);
    EXPECT_EQ(into.Name(), "Form1");
    EXPECT_EQ(into.ComponentCount(), 2);
}

TEST_F(FormFilesTest, GlobalFinderResolvesReferencesOutsideTheTree) {
    TComponent module(nullptr);
    module.SetName("DataModule1");
    auto* target = new TWidget(&module);
    target->SetName("Shared");
    SetFindGlobalComponent(
        [&](const String& name) -> TComponent* { return SameText(name, "DataModule1") ? &module : nullptr; });
    TTestForm form(nullptr);
    form.SetName("Form1");
    auto* w = new TWidget(&form);
    w->SetName("W");
    w->SetBuddy(target);
    const String text = WriteComponentToString(&form);
    EXPECT_NE(text.find("Buddy = DataModule1.Shared"), String::npos);
    TComponent* read = ReadComponentFromString(text, nullptr);
    EXPECT_EQ(Widget(read, "W")->GetBuddy(), target);
    read->Free();
    SetFindGlobalComponent(nullptr);
}

// The registry as the property editors see it.
TEST_F(FormFilesTest, RegistryDescribesPublishedProperties) {
    const TClassInfo& info = FindClass("twidget");
    EXPECT_EQ(info.ClassName, "TWidget");
    EXPECT_TRUE(info.InheritsFrom("TComponent"));
    EXPECT_FALSE(info.InheritsFrom("TStrings"));
    EXPECT_THROW(FindClass("TNoSuchThing"), EClassNotFound);
    EXPECT_EQ(GetClass("TNoSuchThing"), nullptr);

    TWidget w(nullptr);
    std::vector<String> names;
    for (const TPropInfo* p : GetPropList(&w)) names.push_back(p->Name);
    ASSERT_GE(names.size(), 4u);
    EXPECT_EQ(names[0], "Name");  // inherited first
    EXPECT_EQ(names[1], "Tag");
    EXPECT_EQ(names[2], "About");

    const TPropInfo* shade = GetPropInfo(&w, "shade");
    ASSERT_NE(shade, nullptr);
    EXPECT_EQ(shade->Kind, tkEnumeration);
    EXPECT_EQ(shade->TypeName, "TShade");
    SetPropValueText(&w, *shade, "shGreen");
    EXPECT_EQ(w.Shade, shGreen);
    EXPECT_EQ(GetPropValueText(&w, *shade), "shGreen");
    EXPECT_THROW(SetPropValueText(&w, *shade, "shPink"), EPropertyError);

    const TPropInfo* style = GetPropInfo(&w, "Style");
    SetPropValueText(&w, *style, "[sfItalic, sfUnderline]");
    EXPECT_EQ(w.Style, (TStyleFlags{sfItalic, sfUnderline}));
    EXPECT_EQ(GetPropValueText(&w, *style), "[sfItalic,sfUnderline]");

    const TPropInfo* count = GetPropInfo(&w, "Count");
    EXPECT_THROW(SetPropValueText(&w, *count, "99999999999"), EPropertyError);
    EXPECT_THROW(SetStrProp(&w, *count, "1"), EPropertyError);  // wrong kind
    SetOrdProp(&w, *count, 42);
    EXPECT_EQ(w.Count, 42);

    const TPropInfo* about = GetPropInfo(&w, "About");
    EXPECT_FALSE(IsStoredProp(&w, *about));
    EXPECT_EQ(GetPropInfo(&w, "Items")->TypeName, "TStringList");
    EXPECT_EQ(GetPropInfo(&w, "Buddy")->TypeName, "TWidget");
    EXPECT_EQ(GetPropInfo(&w, "OnClick")->TypeName, "TNotifyEvent");

    // An unregistered subclass shows its registered ancestor's properties.
    TPlainWidget plain(nullptr);
    EXPECT_EQ(ClassInfoOf(&plain), &info);
    EXPECT_EQ(plain.ClassName(), "TPlainWidget");

    // Registering the same class again is harmless; another class under a
    // taken name is refused.
    TWidget::Register();
    EXPECT_EQ(FindClass("TWidget").Properties.size(), info.Properties.size());
    EXPECT_THROW(RegisterClass<TPlainWidget>("TWidget", "TComponent"), EFilerError);
}

}  // namespace
