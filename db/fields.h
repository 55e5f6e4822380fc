// Field definitions and field objects of the record-set framework.
//
// A field object reads and writes its value through its dataset's GetFieldData/SetFieldData
// hooks (dataset.h) in these native value forms (DataSize() bytes):
//   Boolean                 16-bit, -1 true, 0 false
//   small integer           16-bit signed
//   integer, auto-increment 32-bit signed
//   float, currency         8-byte double
//   date                    32-bit days, 0001-01-01 is day 1   (TDateTime = days - 693594)
//   time                    32-bit milliseconds since midnight
//   date-time               double, milliseconds; 0001-01-01 00:00 is 86400000
//   string                  NUL-terminated text of at most Size characters (Size + 1 bytes)
//   bytes                   Size raw bytes
//   memo, blob              no buffer: through CreateBlobStream
// A field with no value reads as empty text, 0, false. Writing a text longer than Size cuts it.
//
// Calculated and lookup fields (FieldKind fkCalculated / fkLookup) have FieldNo -1; their
// data lives in the record buffer's calculated-field area, at Offset(): one has-value byte
// followed by DataSize() bytes (TDataSet::CalcFieldsSize() is the whole area).
#ifndef VELDA_DB_FIELDS_H
#define VELDA_DB_FIELDS_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "db/database_error.h"
#include "db/stream.h"
#include "rtl/component.h"
#include "rtl/sysutils.h"

namespace db {

class TDataSet;

enum TFieldType {
    ftUnknown,
    ftString,
    ftSmallint,
    ftInteger,
    ftWord,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
    ftBytes,
    ftVarBytes,
    ftAutoInc,
    ftBlob,
    ftMemo,
    ftGraphic,
    ftFmtMemo,
    ftParadoxOle,
    ftDBaseOle,
    ftTypedBinary,
    ftCursor,
    ftFixedChar,
    ftWideString,
    ftLargeint,
    ftADT,
    ftArray,
    ftReference,
    ftDataSet
};
const char* FieldTypeName(TFieldType type);  // "String", "SmallInt", "Integer", ...

enum TFieldKind { fkData, fkCalculated, fkLookup, fkInternalCalc, fkAggregate };

// Raises EDatabaseError with message, prefixed by "<component name>: " when the component
// is given and has a name.
[[noreturn]] void DatabaseError(const std::string& message,
                                const rtl::TComponent* component = nullptr);

// ---------------------------------------------------------------------------------------------
class TFieldDef {
  public:
    TFieldDef(std::string name, TFieldType type, int size, bool required, int fieldNo)
        : name_(std::move(name)),
          dataType_(type),
          size_(size),
          required_(required),
          fieldNo_(fieldNo) {}

    const std::string& Name() const { return name_; }
    TFieldType DataType() const { return dataType_; }
    int Size() const { return size_; }
    bool Required() const { return required_; }
    int FieldNo() const { return fieldNo_; }  // 1-based position
    int Precision() const { return precision_; }
    void SetPrecision(int precision) { precision_ = precision; }
    void SetSize(int size) { size_ = size; }
    void SetRequired(bool required) { required_ = required; }
    // The field object class for this definition (nullptr for a type without one).
    std::unique_ptr<class TField> CreateField() const;

  private:
    std::string name_;
    TFieldType dataType_;
    int size_;
    bool required_;
    int fieldNo_;
    int precision_ = 0;
};

class TFieldDefs {
  public:
    TFieldDef& Add(const std::string& name, TFieldType type, int size = 0, bool required = false);
    void Clear();
    int Count() const { return static_cast<int>(items_.size()); }
    TFieldDef& Items(int index) { return *items_.at(static_cast<size_t>(index)); }
    const TFieldDef& Items(int index) const { return *items_.at(static_cast<size_t>(index)); }
    int IndexOf(const std::string& name) const;      // case-insensitive, -1 when absent
    TFieldDef* Find(const std::string& name) const;  // case-insensitive, nullptr when absent
    // Up to date with the dataset (cleared by a property-change data event).
    bool Updated() const { return updated_; }
    void SetUpdated(bool updated) { updated_ = updated; }

  private:
    std::vector<std::unique_ptr<TFieldDef>> items_;
    bool updated_ = false;
};

// ---------------------------------------------------------------------------------------------
class TField {
  public:
    using TFieldNotifyEvent = std::function<void(TField* sender)>;
    using TFieldGetTextEvent =
        std::function<void(TField* sender, std::string& text, bool displayText)>;
    using TFieldSetTextEvent = std::function<void(TField* sender, const std::string& text)>;

    TField(TFieldType type, std::string fieldName = {}, int size = 0);
    virtual ~TField();
    TField(const TField&) = delete;
    TField& operator=(const TField&) = delete;

    TDataSet* DataSet() const { return dataSet_; }
    const std::string& FieldName() const { return fieldName_; }
    void SetFieldName(const std::string& name) { fieldName_ = name; }
    int FieldNo() const { return fieldNo_; }
    TFieldType DataType() const { return dataType_; }
    int Size() const { return size_; }
    void SetSize(int size) { size_ = size; }
    int Index() const;  // position in the dataset's Fields, -1 without a dataset
    TFieldKind FieldKind() const { return fieldKind_; }
    void SetFieldKind(TFieldKind kind) { fieldKind_ = kind; }
    bool Calculated() const { return fieldKind_ == fkCalculated; }
    bool Lookup() const { return fieldKind_ == fkLookup; }
    int Offset() const { return offset_; }  // calculated-field area offset (calc/lookup only)
    virtual int DataSize() const { return 0; }
    bool IsBlob() const;

    const std::string& DisplayLabel() const { return displayLabel_; }
    void SetDisplayLabel(const std::string& label) { displayLabel_ = label; }
    const std::string& DisplayName() const {
        return displayLabel_.empty() ? fieldName_ : displayLabel_;
    }
    int DisplayWidth() const { return displayWidth_ > 0 ? displayWidth_ : DefaultDisplayWidth(); }
    void SetDisplayWidth(int width) { displayWidth_ = width; }
    bool Visible() const { return visible_; }
    void SetVisible(bool visible) { visible_ = visible; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
    bool Required() const { return required_; }
    void SetRequired(bool required) { required_ = required; }
    const std::string& DefaultExpression() const { return defaultExpression_; }
    void SetDefaultExpression(const std::string& text) { defaultExpression_ = text; }
    // True when the field may be written now: dataset can modify, field not read-only (a
    // calculated field may be written only in the calc-fields state).
    bool CanModify() const;

    // Lookup definition (a lookup field's value is set by the OnCalcFields handler or by a
    // descendant; the framework does not search the lookup dataset itself).
    TDataSet* LookupDataSet() const { return lookupDataSet_; }
    void SetLookupDataSet(TDataSet* ds) { lookupDataSet_ = ds; }
    std::string KeyFields, LookupKeyFields, LookupResultField;

    // Typed access; conversions raise rtl::EConvertError (text to number or date) or
    // EDatabaseError ("Cannot access field 'X' as type Y", range errors).
    std::string AsString() const { return GetAsString(); }
    void SetAsString(const std::string& value) { SetAsStringImpl(value); }
    int AsInteger() const { return GetAsInteger(); }
    void SetAsInteger(int value) { SetAsIntegerImpl(value); }
    double AsFloat() const { return GetAsFloat(); }
    void SetAsFloat(double value) { SetAsFloatImpl(value); }
    double AsCurrency() const { return GetAsCurrency(); }
    void SetAsCurrency(double value) { SetAsCurrencyImpl(value); }
    rtl::TDateTime AsDateTime() const { return GetAsDateTime(); }
    void SetAsDateTime(rtl::TDateTime value) { SetAsDateTimeImpl(value); }
    bool AsBoolean() const { return GetAsBoolean(); }
    void SetAsBoolean(bool value) { SetAsBooleanImpl(value); }
    // The text a grid shows (display format, OnGetText) and the text of an editor; SetText
    // goes through OnSetText when assigned, else SetAsString.
    std::string DisplayText() const;
    std::string Text() const;
    void SetText(const std::string& text);

    virtual bool IsNull() const;
    virtual void Clear();

    // Raw access in the native value form; GetData answers whether the field has a value and
    // copies it to destination when one is given. SetData(nullptr) writes "no value".
    bool GetData(void* destination) const;
    void SetData(const void* source);
    // Runs OnValidate with the proposed value (the descendant's SetFieldData calls it in the
    // edit and insert states before it writes). Inside OnValidate the field reads that value.
    void Validate(const void* buffer);
    // Tells the field its value changed (fires OnChange); the dataset calls it.
    virtual void Change();

    TFieldNotifyEvent OnValidate, OnChange;
    TFieldGetTextEvent OnGetText;
    TFieldSetTextEvent OnSetText;

  protected:
    virtual std::string GetAsString() const;
    virtual void SetAsStringImpl(const std::string& value);
    virtual int GetAsInteger() const;
    virtual void SetAsIntegerImpl(int value);
    virtual double GetAsFloat() const;
    virtual void SetAsFloatImpl(double value);
    virtual double GetAsCurrency() const { return GetAsFloat(); }
    virtual void SetAsCurrencyImpl(double value) { SetAsFloatImpl(value); }
    virtual rtl::TDateTime GetAsDateTime() const;
    virtual void SetAsDateTimeImpl(rtl::TDateTime value);
    virtual bool GetAsBoolean() const;
    virtual void SetAsBooleanImpl(bool value);
    virtual std::string GetDisplayText() const { return GetAsString(); }
    virtual std::string GetEditText() const { return GetAsString(); }
    virtual int DefaultDisplayWidth() const { return 10; }

    [[noreturn]] void AccessError(const char* typeName) const;
    [[noreturn]] void RangeError(double value, double min, double max) const;
    void CheckDataSet() const;

  private:
    friend class TDataSet;
    friend class TFields;

    TDataSet* dataSet_ = nullptr;
    std::string fieldName_;
    TFieldType dataType_;
    int size_;
    int fieldNo_ = 0;
    int offset_ = 0;
    TFieldKind fieldKind_ = fkData;
    std::string displayLabel_;
    int displayWidth_ = 0;
    bool visible_ = true;
    bool readOnly_ = false;
    bool required_ = false;
    std::string defaultExpression_;
    TDataSet* lookupDataSet_ = nullptr;
    bool validating_ = false;
    const void* valueBuffer_ = nullptr;
};

class TStringField : public TField {
  public:
    explicit TStringField(std::string fieldName = {}, int size = 20)
        : TField(ftString, std::move(fieldName), size) {}
    int DataSize() const override { return Size() + 1; }
    std::string Value() const { return AsString(); }

  protected:
    std::string GetAsString() const override;
    void SetAsStringImpl(const std::string& value) override;
    int GetAsInteger() const override;
    void SetAsIntegerImpl(int value) override;
    double GetAsFloat() const override;
    void SetAsFloatImpl(double value) override;
    rtl::TDateTime GetAsDateTime() const override;
    void SetAsDateTimeImpl(rtl::TDateTime value) override;
    bool GetAsBoolean() const override;
    void SetAsBooleanImpl(bool value) override;
    int DefaultDisplayWidth() const override { return Size(); }
};

// Number fields: DisplayFormat / EditFormat are FormatFloat patterns (empty: plain text).
class TNumericField : public TField {
  public:
    using TField::TField;
    std::string DisplayFormat, EditFormat;
};

class TIntegerField : public TNumericField {
  public:
    explicit TIntegerField(std::string fieldName = {})
        : TIntegerField(ftInteger, std::move(fieldName)) {}
    int DataSize() const override { return 4; }
    int MinValue = 0, MaxValue = 0;  // both 0: the type's range

  protected:
    TIntegerField(TFieldType type, std::string fieldName)
        : TNumericField(type, std::move(fieldName), 0) {}
    std::string GetAsString() const override;
    void SetAsStringImpl(const std::string& value) override;
    int GetAsInteger() const override;
    void SetAsIntegerImpl(int value) override;
    double GetAsFloat() const override { return GetAsInteger(); }
    void SetAsFloatImpl(double value) override;
    std::string GetDisplayText() const override;
    std::string GetEditText() const override;
    virtual std::int64_t TypeMin() const { return INT32_MIN; }
    virtual std::int64_t TypeMax() const { return INT32_MAX; }
    void CheckRange(double value) const;
    virtual bool ReadValue(std::int64_t& value) const;
    virtual void WriteValue(std::int64_t value);
};

class TSmallintField : public TIntegerField {
  public:
    explicit TSmallintField(std::string fieldName = {})
        : TIntegerField(ftSmallint, std::move(fieldName)) {}
    int DataSize() const override { return 2; }

  protected:
    std::int64_t TypeMin() const override { return INT16_MIN; }
    std::int64_t TypeMax() const override { return INT16_MAX; }
    bool ReadValue(std::int64_t& value) const override;
    void WriteValue(std::int64_t value) override;
};

class TAutoIncField : public TIntegerField {
  public:
    explicit TAutoIncField(std::string fieldName = {})
        : TIntegerField(ftAutoInc, std::move(fieldName)) {}
};

class TFloatField : public TNumericField {
  public:
    explicit TFloatField(std::string fieldName = {}) : TFloatField(ftFloat, std::move(fieldName)) {}
    int DataSize() const override { return 8; }
    int Precision = 15;
    double MinValue = 0, MaxValue = 0;  // both 0: no range check
    bool Currency() const { return currency_; }

  protected:
    TFloatField(TFieldType type, std::string fieldName)
        : TNumericField(type, std::move(fieldName), 0) {}
    std::string GetAsString() const override;
    void SetAsStringImpl(const std::string& value) override;
    int GetAsInteger() const override;
    void SetAsIntegerImpl(int value) override { SetAsFloatImpl(value); }
    double GetAsFloat() const override;
    void SetAsFloatImpl(double value) override;
    std::string GetDisplayText() const override;
    std::string GetEditText() const override;
    bool currency_ = false;
};

class TCurrencyField : public TFloatField {
  public:
    explicit TCurrencyField(std::string fieldName = {})
        : TFloatField(ftCurrency, std::move(fieldName)) {
        currency_ = true;
    }
};

class TBooleanField : public TField {
  public:
    explicit TBooleanField(std::string fieldName = {})
        : TField(ftBoolean, std::move(fieldName), 0) {}
    int DataSize() const override { return 2; }
    // "True;False": the texts for true and false.
    void SetDisplayValues(const std::string& values);
    const std::string& DisplayValues() const { return displayValues_; }

  protected:
    std::string GetAsString() const override;
    void SetAsStringImpl(const std::string& value) override;
    bool GetAsBoolean() const override;
    void SetAsBooleanImpl(bool value) override;
    int DefaultDisplayWidth() const override { return 5; }

  private:
    std::string displayValues_ = "True;False";
    std::string trueText_ = "True", falseText_ = "False";
};

// Date-time fields: DisplayFormat is a FormatDateTime pattern (empty: the regional settings).
class TDateTimeField : public TField {
  public:
    explicit TDateTimeField(std::string fieldName = {})
        : TField(ftDateTime, std::move(fieldName), 0) {}
    int DataSize() const override { return 8; }
    std::string DisplayFormat;

  protected:
    TDateTimeField(TFieldType type, std::string fieldName)
        : TField(type, std::move(fieldName), 0) {}
    std::string GetAsString() const override;
    void SetAsStringImpl(const std::string& value) override;
    double GetAsFloat() const override { return GetAsDateTime(); }
    void SetAsFloatImpl(double value) override { SetAsDateTimeImpl(value); }
    rtl::TDateTime GetAsDateTime() const override;
    void SetAsDateTimeImpl(rtl::TDateTime value) override;
    std::string GetDisplayText() const override;
    int DefaultDisplayWidth() const override { return 18; }
    virtual std::string Format(rtl::TDateTime value) const { return rtl::DateTimeToStr(value); }
    virtual rtl::TDateTime Parse(const std::string& text) const { return rtl::StrToDateTime(text); }
};

class TDateField : public TDateTimeField {
  public:
    explicit TDateField(std::string fieldName = {})
        : TDateTimeField(ftDate, std::move(fieldName)) {}
    int DataSize() const override { return 4; }

  protected:
    std::string Format(rtl::TDateTime value) const override { return rtl::DateToStr(value); }
    rtl::TDateTime Parse(const std::string& text) const override { return rtl::StrToDate(text); }
    int DefaultDisplayWidth() const override { return 10; }
};

class TTimeField : public TDateTimeField {
  public:
    explicit TTimeField(std::string fieldName = {})
        : TDateTimeField(ftTime, std::move(fieldName)) {}
    int DataSize() const override { return 4; }

  protected:
    std::string Format(rtl::TDateTime value) const override { return rtl::TimeToStr(value); }
    rtl::TDateTime Parse(const std::string& text) const override { return rtl::StrToTime(text); }
    int DefaultDisplayWidth() const override { return 10; }
};

// Raw bytes; AsString is the bytes as they are (Size of them), assignment pads with zeros.
class TBytesField : public TField {
  public:
    explicit TBytesField(std::string fieldName = {}, int size = 16)
        : TField(ftBytes, std::move(fieldName), size) {}
    int DataSize() const override { return Size(); }

  protected:
    std::string GetAsString() const override;
    void SetAsStringImpl(const std::string& value) override;
};

// Blob and memo fields go through the dataset's CreateBlobStream; IsNull asks GetFieldData
// without a destination.
class TBlobField : public TField {
  public:
    explicit TBlobField(std::string fieldName = {}) : TBlobField(ftBlob, std::move(fieldName)) {}
    int BlobSize() const;
    void LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream) const;
    void Clear() override;

  protected:
    TBlobField(TFieldType type, std::string fieldName) : TField(type, std::move(fieldName), 0) {}
    std::string GetAsString() const override;
    void SetAsStringImpl(const std::string& value) override;
    std::string GetDisplayText() const override { return "(BLOB)"; }
};

class TMemoField : public TBlobField {
  public:
    explicit TMemoField(std::string fieldName = {}) : TBlobField(ftMemo, std::move(fieldName)) {}

  protected:
    std::string GetDisplayText() const override { return "(MEMO)"; }
};

// A field object of the class that fits the type (nullptr for types without one).
std::unique_ptr<TField> CreateFieldForType(TFieldType type, const std::string& fieldName = {},
                                           int size = 0);

// ---------------------------------------------------------------------------------------------
// The field objects of a dataset, in order; the list owns them.
class TFields {
  public:
    explicit TFields(TDataSet* dataSet) : dataSet_(dataSet) {}
    int Count() const { return static_cast<int>(items_.size()); }
    TField* Fields(int index) const { return items_.at(static_cast<size_t>(index)).get(); }
    TField* operator[](int index) const { return Fields(index); }
    TField* FindField(const std::string& name) const;    // case-insensitive, nullptr when absent
    TField* FieldByName(const std::string& name) const;  // raises "Field 'X' not found"
    int IndexOf(const TField* field) const;
    TField* Add(std::unique_ptr<TField> field);
    std::unique_ptr<TField> Remove(TField* field);
    void Clear();

  private:
    TDataSet* dataSet_;
    std::vector<std::unique_ptr<TField>> items_;
};

}  // namespace db

#endif
