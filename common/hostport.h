#pragma once

#include <QString>

// An address as the command line and the settings take it, for the analyzer
// and for the fleet's broker alike: HOST, HOST:PORT, [IPV6] or [IPV6]:PORT.
// Each caller words its own message for a problem.
struct HostPort
{
    enum Problem
    {
        None,
        NoClosingBracket,    // "[::1:4001"
        TextAfterBracket,    // "[::1]4001"
        NoPortAfterColon,    // "host:"
        Ipv6WithoutBrackets, // "::1:4001" cannot say where the port starts
        NoHost,
        BlankInHost,
        BadPort // not a number from 1 to 65535
    };

    QString host;     // without the brackets
    int port = 0;     // the default port when none is written
    QString portText; // as written, empty when none
    Problem problem = None;

    static HostPort parse(const QString &text, int defaultPort);
    // "host:port", an IPv6 address in brackets.
    static QString join(const QString &host, int port);
};
