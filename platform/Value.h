#pragma once
// A property-list value: what the settings dictionaries, the catalog, presets and the
// image metadata dictionary are made of. Integer, real and boolean stay distinct so they
// survive a property-list round trip with their kind (10.0 stays a real).
#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace platform {

class Value;
using Array = std::vector<Value>;
using Dictionary = std::map<std::string, Value>; // sorted by key, as property lists are
using Data = std::vector<uint8_t>;

// A point in time, seconds since 1970-01-01 00:00:00 UTC.
struct Date {
    double secondsSince1970 = 0;
    bool operator==(const Date&) const = default;
};

class Value {
  public:
    enum class Kind { Null, String, Integer, Real, Bool, Date, Data, Array, Dictionary };

    Value() = default;
    Value(std::string s) : v_(std::move(s)) {}
    Value(std::string_view s) : v_(std::string(s)) {}
    Value(const char* s) : v_(std::string(s)) {}
    Value(bool b) : v_(b) {}
    Value(int i) : v_(int64_t(i)) {}
    Value(unsigned i) : v_(int64_t(i)) {}
    Value(long i) : v_(int64_t(i)) {}
    Value(long long i) : v_(int64_t(i)) {}
    Value(unsigned long i) : v_(int64_t(i)) {}
    Value(unsigned long long i) : v_(int64_t(i)) {}
    Value(double d) : v_(d) {}
    Value(float f) : v_(double(f)) {}
    Value(platform::Date d) : v_(d) {}
    Value(platform::Data d) : v_(std::move(d)) {}
    Value(platform::Array a) : v_(std::move(a)) {}
    Value(platform::Dictionary d) : v_(std::move(d)) {}

    Kind kind() const { return Kind(v_.index()); }
    bool isNull() const { return kind() == Kind::Null; }
    bool isString() const { return kind() == Kind::String; }
    bool isInteger() const { return kind() == Kind::Integer; }
    bool isReal() const { return kind() == Kind::Real; }
    bool isBool() const { return kind() == Kind::Bool; }
    bool isNumber() const { return isInteger() || isReal() || isBool(); }
    bool isDate() const { return kind() == Kind::Date; }
    bool isData() const { return kind() == Kind::Data; }
    bool isArray() const { return kind() == Kind::Array; }
    bool isDictionary() const { return kind() == Kind::Dictionary; }

    // Typed access: nullptr when the value holds another kind.
    const std::string* string() const { return std::get_if<std::string>(&v_); }
    const int64_t* integer() const { return std::get_if<int64_t>(&v_); }
    const double* real() const { return std::get_if<double>(&v_); }
    const bool* boolean() const { return std::get_if<bool>(&v_); }
    const platform::Date* date() const { return std::get_if<platform::Date>(&v_); }
    const platform::Data* data() const { return std::get_if<platform::Data>(&v_); }
    const platform::Array* array() const { return std::get_if<platform::Array>(&v_); }
    platform::Array* array() { return std::get_if<platform::Array>(&v_); }
    const platform::Dictionary* dictionary() const { return std::get_if<platform::Dictionary>(&v_); }
    platform::Dictionary* dictionary() { return std::get_if<platform::Dictionary>(&v_); }

    // Dictionary lookup: nullptr when this is not a dictionary or the key is absent.
    const Value* find(std::string_view key) const;
    Value* find(std::string_view key);

    // Number coercion as Foundation does it: numbers convert between kinds, strings are
    // parsed ("YES"/"NO"/"true" for booleans, leading number for numbers), anything else
    // gives 0 / false.
    double doubleValue() const;
    float floatValue() const { return float(doubleValue()); }
    int64_t int64Value() const;
    int intValue() const;
    bool boolValue() const;
    // Strings as they are; numbers in their shortest text form; other kinds empty.
    std::string stringValue() const;

    bool operator==(const Value& o) const { return v_ == o.v_; }

  private:
    std::variant<std::monostate, std::string, int64_t, double, bool, platform::Date, platform::Data,
                 platform::Array, platform::Dictionary>
        v_;
};

} // namespace platform
