#include "ctlsession.h"

namespace qvctl {

CtlSession::CtlSession(const QUuid &uuid, IQManager *manager)
    : IPCObject(uuid, manager)
{
}

void CtlSession::handleResponse(const Message &message)
{
    if (!isClosing() && message.has_attribute("fail") && message.get_string("fail") != "false") {
        emit codecRefused(get_qstring(message, "seq"), message.get_int("error_code"),
                          get_qstring(message, "error_text"));
    }
    IPCObject::handleResponse(message);
}

} // namespace qvctl
