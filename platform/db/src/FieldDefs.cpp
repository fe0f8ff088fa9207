// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Field definitions and the table of default field classes.
#include "velora/db/FieldDefs.h"

#include "velora/db/DBConsts.h"
#include "velora/db/DataSet.h"
#include "velora/db/Fields.h"

#include <algorithm>

namespace velora {

namespace {

template <class T>
TField* CreateFieldOf(TComponent* owner) {
    return new T(owner);
}

/// The field classes by the type they are made for (FieldTypes' ClassOf);
/// a type without a class of its own names one of these.
struct TFieldClassTable {
    TFieldClass Classes[kFieldTypeCount] = {};
    constexpr TFieldClassTable() {
        Classes[ftString] = &CreateFieldOf<TStringField>;
        Classes[ftSmallint] = &CreateFieldOf<TSmallintField>;
        Classes[ftInteger] = &CreateFieldOf<TIntegerField>;
        Classes[ftWord] = &CreateFieldOf<TWordField>;
        Classes[ftBoolean] = &CreateFieldOf<TBooleanField>;
        Classes[ftFloat] = &CreateFieldOf<TFloatField>;
        Classes[ftCurrency] = &CreateFieldOf<TCurrencyField>;
        Classes[ftBCD] = &CreateFieldOf<TBCDField>;
        Classes[ftDate] = &CreateFieldOf<TDateField>;
        Classes[ftTime] = &CreateFieldOf<TTimeField>;
        Classes[ftDateTime] = &CreateFieldOf<TDateTimeField>;
        Classes[ftBytes] = &CreateFieldOf<TBytesField>;
        Classes[ftVarBytes] = &CreateFieldOf<TVarBytesField>;
        Classes[ftAutoInc] = &CreateFieldOf<TAutoIncField>;
        Classes[ftBlob] = &CreateFieldOf<TBlobField>;
        Classes[ftMemo] = &CreateFieldOf<TMemoField>;
        Classes[ftGraphic] = &CreateFieldOf<TGraphicField>;
        Classes[ftLargeint] = &CreateFieldOf<TLargeintField>;
    }
};

constexpr TFieldClassTable kFieldClasses;

}  // namespace

TFieldClass DefaultFieldClass(TFieldType DataType) {
    const TFieldType classOf = FieldTypeInfo(DataType).ClassOf;
    return classOf == ftUnknown ? nullptr : kFieldClasses.Classes[classOf];
}

// ---------------------------------------------------------------------------
// TFieldDef

TFieldDef::TFieldDef(TFieldDefs* Owner, const String& Name, TFieldType DataType, int Size, bool Required, int FieldNo)
    : FOwner(Owner), FName(Name), FDataType(DataType), FSize(Size), FRequired(Required), FFieldNo(FieldNo) {
    if (FOwner) {
        FOwner->FItems.push_back(this);
        FOwner->FUpdated = false;
    }
}

TFieldDef::~TFieldDef() {
    if (FOwner) {
        auto& items = FOwner->FItems;
        items.erase(std::remove(items.begin(), items.end(), this), items.end());
    }
}

TField* TFieldDef::CreateField(TComponent* Owner) {
    TFieldClass fieldClass = FieldClass();
    if (!fieldClass) DatabaseErrorFmt(DBConsts::SUnknownFieldType, FName);
    TField* field = fieldClass(Owner);
    try {
        // A type served by another type's class (the BLOB kinds) keeps its own.
        if (FieldTypeInfo(FDataType).ClassOf != FDataType) field->FDataType = FDataType;
        // A text type of one length (ftGuid) has that size whatever the definition says.
        const std::uint16_t fixed = FieldTypeInfo(FDataType).FixedSize;
        field->SetSize(fixed != 0 ? fixed : FSize);
        field->SetFieldName(FName);
        field->SetRequired(FRequired);
        if (FInternalCalcField) field->SetFieldKind(fkInternalCalc);
        if (auto* bcd = dynamic_cast<TBCDField*>(field)) bcd->SetPrecision(FPrecision);
        if (FOwner) field->SetDataSet(FOwner->DataSet());
    } catch (...) {
        field->Free();
        throw;
    }
    return field;
}

// ---------------------------------------------------------------------------
// TFieldDefs

TFieldDefs::TFieldDefs(TDataSet* DataSet) : FDataSet(DataSet) {}

TFieldDefs::~TFieldDefs() { Clear(); }

TFieldDef* TFieldDefs::Add(const String& Name, TFieldType DataType, int Size, bool Required) {
    if (Name.empty()) DatabaseError(DBConsts::SFieldNameMissing);
    if (IndexOf(Name) >= 0) DatabaseErrorFmt(DBConsts::SDuplicateFieldName, Name);
    return new TFieldDef(this, Name, DataType, Size, Required, Count() + 1);
}

void TFieldDefs::Assign(const TFieldDefs& Source) {
    if (&Source == this) return;
    Clear();
    for (const TFieldDef* def : Source.FItems) {
        auto* copy = new TFieldDef(this, def->Name(), def->DataType(), def->Size(), def->Required(), def->FieldNo());
        copy->SetPrecision(def->Precision());
        copy->SetInternalCalcField(def->InternalCalcField());
    }
}

void TFieldDefs::Clear() {
    std::vector<TFieldDef*> items;
    items.swap(FItems);
    for (TFieldDef* def : items) {
        def->FOwner = nullptr;
        delete def;
    }
    FUpdated = false;
}

TFieldDef* TFieldDefs::Find(const String& Name) const {
    int index = IndexOf(Name);
    if (index < 0) DatabaseErrorFmt(DBConsts::SFieldNotFound, Name);
    return FItems[static_cast<std::size_t>(index)];
}

int TFieldDefs::IndexOf(const String& Name) const {
    for (std::size_t i = 0; i < FItems.size(); ++i)
        if (SameText(FItems[i]->Name(), Name)) return static_cast<int>(i);
    return -1;
}

void TFieldDefs::Update() {
    if (FUpdated || !FDataSet) return;
    FDataSet->InitFieldDefs();
    FUpdated = true;
}

TFieldDef* TFieldDefs::Items(int Index) const {
    if (Index < 0 || Index >= Count()) throw EListError(Format("List index out of bounds (%d)", Index));
    return FItems[static_cast<std::size_t>(Index)];
}

}  // namespace velora
