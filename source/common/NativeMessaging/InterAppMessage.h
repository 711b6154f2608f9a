// One inbound inter-app message, parsed once on arrival; every observer reads this instead of
// parsing the text again.
#pragma once

#include <boost/property_tree/ptree.hpp>
#include <memory>
#include <string>

struct SInterAppMessage {
    std::string text;    // the complete text as it arrived, forwarded unchanged
    int connection = 0;  // the transport's id of the connection it came on
    bool bIsJson = false;
    // Read as QueryJson reads them: a string's characters, a number's literal, "" for an object.
    bool bHasTarget = false;
    std::string target;
    bool bHasType = false;
    std::string type;  // "message.type"
    bool bHasSubType = false;
    std::string subType;  // "message.sub_type"
    // The parsed form, for payload reads; empty when the text is not JSON.
    std::shared_ptr<const boost::property_tree::ptree> tree;
    // Counts the text as waiting for the page while it or a copy lives: whoever hands the text on
    // keeps a copy with it.
    std::shared_ptr<const void> backlogHold;

    // False when "target" could not be read (IsMessageTargetedToNativeModule's failure).
    bool IsTargetRead() const { return bHasTarget; }
    bool IsNative() const;
    // Any dotted path, read from the parsed form with QueryJson's values and error lines.
    bool Query(const std::string& valuePath, std::string& valOut) const;
};

// Logs a text that is not JSON, or has no "target", once, with QueryJson's lines.
SInterAppMessage ParseInterAppMessage(std::string text);
