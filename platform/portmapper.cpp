#include "platform/portmapper.h"

#include "platform/publicaddress.h"
#include "platform/upnpworker.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QSocketNotifier>

#include <algorithm>
#include <natpmp.h>
#include <poll.h>

namespace {

using namespace std::chrono_literals;

constexpr auto answerBudget = 10s;
constexpr auto removeBudget = 3000ms;
constexpr auto natPmpDeleteBudget = 1000ms;
constexpr quint32 leaseSeconds = 3600;
constexpr quint32 longestRenewal = leaseSeconds / 2;
constexpr int randomPorts = 4;
const QString natPmpName = QStringLiteral("NAT-PMP");
const QString upnpName = QStringLiteral("UPnP");

bool isNatPmpServerError(int error)
{
    return error >= NATPMP_ERR_OUTOFRESOURCES && error <= NATPMP_ERR_UNDEFINEDERROR;
}

// UPnP codes as the router gives them; NAT-PMP's as the codes on the wire (libnatpmp
// hands them on as -49 minus the code).
QString refusalReason(int upnpCode)
{
    switch (upnpCode) {
    case 606: // Action not authorized
    case 729: // ConflictWithOtherMechanisms: forwarding is off in the router
        return QStringLiteral("ルーターがポートの転送を許可していません");
    case 728: // NoPortMapsAvailable
        return QStringLiteral("ルーターの転送表がいっぱいです");
    default:
        return QStringLiteral("ルーターが要求を拒否しました（エラー %1）").arg(upnpCode);
    }
}

QString natPmpRefusalReason(int error)
{
    switch (error) {
    case NATPMP_ERR_NOTAUTHORIZED:
        return refusalReason(606);
    case NATPMP_ERR_OUTOFRESOURCES:
        return refusalReason(728);
    default:
        return QStringLiteral("ルーターが要求を拒否しました（エラー %1）").arg(-error - 49);
    }
}

} // namespace

struct PortMapper::NatPmp
{
    enum class Step {
        Address,      // asked for the outside address
        Mapping,      // asked for a forward
        Mapped,       // holds a forward, renewed at half its lease
        Renewing,     // asked to renew it
        StandingDown, // UPnP won while a forward was asked for: its answer is undone
        Kept,         // the same forward as UPnP's, deleted by remove()
    };
    natpmp_t handle{};
    bool initialised = false;
    std::unique_ptr<QSocketNotifier> notifier;
    Step step = Step::Address;
    std::size_t candidate = 0;
    QString address;
    quint16 granted = 0;
    quint16 keptPort = 0;
    int refusal = 0;

    ~NatPmp()
    {
        if (notifier) {
            // It may be the one whose signal is being handled now.
            notifier->setEnabled(false);
            notifier.release()->deleteLater();
        }
        if (initialised)
            closenatpmp(&handle);
    }
};

PortMapper::PortMapper(QObject *parent) : QObject(parent)
{
    m_budget.setSingleShot(true);
    m_natPmpRetry.setSingleShot(true);
    m_natPmpRenew.setSingleShot(true);
    connect(&m_budget, &QTimer::timeout, this, [this] {
        if (m_status.state == RouterStatus::State::Asking)
            endAll(withoutForward(Protocol::NatPmp));
    });
    connect(&m_natPmpRetry, &QTimer::timeout, this, &PortMapper::natPmpEvent);
    connect(&m_natPmpRenew, &QTimer::timeout, this, [this] {
        if (!m_natPmp || m_natPmp->step != NatPmp::Step::Mapped)
            return;
        m_natPmp->step = NatPmp::Step::Renewing;
        natPmpRequestMapping(m_natPmp->granted);
    });
}

PortMapper::~PortMapper()
{
    remove();
}

std::vector<quint16> PortMapper::candidatePorts(quint16 internalPort)
{
    std::vector<quint16> ports{internalPort};
    if (internalPort + 10000 <= 65535)
        ports.push_back(quint16(internalPort + 10000));
    for (int i = 0; i < randomPorts; ++i)
        ports.push_back(quint16(QRandomGenerator::system()->bounded(1024, 65536)));
    return ports;
}

void PortMapper::open(quint16 internalPort)
{
    if (m_open)
        return;
    m_open = true;
    ++m_round;
    m_internalPort = internalPort;
    m_candidates = candidatePorts(internalPort);
    m_winner = Protocol::None;
    m_natPmpAnswer = {};
    m_upnpAnswer = {};
    RouterStatus asking;
    asking.state = RouterStatus::State::Asking;
    setStatus(asking);
    m_budget.start(answerBudget);
    startNatPmp();
    m_upnp = std::make_unique<UpnpWorker>(
        this, [this, round = m_round](const UpnpAnswer &answer) {
            if (round == m_round)
                upnpAnswered(answer);
        },
        internalPort, m_candidates);
}

void PortMapper::remove()
{
    const QDeadlineTimer deadline(removeBudget);
    m_open = false;
    ++m_round;
    m_budget.stop();
    m_natPmpRetry.stop();
    m_natPmpRenew.stop();
    if (m_upnp)
        m_upnp->standDown(0); // deletes its forward while NAT-PMP deletes its own
    if (m_natPmp) {
        if (m_natPmp->step != NatPmp::Step::Address)
            deleteNatPmpMapping(true);
        m_natPmp.reset();
    }
    if (m_upnp) {
        m_upnp->finish(std::max(0ms, std::chrono::milliseconds(deadline.remainingTime())));
        m_upnp.reset();
    }
    m_winner = Protocol::None;
    setStatus({});
}

void PortMapper::startNatPmp()
{
    m_natPmp = std::make_unique<NatPmp>();
    natpmp_t &handle = m_natPmp->handle;
    if (initnatpmp(&handle, 0, 0) != 0) {
        m_natPmp.reset();
        answered(Protocol::NatPmp, {Outcome::GaveUp});
        return;
    }
    m_natPmp->initialised = true;
    // Parented as well, for the one whose deleteLater() the event loop never reaches.
    m_natPmp->notifier = std::make_unique<QSocketNotifier>(handle.s, QSocketNotifier::Read, this);
    connect(m_natPmp->notifier.get(), &QSocketNotifier::activated, this, &PortMapper::natPmpEvent);
    if (sendpublicaddressrequest(&handle) < 0) {
        natPmpError(NATPMP_ERR_SENDERR);
        return;
    }
    armNatPmpRetry();
}

// Readable socket or retransmission time: libnatpmp reads an answer, or sends the
// request again when its time has come, or gives up after its ninth try.
void PortMapper::natPmpEvent()
{
    if (!m_natPmp)
        return;
    natpmpresp_t response{};
    const int result = readnatpmpresponseorretry(&m_natPmp->handle, &response);
    if (result == NATPMP_TRYAGAIN || result == NATPMP_ERR_WRONGPACKETSOURCE) {
        armNatPmpRetry();
        return;
    }
    m_natPmpRetry.stop();
    m_natPmp->notifier->setEnabled(false);
    if (result < 0) {
        natPmpError(result);
        return;
    }
    if (response.type == NATPMP_RESPTYPE_PUBLICADDRESS)
        natPmpResponse(response.type, QHostAddress(ntohl(response.pnu.publicaddress.addr.s_addr)).toString(), 0, 0);
    else
        natPmpResponse(response.type, {}, response.pnu.newportmapping.mappedpublicport,
                       response.pnu.newportmapping.lifetime);
}

void PortMapper::natPmpResponse(int type, const QString &address, quint16 port, quint32 lifetime)
{
    NatPmp &n = *m_natPmp;
    switch (n.step) {
    case NatPmp::Step::Address:
        if (type != NATPMP_RESPTYPE_PUBLICADDRESS) {
            natPmpError(NATPMP_ERR_UNSUPPORTEDOPCODE);
        } else if (!publicaddress::isPublicIPv4(address)) {
            m_natPmp.reset();
            answered(Protocol::NatPmp, {Outcome::NotPublic, address});
        } else {
            n.address = address;
            n.step = NatPmp::Step::Mapping;
            natPmpRequestMapping(m_candidates.front());
        }
        return;
    case NatPmp::Step::Mapping:
    case NatPmp::Step::Renewing:
        if (type != NATPMP_RESPTYPE_TCPPORTMAPPING) {
            natPmpError(NATPMP_ERR_UNSUPPORTEDOPCODE);
        } else if (port == 0 || lifetime == 0) {
            natPmpError(NATPMP_ERR_UNDEFINEDERROR);
        } else {
            n.granted = port;
            n.step = NatPmp::Step::Mapped;
            m_natPmpRenew.start(std::chrono::seconds(std::clamp(lifetime / 2, quint32(1), longestRenewal)));
            answered(Protocol::NatPmp, {Outcome::Mapped, n.address, port});
        }
        return;
    case NatPmp::Step::StandingDown:
        if (type == NATPMP_RESPTYPE_TCPPORTMAPPING && port != 0 && lifetime != 0) {
            n.granted = port;
            n.step = NatPmp::Step::Mapped;
            standDownNatPmp(n.keptPort);
        } else {
            m_natPmp.reset();
        }
        return;
    case NatPmp::Step::Mapped:
    case NatPmp::Step::Kept:
        return;
    }
}

void PortMapper::natPmpError(int error)
{
    NatPmp &n = *m_natPmp;
    const bool server = isNatPmpServerError(error);
    Answer answer{Outcome::GaveUp};
    switch (n.step) {
    case NatPmp::Step::Address:
        // What a router says when it has no outside address of its own to give, as
        // miniupnpd does when its outside address is private or shared.
        if (error == NATPMP_ERR_NETWORKFAILURE)
            answer = {Outcome::NotPublic};
        else if (server)
            answer = {Outcome::Refused, {}, 0, natPmpRefusalReason(error)};
        break;
    case NatPmp::Step::Mapping:
        if (server) {
            n.refusal = error;
            if (++n.candidate < m_candidates.size()) {
                natPmpRequestMapping(m_candidates[n.candidate]);
                return;
            }
            answer = {Outcome::Refused, {}, 0, natPmpRefusalReason(error)};
        }
        break;
    case NatPmp::Step::Renewing:
        if (server)
            answer = {Outcome::Refused, {}, 0, natPmpRefusalReason(error)};
        break;
    case NatPmp::Step::StandingDown:
    case NatPmp::Step::Mapped:
    case NatPmp::Step::Kept:
        m_natPmp.reset();
        return;
    }
    m_natPmp.reset();
    answered(Protocol::NatPmp, answer);
}

void PortMapper::natPmpRequestMapping(quint16 externalPort)
{
    if (sendnewportmappingrequest(&m_natPmp->handle, NATPMP_PROTOCOL_TCP, m_internalPort, externalPort,
                                  leaseSeconds) < 0) {
        natPmpError(NATPMP_ERR_SENDERR);
        return;
    }
    armNatPmpRetry();
}

void PortMapper::armNatPmpRetry()
{
    timeval timeout{};
    if (getnatpmprequesttimeout(&m_natPmp->handle, &timeout) != 0)
        return;
    const qint64 ms = std::max<qint64>(0, qint64(timeout.tv_sec) * 1000 + (timeout.tv_usec + 999) / 1000);
    m_natPmp->notifier->setEnabled(true);
    m_natPmpRetry.start(std::chrono::milliseconds(ms));
}

// NAT-PMP lost to UPnP, or the round ended: it holds no forward afterwards, except the
// very one UPnP holds (`keptPort`), which both protocols then name in the same router.
void PortMapper::standDownNatPmp(quint16 keptPort)
{
    if (!m_natPmp)
        return;
    m_natPmpRenew.stop();
    NatPmp &n = *m_natPmp;
    switch (n.step) {
    case NatPmp::Step::Address:
        m_natPmp.reset();
        return;
    case NatPmp::Step::Mapping:
        n.step = NatPmp::Step::StandingDown;
        n.keptPort = keptPort;
        return;
    case NatPmp::Step::Mapped:
    case NatPmp::Step::Renewing:
        if (n.granted != 0 && n.granted == keptPort) {
            m_natPmpRetry.stop();
            n.notifier->setEnabled(false);
            n.step = NatPmp::Step::Kept;
            return;
        }
        deleteNatPmpMapping(false);
        m_natPmp.reset();
        return;
    case NatPmp::Step::StandingDown:
    case NatPmp::Step::Kept:
        return;
    }
}

// A lifetime of 0 deletes the forward of the game port. remove() waits for the answer,
// retransmitting as libnatpmp does, for a second at most; otherwise the request goes once.
void PortMapper::deleteNatPmpMapping(bool waitForAnswer)
{
    natpmp_t &handle = m_natPmp->handle;
    m_natPmpRetry.stop();
    m_natPmp->notifier->setEnabled(false);
    if (sendnewportmappingrequest(&handle, NATPMP_PROTOCOL_TCP, m_internalPort, 0, 0) < 0 || !waitForAnswer)
        return;
    const QDeadlineTimer deadline(natPmpDeleteBudget);
    while (!deadline.hasExpired()) {
        timeval timeout{};
        if (getnatpmprequesttimeout(&handle, &timeout) != 0)
            return;
        const qint64 ms = qint64(timeout.tv_sec) * 1000 + (timeout.tv_usec + 999) / 1000;
        pollfd readable{handle.s, POLLIN, 0};
        poll(&readable, 1, int(std::clamp<qint64>(ms, 0, deadline.remainingTime())));
        natpmpresp_t response{};
        const int result = readnatpmpresponseorretry(&handle, &response);
        if (result != NATPMP_TRYAGAIN && result != NATPMP_ERR_WRONGPACKETSOURCE)
            return;
    }
}

void PortMapper::upnpAnswered(const UpnpAnswer &answer)
{
    switch (answer.kind) {
    case UpnpAnswer::Kind::GaveUp:
        answered(Protocol::Upnp, {Outcome::GaveUp});
        return;
    case UpnpAnswer::Kind::NotPublic:
        answered(Protocol::Upnp, {Outcome::NotPublic, answer.address});
        return;
    case UpnpAnswer::Kind::Mapped:
        answered(Protocol::Upnp, {Outcome::Mapped, answer.address, answer.port});
        return;
    case UpnpAnswer::Kind::Refused:
        answered(Protocol::Upnp, {Outcome::Refused, answer.address, 0, refusalReason(answer.error)});
        return;
    }
}

void PortMapper::answered(Protocol protocol, const Answer &answer)
{
    (protocol == Protocol::NatPmp ? m_natPmpAnswer : m_upnpAnswer) = answer;
    const Answer &other = protocol == Protocol::NatPmp ? m_upnpAnswer : m_natPmpAnswer;
    RouterStatus status;
    status.method = protocol == Protocol::NatPmp ? natPmpName : upnpName;
    status.externalAddress = answer.address;

    if (m_winner != Protocol::None) {
        if (protocol != m_winner)
            return;
        // The winner's renewal: the router may move the forward, or drop it.
        if (answer.outcome == Outcome::Mapped) {
            status.state = RouterStatus::State::Mapped;
            status.externalPort = answer.port;
            setStatus(status);
        } else {
            status.state = answer.outcome == Outcome::Refused ? RouterStatus::State::Refused
                                                              : RouterStatus::State::NoRouter;
            status.reason = answer.reason;
            status.externalAddress.clear();
            endAll(status);
        }
        return;
    }
    if (m_status.state != RouterStatus::State::Asking)
        return;

    switch (answer.outcome) {
    case Outcome::Mapped:
        m_winner = protocol;
        m_budget.stop();
        if (protocol == Protocol::NatPmp) {
            if (m_upnp)
                m_upnp->standDown(answer.port);
        } else {
            standDownNatPmp(answer.port);
        }
        status.state = RouterStatus::State::Mapped;
        status.externalPort = answer.port;
        setStatus(status);
        return;
    case Outcome::NotPublic:
        // One router, one outside address: the other protocol can do no better.
        status.state = RouterStatus::State::NotPublic;
        endAll(status);
        return;
    case Outcome::Pending:
    case Outcome::GaveUp:
    case Outcome::Refused:
        break;
    }
    if (other.outcome != Outcome::Pending)
        endAll(withoutForward(protocol));
}

RouterStatus PortMapper::withoutForward(Protocol first) const
{
    const Answer &a = first == Protocol::NatPmp ? m_natPmpAnswer : m_upnpAnswer;
    const Answer &b = first == Protocol::NatPmp ? m_upnpAnswer : m_natPmpAnswer;
    const Answer *refused = a.outcome == Outcome::Refused ? &a : b.outcome == Outcome::Refused ? &b : nullptr;
    RouterStatus status;
    status.state = refused ? RouterStatus::State::Refused : RouterStatus::State::NoRouter;
    if (refused) {
        status.reason = refused->reason;
        status.method = refused == &m_natPmpAnswer ? natPmpName : upnpName;
    }
    return status;
}

void PortMapper::endAll(const RouterStatus &status)
{
    m_budget.stop();
    m_winner = Protocol::None;
    standDownNatPmp(0);
    if (m_upnp)
        m_upnp->standDown(0);
    setStatus(status);
}

void PortMapper::setStatus(const RouterStatus &status)
{
    if (status == m_status)
        return;
    m_status = status;
    emit statusChanged(m_status);
}
