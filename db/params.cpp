#include "db/params.h"

#include <cmath>

namespace db {

namespace {

bool IsNameChar(char c) {
    auto u = static_cast<unsigned char>(c);
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$' || c == '#' || c == '@' || c == '.' || u >= 128;
}

bool IsDateType(TFieldType t) {
    return t == ftDate || t == ftTime || t == ftDateTime;
}

}  // namespace

void TParam::Set(Value value, TFieldType type) {
    value_ = std::move(value);
    dataType_ = type;
    bound_ = true;
}

void TParam::Clear() {
    value_ = std::monostate{};
}

std::string TParam::AsString() const {
    if (auto* s = std::get_if<std::string>(&value_)) return *s;
    if (auto* i = std::get_if<std::int64_t>(&value_)) return rtl::IntToStr(*i);
    if (auto* d = std::get_if<double>(&value_)) {
        switch (dataType_) {
            case ftDate:
                return rtl::DateToStr(*d);
            case ftTime:
                return rtl::TimeToStr(*d);
            case ftDateTime:
                return rtl::DateTimeToStr(*d);
            default:
                return rtl::FloatToStr(*d);
        }
    }
    if (auto* b = std::get_if<bool>(&value_)) return *b ? "True" : "False";
    return {};
}

void TParam::SetAsString(const std::string& value) {
    Set(value, ftString);
}
void TParam::SetAsMemo(const std::string& value) {
    Set(value, ftMemo);
}
void TParam::SetAsBytes(const std::string& bytes) {
    Set(bytes, ftBytes);
}

int TParam::AsInteger() const {
    if (auto* s = std::get_if<std::string>(&value_)) return rtl::StrToInt(*s);
    if (auto* i = std::get_if<std::int64_t>(&value_)) return static_cast<int>(*i);
    if (auto* d = std::get_if<double>(&value_)) return static_cast<int>(std::llround(*d));
    if (auto* b = std::get_if<bool>(&value_)) return *b ? -1 : 0;
    return 0;
}

void TParam::SetAsInteger(int value) {
    Set(static_cast<std::int64_t>(value), ftInteger);
}
void TParam::SetAsSmallInt(int value) {
    Set(static_cast<std::int64_t>(value), ftSmallint);
}

double TParam::AsFloat() const {
    if (auto* s = std::get_if<std::string>(&value_)) {
        if (IsDateType(dataType_)) return AsDateTime();
        return rtl::StrToFloat(*s);
    }
    if (auto* i = std::get_if<std::int64_t>(&value_)) return static_cast<double>(*i);
    if (auto* d = std::get_if<double>(&value_)) return *d;
    if (auto* b = std::get_if<bool>(&value_)) return *b ? -1.0 : 0.0;
    return 0;
}

void TParam::SetAsFloat(double value) {
    Set(value, ftFloat);
}
void TParam::SetAsCurrency(double value) {
    Set(value, ftCurrency);
}

rtl::TDateTime TParam::AsDateTime() const {
    if (auto* s = std::get_if<std::string>(&value_)) {
        if (dataType_ == ftDate) return rtl::StrToDate(*s);
        if (dataType_ == ftTime) return rtl::StrToTime(*s);
        return rtl::StrToDateTime(*s);
    }
    return AsFloat();
}

void TParam::SetAsDateTime(rtl::TDateTime value) {
    Set(value, ftDateTime);
}
void TParam::SetAsDate(rtl::TDateTime value) {
    Set(value, ftDate);
}
void TParam::SetAsTime(rtl::TDateTime value) {
    Set(value, ftTime);
}

bool TParam::AsBoolean() const {
    if (auto* b = std::get_if<bool>(&value_)) return *b;
    if (auto* s = std::get_if<std::string>(&value_)) {
        if (rtl::SameText(*s, "True")) return true;
        if (rtl::SameText(*s, "False") || s->empty()) return false;
        return rtl::StrToFloat(*s) != 0;
    }
    return AsFloat() != 0;
}

void TParam::SetAsBoolean(bool value) {
    Set(value, ftBoolean);
}

void TParam::Assign(const TParam& other) {
    name_ = other.name_;
    dataType_ = other.dataType_;
    paramType_ = other.paramType_;
    bound_ = other.bound_;
    value_ = other.value_;
}

void TParam::AssignFieldValue(const TField& field) {
    TFieldType type = field.DataType();
    if (field.IsNull()) {
        Clear();
        dataType_ = type;
        bound_ = true;
        return;
    }
    switch (type) {
        case ftSmallint:
        case ftInteger:
        case ftWord:
        case ftAutoInc:
        case ftLargeint:
            Set(static_cast<std::int64_t>(field.AsInteger()), type);
            break;
        case ftFloat:
        case ftCurrency:
        case ftBCD:
        case ftDate:
        case ftTime:
        case ftDateTime:
            Set(field.AsFloat(), type);
            break;
        case ftBoolean:
            Set(field.AsBoolean(), type);
            break;
        default:
            Set(field.AsString(), type);
            break;
    }
}

void TParam::AssignField(const TField& field) {
    name_ = field.FieldName();
    AssignFieldValue(field);
}

TParam& TParams::CreateParam(TFieldType type, const std::string& name, TParamType paramType) {
    items_.push_back(std::make_unique<TParam>(name, type, paramType));
    return *items_.back();
}

TParam* TParams::FindParam(const std::string& name) const {
    for (const auto& p : items_)
        if (rtl::SameText(p->Name(), name)) return p.get();
    return nullptr;
}

TParam& TParams::ParamByName(const std::string& name) const {
    TParam* p = FindParam(name);
    if (!p) DatabaseError("Parameter '" + name + "' not found");
    return *p;
}

void TParams::Assign(const TParams& other) {
    items_.clear();
    for (const auto& p : other.items_) {
        auto copy = std::make_unique<TParam>();
        copy->Assign(*p);
        items_.push_back(std::move(copy));
    }
}

void TParams::AssignValues(const TParams& other) {
    for (const auto& p : other.items_)
        for (auto& mine : items_)
            if (rtl::SameText(mine->Name(), p->Name())) {
                std::string name = mine->Name();
                mine->Assign(*p);
                mine->SetName(name);
            }
}

bool TParams::IsEqual(const TParams& other) const {
    if (Count() != other.Count()) return false;
    for (int i = 0; i < Count(); ++i) {
        const TParam& a = Items(i);
        const TParam& b = other.Items(i);
        if (a.Name() != b.Name() || a.DataType() != b.DataType() || a.IsNull() != b.IsNull() ||
            a.AsString() != b.AsString())
            return false;
    }
    return true;
}

std::string TParams::ParseSQL(const std::string& sql, bool doCreate) {
    if (doCreate) Clear();
    std::string out;
    out.reserve(sql.size());
    char literal = 0;
    size_t i = 0;
    while (i < sql.size()) {
        char c = sql[i];
        if (literal) {
            out += c;
            if (c == literal) literal = 0;
            ++i;
            continue;
        }
        if (c == '\'' || c == '"') {
            literal = c;
            out += c;
            ++i;
            continue;
        }
        if (c == '[') {
            literal = ']';
            out += c;
            ++i;
            continue;
        }
        if (c == ':') {
            if (i + 1 < sql.size() && sql[i + 1] == ':') {
                out += ':';
                i += 2;
                continue;
            }
            size_t j = i + 1;
            std::string name;
            if (j < sql.size() && (sql[j] == '"' || sql[j] == '\'')) {
                char q = sql[j];
                size_t end = sql.find(q, j + 1);
                if (end != std::string::npos) {
                    name = sql.substr(j + 1, end - j - 1);
                    j = end + 1;
                }
            } else {
                while (j < sql.size() && IsNameChar(sql[j])) name += sql[j++];
            }
            if (name.empty()) {
                out += c;
                ++i;
                continue;
            }
            if (doCreate) CreateParam(ftUnknown, name, ptUnknown);
            out += '?';
            i = j;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

}  // namespace db
