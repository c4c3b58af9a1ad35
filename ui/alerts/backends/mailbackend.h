#pragma once

// What the program and the mail module (libquorvane-mail.so) share: one SMTP
// transfer in, its outcome out. Both are built together from this header.

#include <QByteArray>
#include <QString>

#include <atomic>

/** How one delivery went; @p error holds the transfer error and the server's last answer. */
struct SmtpResult
{
    bool ok = false;
    QString error;
    /** The server's first refusal ("554 5.7.1 Refused"), else its last reply; empty when it never answered. */
    QString serverReply;
};

/** One mail handed to one server, ready for the wire. */
struct SmtpTransfer
{
    QByteArray url;
    QByteArray from; // "<ops@example.org>"
    QByteArray to;
    QByteArray user; // empty: no login
    QByteArray password;
    QByteArray payload;
    bool startTls = false;
    long connectTimeoutSeconds = 0;
    long transferTimeoutSeconds = 0;
    const std::atomic<bool> *cancel = nullptr;
};

/** Blocking: runs the transfer to its end, or until @p transfer.cancel turns true. */
using SmtpTransferFunction = void (*)(const SmtpTransfer &transfer, SmtpResult &result);
constexpr char SmtpTransferSymbol[] = "quorvane_smtp_transfer";
