// Query parameters: named values with a data type, found as :name markers in SQL text.
#ifndef VELDA_DB_PARAMS_H
#define VELDA_DB_PARAMS_H

#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "db/fields.h"

namespace db {

enum TParamType { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };

class TParam {
  public:
    explicit TParam(std::string name = {}, TFieldType type = ftUnknown,
                    TParamType paramType = ptInput)
        : name_(std::move(name)), dataType_(type), paramType_(paramType) {}

    const std::string& Name() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }
    TFieldType DataType() const { return dataType_; }
    void SetDataType(TFieldType type) { dataType_ = type; }
    TParamType ParamType() const { return paramType_; }
    void SetParamType(TParamType type) { paramType_ = type; }
    // Bound: a value was given (a master link fills only parameters that are not bound).
    bool Bound() const { return bound_; }
    void SetBound(bool value) { bound_ = value; }

    bool IsNull() const { return std::holds_alternative<std::monostate>(value_); }
    void Clear();  // no value (the data type stays)

    // Setters give the parameter its value and the data type of the setter (AsString:
    // ftString, AsInteger: ftInteger, AsSmallInt: ftSmallint, AsFloat: ftFloat, AsCurrency:
    // ftCurrency, AsDate: ftDate, AsTime: ftTime, AsDateTime: ftDateTime, AsBoolean:
    // ftBoolean, AsBytes: ftBytes, AsMemo: ftMemo). Getters convert (a null value reads as
    // empty text / 0 / false); text to number or date raises rtl::EConvertError.
    std::string AsString() const;
    void SetAsString(const std::string& value);
    void SetAsMemo(const std::string& value);
    int AsInteger() const;
    void SetAsInteger(int value);
    void SetAsSmallInt(int value);
    double AsFloat() const;
    void SetAsFloat(double value);
    double AsCurrency() const { return AsFloat(); }
    void SetAsCurrency(double value);
    rtl::TDateTime AsDateTime() const;
    void SetAsDateTime(rtl::TDateTime value);
    rtl::TDateTime AsDate() const { return AsDateTime(); }
    void SetAsDate(rtl::TDateTime value);
    rtl::TDateTime AsTime() const { return AsDateTime(); }
    void SetAsTime(rtl::TDateTime value);
    bool AsBoolean() const;
    void SetAsBoolean(bool value);
    std::string AsBytes() const { return AsString(); }
    void SetAsBytes(const std::string& bytes);

    // Value and data type from another parameter / from a field (AssignField).
    void Assign(const TParam& other);
    void AssignField(const TField& field);
    void AssignFieldValue(const TField& field);  // value only, data type from the field

  private:
    using Value = std::variant<std::monostate, std::string, std::int64_t, double, bool>;
    void Set(Value value, TFieldType type);

    std::string name_;
    TFieldType dataType_;
    TParamType paramType_;
    bool bound_ = false;
    Value value_;
};

class TParams {
  public:
    TParams() = default;
    TParams(const TParams& other) { Assign(other); }
    TParams& operator=(const TParams& other) {
        if (this != &other) Assign(other);
        return *this;
    }

    int Count() const { return static_cast<int>(items_.size()); }
    TParam& Items(int index) { return *items_.at(static_cast<size_t>(index)); }
    const TParam& Items(int index) const { return *items_.at(static_cast<size_t>(index)); }
    TParam& operator[](int index) { return Items(index); }
    TParam& CreateParam(TFieldType type, const std::string& name, TParamType paramType = ptInput);
    TParam* FindParam(const std::string& name) const;    // case-insensitive
    TParam& ParamByName(const std::string& name) const;  // raises "Parameter 'X' not found"
    void Clear() { items_.clear(); }
    void Assign(const TParams& other);
    // Copies the values of other's parameters into the parameters of the same names.
    void AssignValues(const TParams& other);
    bool IsEqual(const TParams& other) const;

    // Finds the :name markers of sql outside quoted literals ('...', "..." and [...]);
    // "::" stands for one ':'; a name may be quoted (:"my name"). With doCreate, the list
    // is replaced by one ftUnknown parameter per marker, in order (names may repeat).
    // Answers the text with each marker replaced by '?'.
    std::string ParseSQL(const std::string& sql, bool doCreate);

  private:
    std::vector<std::unique_ptr<TParam>> items_;
};

}  // namespace db

#endif
