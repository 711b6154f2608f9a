// Values that travel between the browser and the web process: bool, int, double, string, lists.
#pragma once

#include <string>
#include <variant>
#include <vector>

namespace tvc::engine {

struct Value;
using ListValue = std::vector<Value>;

struct Value {
    enum class Type { Null, Bool, Int, Double, String, List };
    std::variant<std::monostate, bool, int, double, std::string, ListValue> data;

    Value() = default;
    Value(bool b) : data(b) {}
    Value(int i) : data(i) {}
    Value(double d) : data(d) {}
    Value(const char* s) : data(std::string(s)) {}
    Value(std::string s) : data(std::move(s)) {}
    Value(ListValue l) : data(std::move(l)) {}

    Type GetType() const { return static_cast<Type>(data.index()); }
    bool IsNull() const { return GetType() == Type::Null; }
    bool IsBool() const { return GetType() == Type::Bool; }
    bool IsInt() const { return GetType() == Type::Int; }
    bool IsDouble() const { return GetType() == Type::Double; }
    bool IsString() const { return GetType() == Type::String; }
    bool IsList() const { return GetType() == Type::List; }
    bool GetBool() const { return IsBool() && std::get<bool>(data); }
    int GetInt() const { return IsInt() ? std::get<int>(data) : 0; }
    double GetDouble() const { return IsDouble() ? std::get<double>(data) : 0.0; }
    const std::string& GetString() const {
        static const std::string empty;
        return IsString() ? std::get<std::string>(data) : empty;
    }
    const ListValue& GetList() const {
        static const ListValue empty;
        return IsList() ? std::get<ListValue>(data) : empty;
    }
    bool operator==(const Value& o) const { return data == o.data; }
};

}  // namespace tvc::engine
