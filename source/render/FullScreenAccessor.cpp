#include "render/FullScreenAccessor.h"

#include "common/LogHelper.h"
#include "common/ProcessMessages.h"

namespace tvc::render {
namespace {
constexpr const char* kProperty = "fullscreen";
}

bool FullScreenAccessor::Get(const std::string& name, const engine::JSContextRef& context,
                             engine::JSValueRef& retval, std::string&) {
    if (name.empty()) {
        TVC_LOG_ERROR("%s Invalid argument %s\n", TVC_FN, name.c_str());
        return false;
    }
    if (name != kProperty) {
        TVC_LOG_ERROR("%s Prop doesnot exists%s : %s\n", TVC_FN, "", name.c_str());
        return false;
    }
    if (!context) return false;
    retval = context->NewBool(m_bFullScreen);
    return true;
}

bool FullScreenAccessor::Set(const std::string& name, const engine::JSContextRef&,
                             const engine::JSValueRef& value, std::string& exception) {
    if (name.empty() || !value) {
        TVC_LOG_ERROR("%s Invalid argument %s\n", TVC_FN, name.c_str());
        return false;
    }
    if (name != kProperty) {
        TVC_LOG_ERROR("%s Prop doesnot exists%s : %s\n", TVC_FN, "", name.c_str());
        return false;
    }
    if (!value->IsBool()) {
        exception = "Invalid value type";
        return false;
    }
    const bool on = value->GetBoolValue();
    TVC_LOG_WARN("%s setting full screen state %d\n", TVC_FN, on ? 1 : 0);
    if (on == m_bFullScreen) return true;
    // Stored before the send: a failed send is not retried by a repeated assignment.
    m_bFullScreen = on;
    if (!m_pBrowser) {
        TVC_LOG_ERROR("%s browser-ref-NULL\n", TVC_FN);
        return false;
    }
    return m_pBrowser->SendProcessMessage({msg::kFullScreen, {on}});
}
}  // namespace tvc::render
