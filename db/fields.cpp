#include "db/fields.h"

#include <cmath>
#include <cstring>

#include "db/dataset.h"

namespace db {

void DatabaseError(const std::string& message, const rtl::TComponent* component) {
    if (component && !component->Name().empty())
        throw EDatabaseError(component->Name() + ": " + message);
    throw EDatabaseError(message);
}

const char* FieldTypeName(TFieldType type) {
    static const char* const names[] = {
        "Unknown",    "String",     "SmallInt", "Integer",     "Word",      "Boolean",
        "Float",      "Currency",   "BCD",      "Date",        "Time",      "DateTime",
        "Bytes",      "VarBytes",   "AutoInc",  "Blob",        "Memo",      "Graphic",
        "FmtMemo",    "ParadoxOle", "DBaseOle", "TypedBinary", "Cursor",    "FixedChar",
        "WideString", "Largeint",   "ADT",      "Array",       "Reference", "DataSet"};
    int i = static_cast<int>(type);
    return (i >= 0 && i < static_cast<int>(sizeof names / sizeof names[0])) ? names[i] : "Unknown";
}

// ---- field definitions ----------------------------------------------------------------------

std::unique_ptr<TField> TFieldDef::CreateField() const {
    auto field = CreateFieldForType(dataType_, name_, size_);
    if (field) field->SetRequired(required_);
    return field;
}

TFieldDef& TFieldDefs::Add(const std::string& name, TFieldType type, int size, bool required) {
    items_.push_back(std::make_unique<TFieldDef>(name, type, size, required, Count() + 1));
    return *items_.back();
}

void TFieldDefs::Clear() {
    items_.clear();
}

int TFieldDefs::IndexOf(const std::string& name) const {
    for (int i = 0; i < Count(); ++i)
        if (rtl::SameText(items_[static_cast<size_t>(i)]->Name(), name)) return i;
    return -1;
}

TFieldDef* TFieldDefs::Find(const std::string& name) const {
    int i = IndexOf(name);
    return i < 0 ? nullptr : items_[static_cast<size_t>(i)].get();
}

std::unique_ptr<TField> CreateFieldForType(TFieldType type, const std::string& name, int size) {
    switch (type) {
        case ftString:
        case ftFixedChar:
            return std::make_unique<TStringField>(name, size > 0 ? size : 20);
        case ftSmallint:
            return std::make_unique<TSmallintField>(name);
        case ftInteger:
            return std::make_unique<TIntegerField>(name);
        case ftAutoInc:
            return std::make_unique<TAutoIncField>(name);
        case ftBoolean:
            return std::make_unique<TBooleanField>(name);
        case ftFloat:
            return std::make_unique<TFloatField>(name);
        case ftCurrency:
            return std::make_unique<TCurrencyField>(name);
        case ftDate:
            return std::make_unique<TDateField>(name);
        case ftTime:
            return std::make_unique<TTimeField>(name);
        case ftDateTime:
            return std::make_unique<TDateTimeField>(name);
        case ftBytes:
            return std::make_unique<TBytesField>(name, size > 0 ? size : 16);
        case ftBlob:
        case ftGraphic: {
            auto f = std::make_unique<TBlobField>(name);
            f->SetSize(size);
            return f;
        }
        case ftMemo:
        case ftFmtMemo: {
            auto f = std::make_unique<TMemoField>(name);
            f->SetSize(size);
            return f;
        }
        default:
            return nullptr;
    }
}

// ---- TField ---------------------------------------------------------------------------------

TField::TField(TFieldType type, std::string fieldName, int size)
    : fieldName_(std::move(fieldName)), dataType_(type), size_(size) {}

TField::~TField() = default;

int TField::Index() const {
    return dataSet_ ? dataSet_->Fields().IndexOf(this) : -1;
}

bool TField::IsBlob() const {
    return dataType_ == ftBlob || dataType_ == ftMemo || dataType_ == ftGraphic ||
           dataType_ == ftFmtMemo;
}

bool TField::CanModify() const {
    if (readOnly_ || !dataSet_ || !dataSet_->Active()) return false;
    if (fieldKind_ != fkData && fieldKind_ != fkInternalCalc)
        return dataSet_->State() == dsCalcFields;
    return dataSet_->CanModify();
}

void TField::CheckDataSet() const {
    if (!dataSet_) DatabaseError("Field '" + DisplayName() + "' has no dataset");
}

bool TField::GetData(void* destination) const {
    CheckDataSet();
    if (validating_) {
        if (!valueBuffer_) return false;
        if (destination && DataSize() > 0)
            std::memcpy(destination, valueBuffer_, static_cast<size_t>(DataSize()));
        return true;
    }
    if (!dataSet_->Active()) DatabaseError(msg::DataSetClosed, dataSet_);
    return dataSet_->GetFieldData(const_cast<TField*>(this), destination);
}

void TField::SetData(const void* source) {
    CheckDataSet();
    if (!dataSet_->Active()) DatabaseError(msg::DataSetClosed, dataSet_);
    dataSet_->SetFieldData(this, source);
}

void TField::Validate(const void* buffer) {
    if (!OnValidate) return;
    validating_ = true;
    valueBuffer_ = buffer;
    try {
        OnValidate(this);
    } catch (...) {
        validating_ = false;
        valueBuffer_ = nullptr;
        throw;
    }
    validating_ = false;
    valueBuffer_ = nullptr;
}

void TField::Change() {
    if (OnChange) OnChange(this);
}

bool TField::IsNull() const {
    return !GetData(nullptr);
}

void TField::Clear() {
    SetData(nullptr);
}

void TField::AccessError(const char* typeName) const {
    DatabaseError("Cannot access field '" + DisplayName() + "' as type " + typeName);
}

void TField::RangeError(double value, double min, double max) const {
    DatabaseError(rtl::FloatToStr(value) + " is not a valid value for field '" + DisplayName() +
                  "'. The allowed range is " + rtl::FloatToStr(min) + " to " +
                  rtl::FloatToStr(max));
}

std::string TField::GetAsString() const {
    AccessError("String");
}
void TField::SetAsStringImpl(const std::string&) {
    AccessError("String");
}
int TField::GetAsInteger() const {
    AccessError("Integer");
}
void TField::SetAsIntegerImpl(int) {
    AccessError("Integer");
}
double TField::GetAsFloat() const {
    AccessError("Float");
}
void TField::SetAsFloatImpl(double) {
    AccessError("Float");
}
rtl::TDateTime TField::GetAsDateTime() const {
    AccessError("DateTime");
}
void TField::SetAsDateTimeImpl(rtl::TDateTime) {
    AccessError("DateTime");
}
bool TField::GetAsBoolean() const {
    AccessError("Boolean");
}
void TField::SetAsBooleanImpl(bool) {
    AccessError("Boolean");
}

std::string TField::DisplayText() const {
    if (OnGetText) {
        std::string text;
        OnGetText(const_cast<TField*>(this), text, true);
        return text;
    }
    return GetDisplayText();
}

std::string TField::Text() const {
    if (OnGetText) {
        std::string text;
        OnGetText(const_cast<TField*>(this), text, false);
        return text;
    }
    return GetEditText();
}

void TField::SetText(const std::string& text) {
    if (OnSetText)
        OnSetText(this, text);
    else
        SetAsString(text);
}

// ---- TStringField ---------------------------------------------------------------------------

std::string TStringField::GetAsString() const {
    // Read on every row of a download: a usual field's value goes through the stack, only a
    // long one through the heap. Either buffer starts zeroed, as GetData may write less.
    const size_t size = static_cast<size_t>(DataSize()) + 1;
    char small[256];
    std::vector<char> large;
    char* buffer = small;
    if (size <= sizeof small) {
        std::memset(small, 0, size);
    } else {
        large.assign(size, '\0');
        buffer = large.data();
    }
    if (!GetData(buffer)) return {};
    buffer[static_cast<size_t>(Size())] = '\0';
    return std::string(buffer);
}

void TStringField::SetAsStringImpl(const std::string& value) {
    std::vector<char> buffer(static_cast<size_t>(DataSize()), '\0');
    size_t n = std::min(value.size(), static_cast<size_t>(Size()));
    std::memcpy(buffer.data(), value.data(), n);
    SetData(buffer.data());
}

int TStringField::GetAsInteger() const {
    return rtl::StrToInt(GetAsString());
}
void TStringField::SetAsIntegerImpl(int value) {
    SetAsStringImpl(rtl::IntToStr(value));
}
double TStringField::GetAsFloat() const {
    return rtl::StrToFloat(GetAsString());
}
void TStringField::SetAsFloatImpl(double value) {
    SetAsStringImpl(rtl::FloatToStr(value));
}
rtl::TDateTime TStringField::GetAsDateTime() const {
    return rtl::StrToDateTime(GetAsString());
}
void TStringField::SetAsDateTimeImpl(rtl::TDateTime value) {
    SetAsStringImpl(rtl::DateTimeToStr(value));
}
bool TStringField::GetAsBoolean() const {
    std::string s = GetAsString();
    return !s.empty() && (s[0] == 'T' || s[0] == 't' || s[0] == 'Y' || s[0] == 'y');
}
void TStringField::SetAsBooleanImpl(bool value) {
    SetAsStringImpl(value ? "T" : "F");
}

// ---- TIntegerField / TSmallintField ----------------------------------------------------------

bool TIntegerField::ReadValue(std::int64_t& value) const {
    std::int32_t v = 0;
    if (!GetData(&v)) return false;
    value = v;
    return true;
}

void TIntegerField::WriteValue(std::int64_t value) {
    auto v = static_cast<std::int32_t>(value);
    SetData(&v);
}

bool TSmallintField::ReadValue(std::int64_t& value) const {
    std::int16_t v = 0;
    if (!GetData(&v)) return false;
    value = v;
    return true;
}

void TSmallintField::WriteValue(std::int64_t value) {
    auto v = static_cast<std::int16_t>(value);
    SetData(&v);
}

void TIntegerField::CheckRange(double value) const {
    double min = static_cast<double>(TypeMin()), max = static_cast<double>(TypeMax());
    if (MinValue != 0 || MaxValue != 0) {
        min = std::max(min, static_cast<double>(MinValue));
        max = std::min(max, static_cast<double>(MaxValue));
    }
    if (value < min || value > max) RangeError(value, min, max);
}

int TIntegerField::GetAsInteger() const {
    std::int64_t v = 0;
    return ReadValue(v) ? static_cast<int>(v) : 0;
}

void TIntegerField::SetAsIntegerImpl(int value) {
    CheckRange(value);
    WriteValue(value);
}

void TIntegerField::SetAsFloatImpl(double value) {
    double rounded = std::round(value);
    CheckRange(rounded);
    WriteValue(static_cast<std::int64_t>(rounded));
}

std::string TIntegerField::GetAsString() const {
    std::int64_t v = 0;
    return ReadValue(v) ? rtl::IntToStr(v) : std::string();
}

void TIntegerField::SetAsStringImpl(const std::string& value) {
    if (value.empty()) {
        Clear();
        return;
    }
    std::int64_t v = rtl::StrToInt64(value);
    CheckRange(static_cast<double>(v));
    WriteValue(v);
}

std::string TIntegerField::GetDisplayText() const {
    std::int64_t v = 0;
    if (!ReadValue(v)) return {};
    return DisplayFormat.empty() ? rtl::IntToStr(v)
                                 : rtl::FormatFloat(DisplayFormat, static_cast<double>(v));
}

std::string TIntegerField::GetEditText() const {
    std::int64_t v = 0;
    if (!ReadValue(v)) return {};
    return EditFormat.empty() ? rtl::IntToStr(v)
                              : rtl::FormatFloat(EditFormat, static_cast<double>(v));
}

// ---- TFloatField ----------------------------------------------------------------------------

double TFloatField::GetAsFloat() const {
    double v = 0;
    return GetData(&v) ? v : 0.0;
}

void TFloatField::SetAsFloatImpl(double value) {
    if ((MinValue != 0 || MaxValue != 0) && (value < MinValue || value > MaxValue))
        RangeError(value, MinValue, MaxValue);
    SetData(&value);
}

int TFloatField::GetAsInteger() const {
    double v = std::round(GetAsFloat());
    if (v < INT32_MIN || v > INT32_MAX) RangeError(v, INT32_MIN, INT32_MAX);
    return static_cast<int>(v);
}

std::string TFloatField::GetAsString() const {
    double v = 0;
    return GetData(&v) ? rtl::FloatToStr(v) : std::string();
}

void TFloatField::SetAsStringImpl(const std::string& value) {
    if (value.empty()) {
        Clear();
        return;
    }
    SetAsFloatImpl(rtl::StrToFloat(value));
}

std::string TFloatField::GetDisplayText() const {
    double v = 0;
    if (!GetData(&v)) return {};
    if (!DisplayFormat.empty()) return rtl::FormatFloat(DisplayFormat, v);
    if (currency_) return rtl::FloatToStrF(v, rtl::ffNumber, Precision, 2);
    return rtl::FloatToStrF(v, rtl::ffGeneral, Precision, 0);
}

std::string TFloatField::GetEditText() const {
    double v = 0;
    if (!GetData(&v)) return {};
    if (!EditFormat.empty()) return rtl::FormatFloat(EditFormat, v);
    return rtl::FloatToStrF(v, rtl::ffGeneral, Precision, 0);
}

// ---- TBooleanField --------------------------------------------------------------------------

void TBooleanField::SetDisplayValues(const std::string& values) {
    displayValues_ = values;
    size_t semi = values.find(';');
    if (semi == std::string::npos) {
        trueText_ = values;
        falseText_.clear();
    } else {
        trueText_ = values.substr(0, semi);
        falseText_ = values.substr(semi + 1);
    }
}

bool TBooleanField::GetAsBoolean() const {
    std::int16_t v = 0;
    return GetData(&v) && v != 0;
}

void TBooleanField::SetAsBooleanImpl(bool value) {
    std::int16_t v = value ? -1 : 0;
    SetData(&v);
}

std::string TBooleanField::GetAsString() const {
    std::int16_t v = 0;
    if (!GetData(&v)) return {};
    return v != 0 ? trueText_ : falseText_;
}

void TBooleanField::SetAsStringImpl(const std::string& value) {
    if (value.empty()) {
        Clear();
        return;
    }
    auto prefixOf = [&value](const std::string& text) {
        return !text.empty() &&
               rtl::SameText(value, text.substr(0, std::min(value.size(), text.size()))) &&
               value.size() <= text.size();
    };
    if (prefixOf(falseText_))
        SetAsBooleanImpl(false);
    else if (prefixOf(trueText_))
        SetAsBooleanImpl(true);
    else
        DatabaseError("'" + value + "' is not a valid boolean value for field '" + DisplayName() +
                      "'");
}

// ---- TDateTimeField family ------------------------------------------------------------------

rtl::TDateTime TDateTimeField::GetAsDateTime() const {
    switch (DataType()) {
        case ftDate: {
            std::int32_t days = 0;
            if (!GetData(&days)) return 0;
            return rtl::TimeStampToDateTime({0, days});
        }
        case ftTime: {
            std::int32_t ms = 0;
            if (!GetData(&ms)) return 0;
            return rtl::TimeStampToDateTime({ms, rtl::DateDelta});
        }
        default: {
            double ms = 0;
            if (!GetData(&ms)) return 0;
            return rtl::TimeStampToDateTime(rtl::MSecsToTimeStamp(ms));
        }
    }
}

void TDateTimeField::SetAsDateTimeImpl(rtl::TDateTime value) {
    rtl::TTimeStamp ts = rtl::DateTimeToTimeStamp(value);
    switch (DataType()) {
        case ftDate: {
            std::int32_t days = ts.Date;
            SetData(&days);
            break;
        }
        case ftTime: {
            std::int32_t ms = ts.Time;
            SetData(&ms);
            break;
        }
        default: {
            double ms = rtl::TimeStampToMSecs(ts);
            SetData(&ms);
            break;
        }
    }
}

std::string TDateTimeField::GetAsString() const {
    if (IsNull()) return {};
    return Format(GetAsDateTime());
}

void TDateTimeField::SetAsStringImpl(const std::string& value) {
    if (value.empty()) {
        Clear();
        return;
    }
    SetAsDateTimeImpl(Parse(value));
}

std::string TDateTimeField::GetDisplayText() const {
    if (IsNull()) return {};
    if (!DisplayFormat.empty()) return rtl::FormatDateTime(DisplayFormat, GetAsDateTime());
    return Format(GetAsDateTime());
}

// ---- TBytesField ----------------------------------------------------------------------------

std::string TBytesField::GetAsString() const {
    std::string bytes(static_cast<size_t>(Size()), '\0');
    if (!GetData(bytes.data())) return {};
    return bytes;
}

void TBytesField::SetAsStringImpl(const std::string& value) {
    std::string bytes(static_cast<size_t>(Size()), '\0');
    std::memcpy(bytes.data(), value.data(), std::min(value.size(), bytes.size()));
    SetData(bytes.data());
}

// ---- TBlobField -----------------------------------------------------------------------------

std::string TBlobField::GetAsString() const {
    CheckDataSet();
    auto stream = DataSet()->CreateBlobStream(const_cast<TBlobField*>(this), bmRead);
    return stream ? stream->ReadAll() : std::string();
}

void TBlobField::SetAsStringImpl(const std::string& value) {
    CheckDataSet();
    auto stream = DataSet()->CreateBlobStream(this, bmWrite);
    if (stream) stream->WriteText(value);
}

void TBlobField::Clear() {
    CheckDataSet();
    auto stream = DataSet()->CreateBlobStream(this, bmWrite);
}

int TBlobField::BlobSize() const {
    CheckDataSet();
    auto stream = DataSet()->CreateBlobStream(const_cast<TBlobField*>(this), bmRead);
    return stream ? static_cast<int>(stream->Size()) : 0;
}

void TBlobField::LoadFromStream(TStream& source) {
    SetAsStringImpl(source.ReadAll());
}

void TBlobField::SaveToStream(TStream& target) const {
    target.WriteText(GetAsString());
}

// ---- TFields --------------------------------------------------------------------------------

TField* TFields::FindField(const std::string& name) const {
    for (const auto& f : items_)
        if (rtl::SameText(f->FieldName(), name)) return f.get();
    return nullptr;
}

TField* TFields::FieldByName(const std::string& name) const {
    TField* f = FindField(name);
    if (!f) DatabaseError("Field '" + name + "' not found", dataSet_);
    return f;
}

int TFields::IndexOf(const TField* field) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].get() == field) return static_cast<int>(i);
    return -1;
}

TField* TFields::Add(std::unique_ptr<TField> field) {
    field->dataSet_ = dataSet_;
    items_.push_back(std::move(field));
    return items_.back().get();
}

std::unique_ptr<TField> TFields::Remove(TField* field) {
    int i = IndexOf(field);
    if (i < 0) return nullptr;
    std::unique_ptr<TField> out = std::move(items_[static_cast<size_t>(i)]);
    items_.erase(items_.begin() + i);
    out->dataSet_ = nullptr;
    return out;
}

void TFields::Clear() {
    items_.clear();
}

}  // namespace db
