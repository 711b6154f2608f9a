// The record of a verified installer download ("UpdateStateDetails.txt"): one UpdateStateHandle in
// a Boost text archive, class version 0, members written as version, installer path, state.
#pragma once

#include <boost/serialization/access.hpp>
#include <boost/serialization/string.hpp>
#include <boost/serialization/version.hpp>
#include <string>

class UpdateStateHandle {
  public:
    UpdateStateHandle() = default;
    UpdateStateHandle(std::string installerPath, std::string version, int state)
        : m_strInstallerPath(std::move(installerPath)),
          m_strVersion(std::move(version)),
          m_iState(state) {}
    virtual ~UpdateStateHandle() = default;

    std::string m_strInstallerPath;
    std::string m_strVersion;
    int m_iState = 0;

  private:
    friend class boost::serialization::access;
    template <class Archive>
    void serialize(Archive& ar, const unsigned int classVersion);
};
BOOST_CLASS_VERSION(UpdateStateHandle, 0)

namespace tvc::update {
// Larger files are not state files.
inline constexpr size_t kMaxStateFileSize = 64 * 1024;

// Both throw boost::archive::archive_exception or std::exception; the reader also for text whose
// string lengths cannot be right (so a corrupt length never becomes a huge allocation).
std::string SerializeUpdateState(const UpdateStateHandle& state);
UpdateStateHandle DeserializeUpdateState(const std::string& text);
}  // namespace tvc::update
