#pragma once

#include <QString>
#include <QStringList>

// What a server offers in its reply to EHLO: one keyword per line after the first, some with
// parameters ("AUTH PLAIN LOGIN", "SIZE 1000000"). Only the first MaxLines lines are read and a
// line longer than MaxLineLength is skipped, so a server cannot make the list grow with it.
class SmtpCapabilities final
{
public:
    static constexpr int MaxLines = 64;
    static constexpr qsizetype MaxLineLength = 512;

    SmtpCapabilities() = default;
    // `reply` is the whole reply, line ends included.
    static SmtpCapabilities Parse(const QString& reply);

    // Upper-case keywords in the server's order, each once.
    const QStringList& Keywords() const { return keywords_; }
    bool Has(const QString& keyword) const { return keywords_.contains(keyword); }
    // The upper-case mechanisms of every AUTH line (and the old "AUTH=" form).
    const QStringList& AuthMechanisms() const { return mechanisms_; }

private:
    QStringList keywords_;
    QStringList mechanisms_;
};
