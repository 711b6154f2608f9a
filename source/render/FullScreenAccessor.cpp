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
        TVC_LOG_ERROR("FullScreenAccessor::Get Invalid argument %s\n", name.c_str());
        return false;
    }
    if (name != kProperty) {
        TVC_LOG_ERROR("FullScreenAccessor::Get Prop doesnot exists%s : %s\n", "", name.c_str());
        return false;
    }
    if (!context) return false;
    retval = context->NewBool(m_bFullScreen);
    return true;
}

bool FullScreenAccessor::Set(const std::string& name, const engine::JSContextRef&,
                             const engine::JSValueRef& value, std::string& exception) {
    if (name.empty() || !value) {
        TVC_LOG_ERROR("FullScreenAccessor::Set Invalid argument %s\n", name.c_str());
        return false;
    }
    if (name != kProperty) {
        TVC_LOG_ERROR("FullScreenAccessor::Set Prop doesnot exists%s : %s\n", "", name.c_str());
        return false;
    }
    if (!value->IsBool()) {
        exception = "Invalid value type";
        return false;
    }
    const bool on = value->GetBoolValue();
    TVC_LOG_WARN("FullScreenAccessor::Set setting full screen state %d\n", on ? 1 : 0);
    if (on == m_bFullScreen) return true;
    // Stored before the send: a failed send is not retried by a repeated assignment.
    m_bFullScreen = on;
    if (!m_pBrowser) {
        TVC_LOG_ERROR("FullScreenAccessor::Set browser-ref-NULL\n");
        return false;
    }
    return m_pBrowser->SendProcessMessage({msg::kFullScreen, {on}});
}
}  // namespace tvc::render
