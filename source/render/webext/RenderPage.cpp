#include "render/webext/RenderPage.h"

#include "common/LogHelper.h"
#include "common/ProcessMessages.h"
#include "glibutil/VariantConvert.h"

namespace tvc::render::webext {

engine::RenderFrameRef CRenderPage::GetMainFrame() {
    for (const auto& [id, frame] : m_frames)
        if (frame->IsMain()) return frame;
    return nullptr;
}

bool CRenderPage::SendProcessMessage(const engine::ProcessMessage& message) {
    if (!m_page) {
        TVC_LOG_ERROR("%s : %s : the page is gone", TVC_FN, message.name.c_str());
        return false;
    }
    // What the browser process hears may end this process (a quit, a closed page): what was
    // logged before it is in the file first. A page's inter-app message never does, and a flood
    // of them would each wait for the file; their lines leave with the writer's next batch.
    if (message.name != msg::kNativeMessageFromTvdJs) CLogHelper::Flush();
    // Both are floating and consumed by the send.
    WebKitUserMessage* userMessage =
        webkit_user_message_new(message.name.c_str(), glib::ToVariant(message.args));
    webkit_web_page_send_message_to_view(m_page, userMessage, nullptr, nullptr, nullptr);
    return true;
}

std::shared_ptr<CRenderFrame> CRenderPage::FrameFor(WebKitFrame* frame) {
    long long id = static_cast<long long>(webkit_frame_get_id(frame));
    auto& slot = m_frames[id];
    if (!slot) slot = std::make_shared<CRenderFrame>(id, webkit_frame_is_main_frame(frame));
    const char* uri = webkit_frame_get_uri(frame);
    slot->SetURL(uri ? uri : "");
    return slot;
}
}  // namespace tvc::render::webext
