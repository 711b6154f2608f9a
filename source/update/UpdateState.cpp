#include "update/UpdateState.h"

#include <boost/archive/archive_exception.hpp>
#include <boost/archive/text_iarchive.hpp>
#include <boost/archive/text_oarchive.hpp>
#include <sstream>
#include <stdexcept>

template <class Archive>
void UpdateStateHandle::serialize(Archive& ar, const unsigned int classVersion) {
    if (classVersion != 0)
        throw boost::archive::archive_exception(
            boost::archive::archive_exception::unsupported_class_version);
    ar& m_strVersion;
    ar& m_strInstallerPath;
    ar& m_iState;
}

namespace tvc::update {
namespace {
// The archive is "<n> serialization::archive <library> <tracking> <class version>" followed by
// the two strings as "<length> <bytes>" and the state. Boost sizes a string before reading it, so
// each length is checked against what the text still holds.
void CheckStringLengths(const std::string& text) {
    std::istringstream in(text);
    std::string signatureLength, signature, library, tracking, classVersion;
    in >> signatureLength >> signature >> library >> tracking >> classVersion;
    for (int i = 0; i < 2 && in; ++i) {
        std::string length;
        in >> length;
        if (length.empty() || length.size() > 6 ||
            length.find_first_not_of("0123456789") != std::string::npos)
            throw std::runtime_error("state file: bad string length");
        const auto size = static_cast<std::streamoff>(std::stoul(length));
        const std::streamoff rest = static_cast<std::streamoff>(text.size()) - in.tellg();
        if (size + 1 > rest) throw std::runtime_error("state file: string longer than the file");
        in.seekg(size + 1, std::ios::cur);
    }
    if (!in) throw std::runtime_error("state file: truncated");
}
}  // namespace

std::string SerializeUpdateState(const UpdateStateHandle& state) {
    std::ostringstream out;
    {
        boost::archive::text_oarchive archive(out);
        archive << state;
    }
    return out.str();
}

UpdateStateHandle DeserializeUpdateState(const std::string& text) {
    if (text.size() > kMaxStateFileSize) throw std::runtime_error("state file: too large");
    CheckStringLengths(text);
    std::istringstream in(text);
    boost::archive::text_iarchive archive(in);
    UpdateStateHandle state;
    archive >> state;
    return state;
}
}  // namespace tvc::update
