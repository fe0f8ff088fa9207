// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The published properties of the dataset framework's classes, so that
// datasets, data sources and persistent fields are stored in form files
// under their property names and defaults. A persistent field names its
// dataset in its DataSet property (written after FieldName, so that the name
// is known when the field joins the dataset's list).
#include "velora/db/DB.h"
#include "velora/classes/TypInfo.h"

#include <mutex>

namespace velora {

namespace {

const TEnumInfo& FieldTypeInfo(const char* typeName) {
    std::vector<String> names;
    for (int i = 0; i < kFieldTypeCount; ++i) names.push_back(FieldTypeName(static_cast<TFieldType>(i)));
    return RegisterEnum(typeName, std::move(names));
}

void RegisterDataSets() {
    RegisterClass<TDataSet>("TDataSet", "TComponent")
        .BooleanProp("Active", &TDataSet::Active, &TDataSet::SetActive)
        .Default(false)
        .BooleanProp("AutoCalcFields", &TDataSet::AutoCalcFields, &TDataSet::SetAutoCalcFields)
        .Default(true)
        .EventProp("BeforeOpen", &TDataSet::BeforeOpen)
        .EventProp("AfterOpen", &TDataSet::AfterOpen)
        .EventProp("BeforeClose", &TDataSet::BeforeClose)
        .EventProp("AfterClose", &TDataSet::AfterClose)
        .EventProp("BeforeInsert", &TDataSet::BeforeInsert)
        .EventProp("AfterInsert", &TDataSet::AfterInsert)
        .EventProp("BeforeEdit", &TDataSet::BeforeEdit)
        .EventProp("AfterEdit", &TDataSet::AfterEdit)
        .EventProp("BeforePost", &TDataSet::BeforePost)
        .EventProp("AfterPost", &TDataSet::AfterPost)
        .EventProp("BeforeCancel", &TDataSet::BeforeCancel)
        .EventProp("AfterCancel", &TDataSet::AfterCancel)
        .EventProp("BeforeDelete", &TDataSet::BeforeDelete)
        .EventProp("AfterDelete", &TDataSet::AfterDelete)
        .EventProp("BeforeScroll", &TDataSet::BeforeScroll)
        .EventProp("AfterScroll", &TDataSet::AfterScroll)
        .EventProp("OnCalcFields", &TDataSet::OnCalcFields)
        .EventProp("OnDeleteError", &TDataSet::OnDeleteError)
        .EventProp("OnEditError", &TDataSet::OnEditError)
        .EventProp("OnNewRecord", &TDataSet::OnNewRecord)
        .EventProp("OnPostError", &TDataSet::OnPostError);
    RegisterClass<TDataSource>("TDataSource", "TComponent")
        .BooleanProp("AutoEdit", &TDataSource::AutoEdit, &TDataSource::SetAutoEdit)
        .Default(true)
        .ComponentProp("DataSet", &TDataSource::DataSet, &TDataSource::SetDataSet)
        .BooleanProp("Enabled", &TDataSource::Enabled, &TDataSource::SetEnabled)
        .Default(true)
        .EventProp("OnStateChange", &TDataSource::OnStateChange)
        .EventProp("OnDataChange", &TDataSource::OnDataChange)
        .EventProp("OnUpdateData", &TDataSource::OnUpdateData);
}

void RegisterFields() {
    const TEnumInfo& alignment = RegisterEnum("TAlignment", {"taLeftJustify", "taRightJustify", "taCenter"});
    const TEnumInfo& kind = RegisterEnum("TFieldKind", {"fkData", "fkCalculated", "fkLookup", "fkInternalCalc"});
    const TEnumInfo& blobType = FieldTypeInfo("TBlobType");

    RegisterClass<TField>("TField", "TComponent")
        .EnumProp("Alignment", alignment, &TField::Alignment, &TField::SetAlignment)
        .NoDefault()
        .Stored([](TField* f) {
            return f->Alignment() != (dynamic_cast<TNumericField*>(f) ? taRightJustify : taLeftJustify);
        })
        .StringProp("DisplayLabel", &TField::DisplayLabel, &TField::SetDisplayLabel)
        .Stored([](TField* f) { return f->IsDisplayLabelStored(); })
        .IntegerProp("DisplayWidth", &TField::DisplayWidth, &TField::SetDisplayWidth)
        .Stored([](TField* f) { return f->IsDisplayWidthStored(); })
        .EnumProp("FieldKind", kind, &TField::FieldKind, &TField::SetFieldKind)
        .Default(fkData)
        .StringProp("FieldName", &TField::FieldName, &TField::SetFieldName)
        .ComponentProp("DataSet", &TField::DataSet, &TField::SetDataSet)
        .StringProp("KeyFields", &TField::KeyFields, &TField::SetKeyFields)
        .ComponentProp("LookupDataSet", &TField::LookupDataSet, &TField::SetLookupDataSet)
        .StringProp("LookupKeyFields", &TField::LookupKeyFields, &TField::SetLookupKeyFields)
        .StringProp("LookupResultField", &TField::LookupResultField, &TField::SetLookupResultField)
        .BooleanProp("ReadOnly", &TField::ReadOnly, &TField::SetReadOnly)
        .Default(false)
        .BooleanProp("Required", &TField::Required, &TField::SetRequired)
        .Default(false)
        .BooleanProp("Visible", &TField::Visible, &TField::SetVisible)
        .Default(true)
        .EventProp("OnChange", &TField::OnChange)
        .EventProp("OnGetText", &TField::OnGetText)
        .EventProp("OnSetText", &TField::OnSetText)
        .EventProp("OnValidate", &TField::OnValidate);

    RegisterClass<TStringField>("TStringField", "TField")
        .IntegerProp("Size", &TStringField::Size, &TStringField::SetSize)
        .Default(20)
        .BooleanProp("Transliterate", &TStringField::Transliterate, &TStringField::SetTransliterate)
        .Default(true);
    RegisterClass<TNumericField>("TNumericField", "TField");
    RegisterClass<TIntegerField>("TIntegerField", "TNumericField")
        .IntegerProp("MaxValue", &TIntegerField::MaxValue, &TIntegerField::SetMaxValue)
        .Default(0)
        .IntegerProp("MinValue", &TIntegerField::MinValue, &TIntegerField::SetMinValue)
        .Default(0);
    RegisterClass<TSmallintField>("TSmallintField", "TIntegerField");
    RegisterClass<TWordField>("TWordField", "TIntegerField");
    RegisterClass<TAutoIncField>("TAutoIncField", "TIntegerField");
    RegisterClass<TLargeintField>("TLargeintField", "TNumericField");
    RegisterClass<TFloatField>("TFloatField", "TNumericField")
        .BooleanProp("Currency", &TFloatField::IsCurrency, &TFloatField::SetCurrency)
        .Stored([](TFloatField* f) { return f->IsCurrency() != (f->DataType() == ftCurrency); })
        .FloatProp("MaxValue", &TFloatField::MaxValue, &TFloatField::SetMaxValue)
        .Default(0.0)
        .FloatProp("MinValue", &TFloatField::MinValue, &TFloatField::SetMinValue)
        .Default(0.0)
        .IntegerProp("Precision", &TFloatField::Precision, &TFloatField::SetPrecision)
        .Default(15);
    RegisterClass<TCurrencyField>("TCurrencyField", "TFloatField");
    RegisterClass<TBCDField>("TBCDField", "TNumericField")
        .IntegerProp("Precision", &TBCDField::Precision, &TBCDField::SetPrecision)
        .Default(0)
        .IntegerProp("Size", &TBCDField::Size, &TBCDField::SetSize)
        .Default(4);
    RegisterClass<TBooleanField>("TBooleanField", "TField")
        .StringProp("DisplayValues", &TBooleanField::DisplayValues, &TBooleanField::SetDisplayValues);
    RegisterClass<TDateTimeField>("TDateTimeField", "TField");
    RegisterClass<TDateField>("TDateField", "TDateTimeField");
    RegisterClass<TTimeField>("TTimeField", "TDateTimeField");
    RegisterClass<TBinaryField>("TBinaryField", "TField")
        .IntegerProp("Size", &TBinaryField::Size, &TBinaryField::SetSize)
        .Default(16);
    RegisterClass<TBytesField>("TBytesField", "TBinaryField");
    RegisterClass<TVarBytesField>("TVarBytesField", "TBinaryField");
    RegisterClass<TBlobField>("TBlobField", "TField")
        .EnumProp("BlobType", blobType, &TBlobField::BlobType, &TBlobField::SetBlobType)
        .Stored([](TBlobField* f) { return f->ClassName() == "TBlobField"; })
        .IntegerProp("Size", &TBlobField::Size, &TBlobField::SetSize)
        .Default(0)
        .BooleanProp("Transliterate", &TBlobField::Transliterate, &TBlobField::SetTransliterate)
        .Stored([](TBlobField* f) { return f->Transliterate() != (f->DataType() == ftMemo); });
    RegisterClass<TMemoField>("TMemoField", "TBlobField");
    RegisterClass<TGraphicField>("TGraphicField", "TBlobField");
}

}  // namespace

void RegisterDBClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterDataSets();
        RegisterFields();
    });
}

}  // namespace velora
