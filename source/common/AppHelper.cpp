#include "common/AppHelper.h"

#include <sstream>

#include "common/LogHelper.h"

namespace {
bool s_bIsApplicationWindowCloseExpected = false;  // main thread
}

bool CAppHelper::CreateInterAppResponceMessage(const std::string& subType,
                                               const std::string& request, int status,
                                               std::string& out) {
    static const char* fn = TVC_FN;
    std::ostringstream header, subTypePart, statusPart, payload, requestPart, tailer, result;
    header << "{\"source\": \"tvd.native\", \"target\": \"browser.webapp.js\", \"message\": "
              "{\"type\": \"response\",";
    subTypePart << "\"sub_type\": \"" << subType << "\", ";
    statusPart << "\"status\": \"" << status << "\", ";
    payload << "\"payload\": {\"request\": ";
    requestPart << request;
    tailer << "} }, \"umid\": \"xxx\" }";
    TVC_LOG_INFO("%s : header : %s\n", fn, header.str().c_str());
    TVC_LOG_INFO("%s : sub_type : %s\n", fn, subTypePart.str().c_str());
    TVC_LOG_INFO("%s : status : %s\n", fn, statusPart.str().c_str());
    TVC_LOG_INFO("%s : payload : %s\n", fn, payload.str().c_str());
    // The request may carry cookies: only its size is logged.
    TVC_LOG_INFO("%s : request : (%zu bytes)\n", fn, request.size());
    TVC_LOG_INFO("%s : tailer : %s\n", fn, tailer.str().c_str());
    result << header.str() << subTypePart.str() << statusPart.str() << payload.str()
           << requestPart.str() << tailer.str();
    out = result.str();
    TVC_LOG_WARN("%s : JSON response is %s%s%s\n", fn,
                 (header.str() + subTypePart.str() + statusPart.str() + payload.str()).c_str(),
                 ("(request of " + std::to_string(request.size()) + " bytes)").c_str(),
                 tailer.str().c_str());
    return !out.empty();
}

void CAppHelper::SetIsApplicationWindowCloseExpected() {
    s_bIsApplicationWindowCloseExpected = true;
    TVC_LOG_WARN("%s : shouldClose=%d ++ --", TVC_FN, 1);
}

bool CAppHelper::GetIsApplicationWindowCloseExpected() {
    const bool value = s_bIsApplicationWindowCloseExpected;
    TVC_LOG_WARN("%s : shouldClose=%d ++ --", TVC_FN, value ? 1 : 0);
    return value;
}
