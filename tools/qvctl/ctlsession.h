#pragma once

#include "ipcobject.h"

#include <QObject>
#include <QString>

namespace qvctl {

/**
 * The device session as the desktop program runs it, plus what a
 * command-line client must notice that the session itself lets pass: the
 * codec's error answers (the session drops seq-less ones). They are
 * reported, then handed to the session as usual. Why a connection failed and
 * which frames did not read come with the endpoint's connectionFailed and
 * frameRejected signals.
 */
class CtlSession : public IPCObject
{
    Q_OBJECT
public:
    explicit CtlSession(const QUuid &uuid, IQManager *manager);

signals:
    /** An answer with "fail": its seq (empty when it has none), error code and text. Loop thread. */
    void codecRefused(QString seq, int code, QString text);

protected:
    void handleResponse(const Message &message) override;
};

} // namespace qvctl
