// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The parameter editor through the scripted presenter: types and values
// written into the parameter shown, an unconvertible value refused in the
// status bar with the parameter unchanged (so the form still saves), an
// empty box for a parameter never given a value, and the dialog without
// parameters.
#include "velora/classes/FormFiles.h"
#include "velora/components/ODBCQuery.h"
#include "velora/design/ODBCReg.h"
#include "velora/design/ParmsEditor.h"
#include "velora/forms/Presenters.h"

#include <gtest/gtest.h>

namespace velora {
namespace {

class ParamsEditor : public ::testing::Test {
protected:
    void SetUp() override {
        Register();
        FRoot.reset(new TComponent(nullptr));
        FRoot->SetName("Form1");
        FQuery = new TODBCQuery(FRoot.get());
        FQuery->SetName("Query1");
        FDesigner.SetRoot(FRoot.get());
    }
    /// Runs the editor with the script; answers the presenter.
    std::shared_ptr<TScriptedPresenter> Run(const std::function<void(TScriptedPresenter&)>& script) {
        auto user = std::make_shared<TScriptedPresenter>();
        script(*user);
        user->Click("OKBtn");
        TPresenterScope scope(user);
        GetPropertyEditor(&FDesigner, FQuery, "Params")->Edit();
        EXPECT_FALSE(user->Exhausted());
        return user;
    }
    static TParamsEdit& Dialog(TCustomForm& f) { return static_cast<TParamsEdit&>(f); }
    static auto Select(int index) {
        return [index](TCustomForm& f) { Dialog(f).ParamsList->UserClickItem(index); };
    }
    static auto ChooseType(const char* text) {
        return [text](TCustomForm& f) {
            Dialog(f).TypeChoice->UserSelectItem(Dialog(f).TypeChoice->Items()->IndexOf(text));
        };
    }
    static String Status(TCustomForm& f) { return Dialog(f).ParmsBar->Panels()->Items(0)->Text(); }

    TOwnedPtr<TComponent> FRoot;
    TODBCQuery* FQuery = nullptr;
    TDesigner FDesigner;
};

TEST_F(ParamsEditor, WithoutParametersTheBoxesAreDisabledAndClosingStillMarksTheFormModified) {
    auto user = Run([](TScriptedPresenter&) {});
    const TFormView& v = user->Shown().at(0);
    EXPECT_EQ(v.Caption, "Form1.Query1 Parameters");
    EXPECT_FALSE(v.Control("ParamsList")->Enabled);
    EXPECT_FALSE(v.Control("TypeChoice")->Enabled);
    EXPECT_FALSE(v.Control("ValueEdit")->Enabled);
    EXPECT_EQ(v.ClientWidth, 366);
    EXPECT_EQ(GetPropertyEditor(&FDesigner, FQuery, "Params")->GetValue(), "(TODBCParams)");
    EXPECT_TRUE(FDesigner.IsModified());
}

TEST_F(ParamsEditor, TypesAndValuesGoToTheParameterShownAndUnconvertibleTextLeavesItAsItWas) {
    FQuery->SQL()->SetText("SELECT * FROM t WHERE a = :a AND b = :b AND c = :c AND d = :d");
    TODBCParams* params = FQuery->Params();
    ASSERT_EQ(params->Count(), 4);
    String refused;
    String cursorRefused;
    String cShown = "unset";
    Run([&](TScriptedPresenter& p) {
        p.Examine(Select(0))
            .Examine(ChooseType("Datetime"))
            .TypeInto("ValueEdit", "2024-01-02 03:04:05")
            .Focus("TypeChoice")
            // A typing mistake, letter O for zero: refused, with the reason in the status bar.
            .Examine(Select(1))
            .Examine(ChooseType("Integer"))
            .Examine([&](TCustomForm& f) { refused = Status(f); })
            .TypeInto("ValueEdit", "1O")
            .Focus("TypeChoice")
            .Examine([&](TCustomForm& f) { refused = Status(f); })
            // The list's selection moves before the box is left: the value
            // still goes to the parameter the boxes showed (b).
            .TypeInto("ValueEdit", "12")
            .Examine([](TCustomForm& f) { Dialog(f).ParamsList->SetItemIndex(3); })
            .Focus("TypeChoice")
            // c was never given a value: its box is empty, tabbing through stores nothing.
            .Examine(Select(2))
            .Examine([&](TCustomForm& f) { cShown = Dialog(f).ValueEdit->Text(); })
            .Focus("ValueEdit")
            .Focus("TypeChoice")
            // d: Word, then an empty value makes it NULL of that type; Cursor is refused.
            .Examine(Select(3))
            .Examine(ChooseType("Cursor"))
            .Examine([&](TCustomForm& f) { cursorRefused = Status(f); })
            .Examine(ChooseType("Word"))
            .TypeInto("ValueEdit", "7")
            .Focus("TypeChoice")
            .Focus("ValueEdit")
            .Key(VK_BACK)
            .Focus("TypeChoice");
    });
    EXPECT_EQ(params->GetParam(0)->DataType(), ftDateTime);
    EXPECT_EQ(params->GetParam(0)->AsString(), "2024-01-02 03:04:05");
    EXPECT_NE(refused.find("Parameter 'b' unchanged"), String::npos) << refused;
    EXPECT_EQ(params->GetParam(1)->DataType(), ftInteger);
    EXPECT_EQ(params->GetParam(1)->AsInteger(), 12);
    EXPECT_TRUE(params->GetParam(1)->Bound());
    EXPECT_EQ(cShown, "");
    EXPECT_FALSE(params->GetParam(2)->Bound());
    EXPECT_EQ(params->GetParam(2)->DataType(), ftUnknown);
    EXPECT_NE(cursorRefused.find("Cursor"), String::npos) << cursorRefused;
    EXPECT_EQ(params->GetParam(3)->DataType(), ftWord);
    EXPECT_TRUE(params->GetParam(3)->IsNull());
    // Every parameter still has a storable value: the form saves and loads.
    const String text = WriteComponentToString(FRoot.get());
    TOwnedPtr<TComponent> loaded(ReadComponentFromString(text, nullptr));
    auto* q = dynamic_cast<TODBCQuery*>(loaded->FindComponent("Query1"));
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->Params()->GetParam(1)->AsInteger(), 12);
    EXPECT_EQ(q->Params()->GetParam(0)->DataType(), ftDateTime);
}

// A value the parameter refuses leaves it exactly as it was: type, value
// and whether it has one (the status bar says why).
struct RefusedCase {
    const char* Name;
    TFieldType Type;  ///< the parameter's type before
    const char* TypeName;  ///< the type as the editor lists it
    const char* Value;
    const char* ChosenType;
    const char* Typed;
};

class ParamsEditorRefusal : public ParamsEditor, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(ParamsEditorRefusal, LeavesTheParameterAsItWas) {
    const RefusedCase& c = GetParam();
    FQuery->SQL()->SetText("SELECT * FROM t WHERE a = :a");
    TODBCParam* param = FQuery->Params()->GetParam(0);
    param->SetDataType(c.Type);
    param->SetText(c.Value);
    const TFieldType type = param->DataType();
    const bool bound = param->Bound();
    const String value = bound ? param->AsString() : String();
    String status;
    TFieldType typeAfter = ftUnknown;
    bool boundAfter = false;
    String valueAfter;
    const String shownType = c.TypeName;
    Run([&](TScriptedPresenter& p) {
        p.Examine(Select(0))
            .Examine(ChooseType(c.ChosenType))
            .TypeInto("ValueEdit", c.Typed)
            .Focus("TypeChoice")
            .Examine([&](TCustomForm& f) {
                status = Status(f);
                typeAfter = param->DataType();
                boundAfter = param->Bound();
                valueAfter = boundAfter ? param->AsString() : String();
            })
            // Back to what it showed, so OK closes the dialog.
            .Examine(ChooseType(shownType.c_str()))
            .TypeInto("ValueEdit", value)
            .Focus("TypeChoice");
    });
    EXPECT_NE(status.find("Parameter 'a' unchanged"), String::npos) << status;
    EXPECT_EQ(typeAfter, type);
    EXPECT_EQ(boundAfter, bound);
    EXPECT_EQ(valueAfter, value);
}

INSTANTIATE_TEST_SUITE_P(Values, ParamsEditorRefusal,
                         ::testing::Values(RefusedCase{"IntegerTypo", ftInteger, "Integer", "5", "Integer", "1O"},
                                           RefusedCase{"TextToInteger", ftString, "String", "x", "Integer", "abc"},
                                           RefusedCase{"SmallintRange", ftSmallint, "SmallInt", "7", "SmallInt", "70000"},
                                           RefusedCase{"NoDate", ftDate, "Date", "2024-01-02", "Date", "2024-13-45"}),
                         [](const ::testing::TestParamInfo<RefusedCase>& i) { return std::string(i.param.Name); });

}  // namespace
}  // namespace velora
