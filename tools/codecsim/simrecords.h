#pragma once

#include "simdata.h"

#include <cstdint>
#include <string>

namespace codecsim {

/**
 * The records a codec sends, built from its state. Each is named after its
 * data ("peerList", "version", ...): a versioned answer renames it to "resp"
 * and adds the seq, a push wraps it in an "unso", an old codec sends it bare.
 */
namespace records {

/** @p shortKeys: the password only as "pw" and the tunnel flag only as "weftline". */
Message peerList(const CodecState &s, const Descriptions &d, uint64_t now, bool shortKeys = false);
Message profileList(const CodecState &s);
Message channelList(const CodecState &s);
Message sysOptions(const CodecState &s);
Message directoryServer(const CodecState &s);
Message version(const CodecState &s);
Message weftlineSettings(const CodecState &s, const Descriptions &d);
Message tunnelStatus(const CodecState &s);
/** The "node" element of the tunnel status: one "sess" while a tunnel session exists. */
Message tunnelNode(const CodecState &s);
Message sipProxy(const CodecState &s);
Message currentEncoder(const CodecState &s, const Descriptions &d);

/** Sets @p key as an attribute and as a child element whose text is the value, so either reading works. */
void setBoth(Message &m, const std::string &key, const std::string &value);
void setBothFlag(Message &m, const std::string &key, bool value);

/** A subscription notice: <unso id=ID> wrapping @p payload. */
Message notice(const std::string &id, const Message &payload);
/**
 * A notice that readers also take as the record itself: the payload's
 * attributes on the unso, the payload as its first child, then the payload's
 * own children.
 */
Message flatNotice(const std::string &id, const Message &payload);
/** A pushed record: <unso id="unso"> wrapping @p record. */
Message pushed(const Message &record);

} // namespace records

} // namespace codecsim
