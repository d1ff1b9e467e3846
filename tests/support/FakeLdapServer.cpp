// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "FakeLdapServer.h"

#include "LoopbackService.h"

#include <arpa/inet.h>
#include <cerrno>
#include <lber.h>
#include <ldap.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace stelvo::test {

namespace {

void sendMessage(int client, BerElement* ber)
{
    berval* flat = nullptr;
    if (ber_flatten(ber, &flat) == 0) {
        [[maybe_unused]] const ssize_t sent =
            ::send(client, flat->bv_val, flat->bv_len, MSG_NOSIGNAL);
        ber_bvfree(flat);
    }
    ber_free(ber, 1);
}

void sendEntry(int client, int messageId, const FakeLdapServer::Entry& entry)
{
    BerElement* ber = ber_alloc_t(LBER_USE_DER);
    ber_printf(ber, "{it{o{{s[", messageId, LDAP_RES_SEARCH_ENTRY, entry.dn.constData(),
               static_cast<ber_len_t>(entry.dn.size()), "objectClass");
    for (const QByteArray& value : entry.objectClasses)
        ber_printf(ber, "o", value.constData(), static_cast<ber_len_t>(value.size()));
    ber_printf(ber, "]}}}}");
    sendMessage(client, ber);
}

// The result of `operation` (a bind, extended or search request).
void sendResult(int client, int messageId, unsigned long operation,
                const FakeLdapServer::Reply& reply)
{
    const ber_tag_t tag = operation == LDAP_REQ_BIND       ? LDAP_RES_BIND
                          : operation == LDAP_REQ_EXTENDED ? LDAP_RES_EXTENDED
                                                           : LDAP_RES_SEARCH_RESULT;
    BerElement* ber = ber_alloc_t(LBER_USE_DER);
    ber_printf(ber, "{it{ess}", messageId, tag, reply.resultCode, "", reply.diagnostic.constData());
    if (operation == LDAP_REQ_SEARCH && !reply.pageControl.isNull()) {
        berval value{static_cast<ber_len_t>(reply.pageControl.size()),
                     const_cast<char*>(reply.pageControl.constData())};
        ber_printf(ber, "t{{sO}}", LDAP_TAG_CONTROLS, LDAP_CONTROL_PAGEDRESULTS, &value);
    }
    ber_printf(ber, "}");
    sendMessage(client, ber);
}

} // namespace

FakeLdapServer::FakeLdapServer(QList<Reply> script) : m_script(std::move(script)) {}

FakeLdapServer::~FakeLdapServer() = default;

FakeLdapServer::Reply FakeLdapServer::holding()
{
    Reply reply;
    reply.hold = true;
    return reply;
}

FakeLdapServer::Reply FakeLdapServer::page(QList<Entry> entries, const QByteArray& cookie)
{
    Reply reply;
    reply.entries = std::move(entries);
    reply.pageControl = pageControl(cookie);
    return reply;
}

FakeLdapServer::Reply FakeLdapServer::result(int resultCode, const QByteArray& diagnostic)
{
    Reply reply;
    reply.resultCode = resultCode;
    reply.diagnostic = diagnostic;
    return reply;
}

QByteArray FakeLdapServer::pageControl(const QByteArray& cookie)
{
    BerElement* ber = ber_alloc_t(LBER_USE_DER);
    berval value{static_cast<ber_len_t>(cookie.size()), const_cast<char*>(cookie.constData())};
    ber_printf(ber, "{iO}", 0, &value);
    berval* flat = nullptr;
    QByteArray out;
    if (ber_flatten(ber, &flat) == 0) {
        out = QByteArray(flat->bv_val, static_cast<qsizetype>(flat->bv_len));
        ber_bvfree(flat);
    }
    ber_free(ber, 1);
    return out;
}

bool FakeLdapServer::start()
{
    return m_service.start([this] { serve(); });
}

QString FakeLdapServer::url(const QString& dn, bool ldaps) const
{
    return QStringLiteral("%1://127.0.0.1:%2/%3")
        .arg(ldaps ? QStringLiteral("ldaps") : QStringLiteral("ldap"))
        .arg(m_service.port())
        .arg(dn);
}

bool FakeLdapServer::waitUntilHolding(int ms) const
{
    return waitUntilSet(m_holding, ms);
}

void FakeLdapServer::serve()
{
    for (;;) {
        if (!waitReadable(m_service.listener()))
            return;
        const int client = ::accept4(m_service.listener(), nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        const bool goOn = converse(client);
        ::close(client);
        if (!goOn)
            return;
    }
}

bool FakeLdapServer::waitReadable(int fd)
{
    pollfd fds[2] = {{fd, POLLIN, 0}, {m_service.stopSignal(), POLLIN, 0}};
    while (::poll(fds, 2, -1) < 0) {
        if (errno != EINTR)
            return false;
    }
    return (fds[1].revents & POLLIN) == 0;
}

void FakeLdapServer::hold()
{
    m_holding = true;
    pollfd stop{m_service.stopSignal(), POLLIN, 0};
    while (::poll(&stop, 1, -1) < 0 && errno == EINTR) {
    }
}

bool FakeLdapServer::converse(int client)
{
    Sockbuf* sb = ber_sockbuf_alloc();
    ber_sockbuf_add_io(sb, &ber_sockbuf_io_tcp, LBER_SBIOD_LEVEL_PROVIDER, &client);
    bool goOn = true;
    for (;;) {
        if (m_next >= m_script.size() || m_script.at(m_next).hold) {
            hold();
            goOn = false;
            break;
        }
        BerElement* request = ber_alloc_t(0);
        ber_len_t length = 0;
        ber_tag_t tag = LBER_DEFAULT;
        // Read only what came, so that stopping the server is never blocked;
        // liblber takes a message that comes in parts part by part.
        do {
            goOn = waitReadable(client);
            if (goOn)
                tag = ber_get_next(sb, &length, request);
        } while (goOn && tag == LBER_DEFAULT && errno == EWOULDBLOCK);
        ber_int_t messageId = 0;
        ber_tag_t operation = LBER_DEFAULT;
        // ber_get_next has read the message's own tag and length.
        if (tag != LBER_DEFAULT && ber_get_int(request, &messageId) != LBER_ERROR)
            operation = ber_peek_tag(request, &length);
        ber_free(request, 1);
        if (!goOn || operation == LBER_DEFAULT || operation == LDAP_REQ_UNBIND)
            break;
        if (operation == LDAP_REQ_ABANDON)
            continue;
        answer(client, messageId, operation, m_script.at(m_next++));
    }
    // The socket stays the caller's to close.
    ber_sockbuf_remove_io(sb, &ber_sockbuf_io_tcp, LBER_SBIOD_LEVEL_PROVIDER);
    ber_sockbuf_free(sb);
    return goOn;
}

void FakeLdapServer::answer(int client, int messageId, unsigned long operation, const Reply& reply)
{
    if (operation == LDAP_REQ_SEARCH) {
        for (const Entry& entry : reply.entries)
            sendEntry(client, messageId, entry);
    }
    sendResult(client, messageId, operation, reply);
}

} // namespace stelvo::test
