#pragma once

#include <QString>

/** Where alert e-mails go out: one SMTP server, kept in the configuration file. */
struct MailServerSettings
{
    enum Security { None = 0, StartTls = 1, Tls = 2 };

    QString host;
    int port = 25;
    Security security = None;
    QString user;
    QString password;
    QString sender;

    bool isConfigured() const { return !host.isEmpty() && !sender.isEmpty(); }
    bool operator==(const MailServerSettings &o) const
    {
        return host == o.host && port == o.port && security == o.security && user == o.user
            && password == o.password && sender == o.sender;
    }
    bool operator!=(const MailServerSettings &o) const { return !(*this == o); }
};
