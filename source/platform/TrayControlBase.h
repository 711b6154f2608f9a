// The tray icon's content: its tooltip and its menu. What puts it on the desktop derives from this.
// Main thread only.
#pragma once

#include <map>
#include <string>

namespace tvc::platform {
class CTrayControlBase {
  public:
    virtual ~CTrayControlBase() = default;

    // Used at the next Initialize.
    bool SetToolTipText(const std::string& text);
    // Inserts or replaces the item `id`; the menu lists the items in ascending id order.
    bool SetMenuInfo(unsigned id, const std::string& text);
    // Puts the icon up (again); false when it could not be shown.
    virtual bool Initialize() = 0;

  protected:
    std::string m_strToolTipText;
    std::map<unsigned, std::string> m_mapTrayControlData;
};
}  // namespace tvc::platform
