#include "render/PageArguments.h"

#include <string>

#include "common/LogHelper.h"

namespace tvc::render {
using engine::JSValue;
using engine::JSValueList;
using engine::ListValue;
using msg::Arg;
using msg::Read;

namespace {
// Argument `i` exists and has type `t`: nothing here reads past the page's arguments.
bool ArgIs(const JSValueList& args, size_t i, Arg t) {
    if (i >= args.size() || !args[i]) return false;
    const JSValue::Type type = args[i]->GetType();
    return (t == Arg::Bool && type == JSValue::Type::Bool) ||
           (t == Arg::Int && type == JSValue::Type::Int) ||
           (t == Arg::String && type == JSValue::Type::String);
}

engine::Value Take(const JSValueList& args, size_t i, Arg t) {
    if (t == Arg::Bool) return args[i]->GetBoolValue();
    if (t == Arg::Int) return args[i]->GetIntValue();
    return args[i]->GetStringValue();
}

// "two integers", for the refusal of a shape without strings.
std::string ShapeText(std::initializer_list<Arg> shape) {
    static const char* const kCounts[] = {"no", "one", "two", "three"};
    const size_t n = shape.size();
    std::string text = n < std::size(kCounts) ? kCounts[n] : std::to_string(n);
    const Arg first = n ? *shape.begin() : Arg::Int;
    for (Arg a : shape)
        if (a != first) return text + " typed arguments";
    text += first == Arg::Bool ? " bool" : " integer";
    return n == 1 ? text : text + "s";
}

void LogRefusal(const msg::Entry& row, const JSValueList& args) {
    for (Arg a : row.args) {
        if (a == Arg::String) {
            TVC_LOG_ERROR(
                "CJavascriptHandler::%s invalid arguments : count %zu, a string is required",
                row.name, args.size());
            return;
        }
    }
    TVC_LOG_ERROR("CJavascriptHandler::%s invalid arguments : %s are required", msg::Label(row),
                  ShapeText(row.args).c_str());
}

constexpr bool NoDefaultedString() {
    for (const auto& row : msg::kCatalogue)
        if (row.read == Read::Defaulted)
            for (Arg a : row.args)
                if (a == Arg::String) return false;
    return true;
}
static_assert(NoDefaultedString(), "a defaulted argument is a flag or a number");

// The page's contract for flags: a missing or mistyped one reads as false or 0.
engine::Value Defaulted(const msg::Entry& row, const JSValueList& args, size_t i, Arg t) {
    if (ArgIs(args, i, t)) return Take(args, i, t);
    if (t == Arg::Bool) {
        TVC_LOG_WARN("CJavascriptHandler::%s : argument %zu is not a bool, read as false",
                     msg::Label(row), i);
        return false;
    }
    if (i >= args.size())
        TVC_LOG_WARN("CJavascriptHandler::%s : no arguments found : argument count is %d \n",
                     msg::Label(row), static_cast<int>(args.size()));
    else
        TVC_LOG_WARN("CJavascriptHandler::%s : argument %zu is not an integer, read as 0",
                     msg::Label(row), i);
    return 0;
}
}  // namespace

bool PageArgumentCountFits(const msg::Entry& row, const JSValueList& args) {
    if (row.read != Read::Exact && row.read != Read::ExactTerse) return true;
    size_t expected = 0;
    for (Arg a : row.args) expected += a == Arg::Connection ? 0 : 1;
    if (args.size() == expected) return true;
    if (row.read == Read::Exact)
        TVC_LOG_ERROR("CJavascriptHandler::%s failed args check : actual : %lu  required: %d \n",
                      msg::Label(row), static_cast<unsigned long>(args.size()),
                      static_cast<int>(expected));
    else
        TVC_LOG_ERROR("CJavascriptHandler::%s. Invalid Arguments", msg::Label(row));
    return false;
}

std::optional<ListValue> ReadPageArguments(const msg::Entry& row, const JSValueList& args,
                                           int connection) {
    ListValue out;
    if (row.read == Read::None) return out;
    size_t i = 0;
    for (Arg a : row.args) {
        if (a == Arg::Connection) {
            out.push_back(connection);
            continue;
        }
        if (row.read == Read::Defaulted) {
            out.push_back(Defaulted(row, args, i++, a));
            continue;
        }
        if (!ArgIs(args, i, a)) {
            LogRefusal(row, args);
            return std::nullopt;
        }
        out.push_back(Take(args, i++, a));
    }
    return out;
}

bool PageAnswer(const msg::Entry& row, bool sent, const ListValue& sentArgs, bool canKeepAbove) {
    switch (row.reply) {
        case msg::Reply::SentKeepAbove:
            // Where keep-above cannot hold, asking for it is not answered with success.
            return sent && (canKeepAbove || sentArgs.empty() || !sentArgs[0].GetBool());
        case msg::Reply::SentIfAboveHolds:
            return sent && canKeepAbove;
        default:
            return sent;
    }
}
}  // namespace tvc::render
