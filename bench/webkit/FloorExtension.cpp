// The web-process half of the user-message floor: answers every message with its own arguments.
#include <webkit2/webkit-web-extension.h>

namespace {
gboolean OnUserMessage(WebKitWebPage*, WebKitUserMessage* message, gpointer) {
    WebKitUserMessage* reply = webkit_user_message_new(webkit_user_message_get_name(message),
                                                       webkit_user_message_get_parameters(message));
    webkit_user_message_send_reply(message, reply);
    return TRUE;
}

void OnPageCreated(WebKitWebExtension*, WebKitWebPage* page, gpointer) {
    g_signal_connect(page, "user-message-received", G_CALLBACK(OnUserMessage), nullptr);
}
}  // namespace

extern "C" G_MODULE_EXPORT void webkit_web_extension_initialize(WebKitWebExtension* extension) {
    g_signal_connect(extension, "page-created", G_CALLBACK(OnPageCreated), nullptr);
}
