// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Registration with the designer: the palette page and its order, which
// property editor a property gets, the About property and its box, and the
// designer's modification record.
#include "velora/classes/FormFiles.h"
#include "velora/components/ODBCObj.h"
#include "velora/components/ODBCTable.h"
#include "velora/design/ODBCAbt.h"
#include "velora/design/ODBCProp.h"
#include "velora/design/ODBCReg.h"
#include "velora/design/ODBCUpd.h"
#include "velora/design/ParmsEditor.h"
#include "velora/forms/Presenters.h"

#include <gtest/gtest.h>

namespace velora {
namespace {

enum TTestColour : std::uint8_t { tcRed, tcGreen };

class TTestBase : public TComponent {
public:
    using TComponent::TComponent;
    TTestColour Colour = tcRed;
    TTestColour Shade = tcRed;
    TTestColour Tint = tcRed;
};
class TTestDerived : public TTestBase {
public:
    using TTestBase::TTestBase;
};

template <int N>
class TTagged : public TEnumProperty {
public:
    using TEnumProperty::TEnumProperty;
    static constexpr int Tag = N;
};

template <int N>
bool Is(TPropertyEditor* e) {
    return dynamic_cast<TTagged<N>*>(e) != nullptr;
}

TEST(DesignRegistration, PaletteHoldsTheSevenComponentsInRegistrationOrderAndRegisteringAgainChangesNothing) {
    Register();
    Register();
    const std::vector<String> expected{"TODBCSession",    "TODBCDatabase",  "TODBCTable",    "TODBCQuery",
                                       "TODBCDataSource", "TODBCUpdateSQL", "TODBCBatchCopy"};
    EXPECT_EQ(PaletteClasses("Velora Data"), expected);
    EXPECT_EQ(PaletteClasses("Velora"), std::vector<String>{});
}

TEST(DesignRegistration, TheMostSpecificPropertyEditorWins) {
    const TEnumInfo& colour = RegisterEnum("TTestColour", {"tcRed", "tcGreen"});
    RegisterClass<TTestBase>("TTestBase", "TComponent")
        .EnumProp("Colour", colour, &TTestBase::Colour, &TTestBase::Colour)
        .EnumProp("Shade", colour, &TTestBase::Shade, &TTestBase::Shade)
        .EnumProp("Tint", colour, &TTestBase::Tint, &TTestBase::Tint);
    RegisterClass<TTestDerived>("TTestDerived", "TTestBase");
    TTestBase base(nullptr);
    TTestDerived derived(nullptr);
    auto editor = [](TComponent* c, const char* prop) { return GetPropertyEditor(nullptr, c, prop); };

    EXPECT_TRUE(dynamic_cast<TEnumProperty*>(editor(&derived, "Colour").get())) << "no registration: by kind";
    RegisterPropertyEditor("TTestColour", "", "", PropertyEditorClass<TTagged<1>>());
    EXPECT_TRUE(Is<1>(editor(&derived, "Colour").get()));
    RegisterPropertyEditor("TTestColour", "TTestDerived", "", PropertyEditorClass<TTagged<3>>());
    RegisterPropertyEditor("TTestColour", "TTestBase", "", PropertyEditorClass<TTagged<2>>());
    EXPECT_TRUE(Is<3>(editor(&derived, "Colour").get())) << "the nearer class, though registered first";
    EXPECT_TRUE(Is<2>(editor(&base, "Colour").get())) << "a descendant's registration does not reach the base";
    RegisterPropertyEditor("TTestColour", "", "Shade", PropertyEditorClass<TTagged<4>>());
    EXPECT_TRUE(Is<4>(editor(&derived, "Shade").get())) << "a name beats any class";
    RegisterPropertyEditor("TTestColour", "TTestBase", "Shade", PropertyEditorClass<TTagged<5>>());
    EXPECT_TRUE(Is<5>(editor(&derived, "Shade").get()));
    EXPECT_TRUE(Is<3>(editor(&derived, "Tint").get()));
    RegisterPropertyEditor("TTestColour", "TTestDerived", "", PropertyEditorClass<TTagged<6>>());
    EXPECT_TRUE(Is<6>(editor(&derived, "Tint").get())) << "equals: the later registration";

    auto e = editor(&base, "Colour");
    EXPECT_EQ(e->Values(), (std::vector<String>{"tcRed", "tcGreen"}));
    TDesigner designer;
    auto typed = GetPropertyEditor(&designer, &base, "Colour");
    typed->TypeValue("tcGreen");
    EXPECT_EQ(base.Colour, tcGreen);
    EXPECT_TRUE(designer.IsModified());
    EXPECT_THROW(typed->TypeValue("tcBlue"), Exception);
    EXPECT_EQ(base.Colour, tcGreen);
}

TEST(DesignRegistration, VeloraPropertiesGetTheirEditorsAndAboutIsShownNeverTypedNeverStored) {
    Register();
    TOwnedPtr<TComponent> root(new TComponent(nullptr));
    root->SetName("Form1");
    auto* session = new TODBCSession(root.get());
    session->SetName("Session1");
    auto* db = new TODBCDatabase(root.get());
    db->SetName("Database1");
    auto* table = new TODBCTable(root.get());
    table->SetName("Table1");
    auto* query = new TODBCQuery(root.get());
    query->SetName("Query1");
    auto* source = new TODBCDataSource(root.get());
    source->SetName("DataSource1");
    auto* update = new TODBCUpdateSQL(root.get());
    update->SetName("UpdateSQL1");
    TDesigner designer(root.get());

    EXPECT_TRUE(dynamic_cast<TDSNProperty*>(GetPropertyEditor(&designer, db, "DataSourceName").get()));
    EXPECT_TRUE(dynamic_cast<TTblListProperty*>(GetPropertyEditor(&designer, table, "TableName").get()));
    EXPECT_TRUE(dynamic_cast<TParamsEditProperty*>(GetPropertyEditor(&designer, query, "Params").get()));
    EXPECT_TRUE(dynamic_cast<TStringsProperty*>(GetPropertyEditor(&designer, query, "SQL").get()));
    EXPECT_FALSE(dynamic_cast<TParamsEditProperty*>(GetPropertyEditor(&designer, db, "Params").get()))
        << "a database's Params is a string list, not a parameter list";
    EXPECT_TRUE(dynamic_cast<TODBCUpdateSQLComponentEdit*>(GetComponentEditor(update, &designer).get()));
    EXPECT_EQ(GetComponentEditor(update, &designer)->GetVerb(0), "ODBCUpdateSQL Editor...");
    {
        // Without a dataset the editor says so and changes nothing.
        auto user = std::make_shared<TScriptedPresenter>();
        user->Click("OK");
        TPresenterScope scope(user);
        GetComponentEditor(update, &designer)->Edit();
        ASSERT_EQ(user->Shown().size(), 1u);
        EXPECT_EQ(user->Shown()[0].Control("Message")->Text,
                  "The ODBCUpdateSQL must be linked to a TODBCQuery in order to work properly.");
    }

    for (TComponent* c : std::vector<TComponent*>{session, db, table, query, source}) {
        auto about = GetPropertyEditor(&designer, c, "About");
        ASSERT_TRUE(dynamic_cast<TAboutProperty*>(about.get())) << c->Name();
        EXPECT_EQ(about->GetValue(), "(About...)");
        EXPECT_TRUE(about->GetAttributes().Contains(paReadOnly));
        EXPECT_TRUE(about->GetAttributes().Contains(paDialog));
        EXPECT_THROW(about->TypeValue("VeloraInfo"), EPropertyError) << c->Name();
    }
    EXPECT_EQ(designer.ModifiedCount(), 0);
    const String text = WriteComponentToString(root.get());
    EXPECT_EQ(text.find("About"), String::npos) << text;
    EXPECT_NE(text.find("object DataSource1: TODBCDataSource"), String::npos) << text;

    // The About box names the component's class; OK closes it.
    auto user = std::make_shared<TScriptedPresenter>();
    int outline = 0;
    String firstNode;
    user->Examine([&](TCustomForm& f) {
            TTreeNodes* nodes = static_cast<TAbout&>(f).ObjDesc->Items();
            outline = nodes->Count();
            firstNode = nodes->GetFirstNode()->Text();
        })
        .Click("OKButton");
    {
        TPresenterScope scope(user);
        GetPropertyEditor(&designer, query, "About")->Edit();
    }
    ASSERT_EQ(user->Shown().size(), 1u);
    EXPECT_EQ(user->Shown()[0].Caption, "About...");
    EXPECT_EQ(user->Shown()[0].Control("CompType")->Text, "TODBCQuery");
    EXPECT_EQ(user->Shown()[0].Control("OKButton")->Text, "&Ok");
    EXPECT_EQ(user->Shown()[0].ClientWidth, 542);
    EXPECT_FALSE(user->Exhausted());
    EXPECT_EQ(outline, 11) << "Description; Events: OnLogin; Methods: three; Properties: three";
    EXPECT_EQ(firstNode, "Description");
}

}  // namespace
}  // namespace velora
