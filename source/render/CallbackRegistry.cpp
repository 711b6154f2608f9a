#include "render/CallbackRegistry.h"

#include "common/LogHelper.h"

namespace tvc::render {

CallbackCtxType::~CallbackCtxType() {
    TVC_LOG_INFO("CallbackCtxType DTOR ctx: %p\n", static_cast<void*>(m_pContext.get()));
}

void CCallbackRegistry::Add(const std::string& name, CallbackCtxType entry) {
    entry.m_uiSerial = m_uiNextSerial++;
    // A multimap inserts behind the equal keys already present.
    m_map.emplace(name, std::move(entry));
}

bool CCallbackRegistry::RemoveFirst(const std::string& name) {
    auto it = m_map.find(name);
    if (it == m_map.end()) return false;
    m_map.erase(it);
    return true;
}

std::vector<CallbackCtxType> CCallbackRegistry::Snapshot(const std::string& name) const {
    std::vector<CallbackCtxType> out;
    auto [first, last] = m_map.equal_range(name);
    for (auto it = first; it != last; ++it) out.push_back(it->second);
    return out;
}

bool CCallbackRegistry::Contains(std::uint64_t serial) const {
    for (const auto& [name, entry] : m_map)
        if (entry.m_uiSerial == serial) return true;
    return false;
}

void CCallbackRegistry::ReleaseContext(const engine::JSContextRef& context) {
    TVC_LOG_INFO("CJavascriptHandler::ReleaseContext ++  %p \n", static_cast<void*>(context.get()));
    for (auto it = m_map.begin(); it != m_map.end();) {
        const auto& entryContext = it->second.m_pContext;
        if (!entryContext || !context) {
            TVC_LOG_INFO("CJavascriptHandler::ReleaseContext skipping-NULLREF \n");
            ++it;
        } else if (entryContext->IsSame(*context)) {
            TVC_LOG_INFO("CJavascriptHandler::ReleaseContext cleaning up %p \n",
                         static_cast<void*>(entryContext.get()));
            it = m_map.erase(it);
        } else {
            TVC_LOG_INFO("CJavascriptHandler::ReleaseContext skipping %p \n",
                         static_cast<void*>(entryContext.get()));
            ++it;
        }
    }
}
}  // namespace tvc::render
