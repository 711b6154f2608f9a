#include "common/AppCookieHandler/CookieObserver.h"

#include <unistd.h>

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/json_parser/detail/read.hpp>
#include <boost/property_tree/ptree.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unordered_set>

#include "common/AppHelper.h"
#include "common/FileUtil.h"
#include "common/JSONHelper.h"
#include "common/LogHelper.h"

namespace pt = boost::property_tree;

namespace {
constexpr const char* kSetCookies = "setCookies";
// Ten thousand cookies would be a hundred thousand lines: the first ones are logged one by one.
constexpr size_t kCookiesLoggedOneByOne = 20;

void AppendJsonString(std::string& out, const std::string& text) {
    out += '"';
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '"';
}

std::string JsonMember(const pt::ptree& tree, const char* path, const char* key) {
    auto value = tree.get_optional<std::string>(path);
    if (!value) return {};
    std::string out;
    AppendJsonString(out, key);
    out += ':';
    AppendJsonString(out, *value);
    return out;
}

std::string JsonObject(std::initializer_list<std::string> members) {
    std::string out;
    for (const auto& member : members)
        if (!member.empty()) out += (out.empty() ? "" : ",") + member;
    return "{" + out + "}";
}

// Boost's reader keeps every value as text, so null, 12 and "12" read alike. These callbacks also
// note the values that were no string, by the address of the text their node holds: a node does
// not move once made.
class KindNotingCallbacks : public pt::json_parser::detail::standard_callbacks<pt::ptree> {
    using Base = pt::json_parser::detail::standard_callbacks<pt::ptree>;

  public:
    std::unordered_set<const std::string*> notStrings;

    void on_null() {
        Base::on_null();
        Note();
    }
    void on_boolean(bool b) {
        Base::on_boolean(b);
        Note();
    }
    template <typename Range>
    void on_number(Range codeUnits) {
        Base::on_number(codeUnits);
        Note();
    }
    void on_begin_number() {
        Base::on_begin_number();
        Note();
    }
    void on_begin_array() {
        Base::on_begin_array();
        Note();
    }
    void on_begin_object() {
        Base::on_begin_object();
        Note();
    }

  private:
    void Note() { notStrings.insert(&current_value()); }
};

using NotStrings = std::unordered_set<const std::string*>;

// The member `key` of `node`, which must be a JSON string.
const std::string& StringMember(const pt::ptree& node, const char* key,
                                const NotStrings& notStrings) {
    const pt::ptree& member = node.get_child(key);
    if (notStrings.count(&member.data()))
        throw pt::ptree_bad_data(std::string("\"") + key + "\" is not a string", key);
    return member.data();
}

// The request's envelope without its payload, for a response that would be too long to send with
// the whole request in it.
std::string EnvelopeOnly(const pt::ptree& request) {
    const std::string message =
        JsonObject({JsonMember(request, "message.type", "type"),
                    JsonMember(request, "message.sub_type", "sub_type"), "\"payload\":{}"});
    return JsonObject({JsonMember(request, "source", "source"),
                       JsonMember(request, "target", "target"), "\"message\":" + message,
                       JsonMember(request, "umid", "umid")});
}
}  // namespace

CCookieObserver::CCookieObserver(tvc::engine::BrowserRef browser,
                                 std::shared_ptr<tvc::engine::ICookieStore> cookieStore)
    : m_pBrowserRef(std::move(browser)),
      m_pCookieManager(std::make_shared<CCookieManager>(std::move(cookieStore))) {
    TVC_LOG_WARN("CCookieObserver:: CTOR ++ \n");
    TVC_LOG_WARN("CCookieObserver:: CTOR -- \n");
}

CCookieObserver::~CCookieObserver() {
    TVC_LOG_WARN("CCookieObserver:: DTOR ++ \n");
    TVC_LOG_WARN("CCookieObserver:: DTOR -- \n");
}

void CCookieObserver::SetClientHandler(const std::shared_ptr<tvc::ClientHandler>& handler) {
    m_clientHandler = handler;
}

void CCookieObserver::OnInterAppMessageRceive(const SInterAppMessage& message) {
    static const char* fn = TVC_FN;
    TVC_LOG_INFO("%s ++ json: (%zu bytes)\n", fn, message.text.size());
    if (const std::string* command = ReadNativeCommand(message, fn)) {
        if (*command != kSetCookies)
            TVC_LOG_ERROR("%s Unknown command : messageCommand=%s !!!!!!!", fn,
                          CLogHelper::Excerpt(*command, 128).c_str());
        else
            HandleSetCookies(message);
    }
    TVC_LOG_INFO("%s -- json: (%zu bytes)\n", fn, message.text.size());
}

void CCookieObserver::HandleSetCookies(const SInterAppMessage& message) {
    static const char* fn = "CCookieObserver::OnInterAppMessageRceive";
    TVC_LOG_WARN("%s: Payload received from extension: (%zu bytes)\n", fn, message.text.size());
    CAppCookieList cookies;
    // Read again from the text: the message's own tree no longer tells a string from a number.
    const bool parsed = message.tree && QueryArrayOfCookieObject(message.text, cookies);
    TVC_LOG_WARN("%s: QueryArrayOfJsonObjects returned %u\n", fn, parsed ? 1u : 0u);
    std::optional<CAppCookieList> list;
    if (parsed) list = std::move(cookies);
    // Weak: an observer released before the store has finished (quit) sends nothing.
    std::weak_ptr<CInterAppMessageBaseObserver> weak = weak_from_this();
    m_pCookieManager->ReplaceAllCookies(
        std::move(list),
        [weak, request = message.text, tree = message.tree](int status) {
            if (auto self = weak.lock())
                static_cast<CCookieObserver&>(*self).SendResponse(request, tree.get(), status);
        },
        message.text);
}

void CCookieObserver::ResumeInterruptedRequest(const std::string& journalPath) {
    static const char* fn = TVC_FN;
    m_pCookieManager->SetJournalPath(journalPath);
    int error = 0;
    const std::optional<std::string> text =
        journalPath.empty() ? std::nullopt : tvc::ReadFile(journalPath, &error);
    if (!text) {
        if (!journalPath.empty() && error != ENOENT)
            TVC_LOG_ERROR("%s: the journal %s could not be read: %s", fn, journalPath.c_str(),
                          std::strerror(error));
        return;
    }
    CAppCookieList cookies;
    if (!QueryArrayOfCookieObject(*text, cookies)) {
        TVC_LOG_ERROR("%s: the journal %s cannot be read as a request; removed", fn,
                      journalPath.c_str());
        ::unlink(journalPath.c_str());
        return;
    }
    TVC_LOG_WARN("%s: a replacement of the cookies was cut off; it is made again (%zu cookies)", fn,
                 cookies.size());
    m_pCookieManager->ReplaceAllCookies(
        std::move(cookies),
        [](int status) {
            TVC_LOG_WARN("%s: the cut-off replacement ended with %d", "CCookieObserver", status);
        },
        *text);
}

void CCookieObserver::SendResponse(const std::string& request, const pt::ptree* parsed,
                                   int status) {
    static const char* fn = "CCookieObserver::OnInterAppMessageRceive";
    const auto handler = m_clientHandler.lock();
    std::string response;
    CAppHelper::CreateInterAppResponceMessage(kSetCookies, request, status, response);
    TVC_LOG_WARN("%s: sending Native Message with SendStringAsNativeMessage", fn);
    bool sent = CAppHelper::SendStringAsInterAppMessageViaClinetHandler(handler, response);
    if (!sent && handler && parsed) {
        // Too long to send with the whole request in it: the peer still hears the status, and the
        // request's envelope (its "umid" among it) tells it which request is answered.
        const std::string envelope = EnvelopeOnly(*parsed);
        if (envelope.size() < request.size()) {
            TVC_LOG_WARN(
                "%s: the response (%zu bytes) could not be sent; sending it with the "
                "request's envelope only",
                fn, response.size());
            CAppHelper::CreateInterAppResponceMessage(kSetCookies, envelope, status, response);
            sent = CAppHelper::SendStringAsInterAppMessageViaClinetHandler(handler, response);
        }
    }
    if (sent)
        TVC_LOG_WARN("%s: send sucess", fn);
    else
        TVC_LOG_ERROR("%s:  SendStringAsNativeMessage call failed.", fn);
}

bool CCookieObserver::QueryArrayOfCookieObject(const std::string& text, CAppCookieList& out) {
    static const char* fn = TVC_FN;
    if (text.empty()) {
        TVC_LOG_ERROR("%s: JSON Message is empty, returning false", fn);
        return false;
    }
    if (!CJSONHelper::IsNestingWithinLimit(text, CJSONHelper::kMaxNestingDepth)) {
        TVC_LOG_ERROR("%s :  exception : %s\n", fn, "nesting deeper than the allowed limit");
        return false;
    }
    KindNotingCallbacks callbacks;
    try {
        pt::json_parser::detail::encoding<char> encoding;
        pt::json_parser::detail::read_json_internal(text.begin(), text.end(), encoding, callbacks,
                                                    std::string());
    } catch (const std::exception& e) {
        TVC_LOG_ERROR("%s :  exception : %s\n", fn, e.what());
        return false;
    }
    const pt::ptree& tree = callbacks.output();
    const NotStrings& notStrings = callbacks.notStrings;
    TVC_LOG_INFO("%s : starts", fn);
    size_t count = 0;
    try {
        for (const auto& entry : tree.get_child("message.payload.domains")) {
            const pt::ptree& domain = entry.second;
            const std::string& hostURL = StringMember(domain, "url", notStrings);
            TVC_LOG_INFO("%s: hostURL is %s\n", fn, CLogHelper::Excerpt(hostURL, 256).c_str());
            for (const auto& item : domain.get_child("cookies")) {
                const pt::ptree& json = item.second;
                auto cookie = std::make_shared<CAppCookie>();
                cookie->name = StringMember(json, "name", notStrings);
                cookie->value = StringMember(json, "value", notStrings);
                if (!json.get<bool>("hostOnly"))
                    cookie->domain = StringMember(json, "domain", notStrings);
                cookie->path = StringMember(json, "path", notStrings);
                cookie->secure = json.get<bool>("secure");
                cookie->httpOnly = json.get<bool>("httpOnly");
                cookie->session = json.get<bool>("session");
                if (!cookie->session) cookie->expirationDate = json.get<double>("expirationDate");
                if (!hostURL.empty()) cookie->hostURL = hostURL;
                if (count < kCookiesLoggedOneByOne)
                    TVC_LOG_INFO(
                        "%s: cookie name=%s, domain=%s, path=%s, value of %zu bytes, secure=%u, "
                        "httpOnly=%u, session=%u, expirationDate=%.3f\n",
                        fn, CLogHelper::Excerpt(cookie->name, 128).c_str(),
                        CLogHelper::Excerpt(cookie->domain, 128).c_str(),
                        CLogHelper::Excerpt(cookie->path, 128).c_str(), cookie->value.size(),
                        cookie->secure, cookie->httpOnly, cookie->session, cookie->expirationDate);
                out.push_back(std::move(cookie));
                ++count;
            }
        }
    } catch (const pt::ptree_bad_path& e) {
        TVC_LOG_ERROR("%s: ptree_bad_path exception: %s\n", fn, e.what());
        return false;
    } catch (const pt::ptree_bad_data& e) {
        TVC_LOG_ERROR("%s : ptree_bad_data exception: %s\n", fn, e.what());
        return false;
    }
    TVC_LOG_INFO("%s: %zu cookies are added to the internal vector\n", fn, count);
    TVC_LOG_INFO("%s :  Return value is %u\n", fn, 1u);
    return true;
}

void CCookieObserver::OnInterAppMessagingListenerExit(bool) {
    TVC_LOG_WARN("%s %s ++ --", __FILE__, TVC_FN);
}
