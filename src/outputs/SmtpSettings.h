#pragma once

#include "SettingsFile.h"

#include <QString>

#include <cstdint>

// The e-mail sender's settings; each mailing works on its own copy.
struct SmtpSettings
{
    QString fromAddress;
    QString toAddress; // one or more addresses separated by commas, as typed
    QString server;
    std::uint16_t port = 25;
    QString filename = QStringLiteral("Pixlet Image.jpg"); // a time-token template
    QString subject;                                       // a time-token template

    friend bool operator==(const SmtpSettings&, const SmtpSettings&) = default;

    // The six keys; the port keeps the low 16 bits of the number.
    static SmtpSettings Read(const SettingsList& list);
    // Server, port, subject, file name, recipients, sender, then one empty line.
    void Write(SettingsList& list) const;
};

// The recipients: the comma-separated fields in order, each trimmed, up to the first empty one
// (a field of blanks alone is not empty: it gives an empty address).
QStringList SplitRecipients(const QString& toAddress);
