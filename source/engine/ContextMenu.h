// The context menu as the handler sees it while it is being built.
#pragma once

#include <string>

namespace tvc::engine {
// Bits of the menu's context, as the handler tests them.
enum ContextMenuTypeFlags {
    CM_TYPEFLAG_PAGE = 1 << 0,
    CM_TYPEFLAG_FRAME = 1 << 1,
    CM_TYPEFLAG_LINK = 1 << 2
};

struct ContextMenuParams {
    int typeFlags = 0;
    int x = 0, y = 0;  // where the menu was asked for, in view coordinates
};

class IContextMenuModel {
  public:
    virtual ~IContextMenuModel() = default;
    virtual int GetCount() const = 0;
    virtual void AddSeparator() = 0;
    virtual void AddItem(int commandId, const std::string& label) = 0;
};

enum class TerminationStatus { AbnormalTermination, ProcessWasKilled, ProcessCrashed, MemoryLimit };
}  // namespace tvc::engine
